// Shared between the emulated host's own files: the host-side data of its
// own classes, the stack words of calls, and the number of calls it counts.
#pragma once

#include "host.h"

namespace host {

struct FolderPayload {
    std::string path;  // real item: its absolute path
    bool synthetic = false;
    std::string name, displayName;
    void* parent = nullptr;  // synthetic item: its parent (one reference)
};

struct BlockPayload {
    char* data = nullptr;
    int32_t size = 0;  // -1: size unknown (made from a pointer)
    bool owned = false;
};

struct ArrayPayload {
    int type = 0;  // element type, a TypeCode
    int count = 0;
};

struct VariantPayload {
    int type = 0;  // a TypeCode
    Value value;   // Handle values hold one reference
};

struct ExceptionPayload {
    StringRec* message = nullptr;
};

// A double as two stack words, low word first (call.cpp).
void PushDouble(std::vector<uint32_t>& words, double d);
// A boolean's stack word: the byte, with junk above it as a real caller may
// leave it.
inline uint32_t BooleanWord(bool b) { return 0xA5A5A500u | (b ? 1u : 0u); }

template <class T>
T* PayloadOf(void* obj) {
    return (T*)((ObjectHeader*)obj)->payload;
}
int ElementSize(int type);  // bytes of an array element of a TypeCode (objects.cpp)
// A folder item's property by lower-case name (folderitems.cpp); no value
// for a name it lacks.
Value FolderItemProperty(Host& host, void* item, const std::string& lowerName);
// Gives back what a host object holds, when the ledger destroys it (objects.cpp).
void DestroyPayload(Host& host, ObjectHeader* o);

// How many calls the host counts: the rows of entrypoints.def (entrypoints.cpp).
int CountedCalls();

}  // namespace host
