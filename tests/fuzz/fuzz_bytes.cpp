// The hash, XOR, encoding tags and four-character codes against models of
// their definitions, over random bytes under random encoding tags; the hash
// and XOR kernels also with each of their paths forced. The hash's model is
// the serial kernel, which bytes_test holds to the definition (the fuzzing
// process never sets a locale).
#include "bytekernels.h"
#include "fuzz.h"

using namespace fuzz;

namespace {

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
    int32_t v = in.ConsumeIntegral<int32_t>();
    uint32_t enc = PickEncoding(in);
    bool nil = in.ConsumeBool();
    std::string b = nil ? std::string() : in.ConsumeRemainingBytesAsString();
    void* str = nil ? nullptr : s.Str(b, enc);
    auto what = [&] { return "input " + s.Text(str) + " v " + std::to_string(v); };

    uint32_t want = tkz_hash32_serial((const unsigned char*)b.data(), b.size());  // 1 for nil too
    FUZZ_CHECK((uint32_t)s.Call(hash, {Value::H(str)}).i == want, what());
    void* x = s.Call(xorBytes, {Value::H(str), Value::I(v)}).h;
    std::string flipped = b;
    for (size_t i = 0; i < flipped.size() / 4 * 4; ++i) flipped[i] = (char)(flipped[i] ^ (v & 0xFF));
    FUZZ_CHECK(s.Text(x) == Built(flipped, host::kRaw), what() + " gave " + s.Text(x));
    if (x != nullptr) FUZZ_CHECK(Host().Bytes(s.Call(xorBytes, {Value::H(x), Value::I(v)}).h) == b, what() + ": twice");
    // Each path of the kernels behind both methods forced, as far as this CPU
    // runs it, on the same bytes.
    static const unsigned cpu = tkz_cpu_paths();
    for (auto& path : kPaths) {
        if ((cpu & path.needs) != path.needs) continue;
        std::string out(b.size(), '\0');
        path.xorWords((unsigned char*)out.data(), (const unsigned char*)b.data(), b.size(), (unsigned)v);
        FUZZ_CHECK(path.hash((const unsigned char*)b.data(), b.size()) == want && out == flipped,
                   what() + " on the " + path.name + " path");
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
