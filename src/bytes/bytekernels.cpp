// The hash and XOR kernels. The hash is linear over GF(2): with t_i the
// folded byte i of n,
//   h = rotl(n + 1, 3n) XOR (XOR over i of rotl(t_i, 3(n - 1 - i)))
// and a rotation by 3 repeats every 32 steps, so the bytes whose positions
// agree mod 32 can simply be XORed together first: 32 byte lanes, one
// 256-bit register (two 128-bit ones), folded into h once at the end.
//
// Folding stays the live tolower table. A vector has no table lookup on
// SSE2, so the table is described as up to kMaxRanges byte ranges whose
// bytes all change by one XOR difference d; since XOR is linear, the AVX2
// lanes accumulate the raw bytes and, apart, the in-range masks, and d is
// applied to the masks once at the end. The description is derived from the table
// itself (never from tolower of constants, which the compiler folds as if
// only A-Z changed) and reused only while the live table still equals the
// copy it was derived from.
#include "bytekernels.h"

#include <cpuid.h>
#include <ctype.h>
#include <immintrin.h>
#include <string.h>

// Entries into vector code realign the stack: the host may call with only 4-byte
// alignment, and spilled vectors need 16 or 32.
#define TKZ_VECTOR(isa) __attribute__((target(isa), force_align_arg_pointer))
#define TKZ_TARGET(isa) __attribute__((target(isa)))

