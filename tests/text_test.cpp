// The text layer through the plugin's exported functions: building host
// strings, four-character codes, cheap conversions, rbText's lazily made
// forms, and the growable builders.
#include "support.h"

#include <cstring>
#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
#else
#include "allochook.h"
#endif

using tkz::Got;
using tkz::Tagged;
using tkz::W;

namespace {

// A plugin function's string result, owned by the test.
void* Made(tkz::Session& s, const std::string& sig, const std::vector<uint32_t>& words) { return s.Own(s.Words(sig, words, "object").h); }
const char* kBuild = "REALBuildUnicodeString(void const*, int, unsigned long)";
std::string U16(const std::u16string& units) { return std::string((const char*)units.data(), 2 * units.size()); }
// The first n units of a zero-terminated block.
template <class T>
std::vector<T> Units(emu::Value v, size_t n) { return std::vector<T>((const T*)v.h, (const T*)v.h + n); }

// An rbText laid out in test memory (poisoned first) and driven through the
// plugin's members.
struct Text {
    tkz::Session& s;
    uint32_t words[15];
    Text(tkz::Session& session, void* str, bool array = false) : s(session) {
        memset(words, 0xCC, sizeof words);
        s.Words(array ? "rbText::rbText(REALintArrayStruct*)" : "rbText::rbText(REALstringStruct*)", {W(words), W(str)});
    }
    ~Text() { s.Words("rbText::~rbText()", {W(words)}); }
    emu::Value Do(const std::string& member, const char* result = "object") { return s.Words("rbText::" + member, {W(words)}, result); }
    std::string Z(const std::string& member) { return std::string((const char*)Do(member).h); }
    long Len(const std::string& member) { return Do(member, "integer").i; }
};

// The builders' layout; the Unicode builder has the first three fields.
struct Builder { char* data; int length; int capacity; uint32_t encoding; };
const char* kInitUTF8 = "InitUTF8(AsciiStringHandle&, int)";
const char* kAddString = "AddString(AsciiStringHandle&, char const*)";
const char* kFinish = "Finish(AsciiStringHandle&)";

// The text bytes of one watched block as they were when it was freed, seen
// through the allocator hook (the sanitizer's own in a sanitized build).
const char* gWatched = nullptr;
char gAtFree[7] = "??????";  // as it stays if the block is never freed
void SeeFree(const volatile void* p) { if (p != nullptr && p == gWatched) memcpy(gAtFree, gWatched + 1, 6); }

}  // namespace

// ---- building strings ----------------------------------------------------------

// Our choices: CString2RBmax stops at a positive maximum; a code with a byte
// from 0x80 is Mac OS Roman; the system encoding of paths is UTF-8 here.
PLUGIN_TEST(Strings, EachBuilderCopiesBytesAndTags) {
    uint16_t u16[] = {0x48, 0x20AC, 0}, none[] = {0};
    wchar_t u32[] = {L'H', 0x20AC, 0};
    void* item = s.Own(s.host.FolderItem("/tmp/caf\xC3\xA9"));
    void* ascii = s.Str("plain", emu::kASCII);
    const std::string hEuro = Tagged(U16({0x48, 0x20AC}), emu::kUTF16), cafe = Tagged("/tmp/caf\xC3\xA9", emu::kUTF8);
    const std::string whole = Tagged("abcdef", emu::kASCII);
    const char* max = "CString2RBmax(char const*, unsigned long, int)";
    const char *code = "REALBuildOSTypeString(unsigned long)", *fast = "REALConvertStringFast(REALstringStruct*, unsigned long)";
    auto path = [](const char* in) { return std::string("GetFolderItemPathWith") + in + "Encoding(REALfolderItemStruct*)"; };
    struct { std::string fn; std::vector<uint32_t> words; std::string want; } rows[] = {
        {kBuild, {W("\x00\xFF\x80z"), 4, emu::kRaw}, Tagged(std::string("\x00\xFF\x80z", 4), emu::kRaw)},
        {kBuild, {W("caf\xE9"), 4, emu::kWindows}, Tagged("caf\xE9", emu::kWindows)},
        {max, {W("abcdef"), emu::kASCII, 3}, Tagged("abc", emu::kASCII)}, {max, {W("abcdef"), emu::kASCII, 0}, whole},
        {max, {W("abcdef"), emu::kASCII, 10}, whole}, {max, {W("abcdef"), emu::kASCII, (uint32_t)-1}, whole},
        {max, {W(""), emu::kASCII, 5}, "nil"}, {max, {0, emu::kASCII, 5}, "nil"},
        {"UnicodeCString2RB(unsigned short const*)", {W(u16)}, hEuro}, {"UnicodeCString2RB(unsigned short const*)", {W(none)}, "nil"},
        {"UnicodeCString2RB(wchar_t const*)", {W(u32)}, hEuro}, {"UnicodeCString2RB(wchar_t const*)", {0}, "nil"},
        {code, {0x54455854}, Tagged("TEXT", emu::kASCII)}, {code, {0x80414243}, Tagged("\x80" "ABC", emu::kMacRoman)},
        {code, {0}, Tagged(std::string(4, '\0'), emu::kASCII)},
        {fast, {W(ascii), emu::kUTF16}, Tagged(U16(u"plain"), emu::kUTF16)},
        {fast, {W(s.Str("\xC3\xA9")), emu::kWindows}, Tagged("\xE9", emu::kWindows)}, {fast, {0, emu::kUTF8}, "nil"},
        {path("UTF8"), {W(item)}, cafe}, {path("System"), {W(item)}, cafe},
        {path("Windows"), {W(item)}, Tagged("/tmp/caf\xE9", emu::kWindows)},
        {path("Unicode"), {W(item)}, Tagged(U16(u"/tmp/caf\u00E9"), emu::kUTF16)},
    };
    for (auto& r : rows) EXPECT_EQ(Got(s, Made(s, r.fn, r.words)), r.want) << r.fn << ", row " << &r - rows;
    // Text that is already in a form that fits is shared, not converted.
    for (uint32_t target : {emu::kUTF8, emu::kWindows, emu::kMacRoman, emu::kASCII})
        EXPECT_EQ(Made(s, fast, {W(ascii), target}), ascii) << target;
}

