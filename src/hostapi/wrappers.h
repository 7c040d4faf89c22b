// Host wrappers: one function per host entry point the plugin calls, named
// as the host's SDK names it (the variant readers by the plugin's own names).
// Each is a row of wrappers.def, which says what it answers when the host
// lacks the entry point.
#pragma once

#include "records.h"

struct REALevent;

extern "C" REALResolver gResolver;
void* HCallResolver(const char* name);

// Array element access, as the rows of kind WF give it:
//   REALInsertArrayValue(array, index, value): the element procedure is
//     called with (array, index, value);
//   REALGetArrayValue(array, index, out): with (array, index), its answer
//     stored at out; a null out reads nothing;
//   REALSetArrayValue(array, index, value): with (array, value, index).
#define TKZ_ARRAY_VALUE_Insert(T) T
#define TKZ_ARRAY_VALUE_Get(T) T*
#define TKZ_ARRAY_VALUE_Set(T) T

#define W(id, R, name, host, params, args) R name params;
#define WX(id, R, name, host, params, hparams, args, refuse, missing) R name params;
#define WP(id, R, name, host, refuse, property) R name(REALobjectStruct* v);
#define WD(id, R, name, decl, property) R name(REALobjectStruct* v);
#define WF(id, family, T, host, own) \
    void REAL##family##ArrayValue(REALarrayStruct* a, long index, TKZ_ARRAY_VALUE_##family(T) value);
#include "wrappers.def"
#undef W
#undef WX
#undef WP
#undef WD
#undef WF
