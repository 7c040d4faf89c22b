// Global utility methods whose subsystems are not built yet. Each answers the
// failure value of its declaration (nil, 0, false, no effect) until its own
// file replaces it.
#include "functions.h"

bool SetCurrentWorkingDirectoryTKZ(REALfolderItemStruct*) { return false; }
void RBSleep(double) {}
void RBDelay(double) {}
void RBDelay2(double, long) {}
long DoubleClickTime() { return 0; }
