// Styled-text runs: the two classes with their setters and list, and both
// decoders, through the registered interface.
#include "support.h"

#include "styledata/styledata.h"

#include <sstream>

using host::Value;
using tkz::H;

namespace {

std::string Hex(const std::string& spaced) {
    std::string out;
    for (size_t i = 0; i + 1 < spaced.size() + 1; i += 3) out += (char)std::stoi(spaced.substr(i, 2), nullptr, 16);
    return out;
}

void* Style(tkz::Session& s, void* list, int i) { return s.Method(list, "StyleDataListTKZ", "Style", {Value::I(i)}).h; }
void* NewRun(tkz::Session& s) { return s.Own(s.host.NewInstance("StyleDataTKZ")); }

// "Name=value ..." of the named properties (the "=..." parts of `want` are
// ignored): Booleans as 0/1, TextColor in hex, strings as their bytes or nil.
std::string Props(tkz::Session& s, void* o, const std::string& want) {
    std::istringstream names(want);
    std::string out, name;
    while (names >> name) {
        name = name.substr(0, name.find('='));
        Value v = s.Prop(o, name);
        char hex[16];
        snprintf(hex, sizeof hex, "&h%X", (unsigned)v.i);
        out += (out.empty() ? "" : " ") + name + "=" +
               (v.kind == Value::Bool     ? std::to_string(v.b)
                : v.kind == Value::Handle ? (v.h ? s.Bytes(v.h) : "nil")
                : name == "TextColor"     ? hex
                                          : std::to_string(v.i));
    }
    return out;
}
#define EXPECT_PROPS(o, want) EXPECT_EQ(Props(s, o, want), want)
#define EXPECT_RUNS(list, want) EXPECT_EQ(Runs(s, list, want), want)

// "Count=N | run 1 | run 2 ...": the list's Count, then the fields (those
// of the first run in `want`) of each entry from 1 up to the first index that
// has none; "nil" for no list.
std::string Runs(tkz::Session& s, void* list, const std::string& want) {
    if (list == nullptr) return "nil";
    size_t a = std::min(want.find(" | "), want.size() - 3) + 3;
    std::string fields = want.substr(a, want.find(" | ", a) - a);
    std::string out = "Count=" + std::to_string(s.Prop(list, "Count").i);
    for (int i = 1; void* run = Style(s, list, i); ++i) out += " | " + Props(s, run, fields);
    return out;
}

// One Mac record (little-endian): start, height, font, style word (its high
// byte holds the bits), size, red, green, blue.
std::string Rec(uint32_t start, uint16_t font = 0) {
    uint16_t f[10] = {(uint16_t)start, (uint16_t)(start >> 16), 0, 0, font, 0, 0, 0, 0, 0};
    return std::string((const char*)f, 20);
}
std::string Table(int16_t count, const std::string& records) { return std::string((const char*)&count, 2) + records; }

}  // namespace

// ---- the classes -----------------------------------------------------------------

// TextColor is the high byte of each 16-bit component; a component is not
// clamped, so one beyond 16 bits (or negative) reaches into its neighbour's
// byte, by the same formula.
PLUGIN_TEST(StyleData, SettersKeepColourAndFontConsistent) {
    void* run = NewRun(s);
    s.host.SetProp(run, "TextColor", Value::I(0x123456));
    EXPECT_PROPS(run, "Red=4626 Green=13364 Blue=22102 ColorAvailable=1");
    s.host.SetProp(run, "TextColor", Value::I((int32_t)0xFF000000));
    EXPECT_PROPS(run, "TextColor=&hFF000000 Red=0 Green=0 Blue=0");
    std::tuple<int, int, int, const char*> rows[] = {{0xFFFF, 0x8000, 0xFF, "&hFF8000"},
                                                     {0x10000, 0, 0, "&h1000000"},
                                                     {0, 0x1FF00, 0, "&h1FF00"},
                                                     {0, 0, 0x1FF00, "&h1FF"},
                                                     {-1, 0x8000, 0xFF, "&hFFFF8000"}};
    for (auto [red, green, blue, color] : rows) {
        for (auto [field, v] : {std::pair{"Red", red}, {"Green", green}, {"Blue", blue}})
            s.host.SetProp(run, field, Value::I(v));
        EXPECT_PROPS(run, std::string("TextColor=") + color);
    }
    // The Boolean style fields leave Style alone.
    s.host.SetProp(run, "Bold", Value::B(true));
    EXPECT_PROPS(run, "Style=0");

    void* name = s.Str("Sans");
    s.host.SetProp(run, "FontID", Value::I(3));
    s.host.SetProp(run, "FontName", H(name));
    EXPECT_PROPS(run, "FontName=Sans FontID=3");
    int held = s.host.RefCount(name);  // the test's, the run's and the one read above
    s.host.SetProp(run, "FontID", Value::I(4));
    EXPECT_PROPS(run, "FontName=nil");
    EXPECT_EQ(s.host.RefCount(name), held - 1);
    s.host.SetProp(run, "Text", H(s.Str("hello")));
    EXPECT_PROPS(run, "TextLength=5");
    s.host.SetProp(run, "Text", H(nullptr));
    EXPECT_PROPS(run, "Text=nil TextLength=0");
    s.host.SetProp(run, "Text", H(s.Str("kept")));  // released by the destructor
}

