// The byte kernels behind GetHash32TKZ and BitwiseXORStringBytesTKZ, apart
// from the host interface: plain bytes in, plain bytes or a word out. They
// are compiled into the plugin and, by the tests and the benchmark, on their
// own, so that each path can be forced by calling it directly. Nothing here
// is exported from the plugin (hidden visibility).
//
// Paths: `_serial` runs on any CPU. `_sse2` and `_avx2` need that CPU
// feature (tkz_cpu_paths() says which are there); called on a CPU without
// it they fault. Each realigns the stack on entry, so callers with a
// 4-byte-aligned stack (the host) are fine. The unsuffixed functions choose
// a path at their first call from cpuid/xgetbv; nothing runs at load.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define TKZ_KERNEL __attribute__((visibility("hidden")))

enum : unsigned {
    kTkzPathSSE2 = 1u,
    kTkzPathAVX2 = 2u,
};

// The vector paths this CPU (and its operating system) can run.
TKZ_KERNEL unsigned tkz_cpu_paths();

// The 32-bit hash of p[0..n): h starts at n + 1; for each byte b in order,
// h = tolower(b) XOR (h rotated left by 3), tolower being the calling
// thread's live table (setlocale, uselocale).
//
// `_serial` is that definition, one byte after the other. The vector paths
// fold the bytes into 32 byte lanes and give the same value for any locale:
// when the live table is not a few byte ranges sharing one XOR difference
// (as in C, C.UTF-8 and the Latin-1 locales) they take the scalar loop.
TKZ_KERNEL uint32_t tkz_hash32_serial(const unsigned char* p, size_t n);
TKZ_KERNEL uint32_t tkz_hash32_sse2(const unsigned char* p, size_t n);
TKZ_KERNEL uint32_t tkz_hash32_avx2(const unsigned char* p, size_t n);
TKZ_KERNEL uint32_t tkz_hash32(const unsigned char* p, size_t n);

// Below this length (twice it where only SSE2 is there) tkz_hash32 takes a
// scalar loop of four bytes a step: a vector path's fixed cost, the check of
// the table and the final fold of 32 lanes, is larger than the work.
const size_t kTkzHashCrossover = 128;

// dst[0..n) = src[0..n) with every byte of the whole 32-bit words, the first
// 4 * (n / 4) bytes, XORed with k & 0xFF; the last n % 4 bytes copied as
// they are. dst and src must not overlap.
TKZ_KERNEL void tkz_xorwords_serial(unsigned char* dst, const unsigned char* src, size_t n, unsigned k);
TKZ_KERNEL void tkz_xorwords_sse2(unsigned char* dst, const unsigned char* src, size_t n, unsigned k);
TKZ_KERNEL void tkz_xorwords_avx2(unsigned char* dst, const unsigned char* src, size_t n, unsigned k);
TKZ_KERNEL void tkz_xorwords(unsigned char* dst, const unsigned char* src, size_t n, unsigned k);
