// Time and desktop: the delays, the cursor methods and the double-click
// interval of the global method table, and the "TimeZoneTKZ" class.
#pragma once

#include "../hostapi/records.h"

extern "C" {
extern REALclassDefinition timezoneClass;  // "TimeZoneTKZ"
}

void RBSleep(double time);
void RBDelay(double time);
void RBDelay2(double time, long mode);
void RBShowCursor();
void RBHideCursor();
void RBObscureCursor();
long DoubleClickTime();
