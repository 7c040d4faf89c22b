// The text layer through the plugin's exported functions: building host
// strings, four-character codes, cheap conversions, rbText's lazily made
// forms, and the growable builders.
#include "support.h"

#include "folderitem/folderitem.h"
#include "text/builders.h"
#include "text/rbtext.h"

#include <cstring>

using tkz::Got;
using tkz::Tagged;

namespace {

std::string U16(const std::u16string& units) { return std::string((const char*)units.data(), 2 * units.size()); }
// The first n units of a zero-terminated block.
template <class T>
std::vector<T> Units(const T* p, size_t n) {
    return std::vector<T>(p, p + n);
}

// An rbText in test memory, poisoned first (the constructor must set every
// field), made and destroyed by the plugin.
#define RB(f) TKZ_MEMBER(rbText, f)
struct Text {
    alignas(rbText) unsigned char raw[sizeof(rbText)];
    template <class T>
    explicit Text(T* from) {
        memset(raw, 0xCC, sizeof raw);
        tkz::Constructor<rbText, T*>()(*this, from);
    }
    ~Text() { tkz::Destructor<rbText>()(*this); }
    operator rbText*() { return (rbText*)raw; }
};
REALstringStruct* S(void* str) { return (REALstringStruct*)str; }

}  // namespace

// ---- building strings ----------------------------------------------------------

// Our choices: CString2RBmax stops at a positive maximum; the system encoding
// of paths is UTF-8 here; a four-character code is read in Mac OS Roman, where
// UTF-8 "é" is the one byte 0x8E. Tags and bytes in general, and codes of
// Mac OS Roman text, are fuzz_bytes' and fuzz_blocks'.
PLUGIN_TEST(Strings, EachBuilderCopiesBytesAndTags) {
    uint16_t u16[] = {0x48, 0x20AC, 0}, none[] = {0};
    wchar_t u32[] = {L'H', 0x20AC, 0};
    void* ascii = s.Str("plain", host::kASCII);
    const std::string hEuro = Tagged(U16({0x48, 0x20AC}), host::kUTF16), whole = Tagged("abcdef", host::kASCII);
    auto max = TKZ_FN(CString2RBmax);
    auto fast = TKZ_FN(REALConvertStringFast);
    auto unicode16 = TKZ_FN_AS(UnicodeCString2RB, REALstringStruct * (const unsigned short*));
    auto unicode32 = TKZ_FN_AS(UnicodeCString2RB, REALstringStruct * (const wchar_t*));
    auto got = [&](REALstringStruct* str) { return Got(s, s.Own(str)); };
    std::pair<std::string, std::string> rows[] = {
        {got(max("abcdef", host::kASCII, 3)), Tagged("abc", host::kASCII)},
        {got(max("abcdef", host::kASCII, 0)), whole},
        {got(max("abcdef", host::kASCII, 10)), whole},
        {got(max("abcdef", host::kASCII, -1)), whole},
        {got(max("", host::kASCII, 5)), "nil"},
        {got(max(nullptr, host::kASCII, 5)), "nil"},
        {got(unicode16(u16)), hEuro},
        {got(unicode16(none)), "nil"},
        {got(unicode32(u32)), hEuro},
        {got(unicode32(nullptr)), "nil"},
        {got(fast(ascii, host::kUTF16)), Tagged(U16(u"plain"), host::kUTF16)},
        {got(fast(s.Str("\xC3\xA9"), host::kWindows)), Tagged("\xE9", host::kWindows)},
        {got(fast(nullptr, host::kUTF8)), "nil"},
        {got(TKZ_FN(GetFolderItemPathWithSystemEncoding)(s.Own(s.host.FolderItem("/tmp/caf\xC3\xA9")))),
         Tagged("/tmp/caf\xC3\xA9", host::kUTF8)},
    };
    int row = 0;
    for (auto& [is, want] : rows) EXPECT_EQ(is, want) << "row " << row++;
    EXPECT_EQ(TKZ_FN(REALstringToOSType)(s.Str("\xC3\xA9xyz")), 0x8E78797Au);
    // Text that is already in a form that fits is shared, not converted.
    for (uint32_t target : {host::kUTF8, host::kWindows, host::kMacRoman, host::kASCII})
        EXPECT_EQ(s.Own(fast(ascii, target)), ascii) << target;
}

