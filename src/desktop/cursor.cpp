// "ShowCursorTKZ", "HideCursorTKZ", "ObscureCursorTKZ": this platform leaves
// the mouse cursor to the desktop, so the three methods do nothing.
#include "desktop.h"

void RBShowCursor() {}
void RBHideCursor() {}
void RBObscureCursor() {}
