// The text layer through the plugin's exported functions: building host
// strings, four-character codes, cheap conversions, rbText's lazily made
// forms, and the growable builders.
#include "support.h"

#include <cstring>

using emu::Value;
using tkz::W;

namespace {

void* Build(tkz::Session& s, const void* bytes, int length, uint32_t enc) {
    return s.Own(s.Words("REALBuildUnicodeString(void const*, int, unsigned long)", {W(bytes), (uint32_t)length, enc},
                         "object").h);
}

std::string U16(std::initializer_list<uint16_t> units) {
    std::string out;
    for (uint16_t u : units) out.append((const char*)&u, 2);
    return out;
}

}  // namespace

// ---- building strings ----------------------------------------------------------

PLUGIN_TEST(Strings, BuildRefusesEmptyInputWithoutAskingTheHost) {
    s.host.config().logCalls = true;
    size_t before = s.host.calls.size();
    EXPECT_EQ(Build(s, nullptr, 3, emu::kUTF8), nullptr);
    EXPECT_EQ(Build(s, "abc", 0, emu::kUTF8), nullptr);
    EXPECT_EQ(Build(s, "abc", -1, emu::kUTF8), nullptr);
    EXPECT_EQ(s.host.calls.size(), before);
}

PLUGIN_TEST(Strings, BuildCopiesBytesAndTags) {
    std::string raw("\x00\xFF\x80z", 4);
    void* r = Build(s, raw.data(), 4, emu::kRaw);
    EXPECT_EQ(s.Bytes(r), raw);
    EXPECT_EQ(s.Enc(r), emu::kRaw);
    void* w = Build(s, "caf\xE9", 4, emu::kWindows);
    EXPECT_EQ(s.Enc(w), emu::kWindows);
    EXPECT_EQ(s.host.RefCount(w), 1);
}

PLUGIN_TEST(Strings, Utf32InputArrivesAsUtf16) {
    for (int count : {1, 199, 200, 1000}) {
        std::vector<uint32_t> units(count);
        std::string expect;
        for (int i = 0; i < count; ++i) {
            units[i] = 0x41 + (uint32_t)(i * 37 % 0xD000);
            uint16_t u = (uint16_t)units[i];
            expect.append((const char*)&u, 2);
        }
        void* str = Build(s, units.data(), 4 * count + 3, emu::kUTF32);  // trailing bytes ignored
        EXPECT_EQ(s.Enc(str), emu::kUTF16) << count;
        EXPECT_EQ(s.Bytes(str), expect) << count;
    }
    // One to three bytes hold no whole unit: an empty string, tagged UTF-16.
    void* none = Build(s, "ab", 2, emu::kUTF32);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(s.Bytes(none), "");
    EXPECT_EQ(s.Enc(none), emu::kUTF16);
}

// Our choice: a code point above 0xFFFF becomes a surrogate pair, and a
// value that is no code point becomes U+FFFD, so the text stays well formed.
PLUGIN_TEST(Strings, Utf32AboveBasicPlaneBecomesSurrogatePair) {
    uint32_t units[] = {0x1F600, 0x41, 0xFFFF, 0x10000, 0x10FFFF, 0x110000};
    void* str = Build(s, units, sizeof units, emu::kUTF32);
    EXPECT_EQ(s.Bytes(str), U16({0xD83D, 0xDE00, 0x41, 0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF, 0xFFFD}));
    std::vector<uint32_t> many(300, 0x10400);
    void* big = Build(s, many.data(), 1200, emu::kUTF32);
    EXPECT_EQ(s.Bytes(big).size(), 1200u);
}

PLUGIN_TEST_CFG(Strings, UntaggedWhenHostCannotTag, [] {
    emu::Config c;
    c.missing = {"REALSetStringEncoding"};
    return c;
}()) {
    void* str = Build(s, "abc", 3, emu::kUTF8);
    EXPECT_EQ(s.Bytes(str), "abc");
    EXPECT_EQ(s.Enc(str), emu::kRaw);
}

