// The plugin's exported entry point and data under their plain names, the
// inventory of global methods and the registering helpers. This floor is the
// only one that knows every subsystem.
#pragma once

#include "../hostapi/registration.h"

extern "C" {
extern double rbversion_rbversion;
extern unsigned char gHasControls;

void REALPluginMain(REALResolver resolver);
}

extern REALmethodDefinition GlobalMethods[39];

void PluginEntry();
long MyREALRegisterClass(REALclassDefinition* c);
long MyREALRegisterClassExtension(REALclassDefinition* c);
long MyREALRegisterControl(REALcontrol* c);
void SetClassConsoleSafe(REALclassDefinition* c);
void SetClassWebOnly(REALclassDefinition* c);
void MyPluginEnde();
