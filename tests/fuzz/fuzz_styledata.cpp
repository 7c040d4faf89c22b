// Both style decoders, then every property of every run, against models of
// the two table layouts: the run count, each run's text and length, and every
// field. The first input byte picks the layout and the text's tag; the rest
// is split into the styles and the text.
#include "fuzz.h"

using namespace fuzz;

namespace {

struct Run {
    bool bold = false, italic = false, underline = false, outline = false, shadow = false, condense = false,
         extend = false, colorAvailable = false, fontAvailable = false;
    int32_t offset = 0, height = 0, fontID = 0, size = 0, red = 0, green = 0, blue = 0, style = 0, length = 0;
    std::string fontName = "nil", text = "nil";
};

int32_t Compose(int32_t r, int32_t g, int32_t b) { return ((r >> 8) << 16) | (g & ~0xFF) | (b >> 8); }

void Bits(Run& r, unsigned bits) {
    r.bold = bits & 1, r.italic = bits >> 1 & 1, r.underline = bits >> 2 & 1;
}

// The Mac layout: a signed 16-bit little-endian count, 20-byte records; a
// count beyond the whole records present stops at the last of them, which
// then runs to the end of the text.
std::vector<Run> Mac(const std::string& t, uint32_t enc, const std::string& st) {
    std::vector<Run> runs;
    auto u8 = [&](size_t at) { return (uint32_t)(unsigned char)st[at]; };
    auto u16 = [&](size_t at) { return u8(at) | u8(at + 1) << 8; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (st.size() < 22 || (int16_t)u16(0) <= 0) return runs;
    size_t n = std::min<size_t>((size_t)(int16_t)u16(0), (st.size() - 2) / 20);
    for (size_t i = 0; i < n; ++i) {
        size_t at = 2 + 20 * i;
        Run r;
        unsigned bits = u8(at + 11);
        Bits(r, bits);
        r.outline = bits >> 3 & 1, r.shadow = bits >> 4 & 1, r.condense = bits >> 5 & 1, r.extend = bits >> 6 & 1;
        r.style = (int32_t)bits;
        r.offset = (int32_t)u32(at);
        r.height = (int32_t)u16(at + 4), r.fontID = (int32_t)u16(at + 8), r.size = (int32_t)u16(at + 12);
        r.red = (int32_t)u16(at + 14), r.green = (int32_t)u16(at + 16), r.blue = (int32_t)u16(at + 18);
        int64_t from = r.offset, to = i + 1 < n ? (int32_t)u32(at + 20) : (int64_t)t.size();
        if (!t.empty() && from >= 0 && from < to && to <= (int64_t)t.size()) {
            r.text = Built(t.substr((size_t)from, (size_t)(to - from)), enc);
            r.length = (int32_t)(to - from);
        }
        runs.push_back(r);
    }
    return runs;
}

// The Windows layout: one record per text byte, flags, [name length, name],
// [red, blue, green], size; a record cut off by the end of the table keeps the
// bytes present (its name cut short) and takes the missing ones as 0.
std::vector<Run> Win(const std::string& t, uint32_t enc, const std::string& st) {
    std::vector<Run> runs;
    size_t p = 0;
    auto next = [&]() -> unsigned { return p < st.size() ? (unsigned char)st[p++] : 0; };
    while (p < st.size()) {
        Run r;
        unsigned flags = next();
        if (flags & 8) {
            size_t n = next();
            std::string name = st.substr(p, n);
            p += name.size();
            r.fontName = Built(name, emu::kMacRoman);
            r.fontAvailable = !name.empty();
        }
        if (flags & 16) {
            r.colorAvailable = true;
            r.red = (int32_t)next() * 257, r.blue = (int32_t)next() * 257, r.green = (int32_t)next() * 257;
        }
        r.size = (int32_t)next();
        Bits(r, flags);
        r.style = (int32_t)(flags & 7);
        if (runs.size() < t.size()) {
            r.text = Built(t.substr(runs.size(), 1), enc);
            r.length = 1;
        }
        runs.push_back(r);
    }
    return runs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const emu::MethodDef* decoders[2] = {Global("DecompileMacStyleDataTKZ"), Global("DecompileWinStyleDataTKZ")};
    static const emu::MethodDef* item = Member("StyleDataListTKZ", "Style", false);
    FuzzedDataProvider in(data, size);
    bool win = in.ConsumeBool();
    uint32_t enc = PickEncoding(in);
    bool nilText = in.ConsumeIntegralInRange(0, 15) == 0, nilStyles = in.ConsumeIntegralInRange(0, 15) == 0;
    std::string styles = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, in.remaining_bytes()));
    std::string text = in.ConsumeRemainingBytesAsString();
    Scope s;
    void* t = nilText ? nullptr : s.Str(text, enc);
    void* st = nilStyles ? nullptr : s.Str(styles, emu::kRaw);
    if (nilText) text.clear(), enc = emu::kMacRoman;
    if (nilStyles) styles.clear();
    std::vector<Run> want = win ? Win(text, enc, styles) : Mac(text, enc, styles);
    auto what = [&] { return std::string(win ? "Windows" : "Mac") + " styles " + Hex(styles) + " text " + s.Text(t); };

    void* list = s.Call(decoders[win], {Value::H(t), Value::H(st)}).h;
    FUZZ_CHECK((list == nullptr) == want.empty(), what());
    if (list == nullptr) return 0;
    FUZZ_CHECK(s.Prop(list, "Count").i == (int32_t)want.size(), what());
    for (int32_t index : {0, -1, (int32_t)want.size() + 1})
        FUZZ_CHECK(s.Call(item, {Value::I(index)}, list).h == nullptr, what() + " index " + std::to_string(index));
    for (size_t i = 0; i < want.size(); ++i) {
        const Run& w = want[i];
        void* run = s.Call(item, {Value::I((int32_t)i + 1)}, list).h;
        auto is = [&](const char* name, int32_t v) {
            Value got = s.Prop(run, name);
            int32_t g = got.kind == Value::Bool ? got.b : got.i;
            FUZZ_CHECK(g == v, what() + " run " + std::to_string(i + 1) + " " + name + " " + std::to_string(g));
        };
        auto text = [&](const char* name, const std::string& v) {
            std::string g = s.Text(s.Prop(run, name).h);
            FUZZ_CHECK(g == v, what() + " run " + std::to_string(i + 1) + " " + name + " " + g);
        };
        FUZZ_CHECK(run != nullptr, what());
        is("Bold", w.bold), is("Italic", w.italic), is("Underline", w.underline), is("Outline", w.outline);
        is("Shadow", w.shadow), is("Condense", w.condense), is("Extend", w.extend), is("Style", w.style);
        is("FontAvailable", w.fontAvailable), is("ColorAvailable", w.colorAvailable), is("TextOffset", w.offset);
        is("TextHeight", w.height), is("FontID", w.fontID), is("TextSize", w.size), is("Red", w.red);
        is("Green", w.green), is("Blue", w.blue), is("TextColor", Compose(w.red, w.green, w.blue));
        is("TextLength", w.length), text("Text", w.text), text("FontName", w.fontName);
    }
    return 0;
}
