// Styled-text runs: the two classes with their setters and list, and both
// decoders, through the registered interface.
#include "support.h"

using emu::Value;
using tkz::W;

namespace {

Value H(const void* p) { return Value::H(p); }

std::string Hex(const std::string& spaced) {
    std::string out;
    for (size_t i = 0; i + 1 < spaced.size() + 1; i += 3) out += (char)std::stoi(spaced.substr(i, 2), nullptr, 16);
    return out;
}

void* Mac(tkz::Session& s, const std::string& text, const std::string& styles, uint32_t enc = emu::kUTF8) {
    return s.Call("DecompileMacStyleDataTKZ", {H(s.Str(text, enc)), H(s.Str(styles, emu::kRaw))}).h;
}
void* Win(tkz::Session& s, const std::string& text, const std::string& styles, uint32_t enc = emu::kUTF8) {
    return s.Call("DecompileWinStyleDataTKZ", {H(s.Str(text, enc)), H(s.Str(styles, emu::kRaw))}).h;
}
void* Style(tkz::Session& s, void* list, int index) {
    return s.Method(list, "StyleDataListTKZ", "Style", {Value::I(index)}).h;
}
int32_t Int(tkz::Session& s, void* o, const char* p) { return s.Prop(o, p).i; }
bool Bool(tkz::Session& s, void* o, const char* p) { return s.Prop(o, p).b; }
std::string Text(tkz::Session& s, void* o, const char* p = "Text") { return s.Bytes(s.Prop(o, p).h); }

// One Mac record: start, height, font, style word (low byte first), size, r, g, b.
std::string MacRecord(uint32_t start, uint16_t height, uint16_t font, uint8_t low, uint8_t style, uint16_t size,
                      uint16_t r, uint16_t g, uint16_t b) {
    std::string rec;
    auto put16 = [&](uint16_t v) { rec += (char)(v & 0xFF); rec += (char)(v >> 8); };
    put16((uint16_t)start);
    put16((uint16_t)(start >> 16));
    put16(height);
    put16(0);
    put16(font);
    rec += (char)low;
    rec += (char)style;
    put16(size);
    put16(r);
    put16(g);
    put16(b);
    return rec;
}
std::string MacTable(int16_t count, const std::vector<std::string>& records) {
    std::string t;
    t += (char)(count & 0xFF);
    t += (char)((uint16_t)count >> 8);
    for (const std::string& r : records) t += r;
    return t;
}

}  // namespace

// ---- the classes -----------------------------------------------------------------

PLUGIN_TEST(StyleData, NewRunReadsEmpty) {
    void* run = s.Own(s.Words("REALnewInstance(char const*)", {W("StyleDataTKZ")}, "object").h);
    for (const char* b : {"Bold", "Italic", "FontAvailable", "ColorAvailable", "Extend"}) EXPECT_FALSE(Bool(s, run, b));
    for (const char* i : {"TextOffset", "FontID", "TextSize", "Red", "TextColor", "TextLength", "Style"})
        EXPECT_EQ(Int(s, run, i), 0) << i;
    EXPECT_EQ(s.Prop(run, "Text").h, nullptr);
    EXPECT_EQ(s.Prop(run, "FontName").h, nullptr);
}

PLUGIN_TEST(StyleData, SettersKeepColourConsistent) {
    void* run = s.Own(s.Words("REALnewInstance(char const*)", {W("StyleDataTKZ")}, "object").h);
    s.host.SetProp(run, "TextColor", Value::I(0x123456));
    EXPECT_EQ(Int(s, run, "Red"), 0x1212);
    EXPECT_EQ(Int(s, run, "Green"), 0x3434);
    EXPECT_EQ(Int(s, run, "Blue"), 0x5656);
    EXPECT_TRUE(Bool(s, run, "ColorAvailable"));
    s.host.SetProp(run, "TextColor", Value::I((int32_t)0xFF000000));
    EXPECT_EQ((uint32_t)Int(s, run, "TextColor"), 0xFF000000u);
    EXPECT_EQ(Int(s, run, "Red") | Int(s, run, "Green") | Int(s, run, "Blue"), 0);

    s.host.SetProp(run, "Red", Value::I(0xFFFF));
    s.host.SetProp(run, "Green", Value::I(0x8000));
    EXPECT_EQ(Int(s, run, "TextColor"), 0xFF8000);
    s.host.SetProp(run, "Blue", Value::I(0x00FF));
    EXPECT_EQ(Int(s, run, "TextColor"), 0xFF8000) << "blue's high byte is 0";
    s.host.SetProp(run, "Red", Value::I(-1));
    EXPECT_EQ((uint32_t)Int(s, run, "TextColor") >> 16, 0xFFFFu) << "not clamped";

    s.host.SetProp(run, "Bold", Value::B(true));
    EXPECT_EQ(Int(s, run, "Style"), 0) << "the Boolean style fields leave Style alone";
}

