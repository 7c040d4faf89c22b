// Global utility methods registered in the global method table.
#pragma once

#include "../hostapi/records.h"

// Working directory.
bool SetCurrentWorkingDirectoryTKZ(REALfolderItemStruct* path);