PLUGIN_TEST(Strings, ZeroTerminatedBuilders) {
    const char* sig = "CString2RBmax(char const*, unsigned long, int)";
    auto build = [&](const char* t, int max) { return s.Own(s.Words(sig, {W(t), emu::kASCII, (uint32_t)max}, "object").h); };
    EXPECT_EQ(s.Bytes(build("abcdef", 3)), "abc");
    EXPECT_EQ(s.Bytes(build("abcdef", 0)), "abcdef");
    EXPECT_EQ(s.Bytes(build("abcdef", -1)), "abcdef");
    EXPECT_EQ(s.Bytes(build("abcdef", 10)), "abcdef");
    EXPECT_EQ(build("", 5), nullptr);
    EXPECT_EQ(build(nullptr, 5), nullptr);

    uint16_t u16[] = {0x48, 0x20AC, 0};
    void* a = s.Own(s.Words("UnicodeCString2RB(unsigned short const*)", {W(u16)}, "object").h);
    EXPECT_EQ(s.Bytes(a), U16({0x48, 0x20AC}));
    EXPECT_EQ(s.Enc(a), emu::kUTF16);
    wchar_t wide[] = {L'H', 0x20AC, 0};
    void* b = s.Own(s.Words("UnicodeCString2RB(wchar_t const*)", {W(wide)}, "object").h);
    EXPECT_EQ(s.Bytes(b), U16({0x48, 0x20AC}));
    EXPECT_EQ(s.Enc(b), emu::kUTF16);
    uint16_t empty[] = {0};
    EXPECT_EQ(s.Words("UnicodeCString2RB(unsigned short const*)", {W(empty)}, "object").h, nullptr);
    EXPECT_EQ(s.Words("UnicodeCString2RB(wchar_t const*)", {0}, "object").h, nullptr);
}

PLUGIN_TEST(Strings, FourCharacterCodes) {
    const char* build = "REALBuildOSTypeString(unsigned long)";
    void* text = s.Own(s.Words(build, {0x54455854}, "object").h);
    EXPECT_EQ(s.Bytes(text), "TEXT");
    EXPECT_EQ(s.Enc(text), emu::kASCII);
    void* high = s.Own(s.Words(build, {0x80414243}, "object").h);
    EXPECT_EQ(s.Bytes(high), "\x80" "ABC");
    EXPECT_EQ(s.Enc(high), emu::kMacRoman);
    void* zero = s.Own(s.Words(build, {0}, "object").h);
    EXPECT_EQ(s.Bytes(zero), std::string(4, '\0'));
    EXPECT_EQ(s.Enc(zero), emu::kASCII);

    const char* read = "REALstringToOSType(REALstringStruct*)";
    auto code = [&](void* str) { return (uint32_t)s.Words(read, {W(str)}, "integer").i; };
    EXPECT_EQ(code(s.Str("TEXT")), 0x54455854u);
    EXPECT_EQ(code(s.Str("TEXTS")), 0x54455854u);
    EXPECT_EQ(code(s.Str("")), 0x20202020u);
    EXPECT_EQ(code(nullptr), 0x20202020u);
    // Our choice for short texts: the characters come first, spaces follow.
    EXPECT_EQ(code(s.Str("ab")), 0x61622020u);
    EXPECT_EQ(code(s.Str("abc")), 0x61626320u);
    // The text is read in Mac OS Roman: UTF-8 "é" is the one byte 0x8E there.
    EXPECT_EQ(code(s.Str("\xC3\xA9xyz")), 0x8E78797Au);
}

