// Global methods on strings and memory blocks, UUID validation, class tests
// by name and the master volume, all called through the registered table as
// the host calls them.
#include "support.h"

#include <clocale>
#include <cmath>
#include <fstream>
#include <locale.h>
#include <random>
#include <unistd.h>

using emu::Value;
using tkz::W;

namespace {
const char* kLatin1 = "en_US.ISO-8859-1";

Value H(const void* p) { return Value::H(p); }

uint32_t ReferenceHash(const std::string& s) {
    uint32_t h = (uint32_t)s.size() + 1;
    for (unsigned char c : s) h = (uint32_t)tolower(c) ^ ((h << 3) | (h >> 29));
    return h;
}

bool HaveLocale(const char* name) {
    locale_t l = newlocale(LC_CTYPE_MASK, name, (locale_t)0);
    if (l) freelocale(l);
    return l != (locale_t)0;
}
}  // namespace

// ---- hash ---------------------------------------------------------------------

PLUGIN_TEST(Hash, WorkedValues) {
    auto hash = [&](void* str) { return (uint32_t)s.Call("GetHash32TKZ", {H(str)}).i; };
    EXPECT_EQ(hash(s.Str("abc")), 4915u);
    EXPECT_EQ(hash(s.Str("ABC")), 4915u);
    EXPECT_EQ(hash(s.Str("a")), 113u);
    EXPECT_EQ(hash(s.Str("Hello")), 0x5520Fu);
    EXPECT_EQ(hash(s.Str("")), 1u);
    EXPECT_EQ(hash(nullptr), 1u);
    // Bytes of the string's own encoding, unconverted.
    EXPECT_EQ(hash(s.Str(std::string("a\0b", 3), emu::kRaw)), ReferenceHash(std::string("a\0b", 3)));
    // Values of &h80000000 and more reach BASIC as negative integers.
    std::string longText(40, 'z');
    EXPECT_EQ(s.Call("GetHash32TKZ", {H(s.Str(longText))}).i, (int32_t)ReferenceHash(longText));
}

TEST(Hash, FollowsTheProcessLocale) {
    TKZ_REQUIRE(HaveLocale(kLatin1), std::string("locale ") + kLatin1 + " (scripts/bootstrap generates it)");
    tkz::RunFresh(emu::Config(), [](tkz::Session& s) {
        void* upper = s.Str("\xC9t\xC9", emu::kWindows);  // "ÉtÉ"
        void* lower = s.Str("\xE9t\xE9", emu::kWindows);  // "été"
        auto hash = [&](void* str) { return (uint32_t)s.Call("GetHash32TKZ", {H(str)}).i; };
        // Worked by hand: h = 4; 0xE9 ^ 32 = 0xC9; 't' ^ (0xC9 << 3) = 0x63C;
        // 0xE9 ^ (0x63C << 3) = 0x3109 under Latin-1. Under C, É stays 0xC9: 0x3929.
        ASSERT_NE(setlocale(LC_ALL, kLatin1), nullptr);
        EXPECT_EQ(hash(upper), 0x3109u);
        EXPECT_EQ(hash(lower), 0x3109u);
        ASSERT_NE(setlocale(LC_ALL, "C"), nullptr);
        EXPECT_EQ(hash(lower), 0x3109u);
        EXPECT_EQ(hash(upper), 0x3929u);
        // Switched back: nothing is cached across calls.
        ASSERT_NE(setlocale(LC_ALL, kLatin1), nullptr);
        EXPECT_EQ(hash(upper), 0x3109u);
        setlocale(LC_ALL, "C");
    });
}

