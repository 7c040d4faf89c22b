// "SetCurrentWorkingDirectoryTKZ": makes the folder item's path the process's
// working directory. True only when chdir succeeded; a nil item, an item with
// no path and a path that is no reachable folder answer false.
#include "folderitem.h"

#include <stdlib.h>
#include <unistd.h>

bool SetCurrentWorkingDirectoryTKZ(REALfolderItemStruct* path) {
    char* p = UnixFilePath(path);
    if (p == nullptr) return false;
    bool ok = chdir(p) == 0;
    free(p);
    return ok;
}
