// Both style decoders against models of the two table layouts: whether a
// list comes back, its run count, and each run's text and length (every
// other field has its cases in the styled-text suite). The first input bytes
// pick the layout and the text's tag; the rest is split into the styles and
// the text.
#include "fuzz.h"

#include <cstring>

using namespace fuzz;

namespace {

// Each run as "TEXT length N", TEXT as Scope::Text shows it.
std::string Run(const std::string& t, uint32_t enc, int64_t from, int64_t to) {
    if (t.empty() || from < 0 || from >= to || to > (int64_t)t.size()) return "nil length 0";
    return Built(t.substr((size_t)from, (size_t)(to - from)), enc) + " length " + std::to_string(to - from);
}

// The Mac layout: a signed 16-bit little-endian count, 20-byte records, each
// starting with its run's first text byte; a run ends where the next starts.
// A count beyond the whole records present stops at the last of them, which
// then runs to the end of the text.
std::vector<std::string> Mac(const std::string& t, uint32_t enc, const std::string& st) {
    std::vector<std::string> runs;
    int16_t count = 0;
    if (st.size() >= 22) memcpy(&count, st.data(), 2);
    size_t n = count > 0 ? std::min<size_t>((size_t)count, (st.size() - 2) / 20) : 0;
    auto start = [&](size_t i) {
        int32_t v;
        memcpy(&v, st.data() + 2 + 20 * i, 4);
        return (int64_t)v;
    };
    for (size_t i = 0; i < n; ++i) runs.push_back(Run(t, enc, start(i), i + 1 < n ? start(i + 1) : (int64_t)t.size()));
    return runs;
}

// The Windows layout: one record per text byte: flags, [name length, name],
// [red, blue, green], size; a record cut off by the end of the table still
// counts.
std::vector<std::string> Win(const std::string& t, uint32_t enc, const std::string& st) {
    std::vector<std::string> runs;
    for (size_t p = 0; p < st.size(); runs.push_back(Run(t, enc, runs.size(), runs.size() + 1))) {
        unsigned flags = (unsigned char)st[p++];
        if (flags & 8) p += 1 + (p < st.size() ? (unsigned char)st[p] : 0);
        p += (flags & 16 ? 3 : 0) + 1;
    }
    return runs;
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
    std::string text = in.ConsumeRemainingBytesAsString();
    void* t = nilText ? nullptr : s.Str(text, enc);
    void* st = nilStyles ? nullptr : s.Str(styles, host::kRaw);
    if (nilText) text.clear(), enc = host::kMacRoman;
    if (nilStyles) styles.clear();
    std::vector<std::string> want = win ? Win(text, enc, styles) : Mac(text, enc, styles);
    auto what = [&] { return std::string(win ? "Windows" : "Mac") + " styles " + Hex(styles) + " text " + s.Text(t); };

    void* list = s.Call(decoders[win], {Value::H(t), Value::H(st)}).h;
    FUZZ_CHECK((list == nullptr) == want.empty(), what());
    if (list == nullptr) return;
    FUZZ_CHECK(s.Prop(list, "Count").i == (int32_t)want.size(), what());
    for (int32_t index : {0, -1, (int32_t)want.size() + 1})
        FUZZ_CHECK(s.Call(item, {Value::I(index)}, list).h == nullptr, what() + " index " + std::to_string(index));
    for (size_t i = 0; i < want.size(); ++i) {
        void* run = s.Call(item, {Value::I((int32_t)i + 1)}, list).h;
        std::string got =
            run ? s.Text(s.Prop(run, "Text").h) + " length " + std::to_string(s.Prop(run, "TextLength").i) : "no run";
        FUZZ_CHECK(got == want[i], what() + " run " + std::to_string(i + 1) + " gave " + got);
    }
}
