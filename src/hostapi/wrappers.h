// Host wrappers: one function per host service, named as the host's SDK names
// it. Each finds its entry point by name on first use (wrappers.def) and
// answers 0 / nil / false when the host lacks it; a missing entry point is
// asked for again at the next call.
#pragma once

#include "records.h"

struct REALevent;

extern "C" REALResolver gResolver;
void* HCallResolver(const char* name);

#define W(id, R, name, host, params, args) R name params;
#define WX(id, R, name, host, params, hparams, args, refuse, missing) R name params;
#include "wrappers.def"
#undef W
#undef WX

// Array element access. The element value types of each family:
#define TKZ_ARRAY_INSERT_TYPES(X) \
    X(I64, long long) X(I32, long) X(U64, unsigned long long) X(U32, unsigned long) \
    X(U16, unsigned short) X(F32, float) X(F64, double) X(Str, REALstringStruct*) X(Obj, REALobjectStruct*)
#define TKZ_ARRAY_GET_TYPES(X) \
    X(I64, long long) X(I32, long) X(U64, unsigned long long) X(U32, unsigned long) \
    X(U16, unsigned short) X(U8, unsigned char) X(F32, float) X(F64, double) \
    X(Str, REALstringStruct*) X(Obj, REALobjectStruct*)
#define TKZ_ARRAY_SET_TYPES(X) \
    X(I64, long long) X(I32, long) X(U64, unsigned long long) X(U32, unsigned long) \
    X(F64, double) X(Str, REALstringStruct*) X(Obj, REALobjectStruct*)

#define X(id, T) void REALInsertArrayValue(REALarrayStruct* a, long index, T value);
TKZ_ARRAY_INSERT_TYPES(X)
#undef X
#define X(id, T) void REALGetArrayValue(REALarrayStruct* a, long index, T* out);
TKZ_ARRAY_GET_TYPES(X)
#undef X
#define X(id, T) void REALSetArrayValue(REALarrayStruct* a, long index, T value);
TKZ_ARRAY_SET_TYPES(X)
#undef X
