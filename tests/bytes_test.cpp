// The byte kernels behind GetHash32TKZ and BitwiseXORStringBytesTKZ: each
// path, forced in turn, against the definitions at every length and
// alignment, under real locales and under fold tables of other shapes; then
// the registered methods at sizes where the vector paths run.
#include "support.h"

#include "bytekernels.h"

#include <array>
#include <clocale>
#include <ctype.h>
#include <locale.h>
#include <random>

namespace {

const char* kLatin1 = "en_US.ISO-8859-1";

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

// Every byte value at every one of the 32 lanes: block j of 256 holds
// 167 r + j at offset r, and 167 is odd.
std::vector<unsigned char> EveryValueAtEveryLane() {
    std::vector<unsigned char> v(32 * 256);
    for (size_t i = 0; i < v.size(); ++i) v[i] = (unsigned char)(167 * (i % 256) + i / 256);
    return v;
}

struct Path {
    const char* name;
    unsigned needs;
    uint32_t (*hash)(const unsigned char*, size_t);
    void (*xorwords)(unsigned char*, const unsigned char*, size_t, unsigned);
};
const Path kPaths[] = {
    {"serial", 0, tkz_hash32_serial, tkz_xorwords_serial},
    {"sse2", kTkzPathSSE2, tkz_hash32_sse2, tkz_xorwords_sse2},
    {"avx2", kTkzPathAVX2, tkz_hash32_avx2, tkz_xorwords_avx2},
    {"chosen", 0, tkz_hash32, tkz_xorwords},
};

bool HaveLocale(const char* name) {
    locale_t l = newlocale(LC_CTYPE_MASK, name, (locale_t)0);
    if (l) freelocale(l);
    return l != (locale_t)0;
}

// Every length up to `longest` at each start offset below 64 of `bytes`.
void ExpectAllLengths(const Path& path, const std::vector<unsigned char>& bytes, size_t longest, const char* what,
                      const int32_t* table = nullptr) {
    for (size_t at = 0; at < 64; ++at)
        for (size_t n = 0; n <= longest && at + n <= bytes.size(); ++n)
            ASSERT_EQ(path.hash(bytes.data() + at, n), Definition(bytes.data() + at, n, table))
                << path.name << " " << what << " length " << n << " at " << at;
}

// The one skip that also holds under CI: a path this CPU cannot run.
class Kernels : public ::testing::TestWithParam<Path> {
protected:
    void SetUp() override {
        if ((tkz_cpu_paths() & GetParam().needs) != GetParam().needs)
            GTEST_SKIP() << GetParam().name << " path not run: this CPU lacks it";
    }
};

}  // namespace

TEST_P(Kernels, HashAgreesWithTheDefinitionUnderEachLocale) {
    TKZ_REQUIRE(HaveLocale(kLatin1), std::string("locale ") + kLatin1 + " (scripts/bootstrap generates it)");
    const Path& path = GetParam();
    std::vector<unsigned char> random = Random(1100, 1), lanes = EveryValueAtEveryLane(), large = Random((1 << 20) + 77, 2);
    for (const char* loc : {"C", "C.UTF-8", kLatin1}) {
        ASSERT_NE(setlocale(LC_ALL, loc), nullptr) << loc;
        ExpectAllLengths(path, random, 1000, loc);
        EXPECT_EQ(path.hash(lanes.data(), lanes.size()), Definition(lanes.data(), lanes.size())) << loc;
        for (size_t at : {0, 1, 31, 33})
            EXPECT_EQ(path.hash(large.data() + at, large.size() - at), Definition(large.data() + at, large.size() - at)) << loc;
    }
    setlocale(LC_ALL, "C");
}

// 0xC9 is folded in Latin-1, not in C: each call must see the table of now.
TEST_P(Kernels, HashFollowsLocaleSwitchesBetweenCalls) {
    TKZ_REQUIRE(HaveLocale(kLatin1), std::string("locale ") + kLatin1 + " (scripts/bootstrap generates it)");
    std::vector<unsigned char> text(300, 0xC9);
    auto hash = [&] { return GetParam().hash(text.data(), text.size()); };
    ASSERT_NE(setlocale(LC_ALL, "C"), nullptr);
    uint32_t inC = hash();
    EXPECT_EQ(inC, Definition(text.data(), text.size()));
    ASSERT_NE(setlocale(LC_ALL, kLatin1), nullptr);
    uint32_t inLatin1 = hash();
    EXPECT_EQ(inLatin1, Definition(text.data(), text.size()));
    EXPECT_NE(inLatin1, inC);
    ASSERT_NE(setlocale(LC_ALL, "C"), nullptr);
    EXPECT_EQ(hash(), inC);
    // uselocale changes this thread's table only.
    locale_t latin1 = newlocale(LC_CTYPE_MASK, kLatin1, (locale_t)0);
    locale_t before = uselocale(latin1);
    EXPECT_EQ(hash(), inLatin1);
    uselocale(before);
    freelocale(latin1);
    EXPECT_EQ(hash(), inC);
}

