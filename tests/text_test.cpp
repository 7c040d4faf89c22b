// The text layer through the plugin's exported functions, as far as the
// registered members use it: building host strings, four-character codes,
// cheap conversions, rbText's lazily made forms and the UTF-8 builder. The
// other forms and builders are exported but called by nothing the host can
// reach (no host calls exports but REALPluginMain): a fault there changes
// nothing a program sees, and no test holds them.
#include "support.h"

#include "folderitem/folderitem.h"
#include "text/builders.h"
#include "text/rbtext.h"

#include <cstring>

using tkz::Got;
using tkz::Tagged;

namespace {

std::string U16(const std::u16string& units) { return std::string((const char*)units.data(), 2 * units.size()); }

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

// Our choices: the system encoding of paths is UTF-8 here; a four-character code is read in Mac OS Roman, where
// UTF-8 "é" is the one byte 0x8E. Tags and bytes in general, and codes of
// Mac OS Roman text, are fuzz_bytes' and fuzz_blocks'.
PLUGIN_TEST(Strings, EachBuilderCopiesBytesAndTags) {
    void* ascii = s.Str("plain", host::kASCII);
    auto fast = TKZ_FN(REALConvertStringFast);
    auto got = [&](REALstringStruct* str) { return Got(s, s.Own(str)); };
    std::pair<std::string, std::string> rows[] = {
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

// UTF-8 text is used as it is; another form is made once; no text gives
// empty forms. The ledger shows that the wrapper's lock and every form are
// given back.
PLUGIN_TEST(RbText, FormsAreMadeOnceAndKept) {
    void* str = s.Str("caf\xC3\xA9");
    Text t(S(str));
    int before = s.Calls("REALConvertString");
    EXPECT_STREQ(RB(GetUTF8)(t), "caf\xC3\xA9");
    EXPECT_EQ(RB(GetUTF8)(t), RB(GetUTF8)(t));
    EXPECT_EQ(RB(LengthUTF8)(t), 5);
    EXPECT_EQ(s.Calls("REALConvertString"), before);
    EXPECT_STREQ(RB(GetASCII)(t), "caf?");
    EXPECT_EQ(RB(GetASCII)(t), RB(GetASCII)(t));
    EXPECT_EQ(s.Calls("REALConvertString"), before + 1);
    EXPECT_EQ(RB(ConvertUTF8)(t), str);
    for (void* none : {(void*)nullptr, s.Str("")}) {
        Text empty(S(none));
        EXPECT_STREQ(RB(GetASCII)(empty), "");
        EXPECT_STREQ(RB(GetUTF8)(empty), "");
    }
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