TEST(Hash, AgreesWithReferenceOverRandomStrings) {
    TKZ_REQUIRE(HaveLocale(kLatin1), std::string("locale ") + kLatin1 + " (scripts/bootstrap generates it)");
    tkz::RunFresh(emu::Config(), [](tkz::Session& s) {
        std::mt19937 rng(20261206);
        for (const char* loc : {"C", kLatin1}) {
            ASSERT_NE(setlocale(LC_ALL, loc), nullptr);
            for (int len = 0; len <= 4096; len += (len < 64 ? 1 : 97)) {
                std::string text(len, '\0');
                for (char& c : text) c = (char)(rng() & 0xFF);
                void* str = s.host.NewString(text, emu::kRaw);
                ASSERT_EQ((uint32_t)s.Call("GetHash32TKZ", {H(str)}).i, ReferenceHash(text)) << loc << " " << len;
                s.host.Unlock(str);
            }
        }
        setlocale(LC_ALL, "C");
    });
}

// ---- bytes, tags and codes ------------------------------------------------------

PLUGIN_TEST(StringFunctions, XorWholeWordsOnly) {
    Value r = s.Call("BitwiseXORStringBytesTKZ", {H(s.Str("abcdef")), Value::I(32)});
    EXPECT_EQ(s.Bytes(r.h), "ABCDef");
    EXPECT_EQ(s.Enc(r.h), emu::kRaw);
    EXPECT_EQ(s.Bytes(s.Call("BitwiseXORStringBytesTKZ", {H(s.Str("abc")), Value::I(0x7F)}).h), "abc");
    EXPECT_EQ(s.Bytes(s.Call("BitwiseXORStringBytesTKZ", {H(s.Str("abcd")), Value::I(0x120)}).h), "ABCD");
    void* utf8 = s.Str("\xC3\xA9\xC3\xA9");
    Value x = s.Call("BitwiseXORStringBytesTKZ", {H(utf8), Value::I(0x5A)});
    EXPECT_EQ(s.Enc(x.h), emu::kRaw);
    Value back = s.Call("BitwiseXORStringBytesTKZ", {x, Value::I(0x5A)});
    EXPECT_EQ(s.Bytes(back.h), s.Bytes(utf8)) << "applying it twice restores the bytes";
    EXPECT_EQ(s.Call("BitwiseXORStringBytesTKZ", {H(s.Str("")), Value::I(1)}).h, nullptr);
    EXPECT_EQ(s.Call("BitwiseXORStringBytesTKZ", {H(nullptr), Value::I(1)}).h, nullptr);
}

PLUGIN_TEST(StringFunctions, EncodingTags) {
    void* str = s.Str("text");
    EXPECT_EQ(s.Call("GetEncodingOfStringTKZ", {H(str)}).i, 0x08000100);
    EXPECT_EQ(s.Call("GetEncodingOfStringTKZ", {H(nullptr)}).i, 0);
    EXPECT_EQ(s.Call("GetEncodingOfStringTKZ", {H(s.Str("x", emu::kMacRoman))}).i, 0);
    s.Call("SetEncodingOfStringTKZ", {H(str), Value::I(0x600)});
    EXPECT_EQ(s.Call("GetEncodingOfStringTKZ", {H(str)}).i, 0x600);
    EXPECT_EQ(s.Bytes(str), "text");
    s.Call("SetEncodingOfStringTKZ", {H(nullptr), Value::I(0x600)});  // passed on, harmless
}

PLUGIN_TEST(StringFunctions, FourCharacterCodes) {
    Value t = s.Call("StringFromOSTypeTKZ", {Value::I(0x54455854)});
    EXPECT_EQ(s.Bytes(t.h), "TEXT");
    EXPECT_EQ(s.Enc(t.h), emu::kASCII);
    EXPECT_EQ(s.Enc(s.Call("StringFromOSTypeTKZ", {Value::I((int32_t)0xA5414243)}).h), emu::kMacRoman);
    EXPECT_EQ(s.Call("OSTypeFromStringTKZ", {H(s.Str("TEXT"))}).i, 0x54455854);
    EXPECT_EQ(s.Call("OSTypeFromStringTKZ", {H(nullptr)}).i, 0x20202020);
    EXPECT_EQ(s.Call("OSTypeFromStringTKZ", {H(s.Str("ab"))}).i, 0x61622020);
}