namespace {

inline uint32_t Rotl(uint32_t x, uint32_t r) {
    r &= 31;
    return (x << r) | (x >> ((32 - r) & 31));
}

inline const int32_t* LiveTable() { return *__ctype_tolower_loc(); }

uint32_t SerialWith(const int32_t* fold, const unsigned char* p, size_t n) {
    uint32_t h = (uint32_t)n + 1;
    for (size_t i = 0; i < n; ++i) h = (uint32_t)fold[p[i]] ^ Rotl(h, 3);
    return h;
}

// The same four bytes at a time: by linearity h advances by
// rotl(h, 12) ^ rotl(t0, 9) ^ rotl(t1, 6) ^ rotl(t2, 3) ^ t3, so the chain
// through h is one rotate and one XOR per four bytes instead of per byte.
uint32_t ScalarWith(const int32_t* fold, const unsigned char* p, size_t n) {
    uint32_t h = (uint32_t)n + 1;
    size_t i = 0;
    for (; i + 4 <= n; i += 4)
        h = Rotl(h, 12) ^ Rotl((uint32_t)fold[p[i]], 9) ^ Rotl((uint32_t)fold[p[i + 1]], 6) ^
            Rotl((uint32_t)fold[p[i + 2]], 3) ^ (uint32_t)fold[p[i + 3]];
    for (; i < n; ++i) h = (uint32_t)fold[p[i]] ^ Rotl(h, 3);
    return h;
}

// ---- the fold table's shape ------------------------------------------------

const int kMaxRanges = 4;

struct alignas(32) FoldShape {
    int32_t table[256];  // the tolower table this was derived from
    bool ranges;         // false: not that shape, hash serially
    uint8_t count, diff;
    uint8_t lo[kMaxRanges], hi[kMaxRanges];
};

void Derive(const int32_t* t, FoldShape* s) {
    memcpy(s->table, t, sizeof s->table);
    s->ranges = false;
    s->count = 0;
    s->diff = 0;
    for (int c = 0; c < 256; ++c) {
        if (t[c] < 0 || t[c] > 255) return;
        unsigned d = (unsigned)(c ^ t[c]);
        if (d == 0) continue;
        if ((s->diff != 0 && d != s->diff) || s->count == kMaxRanges) return;
        int lo = c;
        while (c < 255 && t[c + 1] == ((c + 1) ^ (int)d)) ++c;
        // A range of all 256 values has no width a signed byte compare can hold.
        if (lo == 0 && c == 255) return;
        s->lo[s->count] = (uint8_t)lo;
        s->hi[s->count] = (uint8_t)c;
        s->count++;
        s->diff = (uint8_t)d;
    }
    s->ranges = true;
}

// Shapes once published are never written again, so readers on other
// threads need no lock; when the slots are used up, a new table's shape is
// derived on the caller's stack at every call.
const int kSlots = 4;
FoldShape gShapes[kSlots];
int gPublished[kSlots];
int gClaimed;
int gLastHit;

// The shape of the calling thread's live table. `same` compares two tables
// with the path's own vectors: the check runs at every call, and a library
// compare costs as much as hashing a few hundred bytes.
const FoldShape* LiveShape(bool (*same)(const int32_t*, const int32_t*), FoldShape* local) {
    const int32_t* t = LiveTable();
    int first = __atomic_load_n(&gLastHit, __ATOMIC_RELAXED);
    for (int k = 0; k < kSlots; ++k) {
        int i = (first + k) % kSlots;
        if (!__atomic_load_n(&gPublished[i], __ATOMIC_ACQUIRE)) continue;
        if (same(gShapes[i].table, t)) {
            if (i != first) __atomic_store_n(&gLastHit, i, __ATOMIC_RELAXED);
            return &gShapes[i];
        }
    }
    Derive(t, local);
    int i = __atomic_load_n(&gClaimed, __ATOMIC_RELAXED);
    while (i < kSlots &&
           !__atomic_compare_exchange_n(&gClaimed, &i, i + 1, false, __ATOMIC_RELAXED, __ATOMIC_RELAXED)) {}
    if (i < kSlots) {
        gShapes[i] = *local;
        __atomic_store_n(&gPublished[i], 1, __ATOMIC_RELEASE);
        __atomic_store_n(&gLastHit, i, __ATOMIC_RELAXED);
    }
    return local;
}

// The bytes x of lo..hi are those with (x + 0x80 - lo) < (width - 128) as
// signed bytes. The loops test the converse, outside a range when
// (x + 0x80 - lo) > (width - 129), as that compare can take both constants
// from memory: with 8 vector registers in 32-bit code the accumulators stay
// in registers. Being in some range is being outside not all of them; over
// K vectors the XOR of "in" masks is the XOR of "outside all" masks, inverted
// when K is odd.
inline char RangeOffset(const FoldShape& s, int r) { return (char)(uint8_t)(0x80 - s.lo[r]); }
inline char RangeBound(const FoldShape& s, int r) { return (char)(uint8_t)(s.hi[r] - s.lo[r] + 1 - 129); }

// The first whole 32-byte block of p[0..n) starts `head` bytes in; `blocks`
// of them follow.
struct Blocks {
    size_t head, blocks;
    Blocks(const unsigned char* p, size_t n) {
        head = (size_t)(-(uintptr_t)p & 31);
        if (head > n) head = n;
        blocks = (n - head) / 32;
    }
};

// ---- AVX2 --------------------------------------------------------------------

template <int R>
struct RangesAvx2 {
    __m256i off[kMaxRanges > R ? kMaxRanges : R], bound[kMaxRanges > R ? kMaxRanges : R], diff;
    TKZ_TARGET("avx2") explicit RangesAvx2(const FoldShape& s) {
        for (int r = 0; r < R; ++r) {
            off[r] = _mm256_set1_epi8(RangeOffset(s, r));
            bound[r] = _mm256_set1_epi8(RangeBound(s, r));
        }
        diff = _mm256_set1_epi8((char)s.diff);
    }
    TKZ_TARGET("avx2") __m256i Outside(__m256i x) const {
        __m256i m = _mm256_cmpgt_epi8(_mm256_add_epi8(x, off[0]), bound[0]);
        for (int r = 1; r < R; ++r) m = _mm256_and_si256(m, _mm256_cmpgt_epi8(_mm256_add_epi8(x, off[r]), bound[r]));
        return m;
    }
    TKZ_TARGET("avx2") __m256i Fold(__m256i x) const {
        return R == 0 ? x : _mm256_xor_si256(x, _mm256_andnot_si256(Outside(x), diff));
    }
};

// v turned so that lane (l + k) mod 32 holds what lane l held.
TKZ_TARGET("avx2") inline __m256i TurnAvx2(__m256i v, size_t k) {
    alignas(32) uint8_t twice[64];
    _mm256_store_si256((__m256i*)twice, v);
    _mm256_store_si256((__m256i*)(twice + 32), v);
    return _mm256_loadu_si256((const __m256i*)(twice + 32 - k));
}

// 0 in lanes below 32 - k, all ones from there on.
TKZ_TARGET("avx2") inline __m256i TopLanesAvx2(size_t k) {
    static const uint8_t kHigh[64] = {0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
                                      0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
                                      0,    0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    return _mm256_loadu_si256((const __m256i*)(kHigh + k));
}

// XOR over j of rotl(lanes[j], 3(n - 1 - j)), with the eight-lane variable shifts.
TKZ_TARGET("avx2") inline uint32_t FoldLanesAvx2(__m256i lanes, size_t n) {
    const __m256i step = _mm256_setr_epi32(0, 3, 6, 9, 12, 15, 18, 21);
    const __m256i last = _mm256_set1_epi32((int)(3 * ((uint32_t)n - 1))), m31 = _mm256_set1_epi32(31);
    const __m256i m32 = _mm256_set1_epi32(32);
    __m128i lo = _mm256_castsi256_si128(lanes), hi = _mm256_extracti128_si256(lanes, 1);
    __m128i parts[4] = {lo, _mm_srli_si128(lo, 8), hi, _mm_srli_si128(hi, 8)};
    __m256i h = _mm256_setzero_si256();
    for (int k = 0; k < 4; ++k) {
        __m256i v = _mm256_cvtepu8_epi32(parts[k]);
        __m256i r = _mm256_and_si256(_mm256_sub_epi32(last, _mm256_add_epi32(step, _mm256_set1_epi32(24 * k))), m31);
        // A shift by 32 gives 0, so a turn by 0 needs no special case.
        h = _mm256_xor_si256(h,
                             _mm256_or_si256(_mm256_sllv_epi32(v, r), _mm256_srlv_epi32(v, _mm256_sub_epi32(m32, r))));
    }
    __m128i x = _mm_xor_si128(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1));
    x = _mm_xor_si128(x, _mm_shuffle_epi32(x, 0x4E));
    x = _mm_xor_si128(x, _mm_shuffle_epi32(x, 0xB1));
    return (uint32_t)_mm_cvtsi128_si32(x) ^ Rotl((uint32_t)n + 1, 3 * (uint32_t)n);
}

template <int R>
TKZ_TARGET("avx2")
uint32_t HashAvx2(const FoldShape& s, const unsigned char* p, size_t n) {
    // Shorter text has no whole vector to read within it.
    if (n < 32) return ScalarWith(s.table, p, n);
    const RangesAvx2<R> ranges(s);
    Blocks b(p, n);
    // The blocks are read from a 32-byte boundary on, so no read splits
    // across cache lines; lane l gathers positions head + l mod 32.
    const unsigned char* q = p + b.head;
    __m256i bytes = _mm256_setzero_si256(), outside = _mm256_setzero_si256();
    for (size_t i = 0; i < b.blocks; ++i) {
        __m256i x = _mm256_load_si256((const __m256i*)(q + 32 * i));
        // Kept in a register: else the compiler reloads it for every use.
        __asm__("" : "+x"(x));
        bytes = _mm256_xor_si256(bytes, x);
        if (R > 0) outside = _mm256_xor_si256(outside, ranges.Outside(x));
    }
    if (R > 0 && (b.blocks & 1)) outside = _mm256_xor_si256(outside, _mm256_set1_epi8(-1));
    __m256i lanes = TurnAvx2(_mm256_xor_si256(bytes, _mm256_and_si256(outside, ranges.diff)), b.head);
    // The bytes before the first block and after the last: the whole vectors
    // at the start and at the end, less the lanes already counted.
    if (b.head > 0) {
        __m256i first = ranges.Fold(_mm256_loadu_si256((const __m256i*)p));
        lanes = _mm256_xor_si256(lanes, _mm256_andnot_si256(TopLanesAvx2(32 - b.head), first));
    }
    size_t rest = n - b.head - 32 * b.blocks;
    if (rest > 0) {
        __m256i end = ranges.Fold(_mm256_loadu_si256((const __m256i*)(p + n - 32)));
        lanes = _mm256_xor_si256(lanes, TurnAvx2(_mm256_and_si256(TopLanesAvx2(rest), end), n & 31));
    }
    return FoldLanesAvx2(lanes, n);
}

// ---- SSE2: the 32 lanes as two halves ------------------------------------------

template <int R>
TKZ_TARGET("sse2")
inline __m128i OutsideSse2(__m128i x, const __m128i* off, const __m128i* bound) {
    __m128i m = _mm_cmpgt_epi8(_mm_add_epi8(x, off[0]), bound[0]);
    for (int r = 1; r < R; ++r) m = _mm_and_si128(m, _mm_cmpgt_epi8(_mm_add_epi8(x, off[r]), bound[r]));
    return m;
}

// Two halves need twice the accumulators, more than 32-bit code has
// registers for, so each vector is folded (in & d, by andnot) before it is
// accumulated. The bytes before the first block and after the last go
// through the table one by one.
template <int R>
TKZ_TARGET("sse2")
uint32_t HashSse2(const FoldShape& s, const unsigned char* p, size_t n) {
    __m128i off[kMaxRanges], bound[kMaxRanges];
    for (int r = 0; r < R; ++r) {
        off[r] = _mm_set1_epi8(RangeOffset(s, r));
        bound[r] = _mm_set1_epi8(RangeBound(s, r));
    }
    const __m128i d = _mm_set1_epi8((char)s.diff);
    Blocks b(p, n);
    const unsigned char* q = p + b.head;
    __m128i acc0 = _mm_setzero_si128(), acc1 = _mm_setzero_si128();
    for (size_t i = 0; i < b.blocks; ++i) {
        __m128i x0 = _mm_load_si128((const __m128i*)(q + 32 * i));
        __m128i x1 = _mm_load_si128((const __m128i*)(q + 32 * i + 16));
        if (R > 0) {
            x0 = _mm_xor_si128(x0, _mm_andnot_si128(OutsideSse2<R>(x0, off, bound), d));
            x1 = _mm_xor_si128(x1, _mm_andnot_si128(OutsideSse2<R>(x1, off, bound), d));
        }
        acc0 = _mm_xor_si128(acc0, x0);
        acc1 = _mm_xor_si128(acc1, x1);
    }
    uint8_t acc[32], lanes[32];
    _mm_storeu_si128((__m128i*)acc, acc0);
    _mm_storeu_si128((__m128i*)(acc + 16), acc1);
    for (size_t l = 0; l < 32; ++l) lanes[(b.head + l) & 31] = acc[l];
    for (size_t i = 0; i < b.head; ++i) lanes[i] ^= (uint8_t)s.table[p[i]];
    for (size_t i = b.head + 32 * b.blocks; i < n; ++i) lanes[i & 31] ^= (uint8_t)s.table[p[i]];
    uint32_t h = Rotl((uint32_t)n + 1, 3 * (uint32_t)n);
    uint32_t last = 3 * ((uint32_t)n - 1);
    for (uint32_t j = 0; j < 32; ++j) h ^= Rotl(lanes[j], last - 3 * j);
    return h;
}

TKZ_TARGET("avx2") bool SameTableAvx2(const int32_t* a, const int32_t* b) {
    __m256i diff = _mm256_setzero_si256();
    for (int i = 0; i < 256; i += 8)
        diff = _mm256_or_si256(diff, _mm256_xor_si256(_mm256_load_si256((const __m256i*)(a + i)),
                                                      _mm256_loadu_si256((const __m256i*)(b + i))));
    return _mm256_testz_si256(diff, diff);
}

TKZ_TARGET("sse2") bool SameTableSse2(const int32_t* a, const int32_t* b) {
    __m128i diff = _mm_setzero_si128();
    for (int i = 0; i < 256; i += 4)
        diff = _mm_or_si128(
            diff, _mm_xor_si128(_mm_load_si128((const __m128i*)(a + i)), _mm_loadu_si128((const __m128i*)(b + i))));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(diff, _mm_setzero_si128())) == 0xFFFF;
}

