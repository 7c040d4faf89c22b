// rbText conversions. The single-byte and UTF-8 forms are host strings kept
// alive by the object (no copies); the UTF-16 and 32-bit forms are owned,
// zero-terminated blocks. Nothing fails loudly: a nil string, a missing host
// entry point or a refused block all end in the empty forms.
#include "rbtext.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

const unsigned short empty16[4] = {0, 0, 0, 0};
const unsigned int empty32[4] = {0, 0, 0, 0};

namespace {
const char kEmpty[1] = {0};

void Release(REALstringStruct*& s) {
    if (s != nullptr) REALUnlockString(s);
    s = nullptr;
}

// The converted UTF-16 bytes, without a leading byte-order mark in either
// order; never byte-swapped. *out keeps the reference to release.
const unsigned char* Utf16Bytes(REALstringStruct* text, REALstringStruct** out, int* n) {
    *n = 0;
    *out = text != nullptr ? REALConvertString(text, kEncUTF16) : nullptr;
    if (*out == nullptr) return nullptr;
    const unsigned char* p = (const unsigned char*)StringText(*out);
    int len = StringLength(*out);
    unsigned short unit;
    if (len >= 2) {
        memcpy(&unit, p, 2);
        if (unit == 0xFEFF) p += 2, len -= 2;
    }
    if (len >= 2) {
        memcpy(&unit, p, 2);
        if (unit == 0xFFFE) p += 2, len -= 2;
    }
    *n = len;
    return p;
}
}  // namespace

rbText::rbText(REALstringStruct* s)
    : text(s),
      utf16(nullptr),
      utf32(nullptr),
      utf8Length(-1),
      utf16Length(-1),
      utf32Length(-1),
      windowsText(nullptr),
      macRomanText(nullptr),
      asciiText(nullptr),
      utf8Text(nullptr),
      intArray(nullptr),
      arrayCount(0),
      wValues(nullptr),
      cValues(nullptr),
      bstr(nullptr) {
    if (s != nullptr) REALLockString(s);
}

// Starts as the text of a nil string would, then takes the array.
rbText::rbText(REALintArrayStruct* a) : rbText((REALstringStruct*)nullptr) {
    intArray = a;
    if (a != nullptr) {
        REALLockObject((REALobjectStruct*)a);
        arrayCount = REALGetArrayUBound(a) + 1;
    }
}

rbText::~rbText() {
    Release(text);
    Release(windowsText);
    Release(macRomanText);
    Release(utf8Text);
    Release(asciiText);
    if (intArray != nullptr) REALUnlockObject((REALobjectStruct*)intArray);
    intArray = nullptr;
    if (utf16 != nullptr && utf16 != empty16) free(utf16);
    if (utf32 != nullptr && utf32 != empty32) free(utf32);
    free(cValues);
    free(wValues);
    utf8Length = utf16Length = utf32Length = -1;
    utf16 = nullptr;
    utf32 = nullptr;
    wValues = nullptr;
    cValues = nullptr;
    bstr = nullptr;
}

const char* rbText::Form(REALstringStruct** field, unsigned long encoding) {
    if (text != nullptr && *field == nullptr) *field = REALConvertStringFast(text, encoding);
    return *field != nullptr ? StringText(*field) : kEmpty;
}

const char* rbText::GetASCII() { return Form(&asciiText, kEncASCII); }
const char* rbText::GetMacRoman() { return Form(&macRomanText, kEncMacRoman); }
const char* rbText::GetWindows() { return Form(&windowsText, kEncWindows); }

REALstringStruct* rbText::ConvertUTF8() {
    Form(&utf8Text, kEncUTF8);
    utf8Length = utf8Text != nullptr ? StringLength(utf8Text) : 0;
    return utf8Text;
}

const char* rbText::GetUTF8() {
    REALstringStruct* s = ConvertUTF8();
    return s != nullptr ? StringText(s) : kEmpty;
}

long rbText::LengthUTF8() {
    if (utf8Length >= 0) return utf8Length;
    ConvertUTF8();
    return utf8Length;
}

long rbText::LengthWindows() {
    if (text != nullptr && windowsText == nullptr) windowsText = REALConvertString(text, kEncWindows);
    return windowsText != nullptr ? StringLength(windowsText) : 0;
}

const char* rbText::GetDirect() { return text != nullptr ? StringText(text) : kEmpty; }
long rbText::LengthDirect() { return text != nullptr ? StringLength(text) : 0; }

const char* rbText::GetNative() {
    if (intArray != nullptr) return (const char*)GetCValues();
    return GetUTF8();
}