PLUGIN_TEST(StringFunctions, StringsAndMemoryBlocks) {
    Value b = s.Call("StringToMemoryBlockTKZ", {H(s.Str("hello"))});
    EXPECT_EQ(s.host.BlockBytes(b.h), "hello");
    Value back = s.Call("MemoryBlockToStringTKZ", {b});
    EXPECT_EQ(s.Bytes(back.h), "hello");
    EXPECT_EQ(s.Enc(back.h), emu::kRaw);
    EXPECT_EQ(s.Call("StringToMemoryBlockTKZ", {H(nullptr)}).h, nullptr);
    EXPECT_EQ(s.Call("MemoryBlockToStringTKZ", {H(nullptr)}).h, nullptr);
    EXPECT_EQ(s.Call("MemoryBlockToStringTKZ", {H(s.Own(s.host.NewMemoryBlock(0)))}).h, nullptr);

    void* ten = s.Own(s.host.NewMemoryBlock(10));
    memcpy(s.Words("REALMemoryBlockGetPtr(REALmemoryBlockStruct*)", {W(ten)}, "object").h, "0123456789", 10);
    EXPECT_EQ(s.Bytes(s.Call("MemoryBlockToStringWithLengthTKZ", {H(ten), Value::I(4)}).h), "0123");
    EXPECT_EQ(s.Call("MemoryBlockToStringWithLengthTKZ", {H(ten), Value::I(0)}).h, nullptr);
    EXPECT_EQ(s.Call("MemoryBlockToStringWithLengthTKZ", {H(ten), Value::I(-1)}).h, nullptr);
    // Our choice: a length beyond a block of known size is cut to its size.
    EXPECT_EQ(s.Bytes(s.Call("MemoryBlockToStringWithLengthTKZ", {H(ten), Value::I(1000)}).h), "0123456789");

    Value c4 = s.Call("CloneMemoryBlockWithLengthTKZ", {H(ten), Value::I(4)});
    EXPECT_EQ(s.host.BlockBytes(c4.h), "0123");
    EXPECT_NE(c4.h, ten);
    EXPECT_EQ(s.host.BlockBytes(s.Call("CloneMemoryBlockWithLengthTKZ", {H(ten), Value::I(99)}).h), "0123456789");
    EXPECT_EQ(s.Call("CloneMemoryBlockWithLengthTKZ", {H(ten), Value::I(-5)}).h, nullptr);
    EXPECT_EQ(s.Call("CloneMemoryBlockWithLengthTKZ", {H(nullptr), Value::I(4)}).h, nullptr);
    // An empty copy is still a block, of 0 bytes.
    for (Value empty : {s.Call("CloneMemoryBlockWithLengthTKZ", {H(ten), Value::I(0)}),
                        s.Call("CloneMemoryBlockTKZ", {H(s.Own(s.host.NewMemoryBlock(0)))}),
                        s.Call("StringToMemoryBlockTKZ", {H(s.Str(""))})}) {
        ASSERT_NE(empty.h, nullptr);
        EXPECT_EQ(s.host.BlockBytes(empty.h), "");
    }
    Value whole = s.Call("CloneMemoryBlockTKZ", {H(ten)});
    EXPECT_EQ(s.host.BlockBytes(whole.h), "0123456789");
    EXPECT_EQ(s.Call("CloneMemoryBlockTKZ", {H(nullptr)}).h, nullptr);

    // A block of unknown size: the length is trusted; a whole copy has no size.
    static char bytes[] = "abcdefgh";
    void* over = s.Own(s.host.MemoryBlockOver(bytes));
    EXPECT_EQ(s.Bytes(s.Call("MemoryBlockToStringWithLengthTKZ", {H(over), Value::I(6)}).h), "abcdef");
    EXPECT_EQ(s.host.BlockBytes(s.Call("CloneMemoryBlockWithLengthTKZ", {H(over), Value::I(3)}).h), "abc");
    EXPECT_EQ(s.Call("CloneMemoryBlockTKZ", {H(over)}).h, nullptr);
    EXPECT_EQ(s.Call("MemoryBlockToStringTKZ", {H(over)}).h, nullptr);
}

