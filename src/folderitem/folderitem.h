// The "folderitem" extension methods and the folder-item path helpers other
// features use.
#pragma once

#include "../hostapi/records.h"

extern "C" {
extern REALclassDefinition FolderItemExtension;  // "folderitem"
}

// A newly allocated, zero-terminated copy of the item's path in the system
// encoding, or null; the caller frees it.
char* UnixFilePath(REALfolderItemStruct* item);

// The item's file opened for reading or writing ("rb", "wb"), fully buffered
// with a library-allocated buffer of bufferSize bytes (1 MiB for 0; the
// stream's default buffering for a negative size), or null. The caller
// closes it. No registered method opens a stream; these two are
// exported, as every function of the plugin is, for code that loads the plugin and finds them by name.
typedef struct _IO_FILE FILE;
FILE* OpenCFILEread(REALfolderItemStruct* item, long bufferSize);
FILE* OpenCFILEwrite(REALfolderItemStruct* item, long bufferSize);

// The global methods about folder items: the working directory and the
// classic file references (always nil on this platform).
bool SetCurrentWorkingDirectoryTKZ(REALfolderItemStruct* path);
REALfolderItemStruct* NewFolderItemFSSpec(REALmemoryBlockStruct* record);
REALfolderItemStruct* NewFolderItemFSRef(REALmemoryBlockStruct* ref);
REALfolderItemStruct* NewFolderItemFSRef2(REALmemoryBlockStruct* ref, REALstringStruct* name);
