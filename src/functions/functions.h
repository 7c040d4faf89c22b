// Global utility methods registered in the global method table.
#pragma once

#include "../hostapi/records.h"

// Working directory, delays, cursor and desktop.
bool SetCurrentWorkingDirectoryTKZ(REALfolderItemStruct* path);
void RBSleep(double time);
void RBDelay(double time);
void RBDelay2(double time, long mode);
void RBShowCursor();
void RBHideCursor();
void RBObscureCursor();
long DoubleClickTime();
