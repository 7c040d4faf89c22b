// Host object functions built on several wrappers: raising a named
// exception, memory blocks from bytes, class tests by name, a debug line on
// standard error and a tick counter. The variant readers are rows of the
// wrapper table (wrappers.def).
//
// Of the functions below, registered methods use only REALObjectIsA by class
// name.
#pragma once

#include "../hostapi/wrappers.h"

void RaiseException(const char* className, const char* message);
REALmemoryBlockStruct* REALBuildMemoryblock(const void* data, int size);
bool REALObjectIsA(REALobjectStruct* object, const char* className);
bool IsMemoryBlock(REALobjectStruct* object);
bool IsFolderItem(REALobjectStruct* object);
void DebugLog(REALstringStruct* text);
unsigned long TickCount();
void REALDrawPicturePrimitive(REALgraphicsStruct* g, REALpictureStruct* p, const RB::Rect* r);
