// Global utility methods whose subsystems are not built yet. Each answers the
// failure value of its declaration (nil, 0, false, no effect) until its own
// file replaces it.
#include "functions.h"

long GetHash32(REALstringStruct*) { return 1; }
REALstringStruct* BitwiseXORStringBytes(REALstringStruct*, long) { return nullptr; }
long getStringEncoding(REALstringStruct*) { return 0; }
void setStringEncoding(REALstringStruct*, long) {}
REALstringStruct* StringFromOSType(long) { return nullptr; }
long OSTypeFromString(REALstringStruct*) { return 0x20202020; }
REALmemoryBlockStruct* StringToMemoryBlockTKZ(REALstringStruct*) { return nullptr; }
REALstringStruct* MemoryBlockToString1(REALmemoryBlockStruct*) { return nullptr; }
REALstringStruct* MemoryBlockToString2(REALmemoryBlockStruct*, long) { return nullptr; }
REALstringStruct* CloneString(REALstringStruct*) { return nullptr; }
REALmemoryBlockStruct* CloneMemoryBlock1(REALmemoryBlockStruct*) { return nullptr; }
REALmemoryBlockStruct* CloneMemoryBlock2(REALmemoryBlockStruct*, long) { return nullptr; }

REALstringStruct* ValidateUUID(REALstringStruct*, long) { return nullptr; }
bool rbisaObject(REALobjectStruct*, REALstringStruct*) { return false; }
bool rbisaArray(REALarrayStruct*, REALstringStruct*) { return false; }

bool SetCurrentWorkingDirectoryTKZ(REALfolderItemStruct*) { return false; }
void RBSleep(double) {}
void RBDelay(double) {}
void RBDelay2(double, long) {}
long DoubleClickTime() { return 0; }
