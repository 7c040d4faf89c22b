// How a value is shown (describe.h).
#include "language.h"

#include <algorithm>
#include <cstdio>

namespace tkzhost {

using host::Value;

namespace {

const char* EncodingName(uint32_t e) {
    switch (e) {
        case host::kMacRoman: return "Mac OS Roman";
        case host::kUTF16: return "UTF-16";
        case host::kWindows: return "Windows-1252";
        case host::kASCII: return "US-ASCII";
        case host::kUTF8: return "UTF-8";
        case host::kUTF32: return "UTF-32";
        case host::kRaw: return "raw bytes";
        default: return nullptr;
    }
}

// Shown as text when every character is printable in its encoding (UTF-8
// sequences must be whole); otherwise the bytes are shown in hexadecimal.
bool Printable(const std::string& b, uint32_t enc) {
    if (enc == host::kUTF16 || enc == host::kUTF32) return false;
    for (size_t i = 0; i < b.size(); ++i) {
        unsigned char c = (unsigned char)b[i];
        if (c < 0x20 || c == 0x7F) return false;
        if (c < 0x80) continue;
        if (enc != host::kUTF8) return false;
        size_t n = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : 0;
        if (n == 0 || c > 0xF4 || i + n >= b.size()) return false;
        for (size_t k = 1; k <= n; ++k)
            if (((unsigned char)b[i + k] & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

std::string Hex(const std::string& b, size_t limit = 64) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < b.size() && i < limit; ++i) {
        snprintf(buf, sizeof buf, "%02X", (unsigned char)b[i]);
        if (i) out += ' ';
        out += buf;
    }
    if (b.size() > limit) out += " ...";
    return out;
}

}  // namespace

bool IsColor(const std::string& type) {
    host::DeclaredType d = host::Classify(type);
    return d.type == host::Type::Color && !d.array;
}

std::string Describe(host::Host& host, const Value& v, int indent, bool color) {
    char buf[64];
    switch (v.kind) {
        case Value::None: return "nil";
        case Value::Int:
            if (!color) return std::to_string(v.i);
            snprintf(buf, sizeof buf, "&h%06X", (uint32_t)v.i);
            return buf;
        case Value::Int64: return std::to_string(v.l);
        case Value::Bool: return v.b ? "true" : "false";
        case Value::Double: snprintf(buf, sizeof buf, "%.15g", v.d); return buf;
        case Value::Ref: return "byref";
        case Value::Handle: break;
    }
    if (v.h == nullptr) return "nil";
    auto it = host.ledger.find(v.h);
    if (it == host.ledger.end() || it->second.released) return "<released handle>";
    if (!it->second.object) {
        std::string b = host.Bytes(v.h);
        uint32_t e = host.Encoding(v.h);
        std::string enc = EncodingName(e) ? EncodingName(e) : (snprintf(buf, sizeof buf, "encoding &h%X", e), buf);
        std::string size = std::to_string(b.size()) + (b.size() == 1 ? " byte, " : " bytes, ") + enc;
        if (!Printable(b, e)) return "&b\"" + Hex(b) + "\" (" + size + ")";
        std::string quoted;
        for (char c : b) quoted += c == '"' ? "\"\"" : std::string(1, c);
        return "\"" + quoted + "\" (" + size + ")";
    }
    host::HostClass* c = host.ClassOf(v.h);
    switch (c->kind) {
        case host::kMemoryBlock: {
            host::Value size = host.GetProp(v.h, "Size");
            if (size.i < 0) return "MemoryBlock (size unknown)";
            // Only the bytes shown are read: a block may be most of the memory there is.
            const char* data = host.BlockData(v.h);
            std::string b = data ? std::string(data, (size_t)std::min(size.i, 65)) : "";
            return "MemoryBlock (" + std::to_string(size.i) + (size.i == 1 ? " byte" : " bytes") +
                   (b.empty() ? "" : ": " + Hex(b)) + ")";
        }
        case host::kFolderItem: return "FolderItem " + host.PathOf(v.h);
        case host::kPluginObject: {
            std::string pad(indent + 2, ' ');
            std::string out = c->name + " {";
            if (c->def->propertyCount == 0) return out + "}";
            for (uint32_t i = 0; i < c->def->propertyCount; ++i) {
                const host::PropertyDef& p = c->def->properties[i];
                Value pv = host.GetProp(v.h, p.name);
                out += "\n" + pad + p.name + " = " + Describe(host, pv, indent + 2, IsColor(p.type));
                if (pv.kind == Value::Handle && pv.h) host.Unlock(pv.h);
            }
            return out + "\n" + std::string(indent, ' ') + "}";
        }
        default: return c->name;
    }
}

}  // namespace tkzhost
