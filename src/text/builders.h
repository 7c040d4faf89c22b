// Growable text builders finished into one host string. A builder is closed
// (data nil) before Init, after a failed Init or growth, and after Finish,
// SecureFinish or Free; appends to a closed builder do nothing and its Finish
// answers nil, so callers may append without checking.
//
// The display path of a folder item is the one registered user (InitUTF8,
// AddString, Finish); no registered method uses the other forms,
// UnicodeStringHandle among them.
#pragma once

#include "strings.h"

struct AsciiStringHandle {
    char* data;  // block of capacity + 4 bytes; text starts at data + 1
    int length;  // text bytes added so far
    int capacity;
    unsigned long encoding;
};

struct UnicodeStringHandle {
    char* data;    // 16-bit units from data + 1 on, read and written unaligned
    int length;    // in 16-bit units
    int capacity;  // in bytes
};

bool InitUTF8(AsciiStringHandle& h, int capacity);
bool InitASCII(AsciiStringHandle& h, int capacity);
bool InitBinary(AsciiStringHandle& h, int capacity);
bool Init(UnicodeStringHandle& h, int capacity);

void AddString(AsciiStringHandle& h, const char* s);
void Add(AsciiStringHandle& h, const char* entityName);
void AddBinary(AsciiStringHandle& h, const void* bytes, int count);
void Add(AsciiStringHandle& h, char c);
void AddString(UnicodeStringHandle& h, const short* units, int count);
void AddString(UnicodeStringHandle& h, const char* s, int count);
void AddString(UnicodeStringHandle& h, const char* s);
void Add(UnicodeStringHandle& h, const char* entityName);
void Add(UnicodeStringHandle& h, unsigned short unit);

REALstringStruct* Finish(AsciiStringHandle& h);
REALstringStruct* SecureFinish(AsciiStringHandle& h);
REALstringStruct* Finish(UnicodeStringHandle& h);
REALstringStruct* CopyString(AsciiStringHandle& h);
void Free(AsciiStringHandle& h);
void Free(UnicodeStringHandle& h);
void ClearData(AsciiStringHandle& h);