// Empty input asks the host nothing; text a host cannot tag stays untagged.
PLUGIN_TEST_CFG(Strings, EmptyInputGivesNilUntaggableTextStaysUntagged, (emu::Config{.missing = {"REALSetStringEncoding"}})) {
    s.host.config().logCalls = true;
    for (auto [bytes, length] : {std::pair<const char*, int>{nullptr, 3}, {"abc", 0}, {"abc", -1}})
        EXPECT_EQ(Made(s, kBuild, {W(bytes), (uint32_t)length, emu::kUTF8}), nullptr) << length;
    EXPECT_EQ(Made(s, "GetFolderItemPathWithSystemEncoding(REALfolderItemStruct*)", {0}), nullptr);
    EXPECT_TRUE(s.host.calls.empty());
    EXPECT_EQ(Got(s, Made(s, kBuild, {W("abc"), 3, emu::kUTF8})), Tagged("abc", emu::kRaw));
}

// UTF-32 arrives as UTF-16, narrowed on the stack up to 199 units, in a heap
// block beyond; bytes that hold no whole unit are ignored. Our choice: a code
// point above 0xFFFF becomes a surrogate pair, and a value that is no code
// point becomes U+FFFD, so the text stays well formed.
PLUGIN_TEST(Strings, Utf32AboveBasicPlaneBecomesSurrogatePair) {
    uint32_t units[] = {0x1F600, 0x41, 0xFFFF, 0x10000, 0x10FFFF, 0x110000};
    EXPECT_EQ(Got(s, Made(s, kBuild, {W(units), sizeof units, emu::kUTF32})),
              Tagged(U16({0xD83D, 0xDE00, 0x41, 0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF, 0xFFFD}), emu::kUTF16));
    for (int count : {0, 1, 199, 200, 1000}) {
        std::vector<uint32_t> many(count + 1, 0x10400);
        std::string pairs;
        for (int i = 0; i < count; ++i) pairs += U16({0xD801, 0xDC00});
        EXPECT_EQ(Got(s, Made(s, kBuild, {W(many.data()), 4 * (uint32_t)count + 3, emu::kUTF32})), Tagged(pairs, emu::kUTF16)) << count;
    }
}

