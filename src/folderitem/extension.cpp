// The twelve "folderitem" extension methods and the folder-item path helpers.
// The fixed answers of this platform are final (volume sizes -1, classic
// file references nil, resource fork false); the display path, the name
// split and the lock test are not built yet and answer nil / false.
#include "folderitem.h"

#include "../frame/plugin.h"
#include "../frame/wrappers.h"

REALstringStruct* DisplayPathTKZ(REALfolderItemStruct*, REALstringStruct*) { return nullptr; }
REALstringStruct* NameExtensionTKZ(REALfolderItemStruct*) { return nullptr; }
REALstringStruct* NameWithoutExtensionTKZ(REALfolderItemStruct*) { return nullptr; }
long long GetVolumeSizeKB(REALfolderItemStruct*) { return -1; }
long long GetVolumeSize(REALfolderItemStruct*) { return -1; }
long long GetVolumeFreeKB(REALfolderItemStruct*) { return -1; }
long long GetVolumeFree(REALfolderItemStruct*) { return -1; }
REALmemoryBlockStruct* getFSSpec(REALfolderItemStruct*) { return nullptr; }
REALmemoryBlockStruct* getFSRef(REALfolderItemStruct*) { return nullptr; }
REALmemoryBlockStruct* getFSRef2(REALfolderItemStruct*, REALstringStruct**) { return nullptr; }
bool FileDataForkOpenReadWrite(REALfolderItemStruct*) { return false; }
bool FileResourceForkOpenReadWrite(REALfolderItemStruct*) { return false; }

char* UnixFilePath(REALfolderItemStruct*) { return nullptr; }

static constinit REALmethodDefinition FolderItemMethods[12] = {
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

constinit REALclassDefinition FolderItemExtension =
    TKZ_CLASS("folderitem", 0, nullptr, nullptr, nullptr, 0, FolderItemMethods, 12, nullptr, 0);
