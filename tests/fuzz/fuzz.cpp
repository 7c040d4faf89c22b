#include "fuzz.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {

const uint32_t kEncodings[7] = {emu::kMacRoman, emu::kUTF16, emu::kWindows, emu::kASCII,
                                emu::kUTF8,     emu::kUTF32, emu::kRaw};

emu::Host& Host() {
    static emu::Host* host = [] {
        emu::Config config;
        config.reallyFree = true;  // millions of inputs: released records go back
        auto* h = new emu::Host(config);
        std::string error;
        if (!h->Load(TKZ_PLUGIN, &error)) Fail("cannot load " TKZ_PLUGIN ": " + error);
        return h;
    }();
    return *host;
}

const emu::MethodDef* Global(const char* decl) {
    const emu::MethodDef* m = Host().GlobalMethod(decl);
    if (m == nullptr) Fail(std::string("no global method ") + decl);
    return m;
}

const emu::MethodDef* Member(const char* cls, const char* decl, bool shared) {
    const emu::MethodDef* m = Host().ClassMethod(cls, decl, shared);
    if (m == nullptr) m = Host().ExtensionMethod(decl);
    if (m == nullptr) Fail(std::string("no method ") + cls + "." + decl);
    return m;
}

void Fail(const std::string& what) {
    fprintf(stderr, "\n*** fuzz check failed: %s\n", what.c_str());
    fflush(stderr);
    abort();
}

uint32_t PickEncoding(FuzzedDataProvider& in) { return in.PickValueInArray(kEncodings); }

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out(3 * bytes.size(), ' ');
    for (size_t i = 0; i < bytes.size(); ++i) {
        out[3 * i] = digits[(unsigned char)bytes[i] >> 4];
        out[3 * i + 1] = digits[bytes[i] & 15];
    }
    return out;
}

std::string Built(const std::string& bytes, uint32_t encoding) {
    if (bytes.empty()) return "nil";
    if (encoding != emu::kUTF32) return Hex(bytes) + "tag " + std::to_string(encoding);
    std::string units;
    auto unit = [&](uint32_t u) { units += (char)(u & 0xFF), units += (char)(u >> 8); };
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        uint32_t u;
        memcpy(&u, bytes.data() + i, 4);
        if (u <= 0xFFFF) {
            unit(u);
        } else if (u <= 0x10FFFF) {
            unit(0xD800 | (u - 0x10000) >> 10);
            unit(0xDC00 | (u & 0x3FF));
        } else {
            unit(0xFFFD);
        }
    }
    return Hex(units) + "tag " + std::to_string(emu::kUTF16);
}

Scope::Scope() : mark(Host().Mark()) {}

Scope::~Scope() {
    emu::Host& h = Host();
    for (void* p : owned) h.Unlock(p);
    std::string faults;
    for (const emu::Leak& l : h.LiveSince(mark)) faults += "\n  still alive: " + l.what;
    for (const std::string& v : h.violations) faults += "\n  reference fault: " + v;
    if (!faults.empty()) Fail("references unbalanced after the input:" + faults);
    h.calls.clear();
    h.recorded.clear();
}

void* Scope::Own(void* handle) {
    if (handle) owned.push_back(handle);
    return handle;
}

void* Scope::Str(const std::string& bytes, uint32_t encoding) { return Own(Host().NewString(bytes, encoding)); }

Value Scope::Call(const emu::MethodDef* m, const std::vector<Value>& args, void* self) {
    Value v = Host().Call(m, args, self);
    if (v.kind == Value::Handle) Own(v.h);
    return v;
}

Value Scope::Prop(void* obj, const char* name) {
    Value v = Host().GetProp(obj, name);
    if (v.kind == Value::Handle) Own(v.h);
    return v;
}

std::string Scope::Text(void* s) {
    if (s == nullptr) return "nil";
    return Hex(Host().Bytes(s)) + "tag " + std::to_string(Host().Encoding(s));
}

}  // namespace fuzz
