// The ledger: every string and object the host made, with its reference
// count. Locks and releases go through it, so a release too many, a use
// after release and a record still alive at the end are all seen. The last
// release destroys the record (its destructor, then its payload), from a work
// list so that long chains do not exhaust the stack.
#include "host.h"
#include "internals.h"

#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TKZ_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define TKZ_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define TKZ_POISON(p, n) ((void)(p), (void)(n))
#define TKZ_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace host {

Host::Entry* Host::Check(const void* h, const char* who) {
    if (h == nullptr) return nullptr;
    auto it = ledger.find(h);
    if (it == ledger.end()) {
        violations.push_back({Violation::UnknownHandle, who, ""});
        return nullptr;
    }
    if (it->second.released) {
        violations.push_back({Violation::UsedAfterRelease, who, it->second.what});
        return nullptr;
    }
    return &it->second;
}

void Host::Lock(const void* h) {
    if (Entry* e = Check(h, "lock")) ++e->refs;
}

void Host::Unlock(const void* h) {
    Entry* e = Check(h, "unlock");
    if (e == nullptr) return;
    if (e->refs <= 0) {
        violations.push_back({Violation::OverReleased, "unlock", e->what});
        return;
    }
    if (--e->refs == 0) ReleaseNow((void*)h);
}

void Host::StoreHandle(void* slot, void* handle) {
    void* old;
    memcpy(&old, slot, 4);
    if (handle) Lock(handle);
    if (old) Unlock(old);
    memcpy(slot, &handle, 4);
}

int Host::RefCount(const void* h) const {
    auto it = ledger.find(h);
    if (it == ledger.end() || it->second.released) return -1;
    return it->second.refs;
}

std::vector<Leak> Host::LiveSince(uint64_t mark) const {
    std::vector<Leak> out;
    for (auto& [h, e] : ledger)
        if (!e.released && e.serial > mark) out.push_back({h, e.what + " (" + std::to_string(e.refs) + " refs)"});
    return out;
}

std::vector<Violation> Host::Faults(uint64_t mark, size_t firstViolation) const {
    std::vector<Violation> out;
    for (const Leak& l : LiveSince(mark)) out.push_back({Violation::Leaked, "", l.what});
    if (firstViolation < violations.size())
        out.insert(out.end(), violations.begin() + (long)firstViolation, violations.end());
    return out;
}

// The texts reports have always shown.
std::string Violation::Message() const {
    switch (kind) {
        case Leaked: return "leaked: " + what;
        case OverReleased: return "released more often than locked: " + what;
        case UsedAfterRelease: return who + ": used after release: " + what;
        case UnknownHandle: return who + ": unknown handle";
        case WrongKind: return who + " given " + what;
        case OutOfBounds: return who + ": " + what + " out of bounds";
        case NilGiven: return "nil given to " + who;
        case Other: break;
    }
    return who.empty() ? what : who + ": " + what;
}

void Host::ReleaseNow(void* h) {
    pendingDestroy_.push_back(h);
    DrainDestructions();
}

// Destruction runs from a work list, never recursively, so that a chain of a
// million parents or a destructor that releases more objects cannot exhaust
// the stack.
void Host::DrainDestructions() {
    if (destroying_) return;
    destroying_ = true;
    while (!pendingDestroy_.empty()) {
        void* h = pendingDestroy_.back();
        pendingDestroy_.pop_back();
        Destroy(h);
    }
    destroying_ = false;
}

void Host::Destroy(void* h) {
    Entry& e = ledger[h];
    if (e.object) {
        ObjectHeader* o = (ObjectHeader*)h;
        HostClass* cls = o->cls;
        if (cls->kind == kPluginObject) {
            if (cls->def != nullptr && cls->def->destructor != nullptr) ((void (*)(void*))cls->def->destructor)(h);
        } else {
            DestroyPayload(*this, o);
        }
    }
    Bury(h, e);
}

void Host::Bury(void* h, Entry& e) {
    e.released = true;
    e.refs = 0;
    if (!e.object) {
        StringRec* s = (StringRec*)h;
        free(s->buffer);
        s->buffer = nullptr;  // a late read of the text faults in plain builds
    }
    if (config_.reallyFree) {
        ledger.erase(h);
        free(h);
        return;
    }
    TKZ_POISON(h, e.size);
    graveyard_.push_back(h);
}

// Released records stay poisoned while the host lives so that a late read is
// caught; they are given back with the host.
void Host::EmptyGraveyard() {
    for (void* p : graveyard_) {
        TKZ_UNPOISON(p, ledger[p].size);
        free(p);
    }
    graveyard_.clear();
}

}  // namespace host