// One path: its table compare and its hash for each number of ranges.
struct Path {
    bool (*same)(const int32_t*, const int32_t*);
    uint32_t (*hash[kMaxRanges + 1])(const FoldShape&, const unsigned char*, size_t);
};
const Path kAvx2 = {SameTableAvx2, {HashAvx2<0>, HashAvx2<1>, HashAvx2<2>, HashAvx2<3>, HashAvx2<4>}};
const Path kSse2 = {SameTableSse2, {HashSse2<0>, HashSse2<1>, HashSse2<2>, HashSse2<3>, HashSse2<4>}};

inline uint32_t HashWith(const Path& path, const unsigned char* p, size_t n) {
    FoldShape local;
    const FoldShape* s = LiveShape(path.same, &local);
    if (!s->ranges) return ScalarWith(s->table, p, n);
    return path.hash[s->count](*s, p, n);
}

// ---- XOR -----------------------------------------------------------------------

// Whole words left after the vector part, then the bytes that are no word.
void XorRest(unsigned char* dst, const unsigned char* src, size_t from, size_t n, unsigned k) {
    uint32_t mask = 0x01010101u * (k & 0xFF);
    size_t words = n & ~(size_t)3;
    size_t i = from;
    for (; i < words; i += 4) {
        uint32_t w;
        memcpy(&w, src + i, 4);
        w ^= mask;
        memcpy(dst + i, &w, 4);
    }
    memcpy(dst + i, src + i, n - i);
}