// Our choice for short texts: the characters come first, spaces follow. The
// text is read in Mac OS Roman: UTF-8 "é" is the one byte 0x8E there.
PLUGIN_TEST(Strings, FourCharacterCodeAndLowestEncodingOfText) {
    const char *code = "REALstringToOSType(REALstringStruct*)", *lowest = "REALGetLowestStringEncoding(REALstringStruct*)";
    struct { const char* fn; void* str; uint32_t value; } rows[] = {
        {code, s.Str("TEXT"), 0x54455854}, {code, s.Str("TEXTS"), 0x54455854}, {code, s.Str(""), 0x20202020},
        {code, nullptr, 0x20202020},       {code, s.Str("ab"), 0x61622020},    {code, s.Str("abc"), 0x61626320},
        {code, s.Str("\xC3\xA9xyz"), 0x8E78797A},          {lowest, s.Str("abc"), emu::kASCII},
        {lowest, s.Str("\xC3\xA9"), emu::kUTF8},           {lowest, s.Str("", emu::kWindows), emu::kASCII},
        {lowest, s.Str("x\x80", emu::kRaw), emu::kRaw},     {lowest, s.Str("ab", emu::kUTF16), emu::kUTF16},
        {lowest, nullptr, emu::kASCII}};
    for (auto& r : rows) EXPECT_EQ((uint32_t)s.Words(r.fn, {W(r.str)}, "integer").i, r.value) << r.fn << ", row " << &r - rows;
}

// ---- rbText -----------------------------------------------------------------------

// The wide forms of no text are the shared empty blocks, never freed.
PLUGIN_TEST(RbText, NilAndEmptyStringsGiveEmptyForms) {
    for (void* str : {(void*)nullptr, s.Str("")}) {
        Text t(s, str);
        for (const char* m : {"GetASCII()", "GetMacRoman()", "GetWindows()", "GetUTF8()", "GetNative()", "GetDirect()"})
            EXPECT_EQ(t.Z(m), "") << m;
        for (const char* w : {"16", "32"}) EXPECT_EQ(t.Do(std::string("GetUTF") + w + "()").h, s.Sym(std::string("empty") + w));
        for (const char* m : {"LengthUTF8()", "LengthWindows()", "LengthDirect()", "LengthUTF16()", "LengthUTF32()"})
            EXPECT_EQ(t.Len(m), 0) << m;
        for (const char* m : {"GetWValues()", "GetCValues()", "GetBSTR()"}) EXPECT_EQ(t.Do(m).h, nullptr) << m;
        EXPECT_TRUE(t.Do("IsANSI()", "boolean").b);
    }
}

// UTF-8 text is used as it is; the Windows form is made once and shared with
// GetPassword. The ledger shows that the wrapper's lock and every form are
// given back.
PLUGIN_TEST(RbText, FormsAreMadeOnceAndKept) {
    void* str = s.Str("caf\xC3\xA9");
    Text t(s, str);
    int before = s.Calls("REALConvertString");
    EXPECT_EQ(t.Z("GetUTF8()"), "caf\xC3\xA9");
    EXPECT_EQ(t.Do("GetUTF8()").h, t.Do("GetUTF8()").h);
    EXPECT_EQ(t.Len("LengthUTF8()"), 5);
    EXPECT_EQ(s.Calls("REALConvertString"), before);
    EXPECT_EQ(t.Z("GetWindows()"), "caf\xE9");
    EXPECT_EQ(s.Words("GetPassword(rbText&)", {W(t.words)}, "object").h, t.Do("GetWindows()").h);
    EXPECT_EQ(t.Len("LengthWindows()"), 4);
    EXPECT_EQ(s.Calls("REALConvertString"), before + 1);
    EXPECT_EQ(t.Z("GetASCII()"), "caf?");
    EXPECT_EQ(t.Z("GetMacRoman()"), "caf\x8E");
    EXPECT_EQ(t.Len("LengthDirect()"), 5);
    EXPECT_EQ(t.Do("ConvertUTF8()").h, str);
}

// Asked for first, the length makes the Windows Latin-1 form itself.
PLUGIN_TEST(RbText, WindowsFormOfNonAsciiText) {
    Text t(s, s.Str("caf\xC3\xA9 \xE2\x82\xAC"));  // "café €"
    EXPECT_EQ(t.Len("LengthWindows()"), 6);
    EXPECT_EQ(t.Z("GetWindows()"), "caf\xE9 \x80");
}

