// Global methods on strings and memory blocks, UUID validation, class tests
// by name and the master volume, all called through the registered table as
// the host calls them.
#include "support.h"

#include "hostapi/wrappers.h"

#include <cmath>
#include <cstring>
#include <fstream>

using emu::Value;
using tkz::Got;
using tkz::H;
using tkz::Tagged;

namespace {
void DefineAnimals(tkz::Session& s) {
    s.host.DefineClass("Animal");
    s.host.DefineClass("Dog", "Animal");
    s.host.DefineClass("Cat", "Animal");
}

// An ALSA configuration whose "default" control device is the test double,
// for this process only; returns the file where its writes are logged.
std::string UseTestMixer(const std::string& element, long max = 31, long initial = 7) {
    char tmpl[] = "/tmp/tkz-alsa-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::ofstream(dir + "/asound.conf")
        << "ctl_type.tkztest { lib \"" TKZ_BUILD_DIR "/tests/libasound_module_ctl_tkztest.so\" }\n"
        << "ctl.default { type tkztest max " << max << " initial " << initial << " log \"" << dir << "/writes\" name \""
        << element << "\" }\n";
    setenv("ALSA_CONFIG_PATH", (dir + "/asound.conf").c_str(), 1);
    return dir + "/writes";
}

// The last write logged ("left right"), or "" if none.
std::string SetAndLastWrite(tkz::Session& s, const std::string& log, double percent) {
    s.Call("SetSoundVolumeTKZ", {Value::D(percent)});
    std::ifstream f(log);
    std::string last;
    for (std::string l; std::getline(f, l);) last = l;
    return last;
}

}  // namespace

// ---- bytes, tags and codes ------------------------------------------------------

// Worked by hand. Every path of the kernel at every length, alignment and
// locale, raw bytes through the method, is checked against the definition in
// bytes_test; the hash of nil is in tkzhost-values.
PLUGIN_TEST(Hash, WorkedValues) {
    struct { std::string text; int32_t hash; } rows[] = {
        {"abc", 4915}, {"ABC", 4915}, {"", 1},
        {std::string(40, 'z'), -663898411},  // &h80000000 and more reach BASIC as negative integers
    };
    for (auto& r : rows) EXPECT_EQ(s.Call("GetHash32TKZ", {H(s.Str(r.text))}).i, r.hash) << r.text;
}

PLUGIN_TEST(StringFunctions, XorWholeWordsOnly) {
    auto x = [&](void* str, int v) { return s.Call("BitwiseXORStringBytesTKZ", {H(str), Value::I(v)}).h; };
    // A tail shorter than a word and the value's high bytes: bytes_test's ByteMethods.
    EXPECT_EQ(Got(s, x(s.Str("abcdef"), 32)), Tagged("ABCDef", emu::kRaw));
    void* utf8 = s.Str("\xC3\xA9\xC3\xA9");
    EXPECT_EQ(Got(s, x(x(utf8, 0x5A), 0x5A)), Tagged(s.Bytes(utf8), emu::kRaw)) << "applying it twice restores the bytes";
    for (void* none : {s.Str(""), (void*)nullptr}) EXPECT_EQ(x(none, 1), nullptr);
}

// The four-character codes themselves are the text layer's (text_test); the
// string made from one is in tkzhost-values.
PLUGIN_TEST(StringFunctions, EncodingTagsAndFourCharacterCodes) {
    void* str = s.Str("text");
    auto tag = [&](void* of) { return s.Call("GetEncodingOfStringTKZ", {H(of)}).i; };
    EXPECT_EQ(tag(str), 0x08000100);
    for (void* untagged : {(void*)nullptr, s.Str("x", emu::kMacRoman)}) EXPECT_EQ(tag(untagged), 0);
    s.Call("SetEncodingOfStringTKZ", {H(str), Value::I(0x600)});
    EXPECT_EQ(Got(s, str), Tagged("text", 0x600));
    EXPECT_EQ(s.Call("OSTypeFromStringTKZ", {H(s.Str("ab"))}).i, 0x61622020);
}

