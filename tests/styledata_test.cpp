// Styled-text runs: the two classes with their setters and list, and the
// decoders when the host refuses objects, through the registered interface.
// What the decoders make of every table is fuzz_styledata's: its models
// build each run whole and compare every property.
#include "support.h"

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
        EXPECT_EQ(decode(true, "abc", Hex("01 00") + std::string(20, 0)), nullptr) << refused;
    }
    limit.clear();
    s.host.config().failAfter["REALBuildString"] = s.host.CallCount("REALBuildString");
    EXPECT_RUNS(decode(false, "ab", Hex("08 01 41 01")), "Count=1 | Text=nil TextLength=0 FontAvailable=0");
}