PLUGIN_TEST(Strings, ConvertFastSharesWhenBytesAlreadyFit) {
    const char* sig = "REALConvertStringFast(REALstringStruct*, unsigned long)";
    void* ascii = s.Str("plain", emu::kASCII);
    for (uint32_t target : {emu::kUTF8, emu::kWindows, emu::kMacRoman, emu::kASCII}) {
        void* r = s.Own(s.Words(sig, {W(ascii), target}, "object").h);
        EXPECT_EQ(r, ascii) << target;
    }
    EXPECT_EQ(s.host.RefCount(ascii), 5);
    void* wide = s.Own(s.Words(sig, {W(ascii), emu::kUTF16}, "object").h);
    EXPECT_NE(wide, ascii);
    EXPECT_EQ(s.Bytes(wide), U16({'p', 'l', 'a', 'i', 'n'}));
    void* utf8 = s.Str("\xC3\xA9");
    void* latin = s.Own(s.Words(sig, {W(utf8), emu::kWindows}, "object").h);
    EXPECT_EQ(s.Bytes(latin), "\xE9");
    EXPECT_EQ(s.Words(sig, {0, emu::kUTF8}, "object").h, nullptr);
}

PLUGIN_TEST(Strings, LowestEncoding) {
    const char* sig = "REALGetLowestStringEncoding(REALstringStruct*)";
    auto lowest = [&](void* str) { return (uint32_t)s.Words(sig, {W(str)}, "integer").i; };
    EXPECT_EQ(lowest(s.Str("abc")), emu::kASCII);
    EXPECT_EQ(lowest(s.Str("\xC3\xA9")), emu::kUTF8);
    EXPECT_EQ(lowest(s.Str("", emu::kWindows)), emu::kASCII);
    EXPECT_EQ(lowest(s.Str("x\x80", emu::kRaw)), emu::kRaw);
    EXPECT_EQ(lowest(s.Str("ab", emu::kUTF16)), emu::kUTF16);
    EXPECT_EQ(lowest(nullptr), emu::kASCII);
}

// ---- rbText -----------------------------------------------------------------------

namespace {

// An rbText laid out in test memory and driven through the plugin's members.
struct Text {
    tkz::Session& s;
    uint32_t words[15];
    Text(tkz::Session& session, void* str, bool array = false) : s(session) {
        memset(words, 0xCC, sizeof words);
        s.Words(array ? "rbText::rbText(REALintArrayStruct*)" : "rbText::rbText(REALstringStruct*)",
                {W(words), W(str)});
    }
    ~Text() { s.Words("rbText::~rbText()", {W(words)}); }
    Value Do(const std::string& member, const char* result = "object") {
        return s.Words("rbText::" + member, {W(words)}, result);
    }
    std::string Z(const std::string& member) { return std::string((const char*)Do(member).h); }
    long Len(const std::string& member) { return Do(member, "integer").i; }
    void* Field(int i) { return (void*)(uintptr_t)words[i]; }
};

}  // namespace

PLUGIN_TEST(RbText, NilStringGivesEmptyForms) {
    Text t(s, nullptr);
    for (const char* m : {"GetASCII()", "GetMacRoman()", "GetWindows()", "GetUTF8()", "GetNative()", "GetDirect()"})
        EXPECT_EQ(t.Z(m), "") << m;
    EXPECT_EQ(t.Len("LengthUTF8()"), 0);
    EXPECT_EQ(t.Len("LengthWindows()"), 0);
    EXPECT_EQ(t.Len("LengthDirect()"), 0);
    EXPECT_TRUE(t.Do("IsANSI()", "boolean").b);
    EXPECT_EQ(t.Do("GetWValues()").h, nullptr);
    EXPECT_EQ(t.Do("GetCValues()").h, nullptr);
    EXPECT_EQ(t.Do("GetUTF16()").h, s.Sym("empty16"));
    EXPECT_EQ(t.Do("GetUTF32()").h, s.Sym("empty32"));
    EXPECT_EQ(t.Len("LengthUTF16()"), 0);
    EXPECT_EQ(t.Len("LengthUTF32()"), 0);
    EXPECT_EQ(t.Do("GetBSTR()").h, nullptr);
}

