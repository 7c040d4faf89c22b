// Host string primitives: the fields of the host string record the plugin
// reads, the text-encoding values, and the one builder every host string of
// the plugin goes through. Empty input builds nil, never an empty string.
#pragma once

#include "../hostapi/wrappers.h"

#include <stddef.h>
#include <wchar.h>

// Text-encoding values.
enum : unsigned long {
    kEncMacRoman = 0x00000000,
    kEncUTF16 = 0x00000100,    // machine byte order
    kEncWindows = 0x00000500,  // Windows Latin-1, code page 1252
    kEncASCII = 0x00000600,
    kEncUTF8 = 0x08000100,
    kEncUTF32 = 0x0C000100,  // machine byte order; input only
    kEncRaw = 0x0000FFFF,    // bytes of no known encoding
};

// The host string record as the plugin reads it (never writes it).
struct StringRecord {
    uint32_t reserved0;
    char* buffer;  // text starts at buffer + 1 and is followed by a NUL
    uint32_t reserved1;
    int32_t length;  // in bytes
    uint32_t encoding;
};
static_assert(offsetof(StringRecord, buffer) == 4, "");
static_assert(offsetof(StringRecord, length) == 12, "");
static_assert(offsetof(StringRecord, encoding) == 16, "");

inline const StringRecord* Record(REALstringStruct* s) { return (const StringRecord*)s; }
// Text, length and encoding of a non-nil string.
inline const char* StringText(REALstringStruct* s) { return Record(s)->buffer + 1; }
inline int32_t StringLength(REALstringStruct* s) { return Record(s)->length; }
inline unsigned long StringEncoding(REALstringStruct* s) { return Record(s)->encoding; }
// Nil-safe forms: a nil string is zero bytes.
inline int32_t LengthOf(REALstringStruct* s) { return s ? StringLength(s) : 0; }

REALstringStruct* REALBuildUnicodeString(const void* bytes, int length, unsigned long encoding);
REALstringStruct* CString2RBmax(const char* text, unsigned long encoding, int maxLength);
REALstringStruct* UnicodeCString2RB(const unsigned short* text);
REALstringStruct* UnicodeCString2RB(const wchar_t* text);
REALstringStruct* REALBuildOSTypeString(unsigned long code);
unsigned long REALstringToOSType(REALstringStruct* s);
REALstringStruct* REALConvertStringFast(REALstringStruct* s, unsigned long encoding);
unsigned long REALGetLowestStringEncoding(REALstringStruct* s);
