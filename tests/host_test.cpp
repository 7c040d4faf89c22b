// The emulated host must be strict, or the other suites prove nothing: it
// catches leaked, over-released and used-after-release references and lays
// out what plugins read exactly.
#include "support.h"

#include "hostapi/wrappers.h"

#include <gtest/gtest-spi.h>

TEST(EmulatedHost, LedgerCatchesLeaksOverReleasesAndUseAfterRelease) {
    const struct {
        const char* fault;
        void (*body)(tkz::Session&);
    } cases[] = {
        {"leaked: string", [](tkz::Session& s) { s.host.NewString("kept", host::kUTF8); }},
        {"used after release",
         [](tkz::Session& s) {
             auto unlock = TKZ_FN(REALUnlockString);
             unlock(s.Str("x"));
         }},
        {"used after release", [](tkz::Session& s) { s.host.Unlock(s.New("Object")); }},
        {"used after release",
         [](tkz::Session& s) {  // through an entry point
             void* str = s.host.NewString("gone", host::kUTF8);
             s.host.Unlock(str);
             TKZ_FN(REALLockString)(str);
         }},
    };
    for (const auto& c : cases) EXPECT_NONFATAL_FAILURE(tkz::RunFresh(host::Config(), c.body), c.fault);
}

// Reading a released record directly must not go unnoticed either: the text
// pointer is cleared (plain build) or the record poisoned (sanitized). Only
// AddressSanitizer sees a read just past an allocation (one past the NUL).
TEST(EmulatedHost, ReadingAReleasedRecordOrPastOneFails) {
    for (int past = 0; past <= (int)tkz::kSanitized; ++past) {
        std::string out;
        int rc = host::RunChild(
            [past] {
                host::Host host;
                host::StringRec* s = host.NewString("abc", host::kUTF8);
                if (!past) host.Unlock(s);
                volatile char c = s->buffer[past ? s->length + 2 : 1];
                return (void)c, 0;  // the read is what must fail
            },
            &out);
        EXPECT_NE(rc, 0) << out;
        if (past) EXPECT_NE(out.find("heap-buffer-overflow"), std::string::npos) << out;
    }
}

PLUGIN_TEST(EmulatedHost, ClassesGetDistinctNonZeroOffsets) {
    std::set<uint32_t> offsets;
    for (host::ClassDef* c : s.host.registry().classes) offsets.insert(c->dataOffset);
    EXPECT_EQ(offsets.size(), tkz::kClasses);
    EXPECT_EQ(offsets.count(0), 0u);
    // A new plugin instance is zero-filled data at its class's offset.
    void* o = s.Own(TKZ_FN_AS(REALnewInstance, REALobjectStruct * (const char*))("StyleDataTKZ"));
    const char* data = s.host.DataOf(o);
    EXPECT_EQ(data - (const char*)o, (long)s.host.FindClass("StyleDataTKZ")->dataOffset);
    EXPECT_EQ(std::string(data, 96), std::string(96, '\0'));
}

// Every call finds its member and its parameters' types through the parsed
// declaration; here what only the parser sees.
TEST(EmulatedHost, DeclarationsParse) {
    host::Decl d = host::ParseDecl("DisplayPathTKZ(delimiter as string = \"/\") as string");
    EXPECT_TRUE(d.ok) << d.error;
    ASSERT_EQ(d.params.size(), 1u);
    EXPECT_EQ(d.params[0].defaultText, "\"/\"");
    EXPECT_FALSE(d.params[0].byref);
    EXPECT_TRUE(host::ParseDecl("FSRefNameTKZ(byref name as string) as memoryblock").params[0].byref);
    EXPECT_FALSE(host::ParseDecl("Broken(x as string").ok);
    EXPECT_FALSE(host::ParseDecl("Broken(x) as string").ok);
}
