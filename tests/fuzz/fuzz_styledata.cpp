// Both style decoders against models of the two table layouts: whether a
// list comes back, its Count, which indexes give a run, and every property
// of every run as the host reads it. The first input bytes pick the layout
// and the text's tag; the rest is split into the styles and the text. Half
// the tables are then given fields at their edges: a table cut one byte
// either side of a whole record, a count one beside the records present,
// starts at the text's end and at the run before, a record per text byte and
// one more or fewer, names of 0, 1, 255 bytes, 255/256, 65535/65536, 2^31-1.
#include "fuzz.h"

#include <array>
#include <cstring>

using namespace fuzz;

namespace {

// A run: its properties in the order of the class's table, Booleans as 0/1,
// strings as Scope::Text shows them.
const char* const kProps[] = {"FontAvailable", "ColorAvailable", "Bold",      "Italic",     "Underline",  "Outline",
                              "Shadow",        "Condense",       "Extend",    "TextOffset", "TextHeight", "FontID",
                              "FontName",      "TextSize",       "TextColor", "Red",        "Green",      "Blue",
                              "Text",          "Style",          "TextLength"};
enum { kFontAvailable, kColorAvailable, kBold };  // Bold to Extend: style bits 0 to 6
enum { kOffset = 9, kHeight, kFontID, kFontName, kSize, kColor, kRed, kGreen, kBlue, kText, kStyle, kLength };
using Run = std::array<std::string, 21>;
std::string N(int64_t v) { return std::to_string(v); }

Run Read(Scope& s, void* run) {
    Run got;
    for (int i = 0; i < 21; ++i) {
        Value v = s.Prop(run, kProps[i]);
        got[i] = v.kind == Value::Handle ? s.Text(v.h) : v.kind == Value::Bool ? N(v.b) : v.kind ? N(v.i) : "none";
    }
    return got;
}

std::string Show(const Run& run) {
    std::string out;
    for (int i = 0; i < 21; ++i) out += std::string(" ") + kProps[i] + "=" + run[i];
    return out;
}

// A run with every field zero, no font name and no text; and its colour from
// 16-bit components, TextColor being their high bytes.
Run Blank() {
    Run run;
    run.fill("0");
    return run[kFontName] = run[kText] = "nil", run;
}
void Colour(Run& run, int32_t red, int32_t green, int32_t blue) {
    run[kRed] = N(red), run[kGreen] = N(green), run[kBlue] = N(blue);
    run[kColor] = N((red >> 8) << 16 | (green >> 8) << 8 | blue >> 8);
}

// The Mac layout: a signed 16-bit count, then 20-byte records of start (32
// bits), line height, ascent (not read), font number, a style word whose
// high byte holds the bits, size, red, green, blue (16 bits each), all
// little-endian. A run's text reaches from its start to the next run's, the
// last one's to the end of the text. A count beyond the whole records
// present stops at the last of them.
std::vector<Run> Mac(const std::string& t, uint32_t enc, const std::string& st) {
    auto u16 = [&](size_t at) { return (uint32_t)(unsigned char)st[at] | (uint32_t)(unsigned char)st[at + 1] << 8; };
    auto start = [&](int i) { return (int32_t)(u16(2 + 20 * i) | u16(4 + 20 * i) << 16); };
    int n = st.size() < 22 ? 0 : std::min<int>((int16_t)u16(0), (int)(st.size() - 2) / 20);
    std::vector<Run> runs;
    for (int i = 0; i < n; ++i) {
        size_t r = 2 + 20 * i;
        unsigned bits = (unsigned char)st[r + 11];
        Run run = Blank();
        for (int b = 0; b < 7; ++b) run[kBold + b] = N(bits >> b & 1);
        run[kStyle] = N(bits), run[kOffset] = N(start(i)), run[kHeight] = N(u16(r + 4));
        run[kFontID] = N(u16(r + 8)), run[kSize] = N(u16(r + 12));
        Colour(run, u16(r + 14), u16(r + 16), u16(r + 18));
        int64_t from = start(i), to = i + 1 < n ? start(i + 1) : (int64_t)t.size();
        if (from >= 0 && from < to && to <= (int64_t)t.size())
            run[kText] = Built(t.substr(from, to - from), enc), run[kLength] = N(to - from);
        runs.push_back(run);
    }
    return runs;
}

// The Windows layout: one record per text byte, up to the end of the table:
// flags (bits 0 to 2 bold, italic, underline); with bit 3 a name length and
// the name (Mac OS Roman); with bit 4 red, blue and green bytes, each times
// 257; then the size. A record cut off by the end of the table takes its
// missing bytes as 0, its name cut to the bytes present.
std::vector<Run> Win(const std::string& t, uint32_t enc, const std::string& st) {
    std::vector<Run> runs;
    size_t p = 0;
    auto next = [&]() -> unsigned { return p < st.size() ? (unsigned char)st[p++] : 0; };
    while (p < st.size()) {
        Run run = Blank();
        unsigned flags = next();
        for (int b = 0; b < 3; ++b) run[kBold + b] = N(flags >> b & 1);
        run[kStyle] = N(flags & 7);
        if (flags & 8) {
            size_t n = next();
            std::string name = st.substr(p, n);
            p += name.size();
            run[kFontName] = Built(name, host::kMacRoman), run[kFontAvailable] = N(!name.empty());
        }
        if (flags & 16) {
            unsigned red = next(), blue = next(), green = next();
            Colour(run, red * 257, green * 257, blue * 257), run[kColorAvailable] = "1";
        }
        run[kSize] = N(next());
        if (runs.size() < t.size()) run[kText] = Built(t.substr(runs.size(), 1), enc), run[kLength] = "1";
        runs.push_back(run);
    }
    return runs;
}

// Mac tables of 1 to 4 whole records, one byte either side.
void MacEdges(FuzzedDataProvider& in, std::string& st, size_t textLength) {
    auto put = [&](size_t at, uint32_t v, int width) { memcpy(&st[at], &v, width); };  // little-endian
    st.resize(2 + 20 * in.ConsumeIntegralInRange(1, 4) + in.ConsumeIntegralInRange(-1, 1), '\0');
    put(0, Edge<int16_t>(in, (st.size() - 2) / 20), 2);
    int32_t at = 0;
    for (size_t r = 2; r + 20 <= st.size(); r += 20) {
        put(r, at = Edge<int32_t>(in, in.ConsumeBool() ? at : textLength), 4);
        for (size_t field : {4, 8, 12, 14, 16, 18}) put(r + field, Edge<uint16_t>(in), 2);
        st[r + 11] = (char)in.ConsumeIntegral<uint8_t>();
    }
}

// Windows tables of a record per text byte, one more or fewer, the last
// perhaps cut short.
void WinEdges(FuzzedDataProvider& in, std::string& st, size_t textLength) {
    st.clear();
    for (size_t n = textLength + in.ConsumeIntegralInRange(0, 2); n > 1; --n) {
        uint8_t flags = in.ConsumeIntegral<uint8_t>();
        st += (char)flags;
        if (flags & 8) st += (char)Edge<uint8_t>(in), st += std::string((unsigned char)st.back(), 'n');
        if (flags & 16) st += {(char)Edge<uint8_t>(in), (char)Edge<uint8_t>(in), (char)Edge<uint8_t>(in)};
        st += (char)Edge<uint8_t>(in);
    }
    st.resize(st.size() - std::min(st.size(), in.ConsumeIntegralInRange<size_t>(0, 3)));
}

}  // namespace