// A string stored over itself while the run holds its only reference stays
// alive: the setter takes the new reference before giving up the old one.
PLUGIN_TEST(StyleData, StringSetOverItselfStaysAlive) {
    for (const char* field : {"FontName", "Text"}) {
        void* run = NewRun(s);
        void* str = s.host.NewString("Sans", host::kUTF8);
        s.host.SetProp(run, field, H(str));
        s.host.Unlock(str);
        s.host.SetProp(run, field, H(str));
        EXPECT_EQ(s.host.RefCount(str), 1) << field;
        EXPECT_EQ(Props(s, run, field), field + std::string("=Sans"));
    }
}

// ---- the decoders --------------------------------------------------------------------

// The fields of a run that fuzz_styledata's models leave out (its runs'
// texts and lengths are held to the table layouts there): the style bits,
// each read from its own bit, sizes, fonts, colours, and each byte of a Mac
// start beyond the text. Mac: 20-byte records after a count. Windows: one
// record per text byte; our choice: a last record cut off by the end of the
// table is decoded with its missing fields taken as 0 and keeps its text byte.
PLUGIN_TEST(StyleDecoders, TablesDecodeToRuns) {
    const std::string worked = Hex("01 00 00 00 00 00 0C 00 09 00 03 00 00 05 0C 00 FF FF 00 80 00 00");
    std::string lowBits = worked, allBits = worked;
    lowBits[12] = 5, lowBits[13] = 0;  // the style bits are the high byte of the word
    allBits[13] = 0x55, allBits[21] = 1;
    std::tuple<bool, std::string, std::string, std::string> rows[] = {
        {true, "Hello", lowBits, "Count=1 | Style=0 Bold=0"},
        {true, "Hello", allBits,
         "Count=1 | Style=85 Bold=1 Italic=0 Underline=1 Outline=0 Shadow=1 Condense=0 Extend=1 "
         "TextHeight=12 FontID=3 TextSize=12 Red=65535 Green=32768 Blue=256 TextColor=&hFF8001"},
        {true, std::string(257, 'x'), Table(2, Rec(0) + Rec(256)),
         "Count=2 | TextOffset=0 TextLength=256 | TextOffset=256 TextLength=1"},
        {true, "Hello", Table(1, Rec(0x04030201)), "Count=1 | TextOffset=67305985 Text=nil TextLength=0"},
        {true, "Hello", Table(1, Rec(0, 0xFFFF) + Rec(2)), "Count=1 | FontID=65535 Text=Hello"},
        {false, "Hi", Hex("01 05"),
         "Count=1 | Bold=1 Italic=0 Style=1 TextSize=5 Text=H TextLength=1 FontAvailable=0 ColorAvailable=0 "
         "TextColor=&h0"},
        {false, "Hi", Hex("1B 04 53 61 6E 73 FF 01 80 0A"),
         "Count=1 | Italic=1 Underline=0 Style=3 FontAvailable=1 Blue=257 "
         "Green=32896 ColorAvailable=1 TextSize=10 FontID=0 TextHeight=0"},
        {false, "Hi", Hex("08 00 07"), "Count=1 | FontName=nil FontAvailable=0 ColorAvailable=0 TextSize=7"},
        {false, "Hi", Hex("E5 05"), "Count=1 | Style=5 Italic=0 Underline=1 ColorAvailable=0"},
        {false, "Hi", Hex("01 05 08 09 41 42"), "Count=2 | FontName=nil Text=H | FontName=AB Text=i"},
        {false, "Hi", Hex("10 FF"), "Count=1 | Red=65535 Green=0 ColorAvailable=1 FontAvailable=0"},
    };
    for (auto& [mac, text, styles, want] : rows) {
        const char* decoder = mac ? "DecompileMacStyleDataTKZ" : "DecompileWinStyleDataTKZ";
        void* list = s.Call(decoder, {H(s.Str(text)), H(s.Str(styles, host::kRaw))}).h;
        EXPECT_EQ(Runs(s, list, want), want) << decoder << " " << text.substr(0, 9);
        // A font name is Mac OS Roman.
        void* first = list ? Style(s, list, 1) : nullptr;
        if (void* name = first ? s.Prop(first, "FontName").h : nullptr) EXPECT_EQ(s.Enc(name), host::kMacRoman);
    }
}

