// Global utility methods registered in the global method table.
#pragma once

#include "../hostapi/records.h"

// Working directory, delays, console callbacks, cursor and desktop.
bool SetCurrentWorkingDirectoryTKZ(REALfolderItemStruct* path);
long ReturnErrPtr();
long ReturnOutPtr();
long ReturnInPtr();
void RBSleep(double time);
void RBDelay(double time);
void RBDelay2(double time, long mode);
void RBShowCursor();
void RBHideCursor();
void RBObscureCursor();
long DoubleClickTime();

extern "C" {
int gsdll_stdin(void* instance, char* buffer, int length);
int gsdll_stdout(void* instance, const char* text, int length);
int gsdll_stderr(void* instance, const char* text, int length);
}
