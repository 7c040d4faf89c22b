// The twelve "folderitem" extension methods. The display path walks the
// chain of parents without recursion, so its depth is unlimited. Names are
// split at their last dot byte in UTF-8. The lock test answers true when the
// file cannot be opened for reading and writing or another open file holds a
// flock lock on it. Fixed answers of this platform: volume sizes -1, classic
// file references nil, the resource fork false.
#include "folderitem.h"

#include "../hostapi/registration.h"
#include "../hostapi/wrappers.h"
#include "../text/builders.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

REALobjectStruct* AsObject(REALfolderItemStruct* item) { return (REALobjectStruct*)item; }

// Appends the item's "DisplayName", converted to UTF-8; a name that cannot be
// read or converted adds nothing. Appended as zero-terminated text.
void AppendDisplayName(AsciiStringHandle& out, REALobjectStruct* item) {
    REALstringStruct* name = nullptr;
    if (!REALGetPropValue(item, "DisplayName", &name) || name == nullptr) return;
    REALstringStruct* utf8 = REALConvertString(name, kEncUTF8);
    if (utf8 != nullptr) {
        AddString(out, StringText(utf8));
        REALUnlockString(utf8);
    }
    REALUnlockString(name);
}

// The item's "Parent" with a reference of the caller's, or nil at the top.
REALobjectStruct* ParentOf(REALobjectStruct* item) {
    REALobjectStruct* parent = nullptr;
    if (!REALGetPropValue(item, "Parent", &parent)) return nullptr;
    return parent;
}

}  // namespace

REALstringStruct* DisplayPathTKZ(REALfolderItemStruct* item, REALstringStruct* delimiter) {
    AsciiStringHandle out;
    if (!InitUTF8(out, 1000)) return nullptr;
    REALstringStruct* delim = REALConvertString(delimiter, kEncUTF8);
    // Collect the ancestors nearest first, then append them topmost first.
    REALobjectStruct** chain = nullptr;
    size_t count = 0, capacity = 0;
    bool complete = true;
    for (REALobjectStruct* p = item ? ParentOf(AsObject(item)) : nullptr; p != nullptr;) {
        if (count == capacity) {
            size_t grown = capacity ? 2 * capacity : 64;
            REALobjectStruct** more = (REALobjectStruct**)realloc(chain, grown * sizeof *chain);
            if (more == nullptr) {
                REALUnlockObject(p);
                complete = false;
                break;
            }
            chain = more;
            capacity = grown;
        }
        chain[count++] = p;
        p = ParentOf(p);
    }
    for (size_t i = count; i-- > 0;) {
        AppendDisplayName(out, chain[i]);
        if (delim != nullptr) AddString(out, StringText(delim));
        REALUnlockObject(chain[i]);
    }
    free(chain);
    if (item != nullptr) AppendDisplayName(out, AsObject(item));
    if (delim != nullptr) REALUnlockString(delim);
    // A chain that could not be held whole gives no path rather than a
    // wrong one.
    if (!complete) {
        Free(out);
        return nullptr;
    }
    return Finish(out);
}

namespace {

// The item's name in UTF-8 and its last dot: 0 <= *dot < n, or -1 for none.
// The caller releases *name and *utf8.
bool SplitName(REALfolderItemStruct* item, REALstringStruct** name, REALstringStruct** utf8, long* dot) {
    *name = *utf8 = nullptr;
    if (item == nullptr || !REALGetPropValue(AsObject(item), "Name", name) || *name == nullptr) return false;
    *utf8 = REALConvertString(*name, kEncUTF8);
    if (*utf8 == nullptr) {
        REALUnlockString(*name);
        *name = nullptr;
        return false;
    }
    const char* p = StringText(*utf8);
    *dot = -1;
    for (long i = StringLength(*utf8) - 1; i >= 0; --i)
        if (p[i] == '.') {
            *dot = i;
            break;
        }
    return true;
}

}  // namespace

