// Host object functions. A missing host entry point turns into false, 0,
// nil or no effect; nothing is reported. Every reference taken is given back
// on every path, except the raised exception, which passes to the host.
#include "hostobjects.h"

#include "../text/strings.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

void RaiseException(const char* className, const char* message) {
    REALobjectStruct* exception = REALnewInstance(className);
    if (exception == nullptr) exception = REALnewInstance("NilObjectException");
    if (exception == nullptr) return;
    REALstringStruct* text =
        message != nullptr ? REALBuildUnicodeString(message, (int)strlen(message), kEncASCII) : nullptr;
    // The host's exception handling takes over our reference to the object.
    REALRaiseException(exception);
    REALSetPropValue(exception, "Message", text);
    if (text != nullptr) REALUnlockString(text);
}

REALmemoryBlockStruct* REALBuildMemoryblock(const void* data, int size) {
    if (data == nullptr || size < 1) return nullptr;
    REALmemoryBlockStruct* block = REALNewMemoryBlock(size);
    if (block == nullptr) return nullptr;
    void* bytes = REALMemoryBlockGetPtr(block);
    if (bytes == nullptr) {
        REALUnlockObject((REALobjectStruct*)block);
        return nullptr;
    }
    memcpy(bytes, data, (size_t)size);
    return block;
}

bool REALObjectIsA(REALobjectStruct* object, const char* className) {
    if (object == nullptr) return false;
    REALclassRefStruct* cls = REALGetClassRef(className);
    if (cls == nullptr) return false;
    return REALObjectIsA(object, cls);
}

bool IsMemoryBlock(REALobjectStruct* object) {
    return REALLoadObjectMethod(object, "Constructor(bytes as Integer)") != nullptr;
}

bool IsFolderItem(REALobjectStruct* object) {
    return REALLoadObjectMethod(object, "TrueItem(Index as integer) as Folderitem") != nullptr;
}

// Variant readers: the host's conversion entry point when it has one, else
// the variant's own property, preset so that no answer reads as 0 / nil.
namespace {
void* Find(void*& slot, const char* name) {
    if (slot == nullptr) slot = gResolver(name);
    return slot;
}
template <class R> R Convert(void*& slot, const char* name, REALobjectStruct* v, bool* found) {
    typedef R (*Fn)(REALobjectStruct*);
    Fn fn = (Fn)Find(slot, name);
    *found = fn != nullptr;
    return fn != nullptr ? fn(v) : R();
}
void* hashSlot;
void* singleSlot;
void* doubleSlot;
void* booleanSlot;
void* longSlot;
void* integerSlot;
void* stringSlot;
void* objectSlot;
void* typeSlot;
}  // namespace

unsigned long GetVariantHash(REALobjectStruct* v) {
    bool found;
    return Convert<unsigned long>(hashSlot, "VariantHash", v, &found);
}
float GetVariantSingle(REALobjectStruct* v) {
    bool found;
    return Convert<float>(singleSlot, "VariantToSingle", v, &found);
}
double GetVariantDouble(REALobjectStruct* v) {
    bool found;
    return Convert<double>(doubleSlot, "VariantToDouble", v, &found);
}
bool GetVariantBoolean(REALobjectStruct* v) {
    bool found;
    return Convert<bool>(booleanSlot, "VariantToBoolean", v, &found);
}
long long GetVariantLong(REALobjectStruct* v) {
    bool found;
    long long r = Convert<long long>(longSlot, "VariantToInt64", v, &found);
    if (found) return r;
    long long value = 0;
    REALGetPropValue(v, "LongValue", &value);
    return value;
}
long GetVariantInteger(REALobjectStruct* v) {
    bool found;
    long r = Convert<long>(integerSlot, "VariantToInt32", v, &found);
    if (found) return r;
    long value = 0;
    REALGetPropValue(v, "IntegerValue", &value);
    return value;
}
REALstringStruct* GetVariantString(REALobjectStruct* v) {
    if (v == nullptr) return nullptr;
    bool found;
    REALstringStruct* r = Convert<REALstringStruct*>(stringSlot, "VariantToString", v, &found);
    if (found) return r;
    REALstringStruct* value = nullptr;
    REALGetPropValue(v, "StringValue", &value);
    return value;
}
REALobjectStruct* GetVariantObject(REALobjectStruct* v) {
    if (v == nullptr) return nullptr;
    bool found;
    REALobjectStruct* r = Convert<REALobjectStruct*>(objectSlot, "VariantToObject", v, &found);
    if (found) return r;
    REALobjectStruct* value = nullptr;
    REALGetPropValue(v, "ObjectValue", &value);
    return value;
}
long GetVariantType(REALobjectStruct* v) {
    typedef long (*Fn)(REALobjectStruct*);
    if (typeSlot == nullptr) typeSlot = REALLoadFrameworkMethod("VarType(value As Variant) As Int32");
    if (typeSlot != nullptr) return ((Fn)typeSlot)(v);
    long value = 0;
    REALGetPropValue(v, "Type", &value);
    return value;
}

void DebugLog(REALstringStruct* text) {
    if (text == nullptr) {
        fprintf(stderr, "%s\n", "");
        fflush(stderr);
        return;
    }
    unsigned long enc = StringEncoding(text);
    if (enc == kEncUTF8 || enc == kEncASCII) {
        REALLockString(text);
        fprintf(stderr, "%s\n", StringText(text));
        fflush(stderr);
        REALUnlockString(text);
        return;
    }
    REALstringStruct* utf8 = REALConvertString(text, kEncUTF8);
    fprintf(stderr, "%s\n", utf8 != nullptr ? StringText(utf8) : "");
    fflush(stderr);
    if (utf8 != nullptr) REALUnlockString(utf8);
}

unsigned long TickCount() { return (unsigned long)((unsigned long long)time(nullptr) * 60u); }

void REALDrawPicturePrimitive(REALgraphicsStruct* g, REALpictureStruct* p, const RB::Rect* r) {
    REALDrawPicturePrimitive(g, p, r, 0);
}
