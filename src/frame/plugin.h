// The plugin's exported entry point and data, under their plain names, and
// the registering helpers. Loading the library runs none of this: every table
// is constant-initialised static data.
#pragma once

#include "records.h"

extern "C" {
extern double rbversion_rbversion;
extern unsigned char gHasControls;

extern REALclassDefinition WriterClass;         // "StdoutTKZ"
extern REALclassDefinition ReaderClass;         // "StdinTKZ"
extern REALclassDefinition StyleDataClass;      // "StyleDataTKZ"
extern REALclassDefinition StyleDataListClass;  // "StyleDataListTKZ"
extern REALclassDefinition timezoneClass;       // "TimeZoneTKZ"
extern REALclassDefinition FolderItemExtension; // "folderitem"

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

// Flags of every registered definition and method entry (but one).
const uint32_t kClassFlags = 4;
const uint32_t kMethodFlags = 4;
const uint32_t kPropertyFlags = 6;
const uint32_t kInterfaceVersion = 9;

// Record initialisers, so that the tables read as their declarations.
#define TKZ_METHOD(fn, decl) {(void*)(fn), 0, decl, kMethodFlags}
#define TKZ_PROPERTY(name, type, getter, setter, param) \
    {0, name, type, kPropertyFlags, (void*)(getter), (void*)(setter), param, {0, 0, 0}}
#define TKZ_CLASS(name, size, ctor, dtor, props, nprops, methods, nmethods, shared, nshared) \
    {kInterfaceVersion, name, 0, size, 0, (void*)(ctor), (void*)(dtor), props, nprops, methods, \
     nmethods, {0}, kClassFlags, {0, 0}, shared, nshared}
