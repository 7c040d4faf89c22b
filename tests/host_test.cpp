// The emulated host must be strict, or the other suites prove nothing: it
// catches leaked, over-released and used-after-release references, converts
// text as the host does, and lays out what plugins read exactly.
#include "support.h"

#include <gtest/gtest-spi.h>

using emu::Value;
using tkz::W;

TEST(EmulatedHost, LedgerCatchesALeak) {
    EXPECT_NONFATAL_FAILURE(tkz::RunFresh(emu::Config(), [](tkz::Session& s) { s.host.NewString("kept", emu::kUTF8); }),
                            "still alive at the end: string");
}

TEST(EmulatedHost, LedgerCatchesAnOverRelease) {
    EXPECT_NONFATAL_FAILURE(tkz::RunFresh(emu::Config(),
                                          [](tkz::Session& s) {
                                              void* str = s.Str("x");
                                              s.Words("REALUnlockString(REALstringStruct*)", {W(str)});
                                          }),
                            "used after release");
    EXPECT_NONFATAL_FAILURE(tkz::RunFresh(emu::Config(),
                                          [](tkz::Session& s) {
                                              void* o = s.host.NewObject("Object");
                                              s.host.Lock(o);
                                              s.host.Unlock(o);
                                              s.host.Unlock(o);
                                              s.host.Unlock(o);
                                          }),
                            "used after release");
}

TEST(EmulatedHost, LedgerCatchesUseAfterReleaseThroughEntryPoints) {
    EXPECT_NONFATAL_FAILURE(tkz::RunFresh(emu::Config(),
                                          [](tkz::Session& s) {
                                              void* str = s.host.NewString("gone", emu::kUTF8);
                                              s.host.Unlock(str);
                                              s.Words("REALLockString(REALstringStruct*)", {W(str)});
                                          }),
                            "used after release");
}

// Reading a released record directly must not go unnoticed either: the
// text pointer is cleared (plain build) or the record poisoned (sanitized).
TEST(EmulatedHost, ReleasedRecordCannotBeRead) {
    std::string out;
    int rc = emu::RunChild(
        [] {
            emu::Host host;
            emu::StringRec* s = host.NewString("gone", emu::kUTF8);
            host.Unlock(s);
            volatile char c = s->buffer[1];
            (void)c;
            return 0;
        },
        &out);
    EXPECT_NE(rc, 0) << out;
}

#if defined(__SANITIZE_ADDRESS__)
// Only AddressSanitizer sees a read just past an allocation.
TEST(EmulatedHost, ReadPastStringIsCaughtWhenSanitized) {
    std::string out;
    int rc = emu::RunChild(
        [] {
            emu::Host host;
            emu::StringRec* s = host.NewString("abc", emu::kUTF8);
            volatile char c = s->buffer[s->length + 2];  // one past the NUL
            (void)c;
            host.Unlock(s);
            return 0;
        },
        &out);
    EXPECT_NE(rc, 0);
    EXPECT_NE(out.find("heap-buffer-overflow"), std::string::npos) << out;
}
#endif

TEST(EmulatedHost, StringRecordsAreLaidOutAsPluginsReadThem) {
    emu::Host host;
    emu::StringRec* s = host.NewString(std::string("a\0b", 3), emu::kRaw);
    EXPECT_EQ(s->length, 3);
    EXPECT_EQ(s->encoding, emu::kRaw);
    EXPECT_EQ(std::string(s->buffer + 1, 4), std::string("a\0b\0", 4)) << "text from buffer + 1, NUL after it";
    EXPECT_EQ(host.RefCount(s), 1);
    host.Unlock(s);
    EXPECT_EQ(host.RefCount(s), -1);
}

TEST(EmulatedHost, ConvertsThroughIconv) {
    emu::Host host;
    struct Row { std::string in; uint32_t from, to; std::string out; } rows[] = {
        {"caf\xC3\xA9", emu::kUTF8, emu::kWindows, "caf\xE9"},
        {"caf\xC3\xA9", emu::kUTF8, emu::kMacRoman, "caf\x8E"},
        {"caf\xC3\xA9", emu::kUTF8, emu::kASCII, "caf?"},
        {"\xE2\x82\xAC", emu::kUTF8, emu::kWindows, "\x80"},
        {"\xE2\x82\xAC", emu::kUTF8, emu::kMacRoman, "\xDB"},
        {"\xC5\x81", emu::kUTF8, emu::kMacRoman, "?"},
        {"\x80", emu::kWindows, emu::kUTF8, "\xE2\x82\xAC"},
        {"ab", emu::kASCII, emu::kUTF16, std::string("a\0b\0", 4)},
        {"a", emu::kASCII, emu::kUTF32, std::string("a\0\0\0", 4)},
        {std::string("a\0b\0", 4), emu::kUTF16, emu::kUTF8, "ab"},
        {"\xFF\xFE", emu::kRaw, emu::kUTF8, "\xFF\xFE"},  // raw bytes pass through
    };
    for (const Row& r : rows) {
        emu::StringRec* in = host.NewString(r.in, r.from);
        emu::StringRec* out = host.Convert(in, r.to);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(host.Bytes(out), r.out) << r.in << " " << r.from << " -> " << r.to;
        EXPECT_EQ(out->encoding, r.to);
        host.Unlock(in);
        host.Unlock(out);
    }
    EXPECT_TRUE(host.LiveSince(0).empty());
}

