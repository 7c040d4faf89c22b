// The hash, XOR, encoding tags and four-character codes against models of
// their definitions, over random bytes under random encoding tags, lengths
// and values drawn towards the kernels' edges; the hash under each locale
// the suites use, and the hash and XOR kernels also with each of their paths
// forced.
#include "bytekernels.h"
#include "fuzz.h"

#include <cctype>
#include <clocale>

using namespace fuzz;

namespace {

// The definition: h starts at the length + 1; each byte, folded by tolower
// under the process's locale, is XORed into h rotated left by 3.
uint32_t Hash(const std::string& b) {
    uint32_t h = (uint32_t)b.size() + 1;
    for (unsigned char c : b) h = (uint32_t)tolower(c) ^ (h << 3 | h >> 29);
    return h;
}

// C folds only A-Z; Latin-1 also 0xC0-0xDE but 0xD7. C comes last, so that
// the rest of the input runs under it.
const char* const kLocales[] = {"en_US.ISO-8859-1", "C.UTF-8", "C"};

const struct {
    const char* name;
    unsigned needs;
    uint32_t (*hash)(const unsigned char*, size_t);
    void (*xorWords)(unsigned char*, const unsigned char*, size_t, unsigned);
} kPaths[] = {{"serial", 0, tkz_hash32_serial, tkz_xorwords_serial},
              {"SSE2", kTkzPathSSE2, tkz_hash32_sse2, tkz_xorwords_sse2},
              {"AVX2", kTkzPathAVX2, tkz_hash32_avx2, tkz_xorwords_avx2}};

}  // namespace

FUZZ_TARGET(Bytes) {
    static const host::MethodDef *hash = Global("GetHash32TKZ"), *xorBytes = Global("BitwiseXORStringBytesTKZ"),
                                 *getEnc = Global("GetEncodingOfStringTKZ"), *setEnc = Global("SetEncodingOfStringTKZ"),
                                 *fromCode = Global("StringFromOSTypeTKZ"), *toCode = Global("OSTypeFromStringTKZ");
    int32_t v = Edge<int32_t>(in);
    uint32_t enc = PickEncoding(in);
    bool nil = in.ConsumeBool();
    // A length at a path's edge (a 32-byte lane, the crossovers at 128 and
    // 256 bytes) repeats the bytes up to it.
    uint32_t n = in.ConsumeBool() ? Edge<uint32_t>(in, 32 * in.ConsumeIntegralInRange(1, 8)) : UINT32_MAX;
    std::string b = nil ? std::string() : in.ConsumeRemainingBytesAsString();
    if (std::string unit = b; !unit.empty() && n <= 1024)
        for (size_t i = (b.resize(n), unit.size()); i < n; ++i) b[i] = unit[i % unit.size()];
    void* str = nil ? nullptr : s.Str(b, enc);
    auto what = [&] { return "input " + s.Text(str) + " v " + std::to_string(v); };

    void* x = s.Call(xorBytes, {Value::H(str), Value::I(v)}).h;
    std::string flipped = b;
    for (size_t i = 0; i < flipped.size() / 4 * 4; ++i) flipped[i] = (char)(flipped[i] ^ (v & 0xFF));
    FUZZ_CHECK(s.Text(x) == Built(flipped, host::kRaw), what() + " gave " + s.Text(x));
    if (x != nullptr) FUZZ_CHECK(Host().Bytes(s.Call(xorBytes, {Value::H(x), Value::I(v)}).h) == b, what() + ": twice");
    // The hash, and each path of the kernels behind both methods forced, as
    // far as this CPU runs it, on the same bytes.
    static const unsigned cpu = tkz_cpu_paths();
    for (const char* locale : kLocales) {
        FUZZ_CHECK(setlocale(LC_CTYPE, locale), std::string("no locale ") + locale + " (scripts/bootstrap makes it)");
        uint32_t want = Hash(b);  // 1 for nil too
        FUZZ_CHECK((uint32_t)s.Call(hash, {Value::H(str)}).i == want, what() + " under " + locale);
        for (auto& path : kPaths) {
            if ((cpu & path.needs) != path.needs) continue;
            std::string out(b.size(), '\0');
            path.xorWords((unsigned char*)out.data(), (const unsigned char*)b.data(), b.size(), (unsigned)v);
            FUZZ_CHECK(path.hash((const unsigned char*)b.data(), b.size()) == want && out == flipped,
                       what() + " on the " + path.name + " path under " + locale);
        }
    }

    FUZZ_CHECK((uint32_t)s.Call(getEnc, {Value::H(str)}).i == (nil ? 0 : enc), what());
    s.Call(setEnc, {Value::H(str), Value::I(v)});
    FUZZ_CHECK((uint32_t)s.Call(getEnc, {Value::H(str)}).i == (nil ? 0 : (uint32_t)v), what());
    FUZZ_CHECK(Host().Bytes(str) == b, what() + ": setting the tag changed the bytes");

    // Four-character codes: all four bytes most significant first, tagged
    // US-ASCII when all are 7-bit; back from Mac OS Roman (or raw) text,
    // a short text filling from the first byte with spaces after it.
    void* code = s.Call(fromCode, {Value::I(v)}).h;
    std::string four = {(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v};
    bool high = ((v | v >> 8 | v >> 16 | v >> 24) & 0x80) != 0;
    FUZZ_CHECK(s.Text(code) == Built(four, high ? host::kMacRoman : host::kASCII), what());
    FUZZ_CHECK(s.Call(toCode, {Value::H(code)}).i == v, what());
    std::string packed = (b + "    ").substr(0, 4);
    uint32_t want4 = (uint32_t)(unsigned char)packed[0] << 24 | (unsigned char)packed[1] << 16 |
                     (unsigned char)packed[2] << 8 | (unsigned char)packed[3];
    FUZZ_CHECK(
        (uint32_t)s.Call(toCode, {Value::H(nil ? nullptr : s.Str(b, enc == host::kRaw ? host::kRaw : host::kMacRoman))})
                .i == want4,
        what());
}