PLUGIN_TEST(RbText, FormsAreMadeOnceAndKept) {
    void* str = s.Str("caf\xC3\xA9");
    {
        Text t(s, str);
        EXPECT_EQ(s.host.RefCount(str), 2) << "the wrapper holds one lock";
        int before = s.Calls("REALConvertString");
        const char* a = (const char*)t.Do("GetUTF8()").h;
        const char* b = (const char*)t.Do("GetUTF8()").h;
        EXPECT_EQ(a, b);
        EXPECT_STREQ(a, "caf\xC3\xA9");
        EXPECT_EQ(t.Len("LengthUTF8()"), 5);
        EXPECT_EQ(s.Calls("REALConvertString"), before) << "UTF-8 text is used as it is";
        const char* w1 = (const char*)t.Do("GetWindows()").h;
        const char* w2 = (const char*)s.Words("GetPassword(rbText&)", {W(t.words)}, "object").h;
        EXPECT_EQ(w1, w2);
        EXPECT_STREQ(w1, "caf\xE9");
        EXPECT_EQ(s.Calls("REALConvertString"), before + 1);
        EXPECT_EQ(t.Len("LengthWindows()"), 4);
        EXPECT_STREQ((const char*)t.Do("GetASCII()").h, "caf?");
        EXPECT_STREQ((const char*)t.Do("GetMacRoman()").h, "caf\x8E");
        EXPECT_EQ(t.Len("LengthDirect()"), 5);
        EXPECT_FALSE(t.Do("IsANSI()", "boolean").b);
        EXPECT_EQ(t.Do("ConvertUTF8()").h, str);
    }
    EXPECT_EQ(s.host.RefCount(str), 1) << "destruction gives every form back";
}

// Asked for first, the length makes the Windows Latin-1 form itself.
PLUGIN_TEST(RbText, WindowsFormOfNonAsciiText) {
    Text t(s, s.Str("caf\xC3\xA9 \xE2\x82\xAC"));  // "café €"
    EXPECT_EQ(t.Len("LengthWindows()"), 6);
    EXPECT_EQ(t.Z("GetWindows()"), "caf\xE9 \x80");
}

PLUGIN_TEST(RbText, WideForms) {
    void* str = s.Str("a\xE2\x82\xAC\xF0\x9F\x98\x80");  // a, euro sign, one character beyond 0xFFFF
    Text t(s, str);
    const uint16_t* u16 = (const uint16_t*)t.Do("GetUTF16()").h;
    ASSERT_EQ(t.Len("LengthUTF16()"), 4);
    EXPECT_EQ(std::vector<uint16_t>(u16, u16 + 5), (std::vector<uint16_t>{0x61, 0x20AC, 0xD83D, 0xDE00, 0}));
    // Our choice: a surrogate pair becomes the one code point it encodes.
    const uint32_t* u32 = (const uint32_t*)t.Do("GetUTF32()").h;
    ASSERT_EQ(t.Len("LengthUTF32()"), 3);
    EXPECT_EQ(std::vector<uint32_t>(u32, u32 + 4), (std::vector<uint32_t>{0x61, 0x20AC, 0x1F600, 0}));
    EXPECT_EQ(t.Do("GetWChar()").h, (void*)u32);
    EXPECT_EQ(t.Len("LengthWChar()"), 3);
}

PLUGIN_TEST(RbText, EmptyStringUsesSharedEmpties) {
    Text t(s, s.Str(""));
    EXPECT_EQ(t.Do("GetUTF16()").h, s.Sym("empty16"));
    EXPECT_EQ(t.Do("GetUTF32()").h, s.Sym("empty32"));
    EXPECT_TRUE(t.Do("IsANSI()", "boolean").b);
}

namespace {
void CheckMarkDropped(tkz::Session& s) {
    Text t(s, s.Str("hi"));
    const uint16_t* u16 = (const uint16_t*)t.Do("GetUTF16()").h;
    ASSERT_EQ(t.Len("LengthUTF16()"), 2);
    EXPECT_EQ(u16[0], 'h');
    EXPECT_EQ(u16[1], 'i');
    EXPECT_EQ(u16[2], 0);
    EXPECT_EQ(t.Len("LengthUTF32()"), 2);
}
emu::Config Bom(bool swapped) {
    emu::Config c;
    c.utf16Bom = !swapped;
    c.utf16SwappedBom = swapped;
    return c;
}
}  // namespace