// Our choice: a surrogate pair becomes the one code point it encodes.
PLUGIN_TEST(RbText, WideForms) {
    Text t(s, s.Str("a\xE2\x82\xAC\xF0\x9F\x98\x80\xF0\x90\x80\x80"));  // a, euro sign, U+1F600, U+10000
    EXPECT_EQ(Units<uint16_t>(t.Do("GetUTF16()"), 7), (std::vector<uint16_t>{0x61, 0x20AC, 0xD83D, 0xDE00, 0xD800, 0xDC00, 0}));
    EXPECT_EQ(Units<uint32_t>(t.Do("GetUTF32()"), 5), (std::vector<uint32_t>{0x61, 0x20AC, 0x1F600, 0x10000, 0}));
    EXPECT_EQ(t.Do("GetWChar()").h, t.Do("GetUTF32()").h);
    for (auto [m, n] : {std::pair<const char*, long>{"LengthUTF16()", 6}, {"LengthUTF32()", 4}, {"LengthWChar()", 4}})
        EXPECT_EQ(t.Len(m), n) << m;
}

TEST(RbText, ByteOrderMarksAreDropped) {
    for (bool swapped : {false, true})
        tkz::RunFresh(emu::Config{.utf16Bom = !swapped, .utf16SwappedBom = swapped}, [](tkz::Session& s) {
            Text t(s, s.Str("hi"));
            EXPECT_EQ(Units<uint16_t>(t.Do("GetUTF16()"), 3), (std::vector<uint16_t>{'h', 'i', 0}));
            for (const char* m : {"LengthUTF16()", "LengthUTF32()"}) EXPECT_EQ(t.Len(m), 2) << m;
        });
}

PLUGIN_TEST(RbText, IntegerArrayForms) {
    void* a = s.Own(s.host.NewArray(2, 3));
    for (int i : {0, 1, 2}) s.host.SetElement(a, i, emu::Value::I(std::vector<int>{65, 300, -1}[i]));
    Text t(s, a, true), empty(s, s.Own(s.host.NewArray(2, 0)), true);
    EXPECT_EQ(t.Len("LengthArray()"), 3);
    EXPECT_EQ(Units<uint8_t>(t.Do("GetCValues()"), 4), (std::vector<uint8_t>{65, 44, 255, 0}));
    EXPECT_EQ(Units<uint16_t>(t.Do("GetWValues()"), 4), (std::vector<uint16_t>{65, 300, 65535, 0}));
    EXPECT_EQ(t.Do("GetNative()").h, t.Do("GetCValues()").h);
    EXPECT_EQ(empty.Len("LengthArray()"), 0);
    EXPECT_TRUE(empty.Do("GetCValues()").h == nullptr && empty.Do("GetWValues()").h == nullptr);
    void* one = s.Own(s.host.NewArray(2, 1));
    s.host.SetElement(one, 0, emu::Value::I(700));
    EXPECT_EQ(Units<uint16_t>(Text(s, one, true).Do("GetWValues()"), 2), (std::vector<uint16_t>{700, 0}));
}

// Our choice for non-empty Mac OS Roman and UTF-8 text: single-byte exactly
// when every byte is 7-bit.
PLUGIN_TEST(RbText, IsANSIFollowsTagAndBytes) {
    struct { const char* bytes; uint32_t enc; bool ansi; } rows[] = {
        {"abc", emu::kUTF8, true},       {"\xC3\xA9", emu::kUTF8, false}, {"abc", emu::kMacRoman, true},
        {"\x8E", emu::kMacRoman, false}, {"\xE9", emu::kWindows, true},   {"abc", emu::kASCII, true},
        {"ab", emu::kUTF16, false},      {"abc", emu::kRaw, false},
    };
    for (auto& r : rows) EXPECT_EQ(Text(s, s.Str(r.bytes, r.enc)).Do("IsANSI()", "boolean").b, r.ansi) << r.bytes << " " << r.enc;
}

// ---- builders ---------------------------------------------------------------------

// A block that cannot be had leaves a closed builder; the block grows only
// when the need (length + n + 4) exceeds the capacity, keeping every byte.
// Finished or freed, the builder is closed.
PLUGIN_TEST(Builders, InitAndGrowth) {
    Builder b{};
    EXPECT_FALSE(s.Words(kInitUTF8, {W(&b), (uint32_t)-1}, "boolean").b);
    EXPECT_TRUE(b.data == nullptr && b.length == 0 && b.capacity == 0);
    ASSERT_TRUE(s.Words(kInitUTF8, {W(&b), 1000}, "boolean").b);
    std::string first(996, 'a'), second(14, 'b');
    s.Words(kAddString, {W(&b), W(first.c_str())});
    EXPECT_EQ(b.capacity, 1000) << "a need equal to the capacity fits";
    s.Words(kAddString, {W(&b), W(second.c_str())});
    EXPECT_GE(b.capacity, 1014);
    for (const char* nothing : {(const char*)nullptr, ""}) s.Words(kAddString, {W(&b), W(nothing)});
    EXPECT_EQ(s.Bytes(Made(s, kFinish, {W(&b)})), first + second);
    EXPECT_EQ(Made(s, kFinish, {W(&b)}), nullptr) << "a closed builder finishes as nil";
    ASSERT_TRUE(s.Words(kInitUTF8, {W(&b), 10}, "boolean").b);
    s.Words("Free(AsciiStringHandle&)", {W(&b)});
    EXPECT_EQ(b.data, nullptr);
}

