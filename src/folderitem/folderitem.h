// The "folderitem" extension methods, the folder-item path helpers other
// features use, and the "TimeZoneTKZ" class.
#pragma once

#include "../frame/records.h"

// A newly allocated, zero-terminated copy of the item's path in the system
// encoding, or null; the caller frees it.
char* UnixFilePath(REALfolderItemStruct* item);