// Stores stay ordinary: at 64 MiB, streaming stores measured no faster, the
// page faults of the fresh buffer being most of the time.
TKZ_TARGET("avx2") void XorAvx2(unsigned char* dst, const unsigned char* src, size_t n, unsigned k) {
    const __m256i m = _mm256_set1_epi8((char)k);
    size_t words = n & ~(size_t)3, i = 0;
    for (; i + 128 <= words; i += 128)
        for (int j = 0; j < 128; j += 32)
            _mm256_storeu_si256((__m256i*)(dst + i + j),
                                _mm256_xor_si256(_mm256_loadu_si256((const __m256i*)(src + i + j)), m));
    for (; i + 32 <= words; i += 32)
        _mm256_storeu_si256((__m256i*)(dst + i), _mm256_xor_si256(_mm256_loadu_si256((const __m256i*)(src + i)), m));
    XorRest(dst, src, i, n, k);
}

TKZ_TARGET("sse2") void XorSse2(unsigned char* dst, const unsigned char* src, size_t n, unsigned k) {
    const __m128i m = _mm_set1_epi8((char)k);
    size_t words = n & ~(size_t)3, i = 0;
    for (; i + 64 <= words; i += 64)
        for (int j = 0; j < 64; j += 16)
            _mm_storeu_si128((__m128i*)(dst + i + j), _mm_xor_si128(_mm_loadu_si128((const __m128i*)(src + i + j)), m));
    for (; i + 16 <= words; i += 16)
        _mm_storeu_si128((__m128i*)(dst + i), _mm_xor_si128(_mm_loadu_si128((const __m128i*)(src + i)), m));
    XorRest(dst, src, i, n, k);
}