// The thread's table pointer, which the kernels read as the C library's
// inline tolower does, is set to tables no installed locale has: range
// shapes at the edges of the byte, and shapes the vector paths must leave
// to the serial loop.
TEST_P(Kernels, HashAgreesWithTheDefinitionUnderOtherTableShapes) {
    struct Shape {
        const char* name;
        std::vector<std::array<int, 3>> ranges;  // lo, hi, XOR difference
        int big;                                 // an entry set above 255, or 0
    };
    const Shape kShapes[] = {
        {"identity", {}, 0},
        {"four ranges", {{0x41, 0x5A, 0x20}, {0x80, 0x80, 0x20}, {0xC0, 0xD6, 0x20}, {0xD8, 0xDE, 0x20}}, 0},
        {"from 0 and up to 255", {{0x00, 0x10, 0x40}, {0xE0, 0xFF, 0x80}}, 0},
        {"five ranges", {{1, 1, 1}, {3, 3, 1}, {5, 5, 1}, {7, 7, 1}, {9, 9, 1}}, 0},
        {"two differences", {{0x41, 0x48, 0x20}, {0x49, 0x49, 0xB4}, {0x4A, 0x5A, 0x20}}, 0},
        {"every byte", {{0x00, 0xFF, 0x20}}, 0},
        {"an entry above 255", {{0x41, 0x5A, 0x20}}, 0x41},
    };
    const int32_t** live = __ctype_tolower_loc();
    const int32_t* saved = *live;
    std::vector<unsigned char> random = Random(400, 3), lanes = EveryValueAtEveryLane();
    for (const Shape& shape : kShapes) {
        int32_t table[384];
        for (int c = -128; c < 256; ++c) table[c + 128] = c;
        for (const auto& r : shape.ranges)
            for (int c = r[0]; c <= r[1]; ++c) table[c + 128] = c ^ r[2];
        if (shape.big) table[shape.big + 128] = 0x161;
        *live = table + 128;
        ExpectAllLengths(GetParam(), random, 300, shape.name, table + 128);
        EXPECT_EQ(GetParam().hash(lanes.data(), lanes.size()), Definition(lanes.data(), lanes.size(), table + 128));
        *live = saved;
    }
}

#if defined(__i386__)
// The host may call with a stack aligned to 4 bytes only.
TEST_P(Kernels, HashRunsOnAStackAlignedTo4Bytes) {
    std::vector<unsigned char> text = Random(5000, 4);
    struct { void* fn; const unsigned char* p; size_t n; } call = {(void*)GetParam().hash, text.data() + 3, 4000};
    uint32_t h;
    __asm__ volatile("mov %%esp, %%esi\n\tand $-16, %%esp\n\tsub $4, %%esp\n\t"  // 4 bytes off 16 at the call
                     "push 8(%1)\n\tpush 4(%1)\n\tcall *(%1)\n\tmov %%esi, %%esp"
                     : "=a"(h) : "a"(&call) : "ecx", "edx", "esi", "memory", "cc");
    EXPECT_EQ(h, Definition(text.data() + 3, 4000));
}
#endif

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
            for (size_t to : {0, 1, 3, 4, 17, 32, 63}) ASSERT_TRUE(check(from, to, n, 0x5A)) << n << " " << from << " " << to;
    EXPECT_TRUE(check(5, 9, (1 << 20) + 3, 0xA7));
    EXPECT_TRUE(check(7, 2, (8 << 20) + 7, 0x01));
}

INSTANTIATE_TEST_SUITE_P(Paths, Kernels, ::testing::ValuesIn(kPaths), [](const auto& i) { return std::string(i.param.name); });

// Through the registered methods, at sizes around and above the crossover.
PLUGIN_TEST(ByteMethods, VectorSizes) {
    TKZ_REQUIRE(HaveLocale(kLatin1), std::string("locale ") + kLatin1 + " (scripts/bootstrap generates it)");
    ASSERT_NE(setlocale(LC_ALL, kLatin1), nullptr);
    for (size_t n : {127, 128, 255, 256, 1 << 20}) {
        std::vector<unsigned char> bytes = Random(n, (unsigned)n);
        std::string text(bytes.begin(), bytes.end());
        void* str = s.Str(text, emu::kRaw);
        EXPECT_EQ((uint32_t)s.Call("GetHash32TKZ", {emu::Value::H(str)}).i, Definition(bytes.data(), n)) << n;
        std::string x = s.Bytes(s.Call("BitwiseXORStringBytesTKZ", {emu::Value::H(str), emu::Value::I(0x133)}).h);
        for (size_t i = 0; i < (n & ~(size_t)3); ++i) text[i] ^= 0x33;
        EXPECT_EQ(x, text) << n;
    }
    setlocale(LC_ALL, "C");
}