void rbText::ConvertUTF16() {
    REALstringStruct* converted;
    int n;
    const unsigned char* p = Utf16Bytes(text, &converted, &n);
    utf16 = (unsigned short*)empty16;
    utf16Length = 0;
    if (p != nullptr && n > 0) {
        unsigned short* block = (unsigned short*)calloc(1, (size_t)n + 4);
        if (block != nullptr) {
            memcpy(block, p, (size_t)n);
            utf16 = block;
            utf16Length = n / 2;
        }
    }
    if (converted != nullptr) REALUnlockString(converted);
}

// Each 16-bit unit becomes one 32-bit unit; a well-formed surrogate pair is
// combined into the one code point it stands for, so the 32-bit form holds
// characters, not halves of them. A lone surrogate is kept as it is.
void rbText::ConvertUTF32() {
    REALstringStruct* converted;
    int n;
    const unsigned char* p = Utf16Bytes(text, &converted, &n);
    utf32 = (unsigned int*)empty32;
    utf32Length = 0;
    if (p != nullptr && n > 0) {
        unsigned int* block = (unsigned int*)calloc(1, 2 * (size_t)n + 4);
        if (block != nullptr) {
            int units = n / 2, w = 0;
            for (int i = 0; i < units; ++i) {
                unsigned short u, v;
                memcpy(&u, p + 2 * i, 2);
                if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
                    memcpy(&v, p + 2 * i + 2, 2);
                    if (v >= 0xDC00 && v <= 0xDFFF) {
                        block[w++] = 0x10000 + ((unsigned int)(u - 0xD800) << 10) + (v - 0xDC00);
                        ++i;
                        continue;
                    }
                }
                block[w++] = u;
            }
            utf32 = block;
            utf32Length = w;
        }
    }
    if (converted != nullptr) REALUnlockString(converted);
}

const unsigned short* rbText::GetUTF16() {
    if (utf16 == nullptr) ConvertUTF16();
    return utf16;
}
long rbText::LengthUTF16() {
    if (utf16Length < 0) ConvertUTF16();
    return utf16Length;
}
const unsigned int* rbText::GetUTF32() {
    if (utf32 == nullptr) ConvertUTF32();
    return utf32;
}
const wchar_t* rbText::GetWChar() { return (const wchar_t*)GetUTF32(); }
long rbText::LengthUTF32() {
    if (utf32Length < 0) ConvertUTF32();
    return utf32Length;
}
long rbText::LengthWChar() { return LengthUTF32(); }

const unsigned short* rbText::GetWValues() {
    if (arrayCount <= 0) return wValues;
    if (wValues != nullptr) return wValues;
    if (arrayCount > (INT_MAX - 2) / 2) return wValues = nullptr;
    unsigned short* block = (unsigned short*)calloc(1, 2 * (size_t)arrayCount + 2);
    if (block == nullptr) return nullptr;
    for (long i = 0; i < arrayCount; ++i) block[i] = (unsigned short)REALGetArrayInt(intArray, (int)i);
    return wValues = block;
}

const unsigned char* rbText::GetCValues() {
    if (arrayCount <= 0) return cValues;
    if (cValues != nullptr) return cValues;
    if (arrayCount > INT_MAX - 1) return cValues = nullptr;
    unsigned char* block = (unsigned char*)calloc(1, (size_t)arrayCount + 1);
    if (block == nullptr) return nullptr;
    for (long i = 0; i < arrayCount; ++i) block[i] = (unsigned char)REALGetArrayInt(intArray, (int)i);
    return cValues = block;
}

long rbText::LengthArray() { return arrayCount; }
void* rbText::GetBSTR() { return bstr; }

// A Mac OS Roman or UTF-8 text that is not empty can be handed on as
// single-byte text exactly when all its bytes are 7-bit.
bool rbText::IsANSI() {
    if (text == nullptr) return true;
    unsigned long enc = StringEncoding(text);
    if (enc == kEncASCII || enc == kEncWindows) return true;
    if (enc != kEncMacRoman && enc != kEncUTF8) return false;
    const unsigned char* p = (const unsigned char*)StringText(text);
    for (int32_t i = 0; i < StringLength(text); ++i)
        if (p[i] >= 0x80) return false;
    return true;
}

const char* GetASCII(rbText& t) { return t.GetASCII(); }
const char* GetMacRoman(rbText& t) { return t.GetMacRoman(); }
const char* GetWindows(rbText& t) { return t.GetWindows(); }
const char* GetPassword(rbText& t) { return t.Form(&t.windowsText, kEncWindows); }
const char* GetUTF8(rbText& t) { return t.GetUTF8(); }
const unsigned short* GetUTF16(rbText& t) { return t.GetUTF16(); }
const unsigned int* GetUTF32(rbText& t) { return t.GetUTF32(); }