TEST(EmulatedHost, Utf16ConversionCanCarryAByteOrderMark) {
    emu::Config c;
    c.utf16Bom = true;
    emu::Host host(c);
    emu::StringRec* in = host.NewString("a", emu::kASCII);
    emu::StringRec* out = host.Convert(in, emu::kUTF16);
    EXPECT_EQ(host.Bytes(out), std::string("\xFF\xFE" "a\0", 4));
    host.Unlock(in);
    host.Unlock(out);
}

PLUGIN_TEST(EmulatedHost, ClassesGetDistinctNonZeroOffsets) {
    std::set<uint32_t> offsets;
    for (emu::ClassDef* c : s.host.registry().classes) {
        EXPECT_NE(c->dataOffset, 0u);
        offsets.insert(c->dataOffset);
    }
    EXPECT_EQ(offsets.size(), 5u);
    // A new plugin instance is zero-filled data at its class's offset.
    void* o = s.Own(s.Words("REALnewInstance(char const*)", {W("StyleDataTKZ")}, "object").h);
    const char* data = s.host.DataOf(o);
    EXPECT_EQ(data - (const char*)o, (long)s.host.FindClass("StyleDataTKZ")->dataOffset);
    EXPECT_EQ(std::string(data, 96), std::string(96, '\0'));
}

PLUGIN_TEST(EmulatedHost, NewInstanceCanBeRefusedAfterSomeInstances) {
    s.host.config().newInstanceLimit["StyleDataTKZ"] = 2;
    const char* sig = "REALnewInstance(char const*)";
    EXPECT_NE(s.Own(s.Words(sig, {W("StyleDataTKZ")}, "object").h), nullptr);
    EXPECT_NE(s.Own(s.Words(sig, {W("StyleDataTKZ")}, "object").h), nullptr);
    EXPECT_EQ(s.Words(sig, {W("StyleDataTKZ")}, "object").h, nullptr);
    EXPECT_NE(s.Own(s.Words(sig, {W("StyleDataListTKZ")}, "object").h), nullptr);
    EXPECT_EQ(s.Words(sig, {W("NoSuchClass")}, "object").h, nullptr);
}

PLUGIN_TEST(EmulatedHost, FolderItemsOverRealPathsAndChains) {
    void* x = s.Own(s.host.FolderItem("/home/x"));
    EXPECT_EQ(s.Bytes(s.Prop(x, "DisplayName").h), "x");
    void* home = s.Prop(x, "Parent").h;
    EXPECT_EQ(s.host.PathOf(home), "/home");
    void* root = s.Prop(home, "Parent").h;
    EXPECT_EQ(s.host.PathOf(root), "/");
    EXPECT_EQ(s.Bytes(s.Prop(root, "DisplayName").h), "") << "the root has no display name";
    EXPECT_EQ(s.Prop(root, "Parent").h, nullptr);

    // A synthetic chain a million deep is built and destroyed (when the test
    // gives back its reference) without recursion.
    s.DeepChain("n");
}

PLUGIN_TEST(EmulatedHost, MemoryBlocksOfKnownAndUnknownSize) {
    void* b = s.Own(s.host.NewMemoryBlock(3));
    EXPECT_EQ(s.Words("REALMemoryBlockGetSize(REALmemoryBlockStruct*)", {W(b)}, "integer").i, 3);
    char bytes[4] = "xyz";
    void* p = s.Own(s.Words("REALPtrToMemoryBlock(void*)", {W(bytes)}, "object").h);
    EXPECT_EQ(s.Words("REALMemoryBlockGetSize(REALmemoryBlockStruct*)", {W(p)}, "integer").i, -1);
    EXPECT_EQ(s.Words("REALMemoryBlockGetPtr(REALmemoryBlockStruct*)", {W(p)}, "object").h, (void*)bytes);
    EXPECT_EQ(s.Words("REALNewMemoryBlock(int)", {(uint32_t)-1}, "object").h, nullptr);
}

TEST(EmulatedHost, DeclarationsParse) {
    emu::Decl d = emu::ParseDecl("DisplayPathTKZ(delimiter as string = \"/\") as string");
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.name, "DisplayPathTKZ");
    EXPECT_EQ(d.result, "string");
    ASSERT_EQ(d.params.size(), 1u);
    EXPECT_EQ(d.params[0].defaultText, "\"/\"");
    d = emu::ParseDecl("FSRefNameTKZ(byref name as string) as memoryblock");
    EXPECT_TRUE(d.params[0].byref);
    d = emu::ParseDecl("MemoryBlockToStringWithLengthTKZ(s as memoryblock,len as integer) as string");
    EXPECT_EQ(d.params.size(), 2u);
    EXPECT_EQ(d.params[1].type, "integer");
    d = emu::ParseDecl("ShowCursorTKZ");
    EXPECT_TRUE(d.ok && d.params.empty() && d.result.empty());
    d = emu::ParseDecl("GetSoundMuteTKZ as boolean");
    EXPECT_EQ(d.name, "GetSoundMuteTKZ");
    EXPECT_EQ(d.result, "boolean");
    EXPECT_FALSE(emu::ParseDecl("Broken(x as string").ok);
    EXPECT_FALSE(emu::ParseDecl("Broken(x) as string").ok);
}
