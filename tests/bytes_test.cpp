// The byte kernels behind GetHash32TKZ and BitwiseXORStringBytesTKZ: each
// path, forced in turn, against the definitions at every length and
// alignment, under real locales and under fold tables of other shapes (the
// registered methods over these kernels are fuzz_bytes').
#include "support.h"

#include "bytekernels.h"

#include <ctype.h>
#include <locale.h>
#include <random>

namespace {

const char* kLatin1 = "en_US.ISO-8859-1";
#define REQUIRE_LATIN1(cond) TKZ_REQUIRE(cond, std::string("locale ") + kLatin1 + " (scripts/bootstrap generates it)")

// The definition, byte after byte through the C library's tolower or through
// a given table.
uint32_t Definition(const unsigned char* p, size_t n, const int32_t* table = nullptr) {
    uint32_t h = (uint32_t)n + 1;
    for (size_t i = 0; i < n; ++i) h = (uint32_t)(table ? table[p[i]] : tolower(p[i])) ^ ((h << 3) | (h >> 29));
    return h;
}

std::vector<unsigned char> Random(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> v(n);
    for (unsigned char& c : v) c = (unsigned char)rng();
    return v;
}

struct Path {
    const char* name;
    unsigned needs;
    decltype(&tkz_hash32) hash;
    decltype(&tkz_xorwords) xorwords;
};
const Path kPaths[] = {
    {"serial", 0, tkz_hash32_serial, tkz_xorwords_serial},
    {"sse2", kTkzPathSSE2, tkz_hash32_sse2, tkz_xorwords_sse2},
    {"avx2", kTkzPathAVX2, tkz_hash32_avx2, tkz_xorwords_avx2},
    {"chosen", 0, tkz_hash32, tkz_xorwords},
};

// Every length up to `longest` at each start offset below 64 of `bytes`;
// then every byte value at every one of the 32 lanes (block j of 256 holds
// 167 r + j at offset r, and 167 is odd).
void ExpectAllLengths(const Path& path, const std::vector<unsigned char>& bytes, size_t longest,
                      const std::string& what, const int32_t* table = nullptr) {
    for (size_t at = 0; at < 64; ++at)
        for (size_t n = 0; n <= longest && at + n <= bytes.size(); ++n)
            ASSERT_EQ(path.hash(bytes.data() + at, n), Definition(bytes.data() + at, n, table))
                << path.name << " " << what << " length " << n << " at " << at;
    std::vector<unsigned char> lanes(32 * 256);
    for (size_t i = 0; i < lanes.size(); ++i) lanes[i] = (unsigned char)(167 * (i % 256) + i / 256);
    EXPECT_EQ(path.hash(lanes.data(), lanes.size()), Definition(lanes.data(), lanes.size(), table)) << what;
}

// The one skip that also holds under CI: a path this CPU cannot run.
struct Kernels : ::testing::TestWithParam<Path> {
    void SetUp() override {
        if ((tkz_cpu_paths() & GetParam().needs) != GetParam().needs)
            GTEST_SKIP() << GetParam().name << " path: this CPU lacks it";
    }
};

}  // namespace

// The path choice against the compiler's own detection: a path reported
// missing would make its kernel tests below skip, one reported present that
// the CPU lacks would fault in the plugin.
TEST(CpuPaths, AgreeWithTheCompilersDetection) {
    bool sse2 = __builtin_cpu_supports("sse2"), avx2 = __builtin_cpu_supports("avx2");
    EXPECT_EQ(tkz_cpu_paths(), (sse2 ? kTkzPathSSE2 : 0u) | (avx2 ? kTkzPathAVX2 : 0u));
    EXPECT_EQ(__builtin_popcount(tkz_cpu_paths()), sse2 + avx2) << "a bit of its own for each path";
}

// The locale is switched between calls (Latin-1 folds 0xC0 to 0xDE, C does
// not), last for this thread alone through uselocale: each call must see
// the table of now.
TEST_P(Kernels, HashAgreesWithTheDefinitionUnderEachLocale) {
    locale_t latin1 = newlocale(LC_CTYPE_MASK, kLatin1, (locale_t)0);
    REQUIRE_LATIN1(latin1 != (locale_t)0);
    std::vector<unsigned char> random = Random(1100, 1), large = Random((1 << 20) + 77, 2);
    for (std::string loc : {kLatin1, "C", "C.UTF-8", "thread"}) {
        bool thread = loc == "thread";  // Latin-1 again, for this thread only: a lighter check
        if (thread) uselocale(latin1);
        else ASSERT_NE(setlocale(LC_ALL, loc.c_str()), nullptr) << loc;
        ExpectAllLengths(GetParam(), random, thread ? 300 : 1000, loc);
        for (size_t at : thread ? std::vector<size_t>{} : std::vector<size_t>{0, 1, 31, 33})
            EXPECT_EQ(GetParam().hash(large.data() + at, large.size() - at),
                      Definition(large.data() + at, large.size() - at))
                << loc;
    }
    uselocale(LC_GLOBAL_LOCALE);
    freelocale(latin1);
    setlocale(LC_ALL, "C");
}

