// Bodies of the host wrappers, produced from wrappers.def, and the array
// element access with the plugin's own direct-access fallbacks. A found entry
// point is kept in the wrapper's own slot for good; a missing one is not
// remembered, so an entry point the host adds later is picked up.
#include "wrappers.h"

#include <string.h>

REALResolver gResolver = nullptr;

// An exported forwarder for code that wants the resolver without a slot.
void* HCallResolver(const char* name) { return gResolver(name); }

namespace {

inline void* Find(void*& slot, const char* name) {
    if (slot == nullptr) slot = gResolver(name);
    return slot;
}

template <class T> struct Zero { static T get() { return T(); } };
template <> struct Zero<void> { static void get() {} };

}  // namespace

#define W(id, R, name, host, params, args) \
    WX(id, R, name, host, params, params, args, false, Zero<R>::get())
#define WX(id, R, name, host, params, hparams, args, refuse, missing) \
    static void* slot_##id;                                           \
    R name params {                                                   \
        typedef R (*Fn) hparams;                                      \
        Fn fn = (Fn)Find(slot_##id, host);                            \
        if (fn != nullptr && !(refuse)) return fn args;               \
        return missing;                                               \
    }
#include "wrappers.def"
#undef W
#undef WX

// ---- Array element access -------------------------------------------------

namespace {

// The word the element procedures receive for a value: narrow integers travel
// widened to 32 bits.
template <class T> struct Passed { typedef T type; };
template <> struct Passed<unsigned short> { typedef unsigned long type; };
template <> struct Passed<unsigned char> { typedef unsigned long type; };

// The plugin's own element procedures read the array record's third word, the
// address of the contiguous element storage; they trust array and index.
inline char* Storage(REALarrayStruct* a) {
    char* storage;
    memcpy(&storage, (char*)a + 8, sizeof storage);
    return storage;
}

template <class T> T ReadAt(REALarrayStruct* a, long i) {
    T v;
    memcpy(&v, Storage(a) + (long)sizeof(T) * i, sizeof v);
    return v;
}
template <class T> void WriteAt(REALarrayStruct* a, long i, T v) {
    memcpy(Storage(a) + (long)sizeof(T) * i, &v, sizeof v);
}

void Lock(REALstringStruct* s) { REALLockString(s); }
void Unlock(REALstringStruct* s) { REALUnlockString(s); }
void Lock(REALobjectStruct* o) { REALLockObject(o); }
void Unlock(REALobjectStruct* o) { REALUnlockObject(o); }

template <class T> struct Elements {
    static T Get(REALarrayStruct* a, long i) { return ReadAt<T>(a, i); }
    static void Set(REALarrayStruct* a, T v, long i) { WriteAt<T>(a, i, v); }
};
// Handles read through the fallback carry a reference of the caller's; handles
// written are held by the array. The new one is locked before the old one is
// released, so storing a handle over itself keeps it alive.
template <class H> struct HandleElements {
    static H Get(REALarrayStruct* a, long i) {
        H h = ReadAt<H>(a, i);
        if (h != nullptr) Lock(h);
        return h;
    }
    static void Set(REALarrayStruct* a, H v, long i) {
        H old = ReadAt<H>(a, i);
        if (v != nullptr) Lock(v);
        if (old != nullptr) Unlock(old);
        WriteAt<H>(a, i, v);
    }
};
template <> struct Elements<REALstringStruct*> : HandleElements<REALstringStruct*> {};
template <> struct Elements<REALobjectStruct*> : HandleElements<REALobjectStruct*> {};

template <class T> void* OwnGetFinder(REALarrayStruct*) { return (void*)&Elements<T>::Get; }
template <class T> void* OwnSetFinder(REALarrayStruct*) { return (void*)&Elements<T>::Set; }

typedef void* (*Finder)(REALarrayStruct*);

// The unsigned short reader has no direct-access fallback of its own.
template <class T> Finder OwnGetFinderFor() { return &OwnGetFinder<T>; }
template <> Finder OwnGetFinderFor<unsigned short>() { return nullptr; }

}  // namespace

#define X(id, T)                                                             \
    static void* insertSlot_##id;                                            \
    void REALInsertArrayValue(REALarrayStruct* a, long index, T value) {     \
        typedef void (*Proc)(REALarrayStruct*, long, Passed<T>::type);       \
        Finder finder = (Finder)Find(insertSlot_##id, "RuntimeArrayDirectGetInsertProc"); \
        if (finder == nullptr) return;                                       \
        Proc proc = (Proc)finder(a);                                         \
        if (proc == nullptr) return;                                         \
        proc(a, index, (Passed<T>::type)value);                              \
    }
TKZ_ARRAY_INSERT_TYPES(X)
#undef X

#define X(id, T)                                                             \
    static void* getSlot_##id;                                               \
    void REALGetArrayValue(REALarrayStruct* a, long index, T* out) {         \
        typedef T (*Proc)(REALarrayStruct*, long);                           \
        if (getSlot_##id == nullptr) {                                       \
            getSlot_##id = gResolver("RuntimeArrayDirectGetGetProc");        \
            if (getSlot_##id == nullptr) getSlot_##id = (void*)OwnGetFinderFor<T>(); \
        }                                                                    \
        Finder finder = (Finder)getSlot_##id;                                \
        if (finder == nullptr) return;                                       \
        Proc proc = (Proc)finder(a);                                         \
        if (proc == nullptr || out == nullptr) return;                       \
        *out = proc(a, index);                                               \
    }
TKZ_ARRAY_GET_TYPES(X)
#undef X

#define X(id, T)                                                             \
    static void* setSlot_##id;                                               \
    void REALSetArrayValue(REALarrayStruct* a, long index, T value) {        \
        typedef void (*Proc)(REALarrayStruct*, Passed<T>::type, long);       \
        if (setSlot_##id == nullptr) {                                       \
            setSlot_##id = gResolver("RuntimeArrayDirectGetSetProc");        \
            if (setSlot_##id == nullptr) setSlot_##id = (void*)&OwnSetFinder<T>; \
        }                                                                    \
        Proc proc = (Proc)((Finder)setSlot_##id)(a);                         \
        if (proc == nullptr) return;                                         \
        proc(a, (Passed<T>::type)value, index);                              \
    }
TKZ_ARRAY_SET_TYPES(X)
#undef X
