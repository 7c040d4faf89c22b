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

using emu::Value;

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

struct HashPath {
    const char* name;
    unsigned needs;
    uint32_t (*hash)(const unsigned char*, size_t);
};
const HashPath kHashPaths[] = {
    {"serial", 0, tkz_hash32_serial},
    {"sse2", kTkzPathSSE2, tkz_hash32_sse2},
    {"avx2", kTkzPathAVX2, tkz_hash32_avx2},
    {"chosen", 0, tkz_hash32},
};

struct XorPath {
    const char* name;
    unsigned needs;
    void (*xorwords)(unsigned char*, const unsigned char*, size_t, unsigned);
};
const XorPath kXorPaths[] = {
    {"serial", 0, tkz_xorwords_serial},
    {"sse2", kTkzPathSSE2, tkz_xorwords_sse2},
    {"avx2", kTkzPathAVX2, tkz_xorwords_avx2},
    {"chosen", 0, tkz_xorwords},
};

// The one skip that also holds under CI: a path this CPU cannot run.
#define REQUIRE_PATH(path)                                                       \
    do {                                                                         \
        if ((tkz_cpu_paths() & (path).needs) != (path).needs)                   \
            GTEST_SKIP() << (path).name << " path not run: this CPU lacks it";   \
    } while (0)

bool HaveLocale(const char* name) {
    locale_t l = newlocale(LC_CTYPE_MASK, name, (locale_t)0);
    if (l) freelocale(l);
    return l != (locale_t)0;
}

// Every length up to `longest` at each start offset below 64 of `bytes`.
void ExpectAllLengths(const HashPath& path, const std::vector<unsigned char>& bytes, size_t longest, const char* what,
                      const int32_t* table = nullptr) {
    for (size_t at = 0; at < 64; ++at)
        for (size_t n = 0; n <= longest && at + n <= bytes.size(); ++n)
            ASSERT_EQ(path.hash(bytes.data() + at, n), Definition(bytes.data() + at, n, table))
                << path.name << " " << what << " length " << n << " at " << at;
}

class Hash : public ::testing::TestWithParam<HashPath> {};
class Xor : public ::testing::TestWithParam<XorPath> {};

}  // namespace