// ---- the list ---------------------------------------------------------------------

PLUGIN_TEST(StyleDataList, StyleByIndex) {
    void* list =
        s.Call("DecompileWinStyleDataTKZ", {H(s.Str("abc")), H(s.Str(Hex("00 01 00 02 00 03"), host::kRaw))}).h;
    std::string order;
    for (int i : {1, 3, 2, 0, 4, -1, 1})
        order += Style(s, list, i) ? Props(s, Style(s, list, i), "Text") + " " : "nil ";
    EXPECT_EQ(order, "Text=a Text=c Text=b nil nil nil Text=a ");
    s.host.SetProp(list, "Count", Value::I(1));
    EXPECT_RUNS(list, "Count=1 | Text=a | Text=b | Text=c");  // Count does not decide which entries exist
    // An entry the program still holds outlives its list.
    void* kept = Style(s, list, 2);
    s.host.Unlock(list);
    s.owned.erase(std::find(s.owned.begin(), s.owned.end(), list));
    EXPECT_PROPS(kept, "Text=b");
    EXPECT_EQ(Style(s, s.New("StyleDataListTKZ"), 1), nullptr) << "a list the program creates itself is empty";
}

PLUGIN_TEST(StyleDataList, AppendRefusesNil) {
    auto append = TKZ_FN(MyListAppend);
    MyListData* list = nullptr;
    void* run = s.New("StyleDataTKZ");
    EXPECT_FALSE(append(list, nullptr));
    EXPECT_EQ(list, nullptr);
    EXPECT_TRUE(append(list, run));
    EXPECT_FALSE(append(list, nullptr));
    EXPECT_EQ(TKZ_FN(MyListCount)(list), 1);
    EXPECT_EQ(s.host.RefCount(run), 2) << "the list holds its own reference";
    EXPECT_EQ(s.Own(TKZ_FN(MyListGet)(list, 0)), run) << "counted from 0";
    EXPECT_EQ(TKZ_FN(MyListGet)(list, 1), nullptr);
    TKZ_FN(MyListFree)(list);
    EXPECT_EQ(list, nullptr);
}

// Entries or lists the host refuses to make, and text strings it refuses to
// build: what was made is given back (the ledger checks it).
PLUGIN_TEST(StyleDataList, RefusedObjectsAreSkippedAndNothingLeaks) {
    auto decode = [&](bool mac, const std::string& text, const std::string& styles) {
        return s
            .Call(mac ? "DecompileMacStyleDataTKZ" : "DecompileWinStyleDataTKZ",
                  {H(s.Str(text)), H(s.Str(styles, host::kRaw))})
            .h;
    };
    auto& limit = s.host.config().newInstanceLimit;
    limit["StyleDataTKZ"] = 2;
    EXPECT_RUNS(decode(false, "abc", Hex("08 01 41 01 08 01 42 02 08 01 43 03")),
                "Count=2 | FontName=A Text=a | FontName=B Text=b");
    for (const char* refused : {"StyleDataTKZ", "StyleDataListTKZ"}) {
        limit = {{refused, 0}};
        EXPECT_EQ(decode(false, "abc", Hex("08 01 41 01 00 02")), nullptr) << refused;
        EXPECT_EQ(decode(true, "abc", Table(1, Rec(0))), nullptr) << refused;
    }
    limit.clear();
    s.host.config().failAfter["REALBuildString"] = s.host.CallCount("REALBuildString");
    EXPECT_RUNS(decode(false, "ab", Hex("08 01 41 01")), "Count=1 | Text=nil TextLength=0 FontAvailable=0");
}
