// "GetDoubleClickIntervalTKZ": the desktop's double-click interval from the
// GTK setting "gtk-double-click-time" (milliseconds), in sixtieths of a
// second, truncated. GTK is opened at run time and never required: without it,
// or without its settings (no display), the answer is 0.
#include "desktop.h"

#include "gtk.h"

long DoubleClickTime() {
    int interval = 0;
    LoadGTK();
    if (_gtk_settings_get_default != nullptr && _g_object_get != nullptr) {
        void* settings = _gtk_settings_get_default();
        if (settings != nullptr) _g_object_get(settings, "gtk-double-click-time", &interval, nullptr);
    }
    return (long)(interval / 1000.0 * 60.0);
}
