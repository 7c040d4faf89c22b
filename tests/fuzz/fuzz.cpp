#include "fuzz.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {

const uint32_t kEncodings[7] = {host::kMacRoman, host::kUTF16, host::kWindows, host::kASCII,
                                host::kUTF8,     host::kUTF32, host::kRaw};

host::Host& Host() {
    static host::Host* host = [] {
        host::Config config;
        config.reallyFree = true;  // millions of inputs: released records go back
        auto* h = new host::Host(config);
        std::string error;
        if (!h->Load(TKZ_PLUGIN, &error)) Fail("cannot load " TKZ_PLUGIN ": " + error);
        return h;
    }();
    return *host;
}

const host::MethodDef* Global(const char* decl) { return Member(nullptr, decl, false); }

const host::MethodDef* Member(const char* cls, const char* decl, bool shared) {
    const host::MethodDef* m = cls ? Host().ClassMethod(cls, decl, shared) : Host().GlobalMethod(decl);
    if (m == nullptr && cls) m = Host().ExtensionMethod(decl);
    if (m == nullptr) Fail(std::string("no method ") + (cls ? cls : "") + " " + decl);
    return m;
}

void Fail(const std::string& what) {
    fprintf(stderr, "\n*** fuzz check failed: %s\n", what.c_str());
    fflush(stderr);
    abort();
}

uint32_t PickEncoding(FuzzedDataProvider& in) { return in.PickValueInArray(kEncodings); }

std::string Hex(const std::string& bytes) {
    std::string out;
    char two[4];
    for (unsigned char c : bytes) snprintf(two, sizeof two, "%02x ", c), out += two;
    return out;
}

std::string Built(const std::string& bytes, uint32_t encoding) {
    if (bytes.empty()) return "nil";
    if (encoding != host::kUTF32) return Hex(bytes) + "tag " + std::to_string(encoding);
    std::u16string units;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        uint32_t u;
        memcpy(&u, bytes.data() + i, 4);
        if (u > 0x10FFFF) units += (char16_t)0xFFFD;
        else if (u > 0xFFFF) units += {(char16_t)(0xD800 | (u - 0x10000) >> 10), (char16_t)(0xDC00 | (u & 0x3FF))};
        else units += (char16_t)u;
    }
    return Hex(std::string((const char*)units.data(), 2 * units.size())) + "tag " + std::to_string(host::kUTF16);
}

Scope::Scope() : mark(Host().Mark()) {}

Scope::~Scope() {
    host::Host& h = Host();
    for (void* p : owned) h.Unlock(p);
    std::string faults;
    for (const host::Violation& f : h.Faults(mark)) faults += "\n  " + f.Message();
    if (!faults.empty()) Fail("references unbalanced after the input:" + faults);
    h.calls.clear();
    h.recorded.clear();
}

void* Scope::Own(void* handle) { return handle ? owned.push_back(handle), handle : nullptr; }
void* Scope::Str(const std::string& bytes, uint32_t encoding) { return Own(Host().NewString(bytes, encoding)); }
Value Scope::Owned(Value v) { return v.kind == Value::Handle ? Own(v.h), v : v; }
Value Scope::Call(const host::MethodDef* m, const std::vector<Value>& args, void* self) {
    return Owned(Host().Call(m, args, self));
}
Value Scope::Prop(void* obj, const char* name) { return Owned(Host().GetProp(obj, name)); }
std::string Scope::Text(void* s) {
    return s ? Hex(Host().Bytes(s)) + "tag " + std::to_string(Host().Encoding(s)) : "nil";
}

}  // namespace fuzz
