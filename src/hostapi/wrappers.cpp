// Bodies of the host wrappers, produced from wrappers.def, with the plugin's
// own answers where the host lacks an entry point: the variant's properties
// and direct access to array storage. A found entry point is kept in the
// wrapper's own slot for good; a missing one is not remembered, so an entry
// point the host adds later is picked up.
#include "wrappers.h"

#include <string.h>

REALResolver gResolver = nullptr;

// An exported forwarder for code that wants the resolver without a slot.
void* HCallResolver(const char* name) { return gResolver(name); }

namespace {

// The slot's entry point, asking the resolver while it has none; `own`, when
// given, takes the slot for good if the host has none.
inline void* Find(void*& slot, const char* name, void* own = nullptr) {
    if (slot == nullptr) {
        slot = gResolver(name);
        if (slot == nullptr) slot = own;
    }
    return slot;
}

template <class T>
struct Zero {
    static T get() { return T(); }
};
template <>
struct Zero<void> {
    static void get() {}
};

// ---- The plugin's own answers ----------------------------------------------

// The word the element procedures receive for a value: narrow integers travel
// widened to 32 bits.
template <class T>
struct Passed {
    typedef T type;
};
template <>
struct Passed<unsigned short> {
    typedef unsigned long type;
};
template <>
struct Passed<unsigned char> {
    typedef unsigned long type;
};

// The plugin's own element procedures read the array record's third word, the
// address of the contiguous element storage; they trust array and index.
inline char* Storage(REALarrayStruct* a) {
    char* storage;
    memcpy(&storage, (char*)a + 8, sizeof storage);
    return storage;
}

template <class T>
T ReadAt(REALarrayStruct* a, long i) {
    T v;
    memcpy(&v, Storage(a) + (long)sizeof(T) * i, sizeof v);
    return v;
}
template <class T>
void WriteAt(REALarrayStruct* a, long i, T v) {
    memcpy(Storage(a) + (long)sizeof(T) * i, &v, sizeof v);
}

void Lock(REALstringStruct* s) { REALLockString(s); }
void Unlock(REALstringStruct* s) { REALUnlockString(s); }
void Lock(REALobjectStruct* o) { REALLockObject(o); }
void Unlock(REALobjectStruct* o) { REALUnlockObject(o); }

template <class T>
struct Elements {
    static T Get(REALarrayStruct* a, long i) { return ReadAt<T>(a, i); }
    static void Set(REALarrayStruct* a, T v, long i) { WriteAt<T>(a, i, v); }
};
// Handles read through the fallback carry a reference of the caller's; handles
// written are held by the array. The new one is locked before the old one is
// released, so storing a handle over itself keeps it alive.
template <class H>
struct HandleElements {
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
template <>
struct Elements<REALstringStruct*> : HandleElements<REALstringStruct*> {};
template <>
struct Elements<REALobjectStruct*> : HandleElements<REALobjectStruct*> {};

// The plugin's own finders: whatever the array, its direct-access procedure.
template <class T>
void* OwnGetFinder(REALarrayStruct*) {
    return (void*)&Elements<T>::Get;
}
template <class T>
void* OwnSetFinder(REALarrayStruct*) {
    return (void*)&Elements<T>::Set;
}
#define TKZ_FINDER_own(family, T) (void*)&Own##family##Finder<T>
#define TKZ_FINDER_none(family, T) nullptr

typedef void* (*Finder)(REALarrayStruct*);

// Calling the element procedure a finder answered, by family.
template <class T>
struct ElementCall {
    typedef typename Passed<T>::type P;
    static void Insert(void* proc, REALarrayStruct* a, long index, T value) {
        if (proc != nullptr) ((void (*)(REALarrayStruct*, long, P))proc)(a, index, (P)value);
    }
    static void Get(void* proc, REALarrayStruct* a, long index, T* out) {
        if (proc != nullptr && out != nullptr) *out = ((T(*)(REALarrayStruct*, long))proc)(a, index);
    }
    static void Set(void* proc, REALarrayStruct* a, long index, T value) {
        if (proc != nullptr) ((void (*)(REALarrayStruct*, P, long))proc)(a, (P)value, index);
    }
};

// The fallback of the WP and WD rows: the variant's own property.
template <class T>
T VariantProperty(REALobjectStruct* v, const char* name) {
    T value = T();
    REALGetPropValue(v, name, &value);
    return value;
}

}  // namespace

#define W(id, R, name, host, params, args) WX(id, R, name, host, params, params, args, false, Zero<R>::get())
#define WX(id, R, name, host, params, hparams, args, refuse, missing) \
    static void* slot_##id;                                           \
    R name params {                                                   \
        typedef R(*Fn) hparams;                                       \
        Fn fn = (Fn)Find(slot_##id, host);                            \
        if (fn != nullptr && !(refuse)) return fn args;               \
        return missing;                                               \
    }
#define WP(id, R, name, host, refuse, property) \
    static void* slot_##id;                     \
    R name(REALobjectStruct* v) {               \
        if (refuse) return Zero<R>::get();      \
        typedef R (*Fn)(REALobjectStruct*);     \
        Fn fn = (Fn)Find(slot_##id, host);      \
        if (fn != nullptr) return fn(v);        \
        return VariantProperty<R>(v, property); \
    }
#define WD(id, R, name, decl, property)                                      \
    static void* slot_##id;                                                  \
    R name(REALobjectStruct* v) {                                            \
        typedef R (*Fn)(REALobjectStruct*);                                  \
        if (slot_##id == nullptr) slot_##id = REALLoadFrameworkMethod(decl); \
        if (slot_##id != nullptr) return ((Fn)slot_##id)(v);                 \
        return VariantProperty<R>(v, property);                              \
    }
#define WF(id, family, T, host, own)                                                                   \
    static void* slot_##id;                                                                            \
    void REAL##family##ArrayValue(REALarrayStruct* a, long index, TKZ_ARRAY_VALUE_##family(T) value) { \
        Finder finder = (Finder)Find(slot_##id, host, TKZ_FINDER_##own(family, T));                    \
        if (finder == nullptr) return;                                                                 \
        ElementCall<T>::family(finder(a), a, index, value);                                            \
    }
#include "wrappers.def"
#undef W
#undef WX
#undef WP
#undef WD
#undef WF
