// Test support: every test that touches the plugin runs in a fresh child
// process with its own emulated host and a fresh load of tkz.so (the plugin
// keeps what it found for the life of a process). At the end of the test the
// test's own references are given back and the host's ledger must be
// balanced: nothing the test or the plugin created is still alive, nothing
// was released too often or used after release.
#pragma once

#include "host.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <type_traits>
#include <typeinfo>

namespace tkz {

struct Session {
    host::Host& host;
    std::vector<void*> owned;  // references the test holds; released at the end

    // A host string / object the test owns.
    void* Str(const std::string& bytes, uint32_t encoding = host::kUTF8) {
        return Own(host.NewString(bytes, encoding));
    }
    void* Own(void* handle) {
        if (handle) owned.push_back(handle);
        return handle;
    }
    void* New(const std::string& cls) { return Own(host.NewObject(cls)); }
    // A value whose handle, if any, the test now owns.
    host::Value Owned(const host::Value& v) { return v.kind == host::Value::Handle ? Own(v.h), v : v; }
    // Calls a global method by declaration text or name; a returned handle is
    // owned by the test.
    host::Value Call(const std::string& declOrName, const std::vector<host::Value>& args = {});
    host::Value Method(void* self, const std::string& cls, const std::string& declOrName,
                       const std::vector<host::Value>& args = {});
    host::Value Prop(void* obj, const std::string& name) { return Owned(host.GetProp(obj, name)); }
    std::string Bytes(const void* s) { return host.Bytes(s); }
    uint32_t Enc(const void* s) { return host.Encoding(s); }
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

// What tkz.so registers, written here and not read back from the plugin: a
// member added or lost fails the tests until this count agrees.
const size_t kGlobalMethods = 39, kExtensionMethods = 12, kClasses = 5, kMembers = 89;

// Runs body in a child process with a fresh host of this configuration.
void RunFresh(const host::Config& config, const std::function<void(Session&)>& body);

inline uint32_t W(const void* p) { return (uint32_t)(uintptr_t)p; }  // a pointer as a stack word
inline host::Value H(const void* p) { return host::Value::H(p); }
// A string as its bytes and tag, or "nil": one comparison checks both.
inline std::string Tagged(const std::string& bytes, uint32_t enc) { return bytes + " tagged " + std::to_string(enc); }
inline std::string Got(Session& s, const void* str) { return str ? Tagged(s.Bytes(str), s.Enc(str)) : "nil"; }

// A shell command's standard output; its exit status in *status.
std::string Shell(const std::string& command, int* status = nullptr);
// A whole file, "" when it cannot be read.
std::string Slurp(const std::string& path);

// Under CI a missing prerequisite fails the test instead of skipping it.
bool InCI();
#define TKZ_REQUIRE(cond, what)                                                  \
    do {                                                                         \
        if (!(cond)) {                                                           \
            if (::tkz::InCI()) FAIL() << "prerequisite missing in CI: " << what; \
            GTEST_SKIP() << "prerequisite missing: " << what;                    \
        }                                                                        \
    } while (0)

// ---- the plugin's own functions and data, by their declarations in src/ ----
// The tests include the plugin's headers for declarations and sizes only
// (nothing of src/ is linked in): TKZ_FN(f) is f of the loaded plugin, as a
// callable of f's declared type, found under the symbol the compiler makes of
// that declaration (a parameter list from the type's own mangled name). So a
// renamed or retyped function fails the build, not a run. An overload names
// its type, TKZ_FN_AS(f, R(A...)); a member of a class takes the object first,
// TKZ_MEMBER(C, f); Constructor<C, A...>() and Destructor<C>() likewise.
// Handles (void*) pass for any pointer parameter.

// The address of an exported symbol of the current host's plugin, or of
// `plain` when there is no `symbol` (C linkage); the test's process ends
// when there is neither.
void* Exported(const std::string& symbol, const char* plain = nullptr);

template <class P, class B>
P Arg(B&& b) {
    if constexpr (std::is_pointer_v<P> && std::is_same_v<std::decay_t<B>, void*>) return (P)b;
    else return std::forward<B>(b);
}

template <class F>
struct Fn;
template <class R, class... A>
struct Fn<R (*)(A...)> {
    R (*f)(A...);
    template <class... B>
    R operator()(B&&... b) const {
        return f(Arg<A>(std::forward<B>(b))...);
    }
    // The parameters as a mangled symbol spells them: what the type's own
    // name holds from `from` (past "Fv", or a member's "M<class>Fv") to its
    // closing "E".
    static std::string Params(const std::string& of, size_t from) { return of.substr(from, of.size() - from - 1); }
    static std::string Symbol(const char* name) {
        std::string t = typeid(void(A...)).name();
        return "_Z" + std::to_string(strlen(name)) + name + Params(t, 2);
    }
    static Fn Find(const char* name) { return {(R(*)(A...))Exported(Symbol(name), name)}; }
};
// A member, or a constructor ("C1") or destructor ("D1").
template <class C, class R, class... A>
struct Fn<R (C::*)(A...)> : Fn<R (*)(C*, A...)> {
    static Fn<R (*)(C*, A...)> Find(const char* name) {
        std::string t = typeid(void(C::*)(A...)).name(), c = typeid(C*).name() + 1;  // "M" class "Fv" ... "E"
        bool special = strlen(name) == 2 && (name[0] == 'C' || name[0] == 'D') && name[1] == '1';
        std::string unqualified = special ? name : std::to_string(strlen(name)) + name;
        return {(R(*)(C*, A...))Exported("_ZN" + c + unqualified + "E" + Fn<R (*)(C*, A...)>::Params(t, c.size() + 3))};
    }
};
template <class C, class... A>
auto Constructor() {
    static_assert(std::is_constructible_v<C, A...>, "no such constructor");
    return Fn<void (C::*)(A...)>::Find("C1");
}
template <class C>
auto Destructor() {
    return Fn<void (C::*)()>::Find("D1");
}

}  // namespace tkz

#define TKZ_FN(f) ::tkz::Fn<decltype(&f)>::Find(#f)
#define TKZ_FN_AS(f, ...) ::tkz::Fn<decltype(static_cast<std::add_pointer_t<__VA_ARGS__>>(&f))>::Find(#f)
#define TKZ_MEMBER(C, f) ::tkz::Fn<decltype(&C::f)>::Find(#f)
#define TKZ_SYMBOL(f) ::tkz::Fn<decltype(&f)>::Symbol(#f)
#define TKZ_DATA(x) ((decltype(&x))::tkz::Exported(#x))

// A test whose body runs in a fresh host; `s` is the Session.
#define PLUGIN_TEST_CFG(suite, name, config)                              \
    static void suite##_##name##_Body(::tkz::Session& s);                 \
    TEST(suite, name) { ::tkz::RunFresh(config, suite##_##name##_Body); } \
    static void suite##_##name##_Body([[maybe_unused]] ::tkz::Session& s)
#define PLUGIN_TEST(suite, name) PLUGIN_TEST_CFG(suite, name, ::host::Config())