PLUGIN_TEST(StyleData, FontAndTextSetters) {
    void* run = s.Own(s.Words("REALnewInstance(char const*)", {W("StyleDataTKZ")}, "object").h);
    void* name = s.Str("Sans");
    s.host.SetProp(run, "FontID", Value::I(3));
    s.host.SetProp(run, "FontName", H(name));
    EXPECT_EQ(Text(s, run, "FontName"), "Sans");
    EXPECT_EQ(Int(s, run, "FontID"), 3) << "FontName leaves FontID";
    int held = s.host.RefCount(name);  // the test's, the run's and the one read above
    s.host.SetProp(run, "FontID", Value::I(4));
    EXPECT_EQ(s.Prop(run, "FontName").h, nullptr) << "FontID clears FontName";
    EXPECT_EQ(s.host.RefCount(name), held - 1);

    s.host.SetProp(run, "Text", H(s.Str("hello")));
    EXPECT_EQ(Int(s, run, "TextLength"), 5);
    s.host.SetProp(run, "Text", H(nullptr));
    EXPECT_EQ(s.Prop(run, "Text").h, nullptr);
    EXPECT_EQ(Int(s, run, "TextLength"), 0);
    s.host.SetProp(run, "Text", H(s.Str("kept")));  // released by the destructor
}

// A string stored over itself while the run holds its only reference stays
// alive: the setter takes the new reference before giving up the old one.
PLUGIN_TEST(StyleData, StringSetOverItselfStaysAlive) {
    for (const char* field : {"FontName", "Text"}) {
        void* run = s.Own(s.Words("REALnewInstance(char const*)", {W("StyleDataTKZ")}, "object").h);
        void* str = s.host.NewString("Sans", emu::kUTF8);
        s.host.SetProp(run, field, H(str));
        s.host.Unlock(str);
        s.host.SetProp(run, field, H(str));
        EXPECT_EQ(s.host.RefCount(str), 1) << field;
        EXPECT_EQ(Text(s, run, field), "Sans") << field;
    }
}

// ---- the Mac decoder --------------------------------------------------------------

PLUGIN_TEST(MacStyles, WorkedExample) {
    std::string styles = Hex("01 00 00 00 00 00 0C 00 09 00 03 00 00 05 0C 00 FF FF 00 80 00 00");
    ASSERT_EQ(styles.size(), 22u);
    void* list = Mac(s, "Hello", styles);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Int(s, list, "Count"), 1);
    void* run = Style(s, list, 1);
    EXPECT_TRUE(Bool(s, run, "Bold"));
    EXPECT_FALSE(Bool(s, run, "Italic"));
    EXPECT_TRUE(Bool(s, run, "Underline"));
    for (const char* b : {"Outline", "Shadow", "Condense", "Extend", "ColorAvailable", "FontAvailable"})
        EXPECT_FALSE(Bool(s, run, b)) << b;
    EXPECT_EQ(Int(s, run, "Style"), 5);
    EXPECT_EQ(Int(s, run, "TextOffset"), 0);
    EXPECT_EQ(Int(s, run, "TextHeight"), 12);
    EXPECT_EQ(Int(s, run, "FontID"), 3);
    EXPECT_EQ(Int(s, run, "TextSize"), 12);
    EXPECT_EQ(Int(s, run, "Red"), 65535);
    EXPECT_EQ(Int(s, run, "Green"), 32768);
    EXPECT_EQ(Int(s, run, "Blue"), 0);
    EXPECT_EQ(Int(s, run, "TextColor"), 0xFF8000);
    EXPECT_EQ(Text(s, run), "Hello");
    EXPECT_EQ(Int(s, run, "TextLength"), 5);
    EXPECT_EQ(s.Prop(run, "FontName").h, nullptr);
    // The style bits are the high byte of the word at offset 10.
    styles[2 + 10] = 5, styles[2 + 11] = 0;
    void* low = Style(s, Mac(s, "Hello", styles), 1);
    EXPECT_EQ(Int(s, low, "Style"), 0);
    EXPECT_FALSE(Bool(s, low, "Bold"));
}

