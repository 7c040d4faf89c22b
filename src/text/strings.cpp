// Host string primitives. Every string the plugin creates is built here by
// REALBuildUnicodeString and carries one reference owned by the caller.
#include "strings.h"

#include <stdlib.h>
#include <string.h>

namespace {

// UTF-32 units are narrowed to UTF-16 before the host sees them. Units above
// 0xFFFF become surrogate pairs (so text outside the basic plane survives),
// and a unit that is no Unicode scalar value becomes U+FFFD. Up to
// kLocalUnits units are narrowed on the stack, longer text in a heap block.
const int kLocalUnits = 199;

int Narrow(const unsigned char* in, int count, unsigned short* out) {
    int n = 0;
    for (int i = 0; i < count; ++i) {
        uint32_t u;
        memcpy(&u, in + 4 * i, 4);
        if (u <= 0xFFFF) {
            out[n++] = (unsigned short)u;
        } else if (u <= 0x10FFFF) {
            u -= 0x10000;
            out[n++] = (unsigned short)(0xD800 | (u >> 10));
            out[n++] = (unsigned short)(0xDC00 | (u & 0x3FF));
        } else {
            out[n++] = 0xFFFD;
        }
    }
    return n;
}

REALstringStruct* BuildFromUTF32(const void* bytes, int length) {
    int count = length / 4;
    unsigned short local[2 * kLocalUnits + 2];
    unsigned short* units = local;
    if (count > kLocalUnits) {
        units = (unsigned short*)calloc(1, 4 * (size_t)count + 4);
        if (units == nullptr) return nullptr;
    }
    int n = Narrow((const unsigned char*)bytes, count, units);
    REALstringStruct* s = originalREALBuildString((const char*)units, 2 * n);
    if (s != nullptr) REALSetStringEncoding(s, kEncUTF16);
    if (units != local) free(units);
    return s;
}

}  // namespace

REALstringStruct* REALBuildUnicodeString(const void* bytes, int length, unsigned long encoding) {
    if (bytes == nullptr || length < 1) return nullptr;
    if (encoding == kEncUTF32) return BuildFromUTF32(bytes, length);
    REALstringStruct* s = originalREALBuildString((const char*)bytes, length);
    if (s != nullptr) REALSetStringEncoding(s, encoding);
    return s;
}

REALstringStruct* CString2RBmax(const char* text, unsigned long encoding, int maxLength) {
    if (text == nullptr) return nullptr;
    size_t n = maxLength > 0 ? strnlen(text, (size_t)maxLength) : strlen(text);
    return REALBuildUnicodeString(text, (int)n, encoding);
}

REALstringStruct* UnicodeCString2RB(const unsigned short* text) {
    if (text == nullptr) return nullptr;
    int n = 0;
    while (text[n] != 0) ++n;
    return REALBuildUnicodeString(text, 2 * n, kEncUTF16);
}

REALstringStruct* UnicodeCString2RB(const wchar_t* text) {
    if (text == nullptr) return nullptr;
    return REALBuildUnicodeString(text, 4 * (int)wcslen(text), kEncUTF32);
}

REALstringStruct* REALBuildOSTypeString(unsigned long code) {
    unsigned char b[4] = {(unsigned char)(code >> 24), (unsigned char)(code >> 16), (unsigned char)(code >> 8),
                          (unsigned char)code};
    bool high = (b[0] | b[1] | b[2] | b[3]) & 0x80;
    return REALBuildUnicodeString(b, 4, high ? kEncMacRoman : kEncASCII);
}

// A text of one to three bytes fills the code from its first byte on and the
// positions after it keep their spaces, so "ab" reads as 'ab  ' - the way
// short four-character codes are written by hand.
unsigned long REALstringToOSType(REALstringStruct* s) {
    REALstringStruct* converted = REALConvertString(s, kEncMacRoman);
    REALstringStruct* from = converted != nullptr ? converted : s;
    unsigned long code = 0x20202020;
    if (from != nullptr) {
        const unsigned char* p = (const unsigned char*)StringText(from);
        int n = StringLength(from);
        if (n > 4) n = 4;
        for (int i = 0; i < n; ++i) {
            int shift = 8 * (3 - i);
            code = (code & ~(0xFFUL << shift)) | ((unsigned long)p[i] << shift);
        }
    }
    if (converted != nullptr) REALUnlockString(converted);
    return code;
}

REALstringStruct* REALConvertStringFast(REALstringStruct* s, unsigned long encoding) {
    if (s == nullptr) return nullptr;
    unsigned long have = StringEncoding(s);
    bool asciiSubset =
        have == kEncASCII && (encoding == kEncWindows || encoding == kEncUTF8 || encoding == kEncMacRoman);
    if (have == encoding || asciiSubset) {
        REALLockString(s);
        return s;
    }
    return REALConvertString(s, encoding);
}

unsigned long REALGetLowestStringEncoding(REALstringStruct* s) {
    if (s == nullptr) return kEncASCII;
    unsigned long enc = StringEncoding(s);
    if (enc != kEncMacRoman && enc != kEncWindows && enc != kEncUTF8 && enc != kEncRaw) return enc;
    const unsigned char* p = (const unsigned char*)StringText(s);
    for (int32_t i = 0; i < StringLength(s); ++i)
        if (p[i] >= 0x80) return enc;
    return kEncASCII;
}
