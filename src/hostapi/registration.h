// What every registered table is made of: the flags the host expects in
// class, method and property entries, the interface version, and record
// initialisers so that each table reads as its declarations. Loading the
// library runs none of this: every table is constant-initialised data.
#pragma once

#include "records.h"

// Flags of every registered definition and entry; one method entry departs
// (styledata/classes.cpp).
const uint32_t kClassFlags = 4;
const uint32_t kMethodFlags = 4;
const uint32_t kPropertyFlags = 6;
const uint32_t kInterfaceVersion = 9;

// The number of entries of a table, as the compiler counts its initialisers.
// Each table asserts next to it the count that its registration requires.
template <class T, uint32_t N>
constexpr uint32_t CountOf(const T (&)[N]) {
    return N;
}

// Record initialisers, so that the tables read as their declarations.
#define TKZ_METHOD(fn, decl) \
    { (void*)(fn), 0, decl, kMethodFlags }
#define TKZ_PROPERTY(name, type, getter, setter, param)                                     \
    {                                                                                       \
        0, name, type, kPropertyFlags, (void*)(getter), (void*)(setter), param, { 0, 0, 0 } \
    }
#define TKZ_CLASS(name, size, ctor, dtor, props, nprops, methods, nmethods, shared, nshared)                      \
    {                                                                                                             \
        kInterfaceVersion, name, 0, size, 0, (void*)(ctor), (void*)(dtor), props, nprops, methods, nmethods, {0}, \
            kClassFlags, {0, 0}, shared, nshared                                                                  \
    }