PLUGIN_TEST(MacStyles, RunsReachToTheNextStart) {
    auto rec = [](uint32_t start) { return MacRecord(start, 0, 0, 0, 0, 0, 0, 0, 0); };
    void* list = Mac(s, "Hello", MacTable(2, {rec(0), rec(3)}));
    EXPECT_EQ(Text(s, Style(s, list, 1)), "Hel");
    EXPECT_EQ(Int(s, Style(s, list, 1), "TextLength"), 3);
    EXPECT_EQ(Text(s, Style(s, list, 2)), "lo");
    void* back = Mac(s, "Hello", MacTable(2, {rec(4), rec(2)}));
    EXPECT_EQ(s.Prop(Style(s, back, 1), "Text").h, nullptr) << "its end lies before its start";
    EXPECT_EQ(Text(s, Style(s, back, 2)), "llo");
    for (uint32_t start : {5u, 9u, 0x80000000u}) {
        void* at = Mac(s, "Hello", MacTable(1, {rec(start)}));
        EXPECT_EQ(s.Prop(Style(s, at, 1), "Text").h, nullptr) << start;
        EXPECT_EQ(Int(s, Style(s, at, 1), "TextLength"), 0);
    }
    // Starts near the 32-bit limits: no overflow, no text.
    void* wild = Mac(s, "Hello", MacTable(2, {rec(1), rec(0x7FFFFFFF)}));
    EXPECT_EQ(s.Prop(Style(s, wild, 1), "Text").h, nullptr);
    // The text's encoding is kept, and a character cut by a boundary is split.
    void* utf8 = Mac(s, "\xC3\xA9t\xC3\xA9", MacTable(2, {rec(0), rec(1)}));
    EXPECT_EQ(Text(s, Style(s, utf8, 1)), "\xC3");
    EXPECT_EQ(s.Enc(s.Prop(Style(s, utf8, 2), "Text").h), emu::kUTF8);
    EXPECT_EQ(Text(s, Style(s, utf8, 2)), "\xA9t\xC3\xA9");
}

