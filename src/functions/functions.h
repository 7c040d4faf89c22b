// Global utility methods registered in the global method table.
#pragma once

#include "../hostapi/records.h"

// String and memory block functions.
long GetHash32(REALstringStruct* s);
REALstringStruct* BitwiseXORStringBytes(REALstringStruct* s, long v);
long getStringEncoding(REALstringStruct* s);
void setStringEncoding(REALstringStruct* s, long encoding);
REALstringStruct* StringFromOSType(long code);
long OSTypeFromString(REALstringStruct* s);
REALmemoryBlockStruct* StringToMemoryBlockTKZ(REALstringStruct* s);
REALstringStruct* MemoryBlockToString1(REALmemoryBlockStruct* block);
REALstringStruct* MemoryBlockToString2(REALmemoryBlockStruct* block, long len);
REALstringStruct* CloneString(REALstringStruct* s);
REALmemoryBlockStruct* CloneMemoryBlock1(REALmemoryBlockStruct* block);
REALmemoryBlockStruct* CloneMemoryBlock2(REALmemoryBlockStruct* block, long len);

// UUID validation and class-name tests.
REALstringStruct* ValidateUUID(REALstringStruct* text, long mode);
bool rbisaObject(REALobjectStruct* o, REALstringStruct* className);
bool rbisaArray(REALarrayStruct* v, REALstringStruct* className);

// Working directory, delays, console callbacks, cursor and desktop.
bool SetCurrentWorkingDirectoryTKZ(REALfolderItemStruct* path);
long ReturnErrPtr();
long ReturnOutPtr();
long ReturnInPtr();
void RBSleep(double time);
void RBDelay(double time);
void RBDelay2(double time, long mode);
void RBShowCursor();
void RBHideCursor();
void RBObscureCursor();
long DoubleClickTime();

extern "C" {
int gsdll_stdin(void* instance, char* buffer, int length);
int gsdll_stdout(void* instance, const char* text, int length);
int gsdll_stderr(void* instance, const char* text, int length);
}
