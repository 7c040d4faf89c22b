// Late binding to GTK 2, GDK 2 and Cairo: each loader tries once per process,
// the names in a fixed order, and leaves the pointers of what it cannot find
// null. The library handles are never closed, so resolved pointers stay
// valid for the life of the process.
#include "gtk.h"

#include <dlfcn.h>

// The C library moved dlopen and dlsym from libdl into itself in 2.34 and
// gave them a new version there; a reference to that version would keep the
// plugin from loading on any older system. Bound to the versions every C
// library since 2.1 defines (kept under the same names after the move), and
// with libdl.so.2 among the libraries the plugin needs, they resolve from
// libdl on older systems and from the C library on newer ones. The policy
// test holds every other reference to the same baseline.
__asm__(".symver dlopen,dlopen@GLIBC_2.1");
__asm__(".symver dlsym,dlsym@GLIBC_2.0");

extern "C" {
void* _gdk_pixbuf_get_pixels;
void* _gdk_pixbuf_get_rowstride;
void* _gdk_pixbuf_get_from_drawable;
void* _gdk_pixbuf_unref;
void* _gdk_unicode_to_keyval;
void* _gdk_keyval_to_unicode;
GtkSettingsGetDefault _gtk_settings_get_default;
GObjectGet _g_object_get;
void* _cairo_image_surface_get_data;
void* _cairo_image_surface_get_width;
void* _cairo_image_surface_get_height;
void* _cairo_image_surface_get_stride;
void* _cairo_get_target;
unsigned char gtkLoadTried, gtkLoaded, cairoLoadTried, cairoLoaded;
}

namespace {

void* OpenFirst(const char* const* names, int count) {
    for (int i = 0; i < count; ++i)
        if (void* h = dlopen(names[i], RTLD_NOW)) return h;
    return nullptr;
}

const char* const kGtkNames[] = {"libgtk-x11-2.0.so",
                                 "libgtk-x11-2.0.so.0",
                                 "/usr/lib/libgtk-x11-2.0.so",
                                 "/usr/lib32/libgtk-x11-2.0.so",
                                 "/usr/lib/libgtk-x11-2.0.so.0",
                                 "/usr/lib32/libgtk-x11-2.0.so.0"};
const char* const kGdkNames[] = {"libgdk-x11-2.0.so",
                                 "libgdk-x11-2.0.so.0",
                                 "/usr/lib/libgdk-x11-2.0.so",
                                 "/usr/lib32/libgdk-x11-2.0.so",
                                 "/usr/lib/libgdk-x11-2.0.so.0",
                                 "/usr/lib32/libgdk-x11-2.0.so.0"};
const char* const kCairoNames[] = {"libcairo.so", "libcairo.so.2", "libcairo.so.2.10800.10"};

}  // namespace

bool LoadGTK() {
    if (gtkLoadTried) return gtkLoaded;
    gtkLoadTried = 1;
    void* gtk = OpenFirst(kGtkNames, 6);
    void* gdk = OpenFirst(kGdkNames, 6);
    if (gdk != nullptr) {
        _gdk_pixbuf_get_pixels = dlsym(gdk, "gdk_pixbuf_get_pixels");
        _gdk_pixbuf_get_rowstride = dlsym(gdk, "gdk_pixbuf_get_rowstride");
        _gdk_pixbuf_get_from_drawable = dlsym(gdk, "gdk_pixbuf_get_from_drawable");
        _gdk_pixbuf_unref = dlsym(gdk, "gdk_pixbuf_unref");
        _gdk_unicode_to_keyval = dlsym(gdk, "gdk_unicode_to_keyval");
        _gdk_keyval_to_unicode = dlsym(gdk, "gdk_keyval_to_unicode");
    }
    if (gtk != nullptr) {
        _gtk_settings_get_default = (GtkSettingsGetDefault)dlsym(gtk, "gtk_settings_get_default");
        _g_object_get = (GObjectGet)dlsym(gtk, "g_object_get");
    }
    if (_gdk_pixbuf_get_pixels && _gdk_pixbuf_get_rowstride && _gdk_pixbuf_get_from_drawable && _gdk_pixbuf_unref)
        gtkLoaded = 1;
    return gtkLoaded;
}

bool LoadCairo() {
    if (cairoLoadTried) return cairoLoaded;
    cairoLoadTried = 1;
    if (void* cairo = OpenFirst(kCairoNames, 3)) {
        _cairo_image_surface_get_data = dlsym(cairo, "cairo_image_surface_get_data");
        _cairo_image_surface_get_width = dlsym(cairo, "cairo_image_surface_get_width");
        _cairo_image_surface_get_height = dlsym(cairo, "cairo_image_surface_get_height");
        _cairo_image_surface_get_stride = dlsym(cairo, "cairo_image_surface_get_stride");
        _cairo_get_target = dlsym(cairo, "cairo_get_target");
    }
    if (_cairo_image_surface_get_data && _cairo_image_surface_get_width && _cairo_image_surface_get_height &&
        _cairo_image_surface_get_stride && _cairo_get_target)
        cairoLoaded = 1;
    return cairoLoaded;
}
