// Conversions between strings and memory blocks, and clones, with random
// lengths: negative and huge ones against blocks of a known size (cut to the
// size, or refused), and against blocks of unknown size a length that the
// memory behind the block holds, since such a length is trusted by design.
#include "fuzz.h"

#include <climits>
#include <cstring>

using namespace fuzz;

FUZZ_TARGET(Blocks) {
    static const host::MethodDef *toBlock = Global("StringToMemoryBlockTKZ"),
                                 *toString = Global("MemoryBlockToStringTKZ"),
                                 *toStringLen = Global("MemoryBlockToStringWithLengthTKZ"),
                                 *cloneString = Global("CloneStringTKZ"), *cloneBlock = Global("CloneMemoryBlockTKZ"),
                                 *cloneBlockLen = Global("CloneMemoryBlockWithLengthTKZ");
    int shape = in.ConsumeIntegralInRange(0, 2);  // nil, known size, unknown size
    uint32_t enc = PickEncoding(in);
    int32_t len = in.ConsumeBool() ? in.ConsumeIntegral<int32_t>()
                                   : in.ConsumeIntegralInRange<int32_t>(-2, (int32_t)in.remaining_bytes() + 2);
    if (in.ConsumeBool()) len = in.PickValueInArray({INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX});
    std::string bytes = in.ConsumeRemainingBytesAsString();
    if (shape == 2 && len > 65536) len %= 65537;  // the memory behind it must exist
    auto what = [&] {
        return "bytes " + Hex(bytes) + " shape " + std::to_string(shape) + " len " + std::to_string(len);
    };
    host::Host& h = Host();

    void* str = shape == 0 ? nullptr : s.Str(bytes, enc);
    void* block = s.Call(toBlock, {Value::H(str)}).h;
    FUZZ_CHECK(shape == 0 ? block == nullptr : block != nullptr && h.BlockBytes(block) == bytes, what());
    void* clone = s.Call(cloneString, {Value::H(str)}).h;
    FUZZ_CHECK(s.Text(clone) == (shape == 0 ? "nil" : Built(bytes, enc)) && (clone == nullptr || clone != str), what());

    // The block under test; one of unknown size is backed by at least len bytes.
    std::string all = bytes;
    if (shape == 2 && len > 0 && (size_t)len > all.size()) all.resize((size_t)len, '\x5A');
    if (shape == 2) block = s.Own(h.MemoryBlockOver(all.data()));
    bool known = shape == 1;
    // What a length reaches: cut to a known size; trusted for an unknown one.
    int64_t reach = len < 0 ? -1 : known && len > (int64_t)bytes.size() ? (int64_t)bytes.size() : len;
    std::string first = reach > 0 ? all.substr(0, (size_t)reach) : std::string();

    void* whole = s.Call(toString, {Value::H(block)}).h;
    FUZZ_CHECK(s.Text(whole) == (known ? Built(bytes, host::kRaw) : "nil"), what() + " gave " + s.Text(whole));
    void* part = s.Call(toStringLen, {Value::H(block), Value::I(len)}).h;
    FUZZ_CHECK(s.Text(part) == (shape != 0 ? Built(first, host::kRaw) : "nil"), what() + " gave " + s.Text(part));
    void* copy = s.Call(cloneBlock, {Value::H(block)}).h;
    FUZZ_CHECK(known ? copy != nullptr && copy != block && h.BlockBytes(copy) == bytes : copy == nullptr, what());
    void* cut = s.Call(cloneBlockLen, {Value::H(block), Value::I(len)}).h;
    FUZZ_CHECK(shape != 0 && reach >= 0 ? cut != nullptr && h.BlockBytes(cut) == first : cut == nullptr, what());
    if (cut != nullptr) FUZZ_CHECK(h.GetProp(cut, "Size").i == reach, what());
}
