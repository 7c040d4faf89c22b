// Blocking delays, the desktop's double-click interval and the process's
// working directory. A delay that is not a positive number of seconds that
// fits 32 bits (negative, zero, NaN, infinite, 2^31 s or more) returns at
// once; a delay cut short by a signal is not resumed. The host is given no
// control while the calling thread sleeps.
#include "functions.h"

#include "../folderitem/folderitem.h"
#include "gtk.h"

#include <math.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

bool SetCurrentWorkingDirectoryTKZ(REALfolderItemStruct* path) {
    char* p = UnixFilePath(path);
    if (p == nullptr) return false;
    bool ok = chdir(p) == 0;
    free(p);
    return ok;
}

void RBSleep(double time) {
    // Also false for NaN; the upper bound keeps the seconds in 32 bits, so
    // no conversion below is out of range.
    if (!(time > 0) || !(time < 2147483648.0)) return;
    double whole = floor(time);
    struct timespec ts;
    ts.tv_sec = (time_t)whole;
    ts.tv_nsec = (long)((time - whole) * 1000000000.0);
    nanosleep(&ts, nullptr);
}
void RBDelay(double time) { RBSleep(time); }
void RBDelay2(double time, long) { RBSleep(time); }

// The GTK setting "gtk-double-click-time" (milliseconds) in sixtieths of a
// second, truncated; 0 when GTK or its settings cannot be reached.
long DoubleClickTime() {
    int interval = 0;
    LoadGTK();
    if (_gtk_settings_get_default != nullptr && _g_object_get != nullptr) {
        void* settings = _gtk_settings_get_default();
        if (settings != nullptr) _g_object_get(settings, "gtk-double-click-time", &interval, nullptr);
    }
    return (long)(interval / 1000.0 * 60.0);
}
