// Host object functions built on several wrappers: raising a named
// exception, memory blocks from bytes, class tests by name, variant readers,
// a debug line on standard error and a tick counter.
#pragma once

#include "../hostapi/wrappers.h"

void RaiseException(const char* className, const char* message);
REALmemoryBlockStruct* REALBuildMemoryblock(const void* data, int size);
bool REALObjectIsA(REALobjectStruct* object, const char* className);
bool IsMemoryBlock(REALobjectStruct* object);
bool IsFolderItem(REALobjectStruct* object);
long GetVariantType(REALobjectStruct* variant);
long GetVariantInteger(REALobjectStruct* variant);
long long GetVariantLong(REALobjectStruct* variant);
bool GetVariantBoolean(REALobjectStruct* variant);
float GetVariantSingle(REALobjectStruct* variant);
double GetVariantDouble(REALobjectStruct* variant);
REALstringStruct* GetVariantString(REALobjectStruct* variant);
REALobjectStruct* GetVariantObject(REALobjectStruct* variant);
unsigned long GetVariantHash(REALobjectStruct* variant);
void DebugLog(REALstringStruct* text);
unsigned long TickCount();
void REALDrawPicturePrimitive(REALgraphicsStruct* g, REALpictureStruct* p, const RB::Rect* r);
