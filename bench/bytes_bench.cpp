// GetHash32TKZ and BitwiseXORStringBytesTKZ against their references, in
// one run and one process, in the emulated host:
//   build/bytes_bench build/tkz.so
// The registered methods are called through the function pointers the
// plugin registered, as the host calls them. Times are the CPU time of this
// thread (other load on the machine does not count), best of kRepeats
// repeats of at least kMinSeconds each, in each of kRounds rounds that
// alternate a figure with its references.
//
// Hash, under the C locale and under Latin-1, on one host string per size:
// the method, the serial definition (the kernel's serial loop, built with the
// plugin's flags), the fastest plain vector read of the same bytes, and each
// vector path forced. "x serial" is the serial time over the time, "of read"
// the read time over the time.
// Hash at 8-32 bytes: the method against an entry of the same signature that
// runs the serial definition, both called the same way.
// XOR: the method in total, the host building a string of that size (its
// entry point, as the plugin calls it), the method's own part (the total less
// that), and malloc + memcpy + free of the same size; the kernel paths forced,
// each within malloc and free.
#include "loadhost.h"

#include "bytekernels.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <immintrin.h>
#include <random>
#include <string>
#include <time.h>

namespace {

const int kRepeats = 5;
const int kRounds = 3;
const double kMinSeconds = 0.02;
const char* kLatin1 = "en_US.ISO-8859-1";

double Now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

volatile uint32_t gSink;

// Seconds per call of f, best of the repeats.
template <class F>
double Best(F f) {
    int calls = 1;
    double t0 = Now();
    f();
    double once = Now() - t0;
    if (once < kMinSeconds) calls = (int)(kMinSeconds / (once > 1e-9 ? once : 1e-9)) + 1;
    double best = 1e30;
    for (int r = 0; r < kRepeats; ++r) {
        t0 = Now();
        for (int i = 0; i < calls; ++i) f();
        double t = (Now() - t0) / calls;
        if (t < best) best = t;
    }
    return best;
}

// Plain reads: every 32 (16) bytes loaded once and ORed, nothing else.
__attribute__((target("avx2"))) uint32_t ReadAvx2(const unsigned char* p, size_t n) {
    __m256i a = _mm256_setzero_si256(), b = a, c = a, d = a;
    size_t i = 0;
    for (; i + 128 <= n; i += 128) {
        a = _mm256_or_si256(a, _mm256_loadu_si256((const __m256i*)(p + i)));
        b = _mm256_or_si256(b, _mm256_loadu_si256((const __m256i*)(p + i + 32)));
        c = _mm256_or_si256(c, _mm256_loadu_si256((const __m256i*)(p + i + 64)));
        d = _mm256_or_si256(d, _mm256_loadu_si256((const __m256i*)(p + i + 96)));
    }
    for (; i + 32 <= n; i += 32) a = _mm256_or_si256(a, _mm256_loadu_si256((const __m256i*)(p + i)));
    __m128i x =
        _mm_or_si128(_mm256_castsi256_si128(_mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d))),
                     _mm256_extracti128_si256(_mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d)), 1));
    for (; i + 16 <= n; i += 16) x = _mm_or_si128(x, _mm_loadu_si128((const __m128i*)(p + i)));
    return (uint32_t)_mm_cvtsi128_si32(x);
}

__attribute__((target("sse2"))) uint32_t ReadSse2(const unsigned char* p, size_t n) {
    __m128i a = _mm_setzero_si128(), b = a, c = a, d = a;
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        a = _mm_or_si128(a, _mm_loadu_si128((const __m128i*)(p + i)));
        b = _mm_or_si128(b, _mm_loadu_si128((const __m128i*)(p + i + 16)));
        c = _mm_or_si128(c, _mm_loadu_si128((const __m128i*)(p + i + 32)));
        d = _mm_or_si128(d, _mm_loadu_si128((const __m128i*)(p + i + 48)));
    }
    for (; i + 16 <= n; i += 16) a = _mm_or_si128(a, _mm_loadu_si128((const __m128i*)(p + i)));
    return (uint32_t)_mm_cvtsi128_si32(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)));
}

typedef long (*HashMethod)(host::StringRec*);
typedef host::StringRec* (*XorMethod)(host::StringRec*, long);
typedef host::StringRec* (*BuildEntry)(const char*, int);
typedef void (*EncodingEntry)(host::StringRec*, unsigned long);

