// rbText: wraps one host string (or host integer array) for the length of a
// call and hands out its text in a chosen encoding. Every form is made at
// most once, when first asked for, and stays valid until destruction.
#pragma once

#include "strings.h"

extern const unsigned short empty16[4];
extern const unsigned int empty32[4];

class rbText {
  public:
    explicit rbText(REALstringStruct* s);
    explicit rbText(REALintArrayStruct* a);
    ~rbText();
    rbText(const rbText&) = delete;
    rbText& operator=(const rbText&) = delete;

    const char* GetASCII();
    const char* GetMacRoman();
    const char* GetWindows();
    const char* GetUTF8();
    REALstringStruct* ConvertUTF8();
    long LengthUTF8();
    long LengthWindows();
    const char* GetDirect();
    long LengthDirect();
    const char* GetNative();

    // Registered methods read an rbText through GetASCII and GetUTF8 only;
    // none uses the other forms, these wide and array forms among them, nor
    // the free functions below.
    void ConvertUTF16();
    const unsigned short* GetUTF16();
    long LengthUTF16();
    void ConvertUTF32();
    const unsigned int* GetUTF32();
    const wchar_t* GetWChar();
    long LengthUTF32();
    long LengthWChar();

    const unsigned short* GetWValues();
    const unsigned char* GetCValues();
    long LengthArray();
    void* GetBSTR();
    bool IsANSI();

    // Shared by GetWindows and the free GetPassword.
    const char* Form(REALstringStruct** field, unsigned long encoding);

  private:
    REALstringStruct* text;
    unsigned short* utf16;
    unsigned int* utf32;
    long utf8Length;
    long utf16Length;
    long utf32Length;
    REALstringStruct* windowsText;
    REALstringStruct* macRomanText;
    REALstringStruct* asciiText;
    REALstringStruct* utf8Text;
    REALintArrayStruct* intArray;
    long arrayCount;
    unsigned short* wValues;
    unsigned char* cValues;
    void* bstr;

    friend const char* GetPassword(rbText&);
};

const char* GetASCII(rbText& t);
const char* GetMacRoman(rbText& t);
const char* GetWindows(rbText& t);
const char* GetPassword(rbText& t);
const char* GetUTF8(rbText& t);
const unsigned short* GetUTF16(rbText& t);
const unsigned int* GetUTF32(rbText& t);