PLUGIN_TEST_CFG(RbText, ByteOrderMarkIsDropped, Bom(false)) { CheckMarkDropped(s); }
PLUGIN_TEST_CFG(RbText, SwappedByteOrderMarkIsDropped, Bom(true)) { CheckMarkDropped(s); }

PLUGIN_TEST(RbText, IntegerArrayForms) {
    void* a = s.Own(s.host.NewArray(2, 3));
    s.host.SetElement(a, 0, Value::I(65));
    s.host.SetElement(a, 1, Value::I(300));
    s.host.SetElement(a, 2, Value::I(-1));
    {
        Text t(s, a, true);
        EXPECT_EQ(s.host.RefCount(a), 2);
        EXPECT_EQ(t.Len("LengthArray()"), 3);
        const uint8_t* c = (const uint8_t*)t.Do("GetCValues()").h;
        EXPECT_EQ(std::vector<uint8_t>(c, c + 4), (std::vector<uint8_t>{65, 44, 255, 0}));
        const uint16_t* w = (const uint16_t*)t.Do("GetWValues()").h;
        EXPECT_EQ(std::vector<uint16_t>(w, w + 4), (std::vector<uint16_t>{65, 300, 65535, 0}));
        EXPECT_EQ(t.Do("GetNative()").h, (void*)c);
    }
    EXPECT_EQ(s.host.RefCount(a), 1);
    void* empty = s.Own(s.host.NewArray(2, 0));
    Text e(s, empty, true);
    EXPECT_EQ(e.Len("LengthArray()"), 0);
    EXPECT_EQ(e.Do("GetCValues()").h, nullptr);
    EXPECT_EQ(e.Do("GetWValues()").h, nullptr);
}

// Our choice for non-empty Mac OS Roman and UTF-8 text: single-byte exactly
// when every byte is 7-bit.
PLUGIN_TEST(RbText, IsANSIFollowsTagAndBytes) {
    struct { const char* bytes; uint32_t enc; bool ansi; } rows[] = {
        {"abc", emu::kUTF8, true},       {"\xC3\xA9", emu::kUTF8, false}, {"abc", emu::kMacRoman, true},
        {"\x8E", emu::kMacRoman, false}, {"\xE9", emu::kWindows, true},   {"abc", emu::kASCII, true},
        {"ab", emu::kUTF16, false},      {"abc", emu::kRaw, false},
    };
    for (auto& r : rows) {
        Text t(s, s.Str(r.bytes, r.enc));
        EXPECT_EQ(t.Do("IsANSI()", "boolean").b, r.ansi) << r.bytes << " " << r.enc;
    }
}

PLUGIN_TEST(RbText, FolderItemPaths) {
    s.host.config().logCalls = true;
    void* item = s.Own(s.host.FolderItem("/tmp/caf\xC3\xA9"));
    struct { const char* fn; uint32_t enc; std::string bytes; } rows[] = {
        {"GetFolderItemPathWithUTF8Encoding(REALfolderItemStruct*)", emu::kUTF8, "/tmp/caf\xC3\xA9"},
        {"GetFolderItemPathWithWindowsEncoding(REALfolderItemStruct*)", emu::kWindows, "/tmp/caf\xE9"},
        {"GetFolderItemPathWithSystemEncoding(REALfolderItemStruct*)", emu::kUTF8, "/tmp/caf\xC3\xA9"},
        {"GetFolderItemPathWithUnicodeEncoding(REALfolderItemStruct*)", emu::kUTF16,
         U16({'/', 't', 'm', 'p', '/', 'c', 'a', 'f', 0xE9})},
    };
    for (auto& r : rows) {
        void* p = s.Own(s.Words(r.fn, {W(item)}, "object").h);
        EXPECT_EQ(s.Bytes(p), r.bytes) << r.fn;
        EXPECT_EQ(s.Enc(p), r.enc) << r.fn;
    }
    size_t before = s.host.calls.size();
    EXPECT_EQ(s.Words(rows[2].fn, {0}, "object").h, nullptr);
    EXPECT_EQ(s.host.calls.size(), before);
}

// ---- builders ---------------------------------------------------------------------