TEST_P(Hash, AgreesWithTheDefinitionUnderEachLocale) {
    const HashPath& path = GetParam();
    REQUIRE_PATH(path);
    TKZ_REQUIRE(HaveLocale(kLatin1), std::string("locale ") + kLatin1 + " (scripts/bootstrap generates it)");
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

// Values the compiler cannot fold: 0xC9 is folded in Latin-1, not in C.
TEST_P(Hash, FollowsLocaleSwitchesBetweenCalls) {
    const HashPath& path = GetParam();
    REQUIRE_PATH(path);
    TKZ_REQUIRE(HaveLocale(kLatin1), std::string("locale ") + kLatin1 + " (scripts/bootstrap generates it)");
    std::vector<unsigned char> text(300, 0xC9);
    auto expect = [&](const char* when) { EXPECT_EQ(path.hash(text.data(), text.size()), Definition(text.data(), text.size())) << when; };
    ASSERT_NE(setlocale(LC_ALL, "C"), nullptr);
    uint32_t inC = path.hash(text.data(), text.size());
    expect("C");
    ASSERT_NE(setlocale(LC_ALL, kLatin1), nullptr);
    EXPECT_NE(path.hash(text.data(), text.size()), inC);
    expect("after setlocale to Latin-1");
    ASSERT_NE(setlocale(LC_ALL, "C"), nullptr);
    EXPECT_EQ(path.hash(text.data(), text.size()), inC);
    // uselocale changes this thread's table only.
    locale_t latin1 = newlocale(LC_CTYPE_MASK, kLatin1, (locale_t)0);
    locale_t before = uselocale(latin1);
    expect("after uselocale to Latin-1");
    EXPECT_NE(path.hash(text.data(), text.size()), inC);
    uselocale(before);
    freelocale(latin1);
    EXPECT_EQ(path.hash(text.data(), text.size()), inC);
}

// The thread's table pointer, which the kernels read as the C library's
// inline tolower does, is set directly to tables no installed locale has:
// range shapes at the edges of the byte, and shapes the vector paths must
// leave to the serial loop.
TEST_P(Hash, AgreesWithTheDefinitionUnderOtherTableShapes) {
    const HashPath& path = GetParam();
    REQUIRE_PATH(path);
    struct Shape {
        const char* name;
        std::vector<std::array<int, 3>> ranges;  // lo, hi, XOR difference
        int big;                                 // an entry above 255, or 0
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
        ExpectAllLengths(path, random, 300, shape.name, table + 128);
        EXPECT_EQ(path.hash(lanes.data(), lanes.size()), Definition(lanes.data(), lanes.size(), table + 128)) << shape.name;
        *live = saved;
    }
}

#if defined(__i386__)
// The host may call with a stack aligned to 4 bytes only.
TEST_P(Hash, RunsOnAStackAlignedTo4Bytes) {
    const HashPath& path = GetParam();
    REQUIRE_PATH(path);
    std::vector<unsigned char> text = Random(5000, 4);
    struct { void* fn; const unsigned char* p; size_t n; } call = {(void*)path.hash, text.data() + 3, 4000};
    uint32_t h;
    __asm__ volatile(
        "mov %%esp, %%esi\n\t"
        "and $-16, %%esp\n\t"
        "sub $4, %%esp\n\t"  // entered with the stack 4 bytes off 16
        "push 8(%1)\n\t"
        "push 4(%1)\n\t"
        "call *(%1)\n\t"
        "mov %%esi, %%esp"
        : "=a"(h)
        : "a"(&call)
        : "ecx", "edx", "esi", "memory", "cc");
    EXPECT_EQ(h, Definition(text.data() + 3, 4000));
}
#endif

TEST_P(Xor, AgreesWithTheDefinition) {
    const XorPath& path = GetParam();
    REQUIRE_PATH(path);
    std::vector<unsigned char> src = Random((8 << 20) + 200, 5);
    auto check = [&](size_t from, size_t to, size_t n, unsigned k) {
        std::vector<unsigned char> dst(to + n + 16, 0xEE);
        path.xorwords(dst.data() + to, src.data() + from, n, k);
        for (size_t i = 0; i < n; ++i) {
            unsigned char want = (unsigned char)(src[from + i] ^ (i < (n & ~(size_t)3) ? k & 0xFF : 0));
            if (dst[to + i] != want) return ::testing::AssertionFailure() << "byte " << i;
        }
        for (size_t i = to + n; i < dst.size(); ++i)
            if (dst[i] != 0xEE) return ::testing::AssertionFailure() << "wrote past the end";
        return ::testing::AssertionSuccess();
    };
    for (size_t n = 0; n <= 64; ++n)
        for (size_t from = 0; from < 64; ++from)
            for (size_t to : {0, 1, 3, 4, 17, 32, 63}) ASSERT_TRUE(check(from, to, n, 0x5A)) << path.name << " " << n << " " << from << " " << to;
    for (size_t n : {(size_t)(1 << 20) + 3, (size_t)(8 << 20) + 7})
        EXPECT_TRUE(check(5, 9, n, 0x1A7)) << path.name << " " << n;
}

INSTANTIATE_TEST_SUITE_P(Paths, Hash, ::testing::ValuesIn(kHashPaths), [](const auto& i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(Paths, Xor, ::testing::ValuesIn(kXorPaths), [](const auto& i) { return std::string(i.param.name); });

// Through the registered methods, at sizes where the vector paths run.
PLUGIN_TEST(ByteMethods, LargeStrings) {
    TKZ_REQUIRE(HaveLocale(kLatin1), std::string("locale ") + kLatin1 + " (scripts/bootstrap generates it)");
    ASSERT_NE(setlocale(LC_ALL, kLatin1), nullptr);
    for (size_t n : {63, 64, 65, 128, 129, 1 << 20}) {
        std::vector<unsigned char> bytes = Random(n, (unsigned)n);
        std::string text(bytes.begin(), bytes.end());
        void* str = s.Str(text, emu::kRaw);
        EXPECT_EQ((uint32_t)s.Call("GetHash32TKZ", {Value::H(str)}).i, Definition(bytes.data(), n)) << n;
        std::string x = s.Bytes(s.Call("BitwiseXORStringBytesTKZ", {Value::H(str), Value::I(0x33)}).h);
        for (size_t i = 0; i < n; ++i) text[i] ^= i < (n & ~(size_t)3) ? 0x33 : 0;
        EXPECT_EQ(x, text) << n;
    }
    setlocale(LC_ALL, "C");
}
