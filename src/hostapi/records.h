// Host-facing records of the plugin interface, as the host reads them: arrays
// of 32-bit little-endian words (pointers are 32 bits). Every size and offset
// the host relies on is asserted below, so a layout slip fails the build.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Opaque host handles. The plugin never allocates them; nil is the null handle.
struct REALstringStruct;
struct REALobjectStruct;
struct REALfolderItemStruct;
struct REALmemoryBlockStruct;
struct REALarrayStruct;
struct REALintArrayStruct;
struct REALstringArrayStruct;
struct REALobjectArrayStruct;
struct REALclassRefStruct;
struct REALpictureStruct;
struct REALgraphicsStruct;
struct REALcontrolInstanceStruct;
struct REALstringData;
struct REALmoduleDefinition;
struct REALpictureDescription;
namespace RB {
struct Rect;
}

typedef long REALArrayType;
typedef long RBPixelType;

// The resolver the host hands to REALPluginMain: entry-point name to address.
typedef void* (*REALResolver)(const char* name);

// The words of a method entry (global, instance, shared or extension method).
struct REALmethodDefinition {
    void* function;           // the procedure implementing the method
    uint32_t reserved;        // always 0
    const char* declaration;  // declaration text in the host language
    uint32_t flags;           // kMethodFlags (registration.h)
};

// The words of a property entry.
struct REALpropertyDefinition {
    uint32_t reserved0;
    const char* name;
    const char* type;  // "Boolean", "Integer", "String", "Color", "Double"
    uint32_t flags;    // kPropertyFlags (registration.h)
    void* getter;      // TKZ_DIRECT: the host reads at dataOffset + param
    void* setter;      // TKZ_DIRECT: direct write; nullptr: read-only
    uint32_t param;    // offset of the field within the instance data
    uint32_t reserved1[3];
};

// The words of a class definition; also used for a class extension.
struct REALclassDefinition {
    uint32_t version;  // kInterfaceVersion (registration.h)
    const char* name;
    uint32_t reserved0;
    uint32_t dataSize;    // rounded up to a multiple of 16 when registered
    uint32_t dataOffset;  // written by the host when it registers the class
    void* constructor;
    void* destructor;
    REALpropertyDefinition* properties;
    uint32_t propertyCount;
    REALmethodDefinition* methods;
    uint32_t methodCount;
    uint32_t reserved1[9];
    uint32_t flags;  // kClassFlags (registration.h)
    uint32_t reserved2[2];
    REALmethodDefinition* sharedMethods;
    uint32_t sharedMethodCount;
};

// Only the third word of a control record is touched by the plugin.
struct REALcontrol {
    uint32_t version;
    const char* name;
    uint32_t dataSize;
};

// "All bits set" marks a property accessor that the host performs itself.
#define TKZ_DIRECT ((void*)(intptr_t)-1)
// Tables holding TKZ_DIRECT: clang does not take the cast as a constant, so
// there they are asserted constant by gcc only (the build test checks that
// the plugin runs nothing at load).
#if defined(__clang__)
#define TKZ_CONSTINIT
#else
#define TKZ_CONSTINIT constinit
#endif

static_assert(sizeof(void*) == 4, "the plugin interface is 32-bit");
static_assert(sizeof(long) == 4, "long is a 32-bit word on this platform");

static_assert(sizeof(REALmethodDefinition) == 16, "method entry is 4 words");
static_assert(offsetof(REALmethodDefinition, function) == 0, "");
static_assert(offsetof(REALmethodDefinition, declaration) == 8, "");
static_assert(offsetof(REALmethodDefinition, flags) == 12, "");

static_assert(sizeof(REALpropertyDefinition) == 40, "property entry is 10 words");
static_assert(offsetof(REALpropertyDefinition, name) == 4, "");
static_assert(offsetof(REALpropertyDefinition, type) == 8, "");
static_assert(offsetof(REALpropertyDefinition, flags) == 12, "");
static_assert(offsetof(REALpropertyDefinition, getter) == 16, "");
static_assert(offsetof(REALpropertyDefinition, setter) == 20, "");
static_assert(offsetof(REALpropertyDefinition, param) == 24, "");

static_assert(sizeof(REALclassDefinition) == 100, "class definition is 25 words");
static_assert(offsetof(REALclassDefinition, name) == 4, "");
static_assert(offsetof(REALclassDefinition, dataSize) == 12, "");
static_assert(offsetof(REALclassDefinition, dataOffset) == 16, "");
static_assert(offsetof(REALclassDefinition, constructor) == 20, "");
static_assert(offsetof(REALclassDefinition, destructor) == 24, "");
static_assert(offsetof(REALclassDefinition, properties) == 28, "");
static_assert(offsetof(REALclassDefinition, propertyCount) == 32, "");
static_assert(offsetof(REALclassDefinition, methods) == 36, "");
static_assert(offsetof(REALclassDefinition, methodCount) == 40, "");
static_assert(offsetof(REALclassDefinition, flags) == 80, "");
static_assert(offsetof(REALclassDefinition, sharedMethods) == 92, "");
static_assert(offsetof(REALclassDefinition, sharedMethodCount) == 96, "");

static_assert(offsetof(REALcontrol, dataSize) == 8, "");

// The instance data of a plugin class: instance address + the dataOffset the
// host wrote into the class definition, read afresh on every access.
template <class T>
inline T* InstanceData(const REALclassDefinition& cls, REALobjectStruct* instance) {
    return (T*)((char*)instance + cls.dataOffset);
}
