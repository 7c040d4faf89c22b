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