// The serial definition behind the registered method's signature.
long SerialMethod(host::StringRec* s) {
    return s == nullptr ? 1 : (long)tkz_hash32_serial((const unsigned char*)s->buffer + 1, (size_t)s->length);
}

std::string Size(size_t n) {
    char buf[32];
    if (n >= (1u << 20)) snprintf(buf, sizeof buf, "%zu MiB", n >> 20);
    else if (n >= 1024) snprintf(buf, sizeof buf, "%zu KiB", n >> 10);
    else snprintf(buf, sizeof buf, "%zu B", n);
    return buf;
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = (char)rng();
    return s;
}

void Row(const char* size, const char* what, double t, size_t n, double serial, double read) {
    printf("| %-7s | %-14s | %10.1f ns | %7.2f GB/s | %8.1f x | %7.2f |\n", size, what, t * 1e9, n / t / 1e9,
           serial / t, read / t);
}

void HashTable(host::Host& host, HashMethod method, unsigned paths) {
    for (const char* loc : {"C", kLatin1}) {
        if (setlocale(LC_ALL, loc) == nullptr) {
            printf("\nlocale %s missing: not measured\n", loc);
            continue;
        }
        printf("\nGetHash32TKZ under the %s locale\n\n", loc);
        printf("| size    | what           |       time |         rate | x serial | of read |\n");
        printf("|---------|----------------|------------|--------------|----------|---------|\n");
        for (size_t n : {(size_t)16, (size_t)64, (size_t)4096, (size_t)1 << 20, (size_t)64 << 20}) {
            host::StringRec* s = host.NewString(RandomBytes(n, (unsigned)n), host::kRaw);
            const unsigned char* p = (const unsigned char*)s->buffer + 1;
            // Alternated rounds, best of each, so that a ratio does not
            // compare a quiet moment with a busy one.
            double serial = 1e30, read = 1e30, m = 1e30, sse2 = 1e30, avx2 = 1e30;
            for (int round = 0; round < kRounds; ++round) {
                serial = std::min(serial, Best([&] { gSink = gSink + tkz_hash32_serial(p, n); }));
                read = std::min(read, Best([&] { gSink = gSink + ReadSse2(p, n); }));
                if (paths & kTkzPathAVX2) read = std::min(read, Best([&] { gSink = gSink + ReadAvx2(p, n); }));
                m = std::min(m, Best([&] { gSink = gSink + (uint32_t)method(s); }));
                if (paths & kTkzPathSSE2) sse2 = std::min(sse2, Best([&] { gSink = gSink + tkz_hash32_sse2(p, n); }));
                if (paths & kTkzPathAVX2) avx2 = std::min(avx2, Best([&] { gSink = gSink + tkz_hash32_avx2(p, n); }));
            }
            std::string size = Size(n);
            Row(size.c_str(), "method", m, n, serial, read);
            Row("", "serial", serial, n, serial, read);
            Row("", "read", read, n, serial, read);
            if (paths & kTkzPathSSE2) Row("", "forced sse2", sse2, n, serial, read);
            if (paths & kTkzPathAVX2) Row("", "forced avx2", avx2, n, serial, read);
            host.Unlock(s);
        }
    }
    setlocale(LC_ALL, "C");
}

void SmallHashTable(host::Host& host, HashMethod method) {
    printf(
        "\nGetHash32TKZ on short strings, C locale: the method against the serial definition behind the same "
        "signature\n\n");
    printf("| size | method | serial entry | method / serial |\n");
    printf("|------|--------|--------------|-----------------|\n");
    HashMethod volatile serialEntry = SerialMethod;
    for (size_t n : {(size_t)8, (size_t)16, (size_t)24, (size_t)32}) {
        host::StringRec* s = host.NewString(RandomBytes(n, 7), host::kRaw);
        double m = 1e30, r = 1e30;
        // Alternated, so that both see the same conditions.
        for (int round = 0; round < kRounds; ++round) {
            double a = Best([&] { gSink = gSink + (uint32_t)method(s); });
            double b = Best([&] { gSink = gSink + (uint32_t)serialEntry(s); });
            if (a < m) m = a;
            if (b < r) r = b;
        }
        printf("| %2zu B | %4.1f ns | %9.1f ns | %15.2f |\n", n, m * 1e9, r * 1e9, m / r);
        host.Unlock(s);
    }
}