PLUGIN_TEST_CFG(StringFunctions, RefusedBlocksGiveNil, [] {
    emu::Config c;
    c.failAfter["newMemoryBlock"] = 0;
    return c;
}()) {
    EXPECT_EQ(s.Call("StringToMemoryBlockTKZ", {H(s.Str("hello"))}).h, nullptr);
    void* b = s.Own(s.host.NewMemoryBlock(3));
    EXPECT_EQ(s.Call("CloneMemoryBlockTKZ", {H(b)}).h, nullptr);
    EXPECT_EQ(s.Call("CloneMemoryBlockWithLengthTKZ", {H(b), Value::I(2)}).h, nullptr);
}

PLUGIN_TEST(StringFunctions, CloneKeepsBytesAndTag) {
    void* w = s.Str("caf\xE9", emu::kWindows);
    Value c = s.Call("CloneStringTKZ", {H(w)});
    EXPECT_NE(c.h, w);
    EXPECT_EQ(s.Bytes(c.h), "caf\xE9");
    EXPECT_EQ(s.Enc(c.h), emu::kWindows);
    EXPECT_EQ(s.Call("CloneStringTKZ", {H(s.Str(""))}).h, nullptr);
    EXPECT_EQ(s.Call("CloneStringTKZ", {H(nullptr)}).h, nullptr);
}

// ---- UUID -----------------------------------------------------------------------

PLUGIN_TEST(Uuid, FormsOfEveryMode) {
    const std::string braced = "{0123ABCD-4567-89ab-CDEF-0123456789ab}";
    const std::string bare = "0123ABCD-4567-89ab-CDEF-0123456789ab";
    struct Row { std::string text; int mode; bool ok; } rows[] = {
        {braced, 0, true}, {bare, 0, false}, {bare, 1, true}, {braced, 1, false},
        {"{0123ABCD456789abCDEF0123456789ab}", 2, true}, {"{0123ABCD-456789ab-CDEF0123456789ab}", 2, true},
        {braced, 2, true}, {"{0123ABCD--4567-89ab-CDEF-0123456789ab}", 2, false},
        {"0123ABCD456789abCDEF0123456789ab", 3, true}, {bare, 3, true}, {braced, 3, false},
        {"0123ABCD456789abCDEF0123456789ab", 1, false}, {"0123ABCD-4567-89abCDEF-0123456789ab", 1, false},
        {"{0123ABCD-4567-89ab-CDEF0123456789ab}", 0, false},
        {braced + " ", 0, false}, {braced + "\n", 0, false}, {" " + braced, 0, false},
        {"{0123ABC-4567-89ab-CDEF-0123456789ab}", 0, false}, {"{0123ABCDE-4567-89ab-CDEF-0123456789ab}", 0, false},
        {"{0123ABCD-4567-89ab-CDEF-0123456789a}", 0, false}, {"{0123ABCD-4567-89ab-CDEF-0123456789abc}", 0, false},
        {"{0123ABCD-4567-89ab-CDGF-0123456789ab}", 0, false}, {"{0123ABCD-4567-89ab-CDEF-0123456789ab", 0, false},
        {braced, 4, true}, {bare, 5, true}, {"0123ABCD456789abCDEF0123456789ab", -1, true}, {braced, -1, false},
        {"", 0, false}, {"", 3, false}, {"{", 0, false},
    };
    for (const Row& r : rows) {
        Value v = s.Call("ValidateUUIDTKZ", {H(s.Str(r.text)), Value::I(r.mode)});
        if (r.ok) {
            EXPECT_EQ(s.Bytes(v.h), r.text) << r.text << " mode " << r.mode;
            EXPECT_EQ(s.Enc(v.h), emu::kASCII);
        } else {
            EXPECT_EQ(v.h, nullptr) << r.text << " mode " << r.mode;
        }
    }
    for (int mode : {0, 1, 2, 3}) EXPECT_EQ(s.Call("ValidateUUIDTKZ", {H(nullptr), Value::I(mode)}).h, nullptr);
    // The declared default mode is 0.
    EXPECT_EQ(s.Bytes(s.Call("ValidateUUIDTKZ", {H(s.Str(braced))}).h), braced);
    // A NUL right after a valid form ends the text: accepted, cut there.
    Value nul = s.Call("ValidateUUIDTKZ", {H(s.Str(bare + std::string("\0junk", 5))), Value::I(1)});
    EXPECT_EQ(s.Bytes(nul.h), bare);
    // Characters US-ASCII cannot hold fail where they stand.
    EXPECT_EQ(s.Call("ValidateUUIDTKZ", {H(s.Str("{0123ABCD-4567-89ab-CDEF-0123456789a\xC3\xA9}")), Value::I(0)}).h,
              nullptr);
}