namespace {
struct Builder {
    char* data;
    int length;
    int capacity;
    uint32_t encoding;
};
const char* kAddString = "AddString(AsciiStringHandle&, char const*)";
const char* kFinish = "Finish(AsciiStringHandle&)";
}  // namespace

PLUGIN_TEST(Builders, InitAndGrowth) {
    Builder b{};
    EXPECT_FALSE(s.Words("InitUTF8(AsciiStringHandle&, int)", {W(&b), (uint32_t)-1}, "boolean").b);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.length, 0);
    EXPECT_EQ(b.capacity, 0);
    EXPECT_EQ(b.encoding, emu::kUTF8);

    ASSERT_TRUE(s.Words("InitUTF8(AsciiStringHandle&, int)", {W(&b), 0}, "boolean").b);
    s.Words("Add(AsciiStringHandle&, char)", {W(&b), 'x'});
    EXPECT_EQ(b.capacity, 4101);
    EXPECT_EQ(b.length, 1);
    s.Words("Free(AsciiStringHandle&)", {W(&b)});
    EXPECT_EQ(b.data, nullptr);

    ASSERT_TRUE(s.Words("InitUTF8(AsciiStringHandle&, int)", {W(&b), 1000}, "boolean").b);
    // The block grows only when the need (length + n + 4) exceeds the capacity.
    std::string first(996, 'a'), second(14, 'b');
    s.Words(kAddString, {W(&b), W(first.c_str())});
    EXPECT_EQ(b.capacity, 1000);
    s.Words(kAddString, {W(&b), W(second.c_str())});
    EXPECT_EQ(b.capacity, 5110);
    s.Words(kAddString, {W(&b), 0});
    s.Words(kAddString, {W(&b), W("")});
    EXPECT_EQ(b.length, 1010);
    void* str = s.Own(s.Words(kFinish, {W(&b)}, "object").h);
    EXPECT_EQ(s.Bytes(str), first + second);
    EXPECT_EQ(s.Enc(str), emu::kUTF8);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(s.Words(kFinish, {W(&b)}, "object").h, nullptr) << "a closed builder finishes as nil";
}

PLUGIN_TEST(Builders, AppendKinds) {
    Builder b{};
    ASSERT_TRUE(s.Words("InitBinary(AsciiStringHandle&, int)", {W(&b), 4}, "boolean").b);
    s.Words("Add(AsciiStringHandle&, char const*)", {W(&b), W("amp")});
    s.Words("AddBinary(AsciiStringHandle&, void const*, int)", {W(&b), W("\0\1"), 2});
    s.Words("AddBinary(AsciiStringHandle&, void const*, int)", {W(&b), W("zz"), 0});
    s.Words("Add(AsciiStringHandle&, char)", {W(&b), 0xFFFFFF21});
    void* copy1 = s.Own(s.Words("CopyString(AsciiStringHandle&)", {W(&b)}, "object").h);
    void* copy2 = s.Own(s.Words("CopyString(AsciiStringHandle&)", {W(&b)}, "object").h);
    EXPECT_EQ(s.Bytes(copy1), std::string("&amp;\0\1!", 8));
    EXPECT_EQ(s.Bytes(copy2), s.Bytes(copy1));
    EXPECT_EQ(s.Enc(copy1), emu::kRaw);
    s.Words("ClearData(AsciiStringHandle&)", {W(&b)});
    EXPECT_EQ(b.length, 0);
    s.Words(kAddString, {W(&b), W("k")});
    void* secure = s.Own(s.Words("SecureFinish(AsciiStringHandle&)", {W(&b)}, "object").h);
    EXPECT_EQ(s.Bytes(secure), "k");
    EXPECT_EQ(b.data, nullptr);

    ASSERT_TRUE(s.Words("InitASCII(AsciiStringHandle&, int)", {W(&b), 10}, "boolean").b);
    EXPECT_EQ(s.Words(kFinish, {W(&b)}, "object").h, nullptr) << "nothing added: nil";
    EXPECT_EQ(b.data, nullptr);
}

