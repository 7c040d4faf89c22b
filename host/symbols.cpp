// The loaded plugin's exported symbols by plain name or by demangled C++
// signature ("REALLockString(REALstringStruct*)"), read from the file's own
// dynamic symbol table.
#include "elfreader.h"
#include "host.h"

#include <cstdlib>
#include <cxxabi.h>
#include <dlfcn.h>
#include <link.h>

namespace host {

// The dynamic symbols of the loaded file, read from its own ELF tables
// (elfreader.h) so that C++ names can be found by their demangled signature.
void* Host::Symbol(const std::string& name) {
    if (dl_ == nullptr) return nullptr;
    if (void* p = dlsym(dl_, name.c_str())) return p;
    Elf file;
    if (symbols_.empty() && LoadElf(path_, file)) {
        link_map* lm = nullptr;
        dlinfo(dl_, RTLD_DI_LINKMAP, &lm);
        for (const auto& [raw, sym] : file.defined(SHT_DYNSYM)) {
            int status = 0;
            char* dem = abi::__cxa_demangle(raw.c_str(), nullptr, nullptr, &status);
            std::string key = status == 0 && dem ? dem : raw;
            free(dem);
            symbols_[key] = (void*)(lm->l_addr + sym->st_value);
        }
    }
    auto it = symbols_.find(name);
    return it == symbols_.end() ? nullptr : it->second;
}

}  // namespace host