// ---- class tests ----------------------------------------------------------------

namespace {
void DefineAnimals(tkz::Session& s) {
    s.host.DefineClass("Animal");
    s.host.DefineClass("Dog", "Animal");
    s.host.DefineClass("Cat", "Animal");
}
bool Is(tkz::Session& s, const char* method, void* o, void* name) {
    return s.Call(method, {H(o), H(name)}).b;
}
}  // namespace

PLUGIN_TEST(ClassTests, ObjectIsA) {
    DefineAnimals(s);
    void* dog = s.New("Dog");
    EXPECT_TRUE(Is(s, "ObjectIsATKZ", dog, s.Str("Animal")));
    EXPECT_TRUE(Is(s, "ObjectIsATKZ", dog, s.Str("Dog")));
    EXPECT_FALSE(Is(s, "ObjectIsATKZ", dog, s.Str("Cat")));
    EXPECT_FALSE(Is(s, "ObjectIsATKZ", dog, s.Str("")));
    EXPECT_FALSE(Is(s, "ObjectIsATKZ", dog, nullptr));
    EXPECT_FALSE(Is(s, "ObjectIsATKZ", nullptr, s.Str("Dog")));
    EXPECT_TRUE(Is(s, "ObjectIsATKZ", dog, s.Str("Animal", emu::kWindows))) << "the name is read as UTF-8";
    void* run = s.Own(s.Words("REALnewInstance(char const*)", {W("StyleDataTKZ")}, "object").h);
    EXPECT_TRUE(Is(s, "ObjectIsATKZ", run, s.Str("StyleDataTKZ")));
    EXPECT_TRUE(Is(s, "ObjectIsATKZ", run, s.Str("Object")));
}

