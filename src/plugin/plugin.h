// The plugin's exported entry point and data under their plain names, the
// inventory of global methods and the registering helpers. This floor is the
// only one that knows every subsystem.
//
// What the plugin exports: every function and variable of external linkage
// on every floor (header inlines aside), under its own name, C++ names
// mangled, whether a registered method reaches it or not; only the byte
// kernels are hidden. Code that loads the plugin may look any of them up by
// name, so a function that no registered method calls is kept all the same,
// and the header that declares it says that none does.
#pragma once

#include "../hostapi/registration.h"

extern "C" {
extern double rbversion_rbversion;
extern unsigned char gHasControls;

void REALPluginMain(REALResolver resolver);
}

// The host receives exactly this many global methods; inventory.cpp asserts
// that its table holds as many.
constexpr uint32_t kGlobalMethodCount = 39;
extern REALmethodDefinition GlobalMethods[];

void PluginEntry();
long MyREALRegisterClass(REALclassDefinition* c);
long MyREALRegisterClassExtension(REALclassDefinition* c);
// Registering helpers the plugin itself does not call: it registers no
// control, and its definitions carry their flags from the start.
long MyREALRegisterControl(REALcontrol* c);
void SetClassConsoleSafe(REALclassDefinition* c);
void SetClassWebOnly(REALclassDefinition* c);
void MyPluginEnde();
