// Shared by the fuzz targets. Each target process holds one emulated host
// with the real tkz.so loaded (the plugin keeps what it finds for the life of
// a process) and reaches the plugin only through what it registered. An input
// runs inside a Scope: at its end the target's own references are given back
// and nothing created during the input may still be alive, and no reference
// may have been released too often or used after release. Any difference
// from a model ends the process, so libFuzzer keeps the input as a crash.
#pragma once

#include "host.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace fuzz {

using host::Value;

host::Host& Host();
// Registered members, looked up once by the caller (keep them in statics);
// a class's member may be an extension method.
const host::MethodDef* Global(const char* decl);
const host::MethodDef* Member(const char* cls, const char* decl, bool shared);

[[noreturn]] void Fail(const std::string& what);
#define FUZZ_CHECK(cond, what)                                           \
    do                                                                   \
        if (!(cond)) ::fuzz::Fail(std::string(#cond) + "\n  " + (what)); \
    while (0)

// The encoding values of the interface, for random tags.
extern const uint32_t kEncodings[7];
uint32_t PickEncoding(FuzzedDataProvider& in);
// A value drawn towards the edges where formats break, one time in four: a
// limit of a byte, of 16 and of 31 bits, or `at` (the count of records
// present, a text's length ...), or one beside it, of either sign; else any
// value of T.
template <typename T>
T Edge(FuzzedDataProvider& in, int64_t at = 0) {
    static const int64_t kEdges[] = {0, 255, 256, 32767, 65535, 65536, 2147483647};
    if (in.ConsumeIntegralInRange(0, 3) != 3) return in.ConsumeIntegral<T>();
    int64_t v = (in.ConsumeBool() ? at : in.PickValueInArray(kEdges)) + in.ConsumeIntegralInRange(-1, 1);
    return (T)(in.ConsumeBool() ? -v : v);
}
// Bytes in hex, for messages and comparisons of strings with their tags.
std::string Hex(const std::string& bytes);
// What REALBuildUnicodeString gives for these bytes and tag, as Scope::Text
// shows it: nil for no bytes; UTF-32 narrowed to UTF-16 (units above the
// basic plane as surrogate pairs, non-scalar units as U+FFFD, 1 to 3
// trailing bytes dropped, so 1 to 3 bytes give an empty string).
std::string Built(const std::string& bytes, uint32_t encoding);

struct Scope {
    uint64_t mark;
    std::vector<void*> owned;
    Scope();
    ~Scope();
    void* Own(void* handle);
    void* Str(const std::string& bytes, uint32_t encoding);
    Value Owned(Value v);  // a handle in it is owned by the scope
    // Calls a registered member; a returned handle is owned by the scope.
    Value Call(const host::MethodDef* m, const std::vector<Value>& args, void* self = nullptr);
    Value Prop(void* obj, const char* name);
    // Bytes and tag of a string handle; "nil" for nil.
    std::string Text(void* s);
};

}  // namespace fuzz

// The target's entry point: the body runs once per input, with `in` over the
// input's bytes and the input's Scope `s`.
#define FUZZ_TARGET(body)                                                     \
    static void body(FuzzedDataProvider& in, ::fuzz::Scope& s);               \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { \
        FuzzedDataProvider in(data, size);                                    \
        ::fuzz::Scope s;                                                      \
        return body(in, s), 0;                                                \
    }                                                                         \
    static void body(FuzzedDataProvider& in, ::fuzz::Scope& s)