namespace {
void ArrayCases(tkz::Session& s) {
    DefineAnimals(s);
    void* dog = s.New("Dog");
    void* cat = s.New("Cat");
    void* dogFirst = s.Own(s.host.NewArray(9, 2));
    s.host.SetElement(dogFirst, 0, H(dog));
    s.host.SetElement(dogFirst, 1, H(cat));
    void* catFirst = s.Own(s.host.NewArray(9, 2));
    s.host.SetElement(catFirst, 0, H(cat));
    s.host.SetElement(catFirst, 1, H(dog));
    EXPECT_TRUE(Is(s, "ArrayIsATKZ", dogFirst, s.Str("Dog")));
    EXPECT_FALSE(Is(s, "ArrayIsATKZ", catFirst, s.Str("Dog")));
    EXPECT_TRUE(Is(s, "ArrayIsATKZ", catFirst, s.Str("Animal")));
    EXPECT_EQ(s.host.RefCount(dog), 3) << "the element read is given back";

    void* empty = s.Own(s.host.NewArray(9, 0));
    EXPECT_FALSE(Is(s, "ArrayIsATKZ", empty, s.Str("Dog")));
    void* nilFirst = s.Own(s.host.NewArray(9, 2));
    s.host.SetElement(nilFirst, 1, H(dog));
    EXPECT_FALSE(Is(s, "ArrayIsATKZ", nilFirst, s.Str("Dog")));
    EXPECT_FALSE(Is(s, "ArrayIsATKZ", nullptr, s.Str("Dog")));
    EXPECT_FALSE(Is(s, "ArrayIsATKZ", dogFirst, s.Str("")));

    // Not an array of objects: false without looking at the name (a name
    // that would need converting is never converted).
    void* windowsName = s.Str("Dog", emu::kWindows);
    int conversions = s.Calls("REALConvertString");
    void* ints = s.Own(s.host.NewArray(2, 3));
    void* strs = s.Own(s.host.NewArray(8, 1));
    EXPECT_FALSE(Is(s, "ArrayIsATKZ", ints, windowsName));
    EXPECT_FALSE(Is(s, "ArrayIsATKZ", strs, windowsName));
    EXPECT_FALSE(Is(s, "ArrayIsATKZ", dog, windowsName));
    void* variant = s.Own(s.host.NewVariant(9, H(dog)));
    EXPECT_FALSE(Is(s, "ArrayIsATKZ", variant, windowsName));
    EXPECT_EQ(s.Calls("REALConvertString"), conversions);
}
emu::Config NoArrayFinder() {
    emu::Config c;
    c.missing = {"RuntimeArrayDirectGetGetProc"};
    return c;
}
}  // namespace

PLUGIN_TEST(ClassTests, ArrayIsAWithHostFinder) {
    ArrayCases(s);
    EXPECT_GT(s.Calls("RuntimeArrayDirectGetGetProc"), 0);
}
PLUGIN_TEST_CFG(ClassTests, ArrayIsAWithOwnFallback, NoArrayFinder()) {
    ArrayCases(s);
    EXPECT_EQ(s.Calls("RuntimeArrayDirectGetGetProc"), 0);
}

// ---- master volume --------------------------------------------------------------

namespace {

struct Mixer {
    std::string dir, log;
};

// An ALSA configuration whose "default" control device is the test double,
// selected for this process only. Returns where its writes are logged.
Mixer UseTestMixer(const std::string& element, long max = 31, long initial = 7) {
    Mixer m;
    char tmpl[] = "/tmp/tkz-alsa-XXXXXX";
    m.dir = mkdtemp(tmpl);
    m.log = m.dir + "/writes";
    std::ofstream conf(m.dir + "/asound.conf");
    conf << "ctl_type.tkztest { lib \"" TKZ_BUILD_DIR "/tests/libasound_module_ctl_tkztest.so\" }\n"
         << "ctl.default { type tkztest max " << max << " initial " << initial << " log \"" << m.log
         << "\" name \"" << element << "\" }\n";
    conf.close();
    setenv("ALSA_CONFIG_PATH", (m.dir + "/asound.conf").c_str(), 1);
    return m;
}

std::vector<std::string> Writes(const Mixer& m) {
    std::vector<std::string> lines;
    std::ifstream f(m.log);
    for (std::string l; std::getline(f, l);) lines.push_back(l);
    return lines;
}

std::string LastWrite(const Mixer& m) {
    std::vector<std::string> w = Writes(m);
    return w.empty() ? "" : w.back();
}

bool HaveTestMixer() { return access(TKZ_BUILD_DIR "/tests/libasound_module_ctl_tkztest.so", R_OK) == 0; }

}  // namespace

