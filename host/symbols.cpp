// The loaded plugin's exported symbols by plain name or by demangled C++
// signature ("REALLockString(REALstringStruct*)"), read from the file's own
// dynamic symbol table.
#include "host.h"

#include <cstdlib>
#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <link.h>

namespace host {

// The dynamic symbols of the loaded file, read from its own ELF tables so
// that C++ names can be found by their demangled signature.
void* Host::Symbol(const std::string& name) {
    if (dl_ == nullptr) return nullptr;
    if (void* p = dlsym(dl_, name.c_str())) return p;
    if (symbols_.empty()) {
        std::ifstream f(path_, std::ios::binary);
        std::string file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (file.size() < sizeof(Elf32_Ehdr)) return nullptr;
        const Elf32_Ehdr* eh = (const Elf32_Ehdr*)file.data();
        const Elf32_Shdr* sh = (const Elf32_Shdr*)(file.data() + eh->e_shoff);
        link_map* lm = nullptr;
        dlinfo(dl_, RTLD_DI_LINKMAP, &lm);
        for (int i = 0; i < eh->e_shnum; ++i) {
            if (sh[i].sh_type != SHT_DYNSYM) continue;
            const Elf32_Sym* syms = (const Elf32_Sym*)(file.data() + sh[i].sh_offset);
            const char* strtab = file.data() + sh[sh[i].sh_link].sh_offset;
            size_t n = sh[i].sh_size / sizeof(Elf32_Sym);
            for (size_t j = 0; j < n; ++j) {
                if (syms[j].st_shndx == SHN_UNDEF || syms[j].st_value == 0) continue;
                const char* raw = strtab + syms[j].st_name;
                int status = 0;
                char* dem = abi::__cxa_demangle(raw, nullptr, nullptr, &status);
                std::string key = status == 0 && dem ? dem : raw;
                free(dem);
                symbols_[key] = (void*)(lm->l_addr + syms[j].st_value);
            }
        }
    }
    auto it = symbols_.find(name);
    return it == symbols_.end() ? nullptr : it->second;
}

}  // namespace host