REALstringStruct* NameExtensionTKZ(REALfolderItemStruct* item) {
    REALstringStruct *name, *utf8;
    long dot;
    if (!SplitName(item, &name, &utf8, &dot)) return nullptr;
    long n = StringLength(utf8);
    REALstringStruct* r =
        dot >= 0 ? REALBuildUnicodeString(StringText(utf8) + dot + 1, (int)(n - 1 - dot), kEncUTF8) : nullptr;
    REALUnlockString(utf8);
    REALUnlockString(name);
    return r;
}

REALstringStruct* NameWithoutExtensionTKZ(REALfolderItemStruct* item) {
    REALstringStruct *name, *utf8;
    long dot;
    if (!SplitName(item, &name, &utf8, &dot)) return nullptr;
    REALUnlockString(name);
    if (dot < 0) return utf8;  // the whole name, with the conversion's reference
    REALstringStruct* r = REALBuildUnicodeString(StringText(utf8), (int)dot, kEncUTF8);
    REALUnlockString(utf8);
    return r;
}

long long GetVolumeSizeKB(REALfolderItemStruct*) { return -1; }
long long GetVolumeSize(REALfolderItemStruct*) { return -1; }
long long GetVolumeFreeKB(REALfolderItemStruct*) { return -1; }
long long GetVolumeFree(REALfolderItemStruct*) { return -1; }
REALmemoryBlockStruct* getFSSpec(REALfolderItemStruct*) { return nullptr; }
REALmemoryBlockStruct* getFSRef(REALfolderItemStruct*) { return nullptr; }
REALmemoryBlockStruct* getFSRef2(REALfolderItemStruct*, REALstringStruct**) { return nullptr; }

bool FileDataForkOpenReadWrite(REALfolderItemStruct* item) {
    REALstringStruct* path = GetFolderItemPathWithSystemEncoding(item);
    if (path == nullptr) return false;
    bool locked = true;
    int fd = open(StringText(path), O_RDWR);
    if (fd >= 0) {
        locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
        close(fd);  // gives up the lock just taken
    }
    REALUnlockString(path);
    return locked;
}

bool FileResourceForkOpenReadWrite(REALfolderItemStruct*) { return false; }

static constinit REALmethodDefinition FolderItemMethods[] = {
    TKZ_METHOD(DisplayPathTKZ, "DisplayPathTKZ(delimiter as string = \"/\") as string"),
    TKZ_METHOD(NameExtensionTKZ, "NameExtensionTKZ as string"),
    TKZ_METHOD(NameWithoutExtensionTKZ, "NameWithoutExtensionTKZ as string"),
    TKZ_METHOD(GetVolumeSizeKB, "VolumeSizeKBTKZ as Int64"),
    TKZ_METHOD(GetVolumeSize, "VolumeSizeTKZ as Int64"),
    TKZ_METHOD(GetVolumeFreeKB, "VolumeFreeSizeKBTKZ as Int64"),
    TKZ_METHOD(GetVolumeFree, "VolumeFreeSizeTKZ as Int64"),
    TKZ_METHOD(getFSSpec, "FSSpecTKZ as memoryblock"),
    TKZ_METHOD(getFSRef, "FSRefTKZ as memoryblock"),
    TKZ_METHOD(getFSRef2, "FSRefNameTKZ(byref name as string) as memoryblock"),
    TKZ_METHOD(FileDataForkOpenReadWrite, "IsFileDataForkOpenReadWriteTKZ as boolean"),
    TKZ_METHOD(FileResourceForkOpenReadWrite, "IsFileResourceForkOpenReadWriteTKZ as boolean"),
};
static_assert(CountOf(FolderItemMethods) == 12, "the \"folderitem\" extension has twelve methods");

constinit REALclassDefinition FolderItemExtension =
    TKZ_CLASS("folderitem", 0, nullptr, nullptr, nullptr, 0, FolderItemMethods, CountOf(FolderItemMethods), nullptr, 0);