PLUGIN_TEST(MacStyles, RefusedTables) {
    std::string one = MacTable(1, {MacRecord(0, 0, 0xFFFF, 0, 0, 0, 0, 0, 0)});
    EXPECT_EQ(Mac(s, "Hello", one.substr(0, 21)), nullptr);
    EXPECT_EQ(Mac(s, "Hello", MacTable(0, {MacRecord(0, 0, 0, 0, 0, 0, 0, 0, 0)})), nullptr);
    EXPECT_EQ(Mac(s, "Hello", MacTable(-1, {MacRecord(0, 0, 0, 0, 0, 0, 0, 0, 0)})), nullptr);
    EXPECT_EQ(s.Call("DecompileMacStyleDataTKZ", {H(s.Str("Hello")), H(nullptr)}).h, nullptr);
    // Count 1 with trailing bytes: only the first record.
    void* list = Mac(s, "Hello", one + MacRecord(2, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(Int(s, list, "Count"), 1);
    EXPECT_EQ(Int(s, Style(s, list, 1), "FontID"), 65535);
    EXPECT_EQ(Text(s, Style(s, list, 1)), "Hello");
    // A nil text: every field but the text.
    void* noText = s.Call("DecompileMacStyleDataTKZ", {H(nullptr), H(s.Str(one, emu::kRaw))}).h;
    EXPECT_EQ(Int(s, Style(s, noText, 1), "FontID"), 65535);
    EXPECT_EQ(s.Prop(Style(s, noText, 1), "Text").h, nullptr);
}

// Our choice: a count claiming more records than the table holds decodes the
// whole records present; the last of them runs to the end of the text.
PLUGIN_TEST(MacStyles, CountBeyondTheRecordsDecodesWholeRecords) {
    std::string t = MacTable(5, {MacRecord(0, 0, 1, 0, 0, 0, 0, 0, 0), MacRecord(2, 0, 2, 0, 0, 0, 0, 0, 0)});
    t += "\x01\x02\x03";  // part of a third record
    void* list = Mac(s, "Hello", t);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Int(s, list, "Count"), 2);
    EXPECT_EQ(Text(s, Style(s, list, 1)), "He");
    EXPECT_EQ(Text(s, Style(s, list, 2)), "llo");
    EXPECT_EQ(Style(s, list, 3), nullptr);
}

// ---- the Windows decoder -------------------------------------------------------------

PLUGIN_TEST(WinStyles, WorkedExamples) {
    void* list = Win(s, "Hi", Hex("01 05"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Int(s, list, "Count"), 1);
    void* run = Style(s, list, 1);
    EXPECT_TRUE(Bool(s, run, "Bold"));
    EXPECT_FALSE(Bool(s, run, "Italic"));
    EXPECT_EQ(Int(s, run, "Style"), 1);
    EXPECT_EQ(Int(s, run, "TextSize"), 5);
    EXPECT_EQ(Text(s, run), "H");
    EXPECT_EQ(Int(s, run, "TextLength"), 1);
    EXPECT_FALSE(Bool(s, run, "FontAvailable"));
    EXPECT_FALSE(Bool(s, run, "ColorAvailable"));
    EXPECT_EQ(Int(s, run, "TextColor"), 0);

    void* full = Style(s, Win(s, "Hi", Hex("1B 04 53 61 6E 73 FF 00 80 0A")), 1);
    EXPECT_TRUE(Bool(s, full, "Bold"));
    EXPECT_TRUE(Bool(s, full, "Italic"));
    EXPECT_FALSE(Bool(s, full, "Underline"));
    EXPECT_EQ(Int(s, full, "Style"), 3);
    EXPECT_EQ(Text(s, full, "FontName"), "Sans");
    EXPECT_EQ(s.Enc(s.Prop(full, "FontName").h), emu::kMacRoman);
    EXPECT_TRUE(Bool(s, full, "FontAvailable"));
    EXPECT_EQ(Int(s, full, "Red"), 65535);
    EXPECT_EQ(Int(s, full, "Blue"), 0);
    EXPECT_EQ(Int(s, full, "Green"), 32896);
    EXPECT_TRUE(Bool(s, full, "ColorAvailable"));
    EXPECT_EQ(Int(s, full, "TextColor"), 0xFF8000);
    EXPECT_EQ(Int(s, full, "TextSize"), 10);
    EXPECT_EQ(Int(s, full, "FontID") | Int(s, full, "TextOffset") | Int(s, full, "TextHeight"), 0);

    void* noName = Style(s, Win(s, "Hi", Hex("08 00 07")), 1);
    EXPECT_EQ(s.Prop(noName, "FontName").h, nullptr);
    EXPECT_FALSE(Bool(s, noName, "FontAvailable"));
    EXPECT_EQ(Int(s, noName, "TextSize"), 7);
    EXPECT_EQ(Int(s, Style(s, Win(s, "Hi", Hex("E1 05")), 1), "Style"), 1);
}

PLUGIN_TEST(WinStyles, OneTextBytePerRecord) {
    void* three = Win(s, "Hi", Hex("00 01 00 02 00 03"));
    EXPECT_EQ(Int(s, three, "Count"), 3);
    EXPECT_EQ(Text(s, Style(s, three, 1)), "H");
    EXPECT_EQ(Text(s, Style(s, three, 2)), "i");
    EXPECT_EQ(s.Prop(Style(s, three, 3), "Text").h, nullptr);
    EXPECT_EQ(Int(s, Style(s, three, 3), "TextSize"), 3);
    void* utf8 = Win(s, "\xC3\xA9", Hex("00 01 00 01"));
    EXPECT_EQ(Text(s, Style(s, utf8, 1)), "\xC3");
    EXPECT_EQ(Text(s, Style(s, utf8, 2)), "\xA9");
    EXPECT_EQ(s.Enc(s.Prop(Style(s, utf8, 2), "Text").h), emu::kUTF8);
    EXPECT_EQ(Win(s, "Hi", ""), nullptr);
    EXPECT_EQ(s.Call("DecompileWinStyleDataTKZ", {H(s.Str("Hi")), H(nullptr)}).h, nullptr);
}

// Our choice: a last record cut off by the end of the table is decoded with
// its missing fields taken as 0 and keeps its text byte.
PLUGIN_TEST(WinStyles, TruncatedLastRecordDecodesWithZeros) {
    void* lone = Win(s, "Hi", Hex("00"));
    ASSERT_NE(lone, nullptr);
    EXPECT_EQ(Int(s, Style(s, lone, 1), "TextSize"), 0);
    EXPECT_EQ(Text(s, Style(s, lone, 1)), "H");
    void* cutName = Win(s, "Hi", Hex("01 05 08 09 41 42"));  // name of 9 bytes, 2 present
    EXPECT_EQ(Int(s, cutName, "Count"), 2);
    EXPECT_EQ(Text(s, Style(s, cutName, 2), "FontName"), "AB");
    EXPECT_EQ(Text(s, Style(s, cutName, 2)), "i");
    void* cutColour = Win(s, "Hi", Hex("10 FF"));
    EXPECT_EQ(Int(s, Style(s, cutColour, 1), "Red"), 65535);
    EXPECT_EQ(Int(s, Style(s, cutColour, 1), "Green"), 0);
}

// ---- the list ---------------------------------------------------------------------

PLUGIN_TEST(StyleDataList, StyleByIndex) {
    void* list = Win(s, "abc", Hex("00 01 00 02 00 03"));
    EXPECT_EQ(Text(s, Style(s, list, 1)), "a");
    EXPECT_EQ(Text(s, Style(s, list, 3)), "c");
    EXPECT_EQ(Text(s, Style(s, list, 2)), "b");
    for (int bad : {0, 4, -1}) EXPECT_EQ(Style(s, list, bad), nullptr) << bad;
    EXPECT_EQ(Text(s, Style(s, list, 1)), "a");
    s.host.SetProp(list, "Count", Value::I(1));
    EXPECT_EQ(Int(s, list, "Count"), 1);
    EXPECT_EQ(Text(s, Style(s, list, 3)), "c") << "Count does not decide which entries exist";
    // An entry the program still holds outlives its list.
    void* kept = Style(s, list, 2);
    s.host.Unlock(list);
    s.owned.erase(std::find(s.owned.begin(), s.owned.end(), list));
    EXPECT_EQ(Text(s, kept), "b");
    // A list the program creates itself is empty.
    void* own = s.New("StyleDataListTKZ");
    EXPECT_EQ(Style(s, own, 1), nullptr);
}

PLUGIN_TEST(StyleDataList, AppendRefusesNil) {
    const char* append = "MyListAppend(MyListData*&, REALobjectStruct*)";
    void* list = nullptr;
    void* run = s.New("StyleDataTKZ");
    EXPECT_FALSE(s.Words(append, {W(&list), 0}, "boolean").b);
    EXPECT_EQ(list, nullptr);
    EXPECT_TRUE(s.Words(append, {W(&list), W(run)}, "boolean").b);
    EXPECT_FALSE(s.Words(append, {W(&list), 0}, "boolean").b);
    EXPECT_EQ(s.Words("MyListCount(MyListData*)", {W(list)}, "integer").i, 1);
    EXPECT_EQ(s.host.RefCount(run), 2) << "the list holds its own reference";
    s.Words("MyListFree(MyListData*&)", {W(&list)});
    EXPECT_EQ(list, nullptr);
}

PLUGIN_TEST(StyleDataList, RefusedEntriesAreSkippedAndNothingLeaks) {
    s.host.config().newInstanceLimit["StyleDataTKZ"] = 2;
    void* list = Win(s, "abc", Hex("08 01 41 01 08 01 42 02 08 01 43 03"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Int(s, list, "Count"), 2);
    EXPECT_EQ(Text(s, Style(s, list, 2), "FontName"), "B");
    EXPECT_EQ(Text(s, Style(s, list, 2)), "b");
    s.host.config().newInstanceLimit["StyleDataTKZ"] = 0;
    EXPECT_EQ(Win(s, "abc", Hex("08 01 41 01")), nullptr);
    EXPECT_EQ(Mac(s, "abc", MacTable(1, {MacRecord(0, 0, 0, 0, 0, 0, 0, 0, 0)})), nullptr);
}

PLUGIN_TEST(StyleDataList, RefusedListReleasesItsEntries) {
    s.host.config().newInstanceLimit["StyleDataListTKZ"] = 0;
    EXPECT_EQ(Win(s, "abc", Hex("08 01 41 01 00 02")), nullptr);
    EXPECT_EQ(Mac(s, "abc", MacTable(1, {MacRecord(0, 0, 0, 0, 0, 0, 0, 0, 0)})), nullptr);
}

PLUGIN_TEST_CFG(StyleDataList, RefusedTextStringsLeaveRunsWithoutText, [] {
    emu::Config c;
    c.failAfter["REALBuildString"] = 0;
    return c;
}()) {
    void* list = Win(s, "ab", Hex("08 01 41 01"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(s.Prop(Style(s, list, 1), "Text").h, nullptr);
    EXPECT_EQ(Int(s, Style(s, list, 1), "TextLength"), 0);
    EXPECT_FALSE(Bool(s, Style(s, list, 1), "FontAvailable"));
}
