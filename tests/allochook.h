// The test process's malloc, calloc, realloc and free, interposed (plain
// builds only: AddressSanitizer brings its own allocator). Allocations whose
// caller lies inside one watched shared object are counted, the k-th of them
// can be made to fail, the blocks they gave that are still live are known
// with their sizes, and so are the return addresses of the calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>

namespace allochook {

// Watches the loaded object whose path ends with `suffix`; false when none.
bool Watch(const char* suffix);
uintptr_t Base();  // the watched object's load address
// Counts from 0 again; the k-th watched allocation from now fails (0: none).
void Reset(long failAt = 0);
bool Failed();                          // the k-th was reached and refused
const std::map<void*, size_t>& Live();  // each live block's size
// Every return address of a watched allocation since Watch.
const std::map<uintptr_t, long>& Callers();
// Called with a live watched block right before free gives it back.
extern std::function<void(void* block, size_t size)> onFree;

}  // namespace allochook
