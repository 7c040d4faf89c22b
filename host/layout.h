// The binary layouts the host shares with a plugin, written down on the
// host's side of the boundary (the plugin keeps its own copy). Sizes and
// offsets are asserted so a slip on either side shows in the tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

// A host string. The plugin reads buffer (text from buffer + 1, NUL after the
// text), length and encoding.
struct StringRec {
    uint32_t magic;
    char* buffer;
    uint32_t serial;
    int32_t length;
    uint32_t encoding;
};
static_assert(sizeof(StringRec) == 20, "");
static_assert(offsetof(StringRec, buffer) == 4, "");
static_assert(offsetof(StringRec, length) == 12, "");
static_assert(offsetof(StringRec, encoding) == 16, "");

struct MethodDef {
    void* function;
    uint32_t reserved;
    const char* declaration;
    uint32_t flags;
};
static_assert(sizeof(MethodDef) == 16, "");
static_assert(offsetof(MethodDef, declaration) == 8, "");
static_assert(offsetof(MethodDef, flags) == 12, "");

// A property's getter or setter that says the host reads or writes the
// instance data itself, at dataOffset + param.
inline void* const kDirect = (void*)(intptr_t)-1;

struct PropertyDef {
    uint32_t reserved0;
    const char* name;
    const char* type;
    uint32_t flags;
    void* getter;  // kDirect: direct read
    void* setter;  // kDirect: direct write, null: read-only
    uint32_t param;
    uint32_t reserved1[3];
};
static_assert(sizeof(PropertyDef) == 40, "");
static_assert(offsetof(PropertyDef, getter) == 16, "");
static_assert(offsetof(PropertyDef, setter) == 20, "");
static_assert(offsetof(PropertyDef, param) == 24, "");

struct ClassDef {
    uint32_t version;
    const char* name;
    uint32_t reserved0;
    uint32_t dataSize;
    uint32_t dataOffset;
    void* constructor;
    void* destructor;
    PropertyDef* properties;
    uint32_t propertyCount;
    MethodDef* methods;
    uint32_t methodCount;
    uint32_t reserved1[9];
    uint32_t flags;
    uint32_t reserved2[2];
    MethodDef* sharedMethods;
    uint32_t sharedMethodCount;
};
static_assert(sizeof(ClassDef) == 100, "");
static_assert(offsetof(ClassDef, dataSize) == 12, "");
static_assert(offsetof(ClassDef, dataOffset) == 16, "");
static_assert(offsetof(ClassDef, destructor) == 24, "");
static_assert(offsetof(ClassDef, properties) == 28, "");
static_assert(offsetof(ClassDef, methods) == 36, "");
static_assert(offsetof(ClassDef, flags) == 80, "");
static_assert(offsetof(ClassDef, sharedMethods) == 92, "");
static_assert(offsetof(ClassDef, sharedMethodCount) == 96, "");

// The host's header at the start of every object. For arrays the third word
// is the address of the contiguous element storage, which plugins read.
struct ObjectHeader {
    uint32_t magic;
    struct HostClass* cls;
    void* storage;
    uint32_t serial;
    void* payload;  // host-side data of host classes
};
static_assert(offsetof(ObjectHeader, storage) == 8, "");

const uint32_t kStringMagic = 0x53545231;  // "STR1"
const uint32_t kObjectMagic = 0x4F424A31;  // "OBJ1"

}  // namespace host
