// Test support: every test that touches the plugin runs in a fresh child
// process with its own emulated host and a fresh load of tkz.so (the plugin
// keeps what it found for the life of a process). At the end of the test the
// test's own references are given back and the host's ledger must be
// balanced: nothing the test or the plugin created is still alive, nothing
// was released too often or used after release.
#pragma once

#include "host.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace tkz {

struct Session {
    emu::Host& host;
    std::vector<void*> owned;  // references the test holds; released at the end

    // A host string / object the test owns.
    void* Str(const std::string& bytes, uint32_t encoding = emu::kUTF8) { return Own(host.NewString(bytes, encoding)); }
    void* Own(void* handle) {
        if (handle) owned.push_back(handle);
        return handle;
    }
    void* New(const std::string& cls) { return Own(host.NewObject(cls)); }
    // A value whose handle, if any, the test now owns.
    emu::Value Owned(const emu::Value& v) { if (v.kind == emu::Value::Handle) Own(v.h); return v; }
    // Calls a global method by declaration text or name; a returned handle is
    // owned by the test.
    emu::Value Call(const std::string& declOrName, const std::vector<emu::Value>& args = {});
    emu::Value Method(void* self, const std::string& cls, const std::string& declOrName,
                      const std::vector<emu::Value>& args = {});
    emu::Value Prop(void* obj, const std::string& name);
    std::string Bytes(const void* s) { return host.Bytes(s); }
    uint32_t Enc(const void* s) { return host.Encoding(s); }
    // An exported symbol of the plugin, by plain name or demangled signature.
    void* Sym(const std::string& name);
    // Calls a plugin function at `fn` with stack words.
    emu::Value Words(const std::string& signature, const std::vector<uint32_t>& words,
                     const std::string& result = "");
    int Calls(const std::string& entry) const { return host.CallCount(entry); }
    // A synthetic chain of kDeepChain folder items, each displayed as
    // `display`; the deepest is returned, owned by the test. Released records
    // are freed for real, so the chain fits the 32-bit address space.
    void* DeepChain(const std::string& display);
};

// A million levels; fewer when sanitized, since the sanitizer's shadow
// shares the 32-bit address space.
#if defined(__SANITIZE_ADDRESS__)
const int kDeepChain = 100000;
const bool kSanitized = true;
#else
const int kDeepChain = 1000000;
const bool kSanitized = false;
#endif

// Runs body in a child process with a fresh host of this configuration.
void RunFresh(const emu::Config& config, const std::function<void(Session&)>& body);

inline uint32_t W(const void* p) { return (uint32_t)(uintptr_t)p; }  // a pointer as a stack word
inline emu::Value H(const void* p) { return emu::Value::H(p); }
// A string as its bytes and tag, or "nil": one comparison checks both.
inline std::string Tagged(const std::string& bytes, uint32_t enc) { return bytes + " tagged " + std::to_string(enc); }
inline std::string Got(Session& s, void* str) { return str ? Tagged(s.Bytes(str), s.Enc(str)) : "nil"; }

// A shell command's standard output; its exit status in *status.
std::string Shell(const std::string& command, int* status = nullptr);

// Under CI a missing prerequisite fails the test instead of skipping it.
bool InCI();
#define TKZ_REQUIRE(cond, what)                                                   \
    do {                                                                          \
        if (!(cond)) {                                                            \
            if (::tkz::InCI()) FAIL() << "prerequisite missing in CI: " << what; \
            GTEST_SKIP() << "prerequisite missing: " << what;                     \
        }                                                                         \
    } while (0)

}  // namespace tkz

// A test whose body runs in a fresh host; `s` is the Session.
#define PLUGIN_TEST_CFG(suite, name, config)                                     \
    static void suite##_##name##_Body(::tkz::Session& s);                       \
    TEST(suite, name) { ::tkz::RunFresh(config, suite##_##name##_Body); }       \
    static void suite##_##name##_Body([[maybe_unused]] ::tkz::Session& s)
#define PLUGIN_TEST(suite, name) PLUGIN_TEST_CFG(suite, name, ::emu::Config())