// Our choice: a length beyond a block of known size is cut to its size. A
// block of unknown size (made over a pointer) trusts the length, and has no
// whole copy. An empty copy is still a block, of 0 bytes; a copy of a string
// keeps its tag.
PLUGIN_TEST(StringFunctions, StringsAndMemoryBlocks) {
    void* ten = s.Own(s.host.NewMemoryBlock(10));
    memcpy(TKZ_FN(REALMemoryBlockGetPtr)(ten), "0123456789", 10);
    void* empty = s.Own(s.host.NewMemoryBlock(0));
    static char bytes[] = "abcdefgh";
    void* over = s.Own(s.host.MemoryBlockOver(bytes));
    const int kWhole = INT32_MIN;  // no length argument
    struct { const char* fn; void* of; int len; std::string want; } rows[] = {
        {"StringToMemoryBlockTKZ", s.Str("hello"), kWhole, "block hello"}, {"StringToMemoryBlockTKZ", s.Str(""), kWhole, "block "},
        {"StringToMemoryBlockTKZ", nullptr, kWhole, "nil"},
        {"MemoryBlockToStringTKZ", ten, kWhole, Tagged("0123456789", emu::kRaw)}, {"MemoryBlockToStringTKZ", nullptr, kWhole, "nil"},
        {"MemoryBlockToStringTKZ", empty, kWhole, "nil"}, {"MemoryBlockToStringTKZ", over, kWhole, "nil"},
        {"MemoryBlockToStringWithLengthTKZ", ten, 4, Tagged("0123", emu::kRaw)},
        {"MemoryBlockToStringWithLengthTKZ", ten, 1000, Tagged("0123456789", emu::kRaw)},
        {"MemoryBlockToStringWithLengthTKZ", over, 6, Tagged("abcdef", emu::kRaw)},
        {"MemoryBlockToStringWithLengthTKZ", ten, 0, "nil"}, {"MemoryBlockToStringWithLengthTKZ", ten, -1, "nil"},
        {"MemoryBlockToStringWithLengthTKZ", empty, 5, "nil"},
        {"CloneMemoryBlockTKZ", ten, kWhole, "block 0123456789"}, {"CloneMemoryBlockTKZ", empty, kWhole, "block "},
        {"CloneMemoryBlockTKZ", nullptr, kWhole, "nil"}, {"CloneMemoryBlockTKZ", over, kWhole, "nil"},
        {"CloneMemoryBlockWithLengthTKZ", ten, 4, "block 0123"}, {"CloneMemoryBlockWithLengthTKZ", ten, 99, "block 0123456789"},
        {"CloneMemoryBlockWithLengthTKZ", ten, 0, "block "}, {"CloneMemoryBlockWithLengthTKZ", empty, 5, "block "},
        {"CloneMemoryBlockWithLengthTKZ", over, 3, "block abc"}, {"CloneMemoryBlockWithLengthTKZ", ten, -5, "nil"},
        {"CloneMemoryBlockWithLengthTKZ", nullptr, 4, "nil"},
        {"CloneStringTKZ", s.Str("caf\xE9", emu::kWindows), kWhole, Tagged("caf\xE9", emu::kWindows)},
        {"CloneStringTKZ", s.Str(""), kWhole, "nil"}, {"CloneStringTKZ", nullptr, kWhole, "nil"},
    };
    for (auto& r : rows) {
        void* got = s.Call(r.fn, r.len == kWhole ? std::vector<Value>{H(r.of)} : std::vector<Value>{H(r.of), Value::I(r.len)}).h;
        EXPECT_TRUE(got == nullptr || got != r.of) << "a copy is new";
        bool block = got && strstr(r.fn, "MemoryBlock") && !strstr(r.fn, "ToString");
        EXPECT_EQ(block ? "block " + s.host.BlockBytes(got) : Got(s, got), r.want) << r.fn << " " << r.len;
    }
}

PLUGIN_TEST_CFG(StringFunctions, RefusedBlocksGiveNil, (emu::Config{.failAfter = {{"newMemoryBlock", 0}}})) {
    EXPECT_EQ(s.Call("StringToMemoryBlockTKZ", {H(s.Str("hello"))}).h, nullptr);
    void* b = s.Own(s.host.NewMemoryBlock(3));
    EXPECT_EQ(s.Call("CloneMemoryBlockTKZ", {H(b)}).h, nullptr);
    EXPECT_EQ(s.Call("CloneMemoryBlockWithLengthTKZ", {H(b), Value::I(2)}).h, nullptr);
}

