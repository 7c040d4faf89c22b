// The emulated host's life: the host classes it starts with, the one current
// host the entry points find, the counting of calls, and what it gives back
// at the end.
#include "host.h"
#include "internals.h"

#include <cstdlib>

namespace emu {

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

bool Host::CountCall(const char* name) {
    int i = CallIndex(name);
    if (i < 0) {
        violations.push_back(std::string("a call the host does not count: ") + name);
        return true;
    }
    int n = ++callCounts_[i];
    if (config_.logCalls) calls.push_back(name);
    if (config_.failAfter.empty()) return true;
    auto it = config_.failAfter.find(name);
    return it == config_.failAfter.end() || n <= it->second;
}

int Host::CallCount(const std::string& name) const {
    int i = CallIndex(name.c_str());
    return i < 0 ? 0 : callCounts_[i];
}

}  // namespace emu