// The text bytes of one watched block as they were when it was freed, seen
// through the allocator hook (the sanitizer's own in a sanitized build).
namespace {
const char* gWatched = nullptr;
int gWatchedLength = 0;
char gAtFree[16];
bool gFreed = false;
void SeeFree(const volatile void* p) {
    if (p == nullptr || p != gWatched) return;
    memcpy(gAtFree, gWatched + 1, (size_t)gWatchedLength);
    gFreed = true;
}
}  // namespace
#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
#else
#include "allochook.h"
#endif

PLUGIN_TEST(Builders, SecureFinishWipesTheTextBeforeFreeing) {
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_install_malloc_and_free_hooks([](const volatile void*, size_t) {}, SeeFree);
#else
    ASSERT_TRUE(allochook::Watch("/tkz.so"));
    allochook::onFree = [](void* p, size_t) { SeeFree(p); };
#endif
    Builder b{};
    ASSERT_TRUE(s.Words("InitUTF8(AsciiStringHandle&, int)", {W(&b), 8}, "boolean").b);
    s.Words(kAddString, {W(&b), W("secret")});
    gWatched = b.data;
    gWatchedLength = b.length;
    void* str = s.Own(s.Words("SecureFinish(AsciiStringHandle&)", {W(&b)}, "object").h);
    gWatched = nullptr;
    EXPECT_EQ(s.Bytes(str), "secret");
    ASSERT_TRUE(gFreed);
    EXPECT_EQ(std::string(gAtFree, 6), std::string(6, '\0'));
}

PLUGIN_TEST(Builders, EachInitTagsItsEncoding) {
    struct { const char* init; uint32_t enc; } rows[] = {{"InitUTF8(AsciiStringHandle&, int)", emu::kUTF8},
                                                         {"InitASCII(AsciiStringHandle&, int)", emu::kASCII},
                                                         {"InitBinary(AsciiStringHandle&, int)", emu::kRaw}};
    for (auto& r : rows) {
        Builder b{};
        ASSERT_TRUE(s.Words(r.init, {W(&b), 4}, "boolean").b);
        s.Words(kAddString, {W(&b), W("x")});
        EXPECT_EQ(s.Enc(s.Own(s.Words(kFinish, {W(&b)}, "object").h)), r.enc) << r.init;
    }
}

PLUGIN_TEST(Builders, UnicodeBuilder) {
    Builder b{};  // the first three fields are the Unicode builder's
    ASSERT_TRUE(s.Words("Init(UnicodeStringHandle&, int)", {W(&b), 2}, "boolean").b);
    s.Words("Add(UnicodeStringHandle&, unsigned short)", {W(&b), 0x20AC});
    s.Words("AddString(UnicodeStringHandle&, char const*, int)", {W(&b), W("xyz"), 2});
    void* three = s.Own(s.Words("Finish(UnicodeStringHandle&)", {W(&b)}, "object").h);
    EXPECT_EQ(s.Bytes(three), U16({0x20AC, 'x', 'y'}));
    EXPECT_EQ(s.Enc(three), emu::kUTF16);

    ASSERT_TRUE(s.Words("Init(UnicodeStringHandle&, int)", {W(&b), 0}, "boolean").b);
    int16_t units[] = {0x41, -1};
    s.Words("AddString(UnicodeStringHandle&, short const*, int)", {W(&b), W(units), 2});
    s.Words("Add(UnicodeStringHandle&, char const*)", {W(&b), W("lt")});
    // Our choice: bytes from 0x80 widen as Windows Latin-1.
    s.Words("AddString(UnicodeStringHandle&, char const*)", {W(&b), W("\x80\xE9")});
    void* all = s.Own(s.Words("Finish(UnicodeStringHandle&)", {W(&b)}, "object").h);
    EXPECT_EQ(s.Bytes(all), U16({0x41, 0xFFFF, '&', 'l', 't', ';', 0x20AC, 0xE9}));
    s.Words("Free(UnicodeStringHandle&)", {W(&b)});
    EXPECT_EQ(b.data, nullptr);
}