// ---- UUID -----------------------------------------------------------------------

// Mode bit 0: no braces; bit 1: hyphens optional; the declared default is 0.
PLUGIN_TEST(Uuid, FormsOfEveryMode) {
    const std::string braced = "{0123ABCD-4567-89ab-CDEF-0123456789ab}", bare = braced.substr(1, 36);
    const std::string run = "0123ABCD456789abCDEF0123456789ab";
    struct Row { std::string text; int mode; bool ok; } rows[] = {
        {braced, 0, true}, {bare, 0, false}, {bare, 1, true}, {braced, 1, false}, {"{" + run + "}", 2, true},
        {"{0123ABCD-456789ab-CDEF0123456789ab}", 2, true}, {braced, 2, true}, {"{0123ABCD--4567-89ab-CDEF-0123456789ab}", 2, false},
        {run, 3, true}, {bare, 3, true}, {braced, 3, false}, {run, 1, false}, {"0123ABCD-4567-89abCDEF-0123456789ab", 1, false},
        {"{0123ABCD-4567-89ab-CDEF0123456789ab}", 0, false}, {braced + " ", 0, false}, {braced + "\n", 0, false},
        {" " + braced, 0, false}, {"{0123ABC-4567-89ab-CDEF-0123456789ab}", 0, false},
        {"{0123ABCDE-4567-89ab-CDEF-0123456789ab}", 0, false}, {"{0123ABCD-4567-89ab-CDEF-0123456789a}", 0, false},
        {"{0123ABCD-4567-89ab-CDEF-0123456789abc}", 0, false}, {"{0123ABCD-4567-89ab-CDGF-0123456789ab}", 0, false},
        {"{0123ABCD-4567-89ab-CDEF-0123456789ab", 0, false}, {braced, 4, true}, {bare, 5, true}, {run, -1, true},
        {braced, -1, false}, {"", 0, false}, {"", 3, false}, {"{", 0, false},
        // Characters US-ASCII cannot hold fail where they stand.
        {"{0123ABCD-4567-89ab-CDEF-0123456789a\xC3\xA9}", 0, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Got(s, s.Call("ValidateUUIDTKZ", {H(s.Str(r.text)), Value::I(r.mode)}).h), r.ok ? Tagged(r.text, emu::kASCII) : "nil")
            << r.text << " mode " << r.mode;
    for (int mode : {0, 1, 2, 3}) EXPECT_EQ(s.Call("ValidateUUIDTKZ", {H(nullptr), Value::I(mode)}).h, nullptr);
    // A NUL right after a valid form ends the text: accepted, cut there.
    EXPECT_EQ(s.Bytes(s.Call("ValidateUUIDTKZ", {H(s.Str(bare + std::string("\0junk", 5))), Value::I(1)}).h), bare);
}

// ---- class tests ----------------------------------------------------------------

PLUGIN_TEST(ClassTests, ObjectIsA) {
    DefineAnimals(s);
    void* dog = s.New("Dog");
    void* run = s.Own(s.host.NewInstance("StyleDataTKZ"));
    struct { void* o; void* name; bool is; } rows[] = {
        {dog, s.Str("Animal"), true},  {dog, s.Str("Dog"), true}, {dog, s.Str("Cat"), false}, {dog, s.Str(""), false},
        {dog, nullptr, false},         {nullptr, s.Str("Dog"), false},
        {dog, s.Str("Animal", emu::kWindows), true},  // the name is read as UTF-8
        {run, s.Str("StyleDataTKZ"), true}, {run, s.Str("Object"), true},
    };
    for (auto& r : rows) EXPECT_EQ(s.Call("ObjectIsATKZ", {H(r.o), H(r.name)}).b, r.is) << "row " << &r - rows;
}

// Only element 0 counts. Not an array of objects: false without looking at
// the name (a name that would need converting is never converted). The
// plugin's own fallback for object elements is frame_test's.
PLUGIN_TEST(ClassTests, ArrayIsA) {
    DefineAnimals(s);
    void *dog = s.New("Dog"), *cat = s.New("Cat");
    auto objects = [&](std::vector<void*> items) {
        void* a = s.Own(s.host.NewArray(9, (int)items.size()));
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i]) s.host.SetElement(a, (int)i, H(items[i]));
        return a;
    };
    void* windowsName = s.Str("Dog", emu::kWindows);
    int conversions = s.Calls("REALConvertString");
    struct { void* v; void* name; bool is; } rows[] = {
        {objects({dog, cat}), s.Str("Dog"), true},     {objects({cat, dog}), s.Str("Dog"), false},
        {objects({cat, dog}), s.Str("Animal"), true},  {objects({}), s.Str("Dog"), false},
        {objects({nullptr, dog}), s.Str("Dog"), false}, {nullptr, s.Str("Dog"), false},
        {objects({dog}), s.Str(""), false},            {s.Own(s.host.NewArray(2, 3)), windowsName, false},
        {s.Own(s.host.NewArray(8, 1)), windowsName, false}, {dog, windowsName, false},
        {s.Own(s.host.NewVariant(9, H(dog))), windowsName, false},
    };
    for (auto& r : rows) EXPECT_EQ(s.Call("ArrayIsATKZ", {H(r.v), H(r.name)}).b, r.is) << "row " << &r - rows;
    EXPECT_EQ(s.Calls("REALConvertString"), conversions);
}

