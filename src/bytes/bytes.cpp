// String and memory-block methods at the level of bytes: the 32-bit hash,
// XOR, encoding tags, four-character codes, conversions and clones. No text
// is interpreted; every string built goes through REALBuildUnicodeString, so
// empty results are nil. A length argument never reads past a block whose
// size the host reports: such a length is cut to the block's size. For a
// block of unknown size (the host reports a negative size, as for a block
// made over a pointer) the length is the caller's word and is trusted.
#include "bytes.h"

#include "bytekernels.h"

#include "../objects/hostobjects.h"
#include "../text/strings.h"

#include <stdlib.h>
#include <string.h>

namespace {

// The length to copy from `block`, or -1 for nil: a negative length is
// refused, a length beyond a known size is cut to it.
long UsableLength(REALmemoryBlockStruct* block, long len) {
    if (len < 0) return -1;
    long size = REALMemoryBlockGetSize(block);
    return size >= 0 && len > size ? size : len;
}

// An empty copy is still a block: whatever the host makes of 0 bytes.
REALmemoryBlockStruct* CopyToNewBlock(const void* bytes, long n) {
    return n == 0 ? REALNewMemoryBlock(0) : REALBuildMemoryblock(bytes, (int)n);
}

}  // namespace

// The hash defined by tkz_hash32 (bytekernels.h); BASIC programs store its
// values, so that definition never changes. A nil string hashes as the empty
// one.
long GetHash32(REALstringStruct* s) {
    if (s == nullptr) return 1;
    int32_t n = StringLength(s);
    if (n <= 0) return (long)(uint32_t)(n + 1);
    return (long)tkz_hash32((const unsigned char*)StringText(s), (size_t)n);
}

// The string's bytes through tkz_xorwords (bytekernels.h), in one pass into
// the buffer the host copies; the result is raw bytes.
REALstringStruct* BitwiseXORStringBytes(REALstringStruct* s, long v) {
    if (s == nullptr || StringLength(s) <= 0) return nullptr;
    int32_t n = StringLength(s);
    unsigned char* buf = (unsigned char*)malloc((size_t)n);
    if (buf == nullptr) return nullptr;
    tkz_xorwords(buf, (const unsigned char*)StringText(s), (size_t)n, (unsigned)v);
    REALstringStruct* r = REALBuildUnicodeString(buf, n, kEncRaw);
    free(buf);
    return r;
}

long getStringEncoding(REALstringStruct* s) { return s == nullptr ? 0 : (long)StringEncoding(s); }

void setStringEncoding(REALstringStruct* s, long encoding) { REALSetStringEncoding(s, (unsigned long)encoding); }

REALstringStruct* StringFromOSType(long code) { return REALBuildOSTypeString((unsigned long)code); }

long OSTypeFromString(REALstringStruct* s) { return (long)REALstringToOSType(s); }

REALmemoryBlockStruct* StringToMemoryBlockTKZ(REALstringStruct* s) {
    if (s == nullptr) return nullptr;
    return CopyToNewBlock(StringText(s), StringLength(s));
}

REALstringStruct* MemoryBlockToString1(REALmemoryBlockStruct* block) {
    if (block == nullptr) return nullptr;
    long size = REALMemoryBlockGetSize(block);
    return REALBuildUnicodeString(REALMemoryBlockGetPtr(block), (int)size, kEncRaw);
}

REALstringStruct* MemoryBlockToString2(REALmemoryBlockStruct* block, long len) {
    if (block == nullptr) return nullptr;
    long n = UsableLength(block, len);
    if (n < 1) return nullptr;
    return REALBuildUnicodeString(REALMemoryBlockGetPtr(block), (int)n, kEncRaw);
}

REALstringStruct* CloneString(REALstringStruct* s) {
    if (s == nullptr) return nullptr;
    return REALBuildUnicodeString(StringText(s), StringLength(s), StringEncoding(s));
}

REALmemoryBlockStruct* CloneMemoryBlock1(REALmemoryBlockStruct* block) {
    if (block == nullptr) return nullptr;
    long size = REALMemoryBlockGetSize(block);
    // A block of unknown size cannot be copied whole: there is no length.
    if (size < 0) return nullptr;
    return CopyToNewBlock(REALMemoryBlockGetPtr(block), size);
}

REALmemoryBlockStruct* CloneMemoryBlock2(REALmemoryBlockStruct* block, long len) {
    if (block == nullptr) return nullptr;
    long n = UsableLength(block, len);
    if (n < 0) return nullptr;
    return CopyToNewBlock(REALMemoryBlockGetPtr(block), n);
}
