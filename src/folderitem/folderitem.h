// Folder items: the "folderitem" extension, the global methods about folder
// items, and the path helpers (paths.cpp) that the methods open files and
// change directory with.
#pragma once

#include "../hostapi/records.h"

extern "C" {
extern REALclassDefinition FolderItemExtension;  // "folderitem"
}

// The item's path as a new host string the caller releases, converted to
// UTF-8, Windows Latin-1, UTF-16 or the system encoding (the host's encoding
// of the "System" font), or nil. Registered methods use the system form only.
REALstringStruct* GetFolderItemPathWithUTF8Encoding(REALfolderItemStruct* item);
REALstringStruct* GetFolderItemPathWithWindowsEncoding(REALfolderItemStruct* item);
REALstringStruct* GetFolderItemPathWithUnicodeEncoding(REALfolderItemStruct* item);
REALstringStruct* GetFolderItemPathWithSystemEncoding(REALfolderItemStruct* item);

// A newly allocated, zero-terminated copy of the item's path in the system
// encoding, or null; the caller frees it.
char* UnixFilePath(REALfolderItemStruct* item);

// The item's file opened for reading or writing ("rb", "wb"), fully buffered
// with a library-allocated buffer of bufferSize bytes (1 MiB for 0; the
// stream's default buffering for a negative size), or null. The caller
// closes it. No registered method opens a stream.
typedef struct _IO_FILE FILE;
FILE* OpenCFILEread(REALfolderItemStruct* item, long bufferSize);
FILE* OpenCFILEwrite(REALfolderItemStruct* item, long bufferSize);

// The global methods about folder items: the working directory and the
// classic file references (always nil on this platform).
bool SetCurrentWorkingDirectoryTKZ(REALfolderItemStruct* path);
REALfolderItemStruct* NewFolderItemFSSpec(REALmemoryBlockStruct* record);
REALfolderItemStruct* NewFolderItemFSRef(REALmemoryBlockStruct* ref);
REALfolderItemStruct* NewFolderItemFSRef2(REALmemoryBlockStruct* ref, REALstringStruct* name);