// ---- choosing a path -----------------------------------------------------------

unsigned DetectPaths() {
    unsigned a, b, c, d, paths = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
    if (d & bit_SSE2) paths |= kTkzPathSSE2;
    // AVX2 also needs the operating system to save the YMM state (XCR0 bits
    // 1 and 2), which only xgetbv tells.
    bool osxsave = (c & bit_OSXSAVE) && (c & bit_AVX);
    if (osxsave) {
        unsigned lo, hi;
        __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        if ((lo & 6) == 6 && __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2)) paths |= kTkzPathAVX2;
    }
    return paths;
}

// Chosen at the first call (a constructor would run at load); racing first
// calls all store the same choice.
unsigned gPaths;  // detected paths + 0x100 once known

typedef uint32_t (*HashFn)(const unsigned char*, size_t);
typedef void (*XorFn)(unsigned char*, const unsigned char*, size_t, unsigned);

HashFn gHash;

uint32_t ScalarLive(const unsigned char* p, size_t n) { return ScalarWith(LiveTable(), p, n); }
XorFn gXor;

}  // namespace

unsigned tkz_cpu_paths() {
    unsigned p = __atomic_load_n(&gPaths, __ATOMIC_RELAXED);
    if (p == 0) {
        p = DetectPaths() | 0x100;
        __atomic_store_n(&gPaths, p, __ATOMIC_RELAXED);
    }
    return p & 0xFF;
}

