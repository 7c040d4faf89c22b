// Folder-item paths for code that needs a path rather than an item: the path
// as a host string in one of four encodings, as a zero-terminated copy in the
// system encoding, and as a stream opened on it. Each answers nil for a nil
// item, an item without a path and a path that cannot be converted.
#include "folderitem.h"

#include "../hostapi/wrappers.h"
#include "../text/strings.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {
REALstringStruct* PathIn(REALfolderItemStruct* item, bool system, unsigned long encoding) {
    if (item == nullptr) return nullptr;
    REALstringStruct* path = REALpathFromFolderItem(item);
    if (path == nullptr) return nullptr;
    if (system) encoding = REALGetFontEncoding("System");
    REALstringStruct* converted = REALConvertString(path, encoding);
    REALUnlockString(path);
    return converted;
}
}  // namespace

REALstringStruct* GetFolderItemPathWithUTF8Encoding(REALfolderItemStruct* item) {
    return PathIn(item, false, kEncUTF8);
}
REALstringStruct* GetFolderItemPathWithWindowsEncoding(REALfolderItemStruct* item) {
    return PathIn(item, false, kEncWindows);
}
REALstringStruct* GetFolderItemPathWithUnicodeEncoding(REALfolderItemStruct* item) {
    return PathIn(item, false, kEncUTF16);
}
REALstringStruct* GetFolderItemPathWithSystemEncoding(REALfolderItemStruct* item) { return PathIn(item, true, 0); }

char* UnixFilePath(REALfolderItemStruct* item) {
    REALstringStruct* path = GetFolderItemPathWithSystemEncoding(item);
    if (path == nullptr) return nullptr;
    char* copy = (char*)calloc(1, (size_t)StringLength(path) + 4);
    if (copy != nullptr) memcpy(copy, StringText(path), (size_t)StringLength(path));
    REALUnlockString(path);
    return copy;
}

namespace {
FILE* OpenStream(REALfolderItemStruct* item, const char* mode, long bufferSize) {
    REALstringStruct* path = GetFolderItemPathWithSystemEncoding(item);
    if (path == nullptr) return nullptr;
    FILE* f = fopen(StringText(path), mode);
    REALUnlockString(path);
    if (f == nullptr) return nullptr;
    if (bufferSize >= 0) setvbuf(f, nullptr, _IOFBF, bufferSize == 0 ? 1048576 : (size_t)bufferSize);
    return f;
}
}  // namespace

FILE* OpenCFILEread(REALfolderItemStruct* item, long bufferSize) { return OpenStream(item, "rb", bufferSize); }
FILE* OpenCFILEwrite(REALfolderItemStruct* item, long bufferSize) { return OpenStream(item, "wb", bufferSize); }