// UTF-32 arrives as UTF-16, narrowed on the stack up to 199 units, in a heap
// block beyond; bytes that hold no whole unit are ignored. Our choice: a code
// point above 0xFFFF becomes a surrogate pair, and a value that is no code
// point becomes U+FFFD, so the text stays well formed.
PLUGIN_TEST(Strings, Utf32AboveBasicPlaneBecomesSurrogatePair) {
    auto build = TKZ_FN(REALBuildUnicodeString);
    uint32_t units[] = {0x1F600, 0x41, 0xFFFF, 0x10000, 0x10FFFF, 0x110000};
    EXPECT_EQ(Got(s, s.Own(build(units, sizeof units, host::kUTF32))),
              Tagged(U16({0xD83D, 0xDE00, 0x41, 0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF, 0xFFFD}), host::kUTF16));
    for (int count : {0, 1, 199, 200, 1000}) {
        std::vector<uint32_t> many(count + 1, 0x10400);
        std::string pairs;
        for (int i = 0; i < count; ++i) pairs += U16({0xD801, 0xDC00});
        EXPECT_EQ(Got(s, s.Own(build(many.data(), 4 * count + 3, host::kUTF32))), Tagged(pairs, host::kUTF16)) << count;
    }
}

// ---- rbText -----------------------------------------------------------------------

// The wide forms of no text are the shared empty blocks, never freed.
PLUGIN_TEST(RbText, NilAndEmptyStringsGiveEmptyForms) {
    for (void* str : {(void*)nullptr, s.Str("")}) {
        Text t(S(str));
        for (auto form : {RB(GetASCII), RB(GetMacRoman), RB(GetWindows), RB(GetUTF8), RB(GetNative), RB(GetDirect)})
            EXPECT_STREQ(form(t), "");
        EXPECT_EQ((void*)RB(GetUTF16)(t), TKZ_DATA(empty16));
        EXPECT_EQ((void*)RB(GetUTF32)(t), TKZ_DATA(empty32));
        for (auto length : {RB(LengthUTF8), RB(LengthWindows), RB(LengthDirect), RB(LengthUTF16), RB(LengthUTF32)})
            EXPECT_EQ(length(t), 0);
        for (const void* none : {(void*)RB(GetWValues)(t), (void*)RB(GetCValues)(t), (void*)RB(GetBSTR)(t)})
            EXPECT_EQ(none, nullptr);
        EXPECT_TRUE(RB(IsANSI)(t));
    }
}

// UTF-8 text is used as it is; another form is made once. The ledger shows
// that the wrapper's lock and every form are given back.
PLUGIN_TEST(RbText, FormsAreMadeOnceAndKept) {
    void* str = s.Str("caf\xC3\xA9");
    Text t(S(str));
    int before = s.Calls("REALConvertString");
    EXPECT_STREQ(RB(GetUTF8)(t), "caf\xC3\xA9");
    EXPECT_EQ(RB(GetUTF8)(t), RB(GetUTF8)(t));
    EXPECT_EQ(RB(LengthUTF8)(t), 5);
    EXPECT_EQ(s.Calls("REALConvertString"), before);
    EXPECT_STREQ(RB(GetWindows)(t), "caf\xE9");
    EXPECT_EQ(RB(GetWindows)(t), RB(GetWindows)(t));
    EXPECT_EQ(s.Calls("REALConvertString"), before + 1);
    EXPECT_STREQ(RB(GetASCII)(t), "caf?");
    EXPECT_EQ(RB(LengthDirect)(t), 5);
    EXPECT_EQ(RB(ConvertUTF8)(t), str);
}

