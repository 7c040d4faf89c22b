// The emulated host's life: the host classes it starts with, the one current
// host the entry points find, and what it gives back at the end.
#include "host.h"
#include "internals.h"

#include <cstdlib>

namespace host {

static Host* gCurrent = nullptr;

Host::Host(Config config) : config_(std::move(config)), callCounts_(CountedCalls(), 0) {
    gCurrent = this;
    DefineClass("Object", "");
    DefineClass("FolderItem")->kind = kFolderItem;
    DefineClass("MemoryBlock")->kind = kMemoryBlock;
    DefineClass("Array")->kind = kArray;
    DefineClass("Variant")->kind = kVariant;
    DefineClass("RuntimeException")->kind = kException;
    DefineClass("NilObjectException", "RuntimeException")->kind = kException;
    DefineClass("OutOfBoundsException", "RuntimeException")->kind = kException;
}

Host::~Host() {
    for (void* e : raised) Unlock(e);
    raised.clear();
    DrainDestructions();
    EmptyGraveyard();
    if (gCurrent == this) gCurrent = nullptr;
}

Host& Host::Current() {
    if (gCurrent == nullptr) abort();
    return *gCurrent;
}

}  // namespace host
