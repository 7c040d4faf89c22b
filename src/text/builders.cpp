// String builders. Growth adds a fixed 4096 bytes beyond the need and keeps
// every byte already added; a growth that cannot be had closes the builder.
#include "builders.h"

#include <stdlib.h>
#include <string.h>

namespace {

const long long kMaxCapacity = 0x7FFFFFF0;

// Both builders share data, length and capacity.
template <class Block>
bool Open(Block& b, int capacity) {
    void* block = capacity >= 0 ? calloc(1, (size_t)capacity + 4) : nullptr;
    b.data = (char*)block;
    b.length = 0;
    b.capacity = block != nullptr ? capacity : 0;
    return block != nullptr;
}

template <class Block>
void Close(Block& b) {
    free(b.data);
    b.data = nullptr;
    b.length = 0;
    b.capacity = 0;
}

// Makes room for `needed` bytes; false (and a closed builder) when it cannot.
// The need is computed in 64 bits so that no count overflows on the way.
template <class Block>
bool Reserve(Block& b, long long needed) {
    if (b.data == nullptr) return false;
    if (needed <= b.capacity) return true;
    long long grown = needed + 4096;
    if (grown < 0 || grown > kMaxCapacity) {
        Close(b);
        return false;
    }
    char* block = (char*)realloc(b.data, (size_t)grown + 4);
    if (block == nullptr) {
        Close(b);
        return false;
    }
    b.data = block;
    b.capacity = (int)grown;
    return true;
}

void AppendBytes(AsciiStringHandle& h, const void* bytes, int n) {
    if (!Reserve(h, (long long)h.length + n + 4)) return;
    memcpy(h.data + 1 + h.length, bytes, (size_t)n);
    h.length += n;
}

void PutUnit(UnicodeStringHandle& h, unsigned short unit) {
    memcpy(h.data + 1 + 2 * (size_t)h.length, &unit, 2);
    ++h.length;
}

// Bytes up to 0x7F widen to the same unit; the others are read as Windows
// Latin-1 (code page 1252), the single-byte encoding the plugin names most,
// so 0x80 becomes U+20AC and 0xE9 U+00E9. Its five unassigned bytes keep
// their own value.
const unsigned short kCp1252High[] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
static_assert(sizeof kCp1252High / sizeof kCp1252High[0] == 32, "one unit for each byte 0x80 to 0x9F");
unsigned short Widen(unsigned char c) { return (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : c; }

void AppendWidened(UnicodeStringHandle& h, const char* s, int n, long long needed) {
    if (!Reserve(h, needed)) return;
    for (int i = 0; i < n; ++i) PutUnit(h, Widen((unsigned char)s[i]));
}

}  // namespace

bool InitUTF8(AsciiStringHandle& h, int capacity) {
    h.encoding = kEncUTF8;
    return Open(h, capacity);
}
bool InitASCII(AsciiStringHandle& h, int capacity) {
    h.encoding = kEncASCII;
    return Open(h, capacity);
}
bool InitBinary(AsciiStringHandle& h, int capacity) {
    h.encoding = kEncRaw;
    return Open(h, capacity);
}
bool Init(UnicodeStringHandle& h, int capacity) { return Open(h, capacity); }

void AddString(AsciiStringHandle& h, const char* s) {
    if (s == nullptr || h.data == nullptr) return;
    size_t n = strlen(s);
    if (n == 0 || n > (size_t)kMaxCapacity) return;
    AppendBytes(h, s, (int)n);
}

void Add(AsciiStringHandle& h, const char* entityName) {
    if (entityName == nullptr || h.data == nullptr) return;
    size_t n = strlen(entityName);
    if (n > (size_t)kMaxCapacity) return;
    if (!Reserve(h, (long long)h.length + (long long)n + 2 + 4)) return;
    h.data[1 + h.length] = '&';
    memcpy(h.data + 2 + h.length, entityName, n);
    h.data[2 + h.length + n] = ';';
    h.length += (int)n + 2;
}

void AddBinary(AsciiStringHandle& h, const void* bytes, int count) {
    if (bytes == nullptr || count <= 0 || h.data == nullptr) return;
    AppendBytes(h, bytes, count);
}

void Add(AsciiStringHandle& h, char c) {
    if (!Reserve(h, (long long)h.length + 5)) return;
    h.data[1 + h.length] = c;
    ++h.length;
}

void AddString(UnicodeStringHandle& h, const short* units, int count) {
    if (units == nullptr || count <= 0 || h.data == nullptr) return;
    if (!Reserve(h, 2 * ((long long)h.length + count) + 8)) return;
    memcpy(h.data + 1 + 2 * (size_t)h.length, units, 2 * (size_t)count);
    h.length += count;
}

void AddString(UnicodeStringHandle& h, const char* s, int count) {
    if (s == nullptr || count <= 0 || h.data == nullptr) return;
    int n = (int)strnlen(s, (size_t)count);
    AppendWidened(h, s, n, 2 * ((long long)h.length + n) + 8);
}

void AddString(UnicodeStringHandle& h, const char* s) {
    if (s == nullptr || h.data == nullptr) return;
    size_t n = strlen(s);
    if (n == 0 || n > (size_t)kMaxCapacity) return;
    AppendWidened(h, s, (int)n, 2 * ((long long)h.length + (long long)n) + 8);
}

void Add(UnicodeStringHandle& h, const char* entityName) {
    if (entityName == nullptr || h.data == nullptr) return;
    size_t n = strlen(entityName);
    if (n > (size_t)kMaxCapacity) return;
    if (!Reserve(h, 2 * ((long long)h.length + (long long)n + 4))) return;
    PutUnit(h, 0x26);
    for (size_t i = 0; i < n; ++i) PutUnit(h, Widen((unsigned char)entityName[i]));
    PutUnit(h, 0x3B);
}

void Add(UnicodeStringHandle& h, unsigned short unit) {
    if (!Reserve(h, 2 * (long long)h.length + 10)) return;
    PutUnit(h, unit);
}

REALstringStruct* CopyString(AsciiStringHandle& h) {
    if (h.data == nullptr) return nullptr;
    return REALBuildUnicodeString(h.data + 1, h.length, h.encoding);
}

REALstringStruct* Finish(AsciiStringHandle& h) {
    REALstringStruct* s = CopyString(h);
    Close(h);
    return s;
}

REALstringStruct* SecureFinish(AsciiStringHandle& h) {
    REALstringStruct* s = CopyString(h);
    if (h.data != nullptr) {
        // volatile: the wipe must not be dropped as a dead store before free.
        volatile char* p = h.data + 1;
        for (int i = 0; i < h.length; ++i) p[i] = 0;
    }
    Close(h);
    return s;
}

REALstringStruct* Finish(UnicodeStringHandle& h) {
    if (h.data == nullptr) return nullptr;
    REALstringStruct* s = REALBuildUnicodeString(h.data + 1, 2 * h.length, kEncUTF16);
    Close(h);
    return s;
}

void Free(AsciiStringHandle& h) { Close(h); }
void Free(UnicodeStringHandle& h) { Close(h); }
void ClearData(AsciiStringHandle& h) { h.length = 0; }
