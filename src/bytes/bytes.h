// The string and memory-block methods of the global method table.
#pragma once

#include "../hostapi/records.h"

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