// The value sent is max x percent truncated toward zero, unclamped. What
// alsa-lib does on its way: it writes the channels one at a time (so one call
// may log two writes; the last holds both), skips a value the control already
// holds, and silently drops values outside the control's range (3100, -15),
// which therefore never reach the control.
TEST(Volume, SetsMasterThroughAlsa) {
    TKZ_REQUIRE(HaveTestMixer(), "the ALSA test control plugin (built with the tests)");
    tkz::RunFresh(emu::Config(), [](tkz::Session& s) {
        Mixer m = UseTestMixer("Master Playback Volume");
        auto set = [&](double v) { s.Call("SetSoundVolumeTKZ", {Value::D(v)}); };
        set(1.0);
        EXPECT_EQ(LastWrite(m), "31 31");
        set(0.5);
        EXPECT_EQ(LastWrite(m), "15 15");
        set(0);
        EXPECT_EQ(LastWrite(m), "0 0");
        set(1.0);
        size_t before = Writes(m).size();
        set(100);   // 3100: out of range, dropped by alsa-lib
        set(-0.5);  // -15: likewise
        set(NAN);
        set(1e300);
        EXPECT_EQ(Writes(m).size(), before);
        EXPECT_EQ(LastWrite(m), "31 31");
        EXPECT_EQ(s.Call("GetSoundVolumeTKZ").d, 0.0);
        s.Call("SetSoundMuteTKZ", {Value::B(true)});
        EXPECT_FALSE(s.Call("GetSoundMuteTKZ").b);
    });
}

// The largest control range: a product that fits 32 bits once truncated is
// sent as it is.
TEST(Volume, FullRangeProductIsSentAsIs) {
    TKZ_REQUIRE(HaveTestMixer(), "the ALSA test control plugin (built with the tests)");
    tkz::RunFresh(emu::Config(), [](tkz::Session& s) {
        Mixer m = UseTestMixer("Master Playback Volume", 2147483647, 0);
        s.Call("SetSoundVolumeTKZ", {Value::D(1.0)});
        EXPECT_EQ(LastWrite(m), "2147483647 2147483647");
        s.Call("SetSoundVolumeTKZ", {Value::D(0.5)});
        s.Call("SetSoundVolumeTKZ", {Value::D(2147483647.9 / 2147483647.0)});
        EXPECT_EQ(LastWrite(m), "2147483647 2147483647");
    });
}

TEST(Volume, QuietWithoutMasterElement) {
    TKZ_REQUIRE(HaveTestMixer(), "the ALSA test control plugin (built with the tests)");
    tkz::RunFresh(emu::Config(), [](tkz::Session& s) {
        Mixer m = UseTestMixer("PCM Playback Volume");
        s.Call("SetSoundVolumeTKZ", {Value::D(1.0)});
        EXPECT_TRUE(Writes(m).empty());
    });
}

// Without a configuration that names a control device and without a sound
// card, attaching fails (alsa-lib says so on standard error) and the mixer has
// no elements: the call returns quietly.
PLUGIN_TEST(Volume, QuietWithoutAnySoundCard) {
    char tmpl[] = "/tmp/tkz-alsa-XXXXXX";
    std::string empty = std::string(mkdtemp(tmpl)) + "/empty.conf";
    std::ofstream(empty).close();
    setenv("ALSA_CONFIG_PATH", empty.c_str(), 1);
    s.Call("SetSoundVolumeTKZ", {Value::D(0.5)});
    s.Call("SetSoundVolumeTKZ", {Value::D(NAN)});
}

PLUGIN_TEST(Volume, FixedAnswers) {
    s.Call("SetSoundVolumeLeftTKZ", {Value::D(0.3)});
    s.Call("SetSoundVolumeRightTKZ", {Value::D(0.3)});
    for (const char* getter : {"GetSoundVolumeTKZ", "GetSoundVolumeLeftTKZ", "GetSoundVolumeRightTKZ"})
        EXPECT_EQ(s.Call(getter).d, 0.0) << getter;
    EXPECT_FALSE(s.Call("GetSoundMuteTKZ").b);
}