void XorTable(host::Host& host, XorMethod method, unsigned paths) {
    BuildEntry build = (BuildEntry)host.Resolve("REALBuildString");
    EncodingEntry encode = (EncodingEntry)host.Resolve("REALSetStringEncoding");
    printf("\nBitwiseXORStringBytesTKZ: own part = total less the host's building of the result\n\n");
    printf("| size    | what                      |        time | own / (malloc+copy+free) |\n");
    printf("|---------|---------------------------|-------------|--------------------------|\n");
    struct Path {
        const char* name;
        unsigned needs;
        void (*fn)(unsigned char*, const unsigned char*, size_t, unsigned);
    };
    const Path kPaths[] = {{"malloc+serial+free", 0, tkz_xorwords_serial},
                           {"malloc+sse2+free", kTkzPathSSE2, tkz_xorwords_sse2},
                           {"malloc+avx2+free", kTkzPathAVX2, tkz_xorwords_avx2}};
    for (size_t n : {(size_t)1 << 20, (size_t)64 << 20}) {
        host::StringRec* s = host.NewString(RandomBytes(n, 9), host::kRaw);
        const unsigned char* p = (const unsigned char*)s->buffer + 1;
        // Alternated rounds, best of each: the own part is a difference of
        // two times and must not take one from a busy moment.
        double ref = 1e30, total = 1e30, hostPart = 1e30, forced[3] = {1e30, 1e30, 1e30};
        for (int round = 0; round < kRounds; ++round) {
            ref = std::min(ref, Best([&] {
                               void* d = malloc(n);
                               memcpy(d, p, n);
                               __asm__ volatile("" : : "r"(d) : "memory");
                               free(d);
                           }));
            total = std::min(total, Best([&] { host.Unlock(method(s, 0x5A)); }));
            hostPart = std::min(hostPart, Best([&] {
                                    host::StringRec* r = build((const char*)p, (int)n);
                                    encode(r, host::kRaw);
                                    host.Unlock(r);
                                }));
            for (int i = 0; i < 3; ++i) {
                if ((paths & kPaths[i].needs) != kPaths[i].needs) continue;
                forced[i] = std::min(forced[i], Best([&] {
                                         unsigned char* d = (unsigned char*)malloc(n);
                                         kPaths[i].fn(d, p, n, 0x5A);
                                         __asm__ volatile("" : : "r"(d) : "memory");
                                         free(d);
                                     }));
            }
        }
        double own = total - hostPart;
        std::string size = Size(n);
        printf("| %-7s | %-25s | %8.1f us |                          |\n", size.c_str(), "method, total", total * 1e6);
        printf("| %-7s | %-25s | %8.1f us |                          |\n", "", "host builds the string",
               hostPart * 1e6);
        printf("| %-7s | %-25s | %8.1f us | %22.2f x |\n", "", "method, own part", own * 1e6, own / ref);
        printf("| %-7s | %-25s | %8.1f us | %22.2f x |\n", "", "malloc+memcpy+free", ref * 1e6, 1.0);
        for (int i = 0; i < 3; ++i)
            if ((paths & kPaths[i].needs) == kPaths[i].needs)
                printf("| %-7s | %-25s | %8.1f us | %22.2f x |\n", "", kPaths[i].name, forced[i] * 1e6,
                       forced[i] / ref);
        host.Unlock(s);
    }
}

}  // namespace

int main(int argc, char** argv) {
    host::Host host(BenchConfig());
    if (!LoadBenchPlugin(host, argc, argv)) return 1;
    const host::MethodDef* hash = host.GlobalMethod("GetHash32TKZ");
    const host::MethodDef* xorBytes = host.GlobalMethod("BitwiseXORStringBytesTKZ");
    if (hash == nullptr || xorBytes == nullptr) {
        fprintf(stderr, "methods not registered\n");
        return 1;
    }
    unsigned paths = tkz_cpu_paths();
    printf("paths this CPU runs: serial%s%s; CPU time of this thread, best of %d repeats in %d alternated rounds\n",
           paths & kTkzPathSSE2 ? ", sse2" : "", paths & kTkzPathAVX2 ? ", avx2" : "", kRepeats, kRounds);
    HashTable(host, (HashMethod)hash->function, paths);
    SmallHashTable(host, (HashMethod)hash->function);
    XorTable(host, (XorMethod)xorBytes->function, paths);
    return Balanced(host) ? 0 : 1;
}