// The thread's table pointer, which the kernels read as the C library's
// inline tolower does, is set to tables no installed locale has: range
// shapes at the edges of the byte, and shapes the vector paths must leave
// to the serial loop. Each range is lo, hi and its XOR difference.
TEST_P(Kernels, HashAgreesWithTheDefinitionUnderOtherTableShapes) {
    const std::vector<std::vector<int>> kShapes[] = {
        {},
        {{0x41, 0x5A, 0x20}, {0x80, 0x80, 0x20}, {0xC0, 0xD6, 0x20}, {0xD8, 0xDE, 0x20}},  // four ranges
        {{0x00, 0x10, 0x40}, {0xE0, 0xFF, 0x80}},                                          // from 0 and up to 255
        {{1, 1, 1}, {3, 3, 1}, {5, 5, 1}, {7, 7, 1}, {9, 9, 1}},                           // five ranges
        {{0x41, 0x48, 0x20}, {0x49, 0x49, 0xB4}, {0x4A, 0x5A, 0x20}},                      // two differences
        {{0x00, 0xFF, 0x20}},                                                              // every byte
        {{0x41, 0x5A, 0x20}, {0x41, 0x41, 0x161 ^ 0x61}},                                  // an entry above 255
    };
    const int32_t **live = __ctype_tolower_loc(), *saved = *live;
    std::vector<unsigned char> random = Random(400, 3);
    for (const auto& shape : kShapes) {
        int32_t table[384];
        for (int c = -128; c < 256; ++c) table[c + 128] = c;
        for (const auto& r : shape)
            for (int c = r[0]; c <= r[1]; ++c) table[c + 128] ^= r[2];
        *live = table + 128;
        ExpectAllLengths(GetParam(), random, 300, "shape " + std::to_string(&shape - kShapes), table + 128);
        *live = saved;
    }
}

// The host may call with a stack aligned to 4 bytes only.
TEST_P(Kernels, HashRunsOnAStackAlignedTo4Bytes) {
    std::vector<unsigned char> text = Random(5000, 4);
    struct {
        void* fn;
        const unsigned char* p;
        size_t n;
    } call = {(void*)GetParam().hash, text.data() + 3, 4000};
    uint32_t h;
    __asm__ volatile(
        "mov %%esp, %%esi\n\tand $-16, %%esp\n\tsub $4, %%esp\n\t"  // 4 bytes off 16 at the call
        "push 8(%1)\n\tpush 4(%1)\n\tcall *(%1)\n\tmov %%esi, %%esp"
        : "=a"(h)
        : "a"(&call)
        : "ecx", "edx", "esi", "memory", "cc");
    EXPECT_EQ(h, Definition(text.data() + 3, 4000));
}

// Every length up to 64 from every source alignment to several destination
// ones, and large sizes; the bytes around the destination stay untouched.
TEST_P(Kernels, XorAgreesWithTheDefinition) {
    std::vector<unsigned char> src = Random((8 << 20) + 200, 5);
    auto check = [&](size_t from, size_t to, size_t n, unsigned k) {
        std::vector<unsigned char> dst(to + n + 16, 0xEE), want(dst);
        for (size_t i = 0; i < n; ++i) want[to + i] = (unsigned char)(src[from + i] ^ (i < (n & ~(size_t)3) ? k : 0));
        GetParam().xorwords(dst.data() + to, src.data() + from, n, k);
        return dst == want;
    };
    for (size_t n = 0; n <= 64; ++n)
        for (size_t from = 0; from < 64; ++from)
            for (size_t to : {0, 1, 3, 4, 17, 32, 63})
                ASSERT_TRUE(check(from, to, n, 0x5A)) << n << " " << from << " " << to;
    EXPECT_TRUE(check(5, 9, (1 << 20) + 3, 0xA7)) << "1 MiB";
    EXPECT_TRUE(check(7, 2, (8 << 20) + 7, 0x01)) << "8 MiB";
}

INSTANTIATE_TEST_SUITE_P(Paths, Kernels, ::testing::ValuesIn(kPaths),
                         [](const auto& i) { return std::string(i.param.name); });
