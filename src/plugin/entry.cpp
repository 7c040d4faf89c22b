// REALPluginMain and PluginEntry: announce the interface version, read the
// host's version when it offers one, then hand the host the five classes, the
// "folderitem" extension and the global methods (inventory.cpp), in that
// fixed order. No answer of the host is examined and nothing is retried.
#include "plugin.h"

#include "../console/console.h"
#include "../desktop/desktop.h"
#include "../folderitem/folderitem.h"
#include "../hostapi/wrappers.h"
#include "../styledata/styledata.h"

extern "C" {
double rbversion_rbversion = 0.0;
unsigned char gHasControls = 0;

void REALPluginMain(REALResolver resolver) {
    gResolver = resolver;
    // Every host this interface knows provides "RegisterPluginVersion"; one
    // that does not is too old for us, so we register nothing with it rather
    // than calling through a null pointer.
    typedef void (*RegisterVersion)(long);
    RegisterVersion announce = (RegisterVersion)resolver("RegisterPluginVersion");
    if (announce == nullptr) return;
    announce(kInterfaceVersion);
    typedef double (*GetVersion)();
    GetVersion version = (GetVersion)resolver("REALGetRBVersion");
    if (version != nullptr) rbversion_rbversion = version();
    PluginEntry();
}
}

namespace {
uint32_t RoundedTo16(uint32_t size) { return (size + 15) & ~15u; }
}  // namespace

long MyREALRegisterClass(REALclassDefinition* c) {
    c->dataSize = RoundedTo16(c->dataSize);
    return REALRegisterClass(c);
}

long MyREALRegisterClassExtension(REALclassDefinition* c) { return REALRegisterClassExtension(c); }

long MyREALRegisterControl(REALcontrol* c) {
    gHasControls = 1;
    c->dataSize = RoundedTo16(c->dataSize);
    return REALRegisterControl(c);
}

void SetClassConsoleSafe(REALclassDefinition* c) { c->flags |= 4; }
void SetClassWebOnly(REALclassDefinition* c) { c->flags = (c->flags & ~0x108u) | 0x100u; }
void MyPluginEnde() {}

void PluginEntry() {
    REALinRuntime();
    MyREALRegisterClass(&WriterClass);
    MyREALRegisterClass(&ReaderClass);
    MyREALRegisterClass(&StyleDataClass);
    MyREALRegisterClass(&StyleDataListClass);
    MyREALRegisterClass(&timezoneClass);
    MyREALRegisterClassExtension(&FolderItemExtension);
    for (uint32_t i = 0; i < kGlobalMethodCount; ++i) REALRegisterMethod(&GlobalMethods[i]);
    MyPluginEnde();
}