FUZZ_TARGET(Styles) {
    static const host::MethodDef* decoders[2] = {Global("DecompileMacStyleDataTKZ"),
                                                 Global("DecompileWinStyleDataTKZ")};
    static const host::MethodDef* item = Member("StyleDataListTKZ", "Style", false);
    bool win = in.ConsumeBool();
    uint32_t enc = PickEncoding(in);
    bool nilText = in.ConsumeIntegralInRange(0, 15) == 0, nilStyles = in.ConsumeIntegralInRange(0, 15) == 0;
    std::string styles = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, in.remaining_bytes()));
    std::string text = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, in.remaining_bytes()));
    if (in.ConsumeBool()) {
        if (win) text.resize(std::min<size_t>(text.size(), 100));
        (win ? WinEdges : MacEdges)(in, styles, text.size());
    }
    void* t = nilText ? nullptr : s.Str(text, enc);
    void* st = nilStyles ? nullptr : s.Str(styles, host::kRaw);
    if (nilText) text.clear(), enc = host::kMacRoman;
    if (nilStyles) styles.clear();
    std::vector<Run> want = win ? Win(text, enc, styles) : Mac(text, enc, styles);
    auto what = [&] { return std::string(win ? "Windows" : "Mac") + " styles " + Hex(styles) + " text " + s.Text(t); };

    void* list = s.Call(decoders[win], {Value::H(t), Value::H(st)}).h;
    FUZZ_CHECK((list == nullptr) == want.empty(), what());
    if (list == nullptr) return;
    FUZZ_CHECK(s.Prop(list, "Count").i == (int32_t)want.size(), what());
    for (int32_t index : {0, -1, (int32_t)want.size() + 1})
        FUZZ_CHECK(s.Call(item, {Value::I(index)}, list).h == nullptr, what() + " index " + std::to_string(index));
    for (size_t i = 0; i < want.size(); ++i) {
        void* run = s.Call(item, {Value::I((int32_t)i + 1)}, list).h;
        Run got = run ? Read(s, run) : Run{};
        FUZZ_CHECK(got == want[i], what() + " run " + N(i + 1) + " gave\n " + Show(got) + "\n not\n " + Show(want[i]));
    }
}
