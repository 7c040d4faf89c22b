// UUID validation in every mode against the grammar written out as
// templates: each mode's accepted forms are the 8-4-4-4-12 digit groups with
// braces required or forbidden and each of the four hyphens required or, with
// bit 1, present or absent; the text is read in US-ASCII up to its first NUL.
#include "fuzz.h"

#include <cctype>
#include <cstring>

using namespace fuzz;

namespace {

// The text as the characters the plugin tests: units of the tag's width up
// to the first zero unit; a unit beyond US-ASCII (or a cut one) can match no
// character of the grammar, however the host converts it.
std::vector<uint32_t> Form(const std::string& b, uint32_t enc) {
    size_t width = enc == host::kUTF16 ? 2 : enc == host::kUTF32 ? 4 : 1;
    std::vector<uint32_t> out;
    for (size_t i = 0; i < b.size(); i += width) {
        uint32_t u = 0xFFFF;
        if (i + width <= b.size()) memcpy(&u, b.data() + i, width), u &= width == 4 ? ~0u : (1u << 8 * width) - 1;
        if (u == 0) break;
        out.push_back(u);
    }
    return out;
}

bool Accepted(const std::vector<uint32_t>& form, int32_t mode) {
    for (int hyphens = (mode & 2) ? 0 : 15; hyphens < 16; ++hyphens) {  // without bit 1 all four are required
        std::string t = (mode & 1) ? "" : "{";
        for (int g = 0; g < 5; ++g)
            t += std::string(g == 0 ? 8 : g == 4 ? 12 : 4, 'D') + (g < 4 && (hyphens >> g & 1) ? "-" : "");
        t += (mode & 1) ? "" : "}";
        bool same = t.size() == form.size();
        for (size_t i = 0; same && i < t.size(); ++i)
            same = t[i] == 'D' ? form[i] < 128 && isxdigit((int)form[i]) : form[i] == (uint32_t)t[i];
        if (same) return true;
    }
    return false;
}

}  // namespace

FUZZ_TARGET(Uuid) {
    static const host::MethodDef* validate = Global("ValidateUUIDTKZ");
    int32_t mode = in.ConsumeIntegral<int32_t>();
    uint32_t enc = in.ConsumeBool() ? host::kASCII : PickEncoding(in);
    bool nil = in.ConsumeBool();
    std::string bytes = in.ConsumeRemainingBytesAsString();
    void* text = nil ? nullptr : s.Str(bytes, enc);
    std::vector<uint32_t> form = Form(nil ? "" : bytes, enc);
    std::string ascii(form.begin(), form.end());
    std::string want = Accepted(form, mode) ? Built(ascii, host::kASCII) : "nil";
    void* r = s.Call(validate, {Value::H(text), Value::I(mode)}).h;
    FUZZ_CHECK(s.Text(r) == want, "text " + s.Text(text) + " mode " + std::to_string(mode) + " gave " + s.Text(r));
}
