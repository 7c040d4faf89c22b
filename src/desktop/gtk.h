// GTK 2, GDK 2 and Cairo opened at run time when present; never linked.
// Callers load first, then test each pointer they need for null.
#pragma once

typedef void* (*GtkSettingsGetDefault)();
typedef void (*GObjectGet)(void* object, const char* first, ...);

extern "C" {
extern void* _gdk_pixbuf_get_pixels;
extern void* _gdk_pixbuf_get_rowstride;
extern void* _gdk_pixbuf_get_from_drawable;
extern void* _gdk_pixbuf_unref;
extern void* _gdk_unicode_to_keyval;
extern void* _gdk_keyval_to_unicode;
extern GtkSettingsGetDefault _gtk_settings_get_default;
extern GObjectGet _g_object_get;
extern void* _cairo_image_surface_get_data;
extern void* _cairo_image_surface_get_width;
extern void* _cairo_image_surface_get_height;
extern void* _cairo_image_surface_get_stride;
extern void* _cairo_get_target;
extern unsigned char gtkLoadTried, gtkLoaded, cairoLoadTried, cairoLoaded;
}

bool LoadGTK();
bool LoadCairo();
