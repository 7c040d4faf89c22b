#include "allochook.h"

#include <cstring>
#include <link.h>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
}

namespace allochook {

std::function<void(void*, size_t)> onFree;

namespace {

uintptr_t lo = 0, hi = 0, base = 0;
long count = 0, failAt = 0;
bool failed = false;
bool busy = false;  // set while our own bookkeeping allocates: that is not watched
std::map<void*, size_t>* live;
std::map<uintptr_t, long>* callers;

template <class F>
void Unwatched(F f) {
    busy = true, f(), busy = false;
}

void Untrack(void* p, bool freeing) {
    if (p == nullptr || busy || live == nullptr) return;
    Unwatched([&] {
        auto it = live->find(p);
        if (it == live->end()) return;
        if (freeing && onFree) onFree(p, it->second);
        live->erase(it);
    });
}

}  // namespace

// `alloc` makes the block of n bytes that `caller` asked for, unless this
// is the watched allocation to refuse.
template <class F>
void* Allocate(uintptr_t caller, size_t n, F alloc) {
    if (busy || caller < lo || caller >= hi) return alloc();
    Unwatched([&] { ++(*callers)[caller]; });
    if (++count == failAt) return failed = true, nullptr;
    void* p = alloc();
    if (p != nullptr) Unwatched([&] { (*live)[p] = n; });
    return p;
}

bool Watch(const char* suffix) {
    Unwatched([] {
        if (live == nullptr) live = new std::map<void*, size_t>, callers = new std::map<uintptr_t, long>;
    });
    auto find = [](dl_phdr_info* info, size_t, void* data) {
        size_t n = strlen(info->dlpi_name), m = strlen((const char*)data);
        if (n < m || strcmp(info->dlpi_name + n - m, (const char*)data) != 0) return 0;
        for (int i = 0; i < info->dlpi_phnum; ++i) {
            const ElfW(Phdr)& ph = info->dlpi_phdr[i];
            if (ph.p_type == PT_LOAD && (ph.p_flags & PF_X)) lo = info->dlpi_addr + ph.p_vaddr, hi = lo + ph.p_memsz;
        }
        base = info->dlpi_addr;
        return hi > lo ? 1 : 0;
    };
    return dl_iterate_phdr(find, (void*)suffix) != 0;
}

uintptr_t Base() { return base; }
void Reset(long k) { count = 0, failAt = k, failed = false; }
bool Failed() { return failed; }
const std::map<void*, size_t>& Live() { return *live; }
const std::map<uintptr_t, long>& Callers() { return *callers; }

}  // namespace allochook

#define CALLER ((uintptr_t)__builtin_return_address(0))

extern "C" void* malloc(size_t n) {
    return allochook::Allocate(CALLER, n, [&] { return __libc_malloc(n); });
}
extern "C" void* calloc(size_t k, size_t n) {
    return allochook::Allocate(CALLER, k * n, [&] { return __libc_calloc(k, n); });
}
// A refused reallocation leaves the old block as it was.
extern "C" void* realloc(void* old, size_t n) {
    return allochook::Allocate(CALLER, n, [&] { return allochook::Untrack(old, false), __libc_realloc(old, n); });
}
extern "C" void free(void* p) { allochook::Untrack(p, true), __libc_free(p); }