uint32_t tkz_hash32_serial(const unsigned char* p, size_t n) { return SerialWith(LiveTable(), p, n); }

TKZ_VECTOR("sse2") uint32_t tkz_hash32_sse2(const unsigned char* p, size_t n) { return HashWith(kSse2, p, n); }

TKZ_VECTOR("avx2") uint32_t tkz_hash32_avx2(const unsigned char* p, size_t n) { return HashWith(kAvx2, p, n); }

uint32_t tkz_hash32(const unsigned char* p, size_t n) {
    HashFn f = __atomic_load_n(&gHash, __ATOMIC_RELAXED);
    if (f == nullptr) {
        unsigned paths = tkz_cpu_paths();
        f = (paths & kTkzPathAVX2) ? tkz_hash32_avx2 : (paths & kTkzPathSSE2) ? tkz_hash32_sse2 : ScalarLive;
        __atomic_store_n(&gHash, f, __ATOMIC_RELAXED);
    }
    // SSE2's fixed cost (a narrower table check, the ends byte by byte) is
    // about twice that of AVX2.
    if (n < kTkzHashCrossover || (f == tkz_hash32_sse2 && n < 2 * kTkzHashCrossover)) return ScalarLive(p, n);
    return f(p, n);
}

void tkz_xorwords_serial(unsigned char* dst, const unsigned char* src, size_t n, unsigned k) {
    XorRest(dst, src, 0, n, k);
}

TKZ_VECTOR("sse2") void tkz_xorwords_sse2(unsigned char* dst, const unsigned char* src, size_t n, unsigned k) {
    XorSse2(dst, src, n, k);
}

TKZ_VECTOR("avx2") void tkz_xorwords_avx2(unsigned char* dst, const unsigned char* src, size_t n, unsigned k) {
    XorAvx2(dst, src, n, k);
}

void tkz_xorwords(unsigned char* dst, const unsigned char* src, size_t n, unsigned k) {
    XorFn f = __atomic_load_n(&gXor, __ATOMIC_RELAXED);
    if (f == nullptr) {
        unsigned paths = tkz_cpu_paths();
        f = (paths & kTkzPathAVX2)   ? tkz_xorwords_avx2
            : (paths & kTkzPathSSE2) ? tkz_xorwords_sse2
                                     : tkz_xorwords_serial;
        __atomic_store_n(&gXor, f, __ATOMIC_RELAXED);
    }
    f(dst, src, n, k);
}