// ---- master volume --------------------------------------------------------------

// The value sent is max x percent truncated toward zero, unclamped. What
// alsa-lib does on its way: it writes the channels one at a time (so one call
// may log two writes; the last holds both), skips a value the control already
// holds, and silently drops values outside the control's range (3100, -15),
// which therefore never reach the control.
PLUGIN_TEST(Volume, SetsMasterThroughAlsa) {
    std::string log = UseTestMixer("Master Playback Volume");
    for (auto [percent, want] : {std::pair<double, const char*>{1.0, "31 31"}, {0.5, "15 15"}, {0, "0 0"}, {1.0, "31 31"}})
        EXPECT_EQ(SetAndLastWrite(s, log, percent), want) << percent;
    for (double percent : {100.0, -0.5, (double)NAN, 1e300}) EXPECT_EQ(SetAndLastWrite(s, log, percent), "31 31") << percent;
}

// The largest control range: a product that fits 32 bits once truncated is
// sent as it is.
PLUGIN_TEST(Volume, FullRangeProductIsSentAsIs) {
    std::string log = UseTestMixer("Master Playback Volume", 2147483647, 0);
    EXPECT_EQ(SetAndLastWrite(s, log, 1.0), "2147483647 2147483647");
    SetAndLastWrite(s, log, 0.5);
    EXPECT_EQ(SetAndLastWrite(s, log, 2147483647.9 / 2147483647.0), "2147483647 2147483647");
    // A product exactly one below the range is never converted (the sanitized
    // build would report the conversion); alsa-lib drops the value it becomes.
    EXPECT_EQ(SetAndLastWrite(s, UseTestMixer("Master Playback Volume", 1, 0), -2147483649.0), "");
}

// Without a configuration that names a control device and without a sound
// card, attaching fails (alsa-lib says so on standard error) and the mixer has
// no elements: the call returns quietly.
// The other volume methods have fixed answers.
PLUGIN_TEST(Volume, QuietWithoutMasterElementOrSoundCardOtherwiseFixed) {
    EXPECT_EQ(SetAndLastWrite(s, UseTestMixer("PCM Playback Volume"), 1.0), "");
    setenv("ALSA_CONFIG_PATH", "/dev/null", 1);
    for (double percent : {0.5, (double)NAN}) s.Call("SetSoundVolumeTKZ", {Value::D(percent)});
    for (const char* setter : {"SetSoundVolumeLeftTKZ", "SetSoundVolumeRightTKZ"}) s.Call(setter, {Value::D(0.3)});
    s.Call("SetSoundMuteTKZ", {Value::B(true)});
    for (const char* getter : {"GetSoundVolumeTKZ", "GetSoundVolumeLeftTKZ", "GetSoundVolumeRightTKZ"})
        EXPECT_EQ(s.Call(getter).d, 0.0) << getter;
    EXPECT_FALSE(s.Call("GetSoundMuteTKZ").b);
}