// Our choice: a surrogate pair becomes the one code point it encodes. A
// length asked first makes its form.
PLUGIN_TEST(RbText, WideForms) {
    Text t(S(s.Str("a\xE2\x82\xAC\xF0\x9F\x98\x80\xF0\x90\x80\x80")));  // a, euro sign, U+1F600, U+10000
    for (auto [length, want] : {std::pair{RB(LengthUTF16), 6}, {RB(LengthUTF32), 4}, {RB(LengthWChar), 4}})
        EXPECT_EQ(length(t), want);
    EXPECT_EQ(Units(RB(GetUTF16)(t), 7), (std::vector<uint16_t>{0x61, 0x20AC, 0xD83D, 0xDE00, 0xD800, 0xDC00, 0}));
    EXPECT_EQ(Units(RB(GetUTF32)(t), 5), (std::vector<uint32_t>{0x61, 0x20AC, 0x1F600, 0x10000, 0}));
    EXPECT_EQ((void*)RB(GetWChar)(t), (void*)RB(GetUTF32)(t));
}

TEST(RbText, ByteOrderMarksAreDropped) {
    for (bool swapped : {false, true})
        tkz::RunFresh(host::Config{.utf16Bom = !swapped, .utf16SwappedBom = swapped}, [](tkz::Session& s) {
            Text t(S(s.Str("hi")));
            EXPECT_EQ(Units(RB(GetUTF16)(t), 3), (std::vector<uint16_t>{'h', 'i', 0}));
            for (auto length : {RB(LengthUTF16), RB(LengthUTF32)}) EXPECT_EQ(length(t), 2);
        });
}

PLUGIN_TEST(RbText, IntegerArrayForms) {
    void* a = s.Own(s.host.NewArray(2, 3));
    for (int i : {0, 1, 2}) s.host.SetElement(a, i, host::Value::I(std::vector<int>{65, 300, -1}[i]));
    Text t((REALintArrayStruct*)a), empty((REALintArrayStruct*)s.Own(s.host.NewArray(2, 0)));
    EXPECT_EQ(RB(LengthArray)(t), 3);
    EXPECT_EQ(Units(RB(GetCValues)(t), 4), (std::vector<uint8_t>{65, 44, 255, 0}));
    EXPECT_EQ(Units(RB(GetWValues)(t), 4), (std::vector<uint16_t>{65, 300, 65535, 0}));
    EXPECT_EQ((void*)RB(GetNative)(t), (void*)RB(GetCValues)(t));
    EXPECT_EQ(RB(LengthArray)(empty), 0);
    for (const void* none : {(void*)RB(GetCValues)(empty), (void*)RB(GetWValues)(empty)}) EXPECT_EQ(none, nullptr);
    void* one = s.Own(s.host.NewArray(2, 1));
    s.host.SetElement(one, 0, host::Value::I(700));
    EXPECT_EQ(Units(RB(GetWValues)(Text((REALintArrayStruct*)one)), 2), (std::vector<uint16_t>{700, 0}));
}

// Our choice for non-empty Mac OS Roman and UTF-8 text: single-byte exactly
// when every byte is 7-bit.
PLUGIN_TEST(RbText, IsANSIFollowsTagAndBytes) {
    std::tuple<const char*, uint32_t, bool> rows[] = {{"abc", host::kUTF8, true},
                                                      {"\xC3\xA9", host::kUTF8, false},
                                                      {"\x8E", host::kMacRoman, false},
                                                      {"\xE9", host::kWindows, true},
                                                      {"ab", host::kUTF16, false}};
    for (auto [bytes, enc, ansi] : rows) EXPECT_EQ(RB(IsANSI)(Text(S(s.Str(bytes, enc)))), ansi) << bytes << " " << enc;
}

// ---- builders ---------------------------------------------------------------------

