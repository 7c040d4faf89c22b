// The two decoders of styled-text run tables into a "StyleDataListTKZ" of
// "StyleDataTKZ" runs. Neither ever reads past the end of the styles string
// or takes a run's text from past the end of the text. Each keeps the tail of
// the list it builds, so a table of n records costs time linear in n. Every
// failure path gives back what it created: an entry that cannot be appended
// is destroyed, and when the list object cannot be made the entries are
// released with the list.
#include "styledata.h"

#include "../hostapi/wrappers.h"
#include "../text/strings.h"

namespace {

struct Input {
    const unsigned char* bytes;
    int32_t length;
    unsigned long encoding;
};

// A nil string is zero bytes; a nil text is tagged Mac OS Roman.
Input Read(REALstringStruct* s) {
    if (s == nullptr) return {nullptr, 0, kEncMacRoman};
    return {(const unsigned char*)StringText(s), StringLength(s), StringEncoding(s)};
}

uint16_t U16(const unsigned char* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
uint32_t U32(const unsigned char* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

void SetStyleBits(StyleData* d, unsigned bits) {
    d->Bold = bits & 1;
    d->Italic = (bits >> 1) & 1;
    d->Underline = (bits >> 2) & 1;
}

// Appends the new entry and gives up the reference creating it gave: after
// a successful append the list holds the only one; after a failed one the
// entry (and what it holds) is destroyed.
void Keep(MyListData*& list, MyListData*& tail, int& count, REALobjectStruct* entry) {
    if (MyListAppendAfter(list, tail, entry)) ++count;
    REALUnlockObject(entry);
}

REALobjectStruct* Finish(MyListData*& list, int count) {
    if (count == 0) {
        MyListFree(list);
        return nullptr;
    }
    return NewStyleDataList(list, count);
}

}  // namespace

// Mac layout: a little-endian signed 16-bit count, then 20-byte records. A
// count larger than the whole records present is decoded as far as whole
// records reach; the last of them then runs to the end of the text.
//
// A record, little-endian: bytes 0-3 the run's first text byte, 4-5 the line
// height, 8-9 the font number, 11 the style bits (bold, italic, underline,
// outline, shadow, condense, extend from bit 0 up), 12-13 the size, 14-19
// red, green and blue as 16-bit components; bytes 6-7 and 10 are not read.
// A run ends where the next one starts; the last at the end of the text.
//
// Example: the text "Hello" with the table
//   02 00
//   00 00 00 00  0C 00  00 00  03 00  00 01  0C 00  FF FF 00 00 00 00
//   02 00 00 00  0C 00  00 00  03 00  00 02  09 00  00 00 00 00 FF FF
// decodes to two runs: "He", bold, font 3, size 12, height 12, red 65535
// (TextColor &hFF0000); and "llo" from offset 2, italic, size 9, blue 65535
// (TextColor &h0000FF).
REALobjectStruct* DecompileMacStyleData(REALstringStruct* text, REALstringStruct* styles) {
    Input t = Read(text), st = Read(styles);
    if (st.length < 22) return nullptr;
    int n = (int16_t)U16(st.bytes);
    if (n <= 0) return nullptr;
    int whole = (st.length - 2) / 20;
    if (n > whole) n = whole;
    MyListData* list = nullptr;
    MyListData* tail = nullptr;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned char* r = st.bytes + 2 + 20 * i;
        REALobjectStruct* entry = REALnewInstance("StyleDataTKZ");
        if (entry == nullptr) continue;
        StyleData* d = StyleDataOf(entry);
        unsigned bits = r[11];
        SetStyleBits(d, bits);
        d->Outline = (bits >> 3) & 1;
        d->Shadow = (bits >> 4) & 1;
        d->Condense = (bits >> 5) & 1;
        d->Extend = (bits >> 6) & 1;
        d->Style = (int32_t)bits;
        uint32_t start = U32(r);
        d->TextOffset = (int32_t)start;
        d->TextHeight = U16(r + 4);
        d->FontID = U16(r + 8);
        d->TextSize = U16(r + 12);
        d->Red = U16(r + 14);
        d->Green = U16(r + 16);
        d->Blue = U16(r + 18);
        d->TextColor = (uint32_t)ComposeTextColor(d->Red, d->Green, d->Blue);
        if (t.length > 0) {
            // In 64 bits: no start, end or sum can overflow on the way.
            int64_t from = (int32_t)start;
            int64_t end = i + 1 < n ? (int32_t)U32(r + 20) : t.length;
            int64_t length = end - from;
            if (from >= 0 && length > 0 && from + length <= t.length) {
                d->Text = REALBuildUnicodeString(t.bytes + from, (int)length, t.encoding);
                d->TextLength = d->Text != nullptr ? (int32_t)length : 0;
            }
        }
        Keep(list, tail, count, entry);
    }
    return Finish(list, count);
}

// Windows layout: one variable-length record per text byte, no header. A
// last record cut off by the end of the table is decoded with its missing
// fields taken as 0 (a name cut to the bytes present), so that it keeps its
// text byte like every other record.
//
// A record: a flags byte (bit 0 bold, 1 italic, 2 underline, 3 a font name
// follows, 4 a colour follows); with bit 3, a length byte and that many bytes
// of the name (Mac OS Roman); with bit 4, red, blue and green bytes, in that
// order, each widened to 16 bits (times 257); then the size byte.
//
// Example: the text "Hi" with the table
//   19 05 41 72 69 61 6C FF 00 80 0C   02 0A
// decodes to two runs: "H", bold, font "Arial", red 65535, blue 0, green
// 32896 (TextColor &hFF8000), size 12; and "i", italic, size 10, no font
// name and no colour.
REALobjectStruct* DecompileWinStyleData(REALstringStruct* text, REALstringStruct* styles) {
    Input t = Read(text), st = Read(styles);
    if (st.length <= 0) return nullptr;
    const unsigned char* p = st.bytes;
    const unsigned char* end = st.bytes + st.length;
    auto byte = [&](const unsigned char* at) -> unsigned { return at < end ? *at : 0; };
    MyListData* list = nullptr;
    MyListData* tail = nullptr;
    int count = 0;
    int32_t position = 0;
    while (p < end) {
        unsigned flags = *p++;
        REALstringStruct* fontName = nullptr;
        if (flags & 8) {
            unsigned n = byte(p);
            p += p < end ? 1 : 0;
            unsigned present = (unsigned)(end - p) < n ? (unsigned)(end - p) : n;
            fontName = REALBuildUnicodeString(p, (int)present, kEncMacRoman);
            p += present;
        }
        unsigned red = 0, blue = 0, green = 0;
        if (flags & 16) {
            red = byte(p);
            blue = byte(p + 1);
            green = byte(p + 2);
            p = (end - p) < 3 ? end : p + 3;
        }
        unsigned size = byte(p);
        if (p < end) ++p;

        REALobjectStruct* entry = REALnewInstance("StyleDataTKZ");
        if (entry == nullptr) {
            if (fontName != nullptr) REALUnlockString(fontName);
            continue;  // no entry, and no text byte taken
        }
        StyleData* d = StyleDataOf(entry);
        SetStyleBits(d, flags);
        d->Style = (int32_t)(flags & 7);
        d->FontName = fontName;
        d->FontAvailable = fontName != nullptr;
        d->ColorAvailable = (flags >> 4) & 1;
        d->Red = (int32_t)(red * 257);
        d->Blue = (int32_t)(blue * 257);
        d->Green = (int32_t)(green * 257);
        d->TextColor = (uint32_t)ComposeTextColor(d->Red, d->Green, d->Blue);
        d->TextSize = (int32_t)size;
        if (position < t.length) {
            d->Text = REALBuildUnicodeString(t.bytes + position, 1, t.encoding);
            d->TextLength = d->Text != nullptr ? 1 : 0;
        }
        ++position;
        Keep(list, tail, count, entry);
    }
    return Finish(list, count);
}
