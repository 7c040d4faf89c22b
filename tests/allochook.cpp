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
bool busy = false;  // our own bookkeeping allocates: not watched
std::map<void*, Block>* live;
std::map<uintptr_t, long>* callers;

// True when the call is the plugin's and may go on; false for the refused one.
bool Admit(uintptr_t caller) {
    if (busy || caller < lo || caller >= hi) return true;
    busy = true;
    ++(*callers)[caller];
    busy = false;
    if (++count != failAt) return true;
    failed = true;
    return false;
}

void Track(void* p, size_t size, uintptr_t caller) {
    if (p == nullptr || busy || caller < lo || caller >= hi) return;
    busy = true;
    (*live)[p] = {size, caller};
    busy = false;
}

void Untrack(void* p, bool freeing) {
    if (p == nullptr || busy || live == nullptr) return;
    busy = true;
    auto it = live->find(p);
    if (it != live->end()) {
        if (freeing && onFree) onFree(p, it->second.size);
        live->erase(it);
    }
    busy = false;
}

}  // namespace

bool Watch(const char* suffix) {
    busy = true;
    if (live == nullptr) live = new std::map<void*, Block>, callers = new std::map<uintptr_t, long>;
    busy = false;
    struct Find {
        const char* suffix;
        bool found;
    } find = {suffix, false};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            Find* f = (Find*)data;
            size_t n = strlen(info->dlpi_name), m = strlen(f->suffix);
            if (n < m || strcmp(info->dlpi_name + n - m, f->suffix) != 0) return 0;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[i];
                if (ph.p_type != PT_LOAD || !(ph.p_flags & PF_X)) continue;
                lo = info->dlpi_addr + ph.p_vaddr;
                hi = lo + ph.p_memsz;
                base = info->dlpi_addr;
                f->found = true;
            }
            return 1;
        },
        &find);
    return find.found;
}

uintptr_t Base() { return base; }
void Reset(long k) { count = 0, failAt = k, failed = false; }
long Count() { return count; }
bool Failed() { return failed; }
const std::map<void*, Block>& Live() { return *live; }
const std::map<uintptr_t, long>& Callers() { return *callers; }

}  // namespace allochook

using namespace allochook;

#define CALLER ((uintptr_t)__builtin_return_address(0))

extern "C" void* malloc(size_t n) {
    if (!Admit(CALLER)) return nullptr;
    void* p = __libc_malloc(n);
    Track(p, n, CALLER);
    return p;
}

extern "C" void* calloc(size_t k, size_t n) {
    if (!Admit(CALLER)) return nullptr;
    void* p = __libc_calloc(k, n);
    Track(p, k * n, CALLER);
    return p;
}

extern "C" void* realloc(void* old, size_t n) {
    if (!Admit(CALLER)) return nullptr;  // the old block stays as it was
    Untrack(old, false);
    void* p = __libc_realloc(old, n);
    Track(p, n, CALLER);
    return p;
}

extern "C" void free(void* p) {
    Untrack(p, true);
    __libc_free(p);
}