// A block that cannot be had leaves a closed builder; the block grows only
// when the need (length + n + 4) exceeds the capacity, keeping every byte.
// Finished or freed, the builder is closed.
PLUGIN_TEST(Builders, InitAndGrowth) {
    auto add = TKZ_FN_AS(AddString, void(AsciiStringHandle&, const char*));
    auto finish = [&](AsciiStringHandle& b) {
        return s.Own(TKZ_FN_AS(Finish, REALstringStruct * (AsciiStringHandle&))(b));
    };
    AsciiStringHandle b{};
    auto closed = [&] { return b.data == nullptr && b.length == 0 && b.capacity == 0; };
    EXPECT_FALSE(TKZ_FN(InitUTF8)(b, -1));
    EXPECT_TRUE(closed());
    ASSERT_TRUE(TKZ_FN(InitUTF8)(b, 1000));
    std::string first(996, 'a'), second(14, 'b');
    add(b, first.c_str());
    EXPECT_EQ(b.capacity, 1000) << "a need equal to the capacity fits";
    add(b, second.c_str());
    EXPECT_GE(b.capacity, 1014);
    add(b, nullptr), add(b, "");
    EXPECT_EQ(s.Bytes(finish(b)), first + second);
    EXPECT_EQ(finish(b), nullptr) << "a closed builder finishes as nil";
    ASSERT_TRUE(TKZ_FN(InitUTF8)(b, 10));
    TKZ_FN_AS(Free, void(AsciiStringHandle&))(b);
    EXPECT_TRUE(closed()) << "freed";
}

// Every kind of append; a copy leaves the builder open, clearing empties it.
PLUGIN_TEST(Builders, EachInitTagsItsEncoding) {
    auto binary = TKZ_FN(AddBinary);
    for (auto [init, enc] : {std::pair{TKZ_FN(InitUTF8), host::kUTF8},
                             {TKZ_FN(InitASCII), host::kASCII},
                             {TKZ_FN(InitBinary), host::kRaw}}) {
        AsciiStringHandle b{};
        ASSERT_TRUE(init(b, 4));
        TKZ_FN_AS(Add, void(AsciiStringHandle&, const char*))(b, "amp");
        binary(b, "\0\1", 2), binary(b, "zz", -1);
        TKZ_FN_AS(Add, void(AsciiStringHandle&, char))(b, '!');
        for (int copy = 0; copy < 2; ++copy)
            EXPECT_EQ(Got(s, s.Own(TKZ_FN(CopyString)(b))), Tagged(std::string("&amp;\0\1!", 8), enc));
        TKZ_FN(ClearData)(b);
        TKZ_FN_AS(AddString, void(AsciiStringHandle&, const char*))(b, "x");
        EXPECT_EQ(Got(s, s.Own(TKZ_FN_AS(Finish, REALstringStruct * (AsciiStringHandle&))(b))), Tagged("x", enc))
            << enc;
    }
}

// Our choice: bytes from 0x80 widen as Windows Latin-1.
PLUGIN_TEST(Builders, UnicodeBuilder) {
    UnicodeStringHandle b{};
    auto init = TKZ_FN_AS(Init, bool(UnicodeStringHandle&, int));
    ASSERT_TRUE(init(b, 2));
    TKZ_FN_AS(Add, void(UnicodeStringHandle&, unsigned short))(b, 0x20AC);
    TKZ_FN_AS(AddString, void(UnicodeStringHandle&, const char*, int))(b, "xyz", 2);
    short units[] = {0x41, -1};
    TKZ_FN_AS(AddString, void(UnicodeStringHandle&, const short*, int))(b, units, 2);
    TKZ_FN_AS(Add, void(UnicodeStringHandle&, const char*))(b, "lt");
    TKZ_FN_AS(AddString, void(UnicodeStringHandle&, const char*))(b, "\x80\xE9");
    EXPECT_EQ(Got(s, s.Own(TKZ_FN_AS(Finish, REALstringStruct * (UnicodeStringHandle&))(b))),
              Tagged(U16({0x20AC, 'x', 'y', 0x41, 0xFFFF, '&', 'l', 't', ';', 0x20AC, 0xE9}), host::kUTF16));
    ASSERT_TRUE(init(b, 2));
    TKZ_FN_AS(Free, void(UnicodeStringHandle&))(b);
    EXPECT_EQ(b.data, nullptr);
}