// Every kind of append; a copy leaves the builder open, clearing empties it.
PLUGIN_TEST(Builders, EachInitTagsItsEncoding) {
    for (auto [init, enc] : {std::pair<const char*, uint32_t>{kInitUTF8, emu::kUTF8},
                             {"InitASCII(AsciiStringHandle&, int)", emu::kASCII}, {"InitBinary(AsciiStringHandle&, int)", emu::kRaw}}) {
        Builder b{};
        ASSERT_TRUE(s.Words(init, {W(&b), 4}, "boolean").b);
        s.Words("Add(AsciiStringHandle&, char const*)", {W(&b), W("amp")});
        s.Words("AddBinary(AsciiStringHandle&, void const*, int)", {W(&b), W("\0\1"), 2});
        s.Words("AddBinary(AsciiStringHandle&, void const*, int)", {W(&b), W("zz"), (uint32_t)-1});
        s.Words("Add(AsciiStringHandle&, char)", {W(&b), 0xFFFFFF21});
        for (int copy = 0; copy < 2; ++copy)
            EXPECT_EQ(Got(s, Made(s, "CopyString(AsciiStringHandle&)", {W(&b)})), Tagged(std::string("&amp;\0\1!", 8), enc));
        s.Words("ClearData(AsciiStringHandle&)", {W(&b)});
        s.Words(kAddString, {W(&b), W("x")});
        EXPECT_EQ(Got(s, Made(s, kFinish, {W(&b)})), Tagged("x", enc)) << init;
    }
}

PLUGIN_TEST(Builders, SecureFinishWipesTheTextBeforeFreeing) {
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_install_malloc_and_free_hooks([](const volatile void*, size_t) {}, SeeFree);
#else
    ASSERT_TRUE(allochook::Watch("/tkz.so"));
    allochook::onFree = [](void* p, size_t) { SeeFree(p); };
#endif
    Builder b{};
    ASSERT_TRUE(s.Words(kInitUTF8, {W(&b), 8}, "boolean").b);
    s.Words(kAddString, {W(&b), W("secret")});
    gWatched = b.data;
    EXPECT_EQ(s.Bytes(Made(s, "SecureFinish(AsciiStringHandle&)", {W(&b)})), "secret");
    gWatched = nullptr;
    EXPECT_EQ(std::string(gAtFree, 6), std::string(6, '\0'));
}

// Our choice: bytes from 0x80 widen as Windows Latin-1.
PLUGIN_TEST(Builders, UnicodeBuilder) {
    Builder b{};
    ASSERT_TRUE(s.Words("Init(UnicodeStringHandle&, int)", {W(&b), 2}, "boolean").b);
    s.Words("Add(UnicodeStringHandle&, unsigned short)", {W(&b), 0x20AC});
    s.Words("AddString(UnicodeStringHandle&, char const*, int)", {W(&b), W("xyz"), 2});
    int16_t units[] = {0x41, -1};
    s.Words("AddString(UnicodeStringHandle&, short const*, int)", {W(&b), W(units), 2});
    s.Words("Add(UnicodeStringHandle&, char const*)", {W(&b), W("lt")});
    s.Words("AddString(UnicodeStringHandle&, char const*)", {W(&b), W("\x80\xE9")});
    EXPECT_EQ(Got(s, Made(s, "Finish(UnicodeStringHandle&)", {W(&b)})),
              Tagged(U16({0x20AC, 'x', 'y', 0x41, 0xFFFF, '&', 'l', 't', ';', 0x20AC, 0xE9}), emu::kUTF16));
    ASSERT_TRUE(s.Words("Init(UnicodeStringHandle&, int)", {W(&b), 2}, "boolean").b);
    s.Words("Free(UnicodeStringHandle&)", {W(&b)});
    EXPECT_EQ(b.data, nullptr);
}
