// "NewFolderItemFSSpecTKZ", "NewFolderItemFSRefTKZ" and
// "NewFolderItemFSRefNameTKZ": classic file references do not exist on this
// platform, so no record names a file and every answer is nil.
#include "folderitem.h"

REALfolderItemStruct* NewFolderItemFSSpec(REALmemoryBlockStruct*) { return nullptr; }
REALfolderItemStruct* NewFolderItemFSRef(REALmemoryBlockStruct*) { return nullptr; }
REALfolderItemStruct* NewFolderItemFSRef2(REALmemoryBlockStruct*, REALstringStruct*) { return nullptr; }
