// Loading a plugin as the host does (dlopen, then REALPluginMain with the
// resolver), finding its exported symbols by plain name or demangled
// signature, running code in a fresh child process, and a readable listing
// of what a plugin registered.
#include "host.h"
#include "internals.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <link.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace emu {

bool Host::Load(const std::string& path, std::string* error) {
    dl_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (dl_ == nullptr) {
        if (error) *error = std::string("cannot load ") + path + ": " + dlerror();
        return false;
    }
    path_ = path;
    typedef void (*Main)(void* (*)(const char*));
    Main main = (Main)dlsym(dl_, "REALPluginMain");
    if (main == nullptr) {
        if (error) *error = path + " is not a plugin: it has no REALPluginMain";
        return false;
    }
    main(&Host::Resolver);
    return true;
}

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

int RunChild(const std::function<int()>& fn, std::string* output) {
    int fds[2];
    if (output && pipe(fds) != 0) return -1;
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (output) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            close(fds[0]);
            close(fds[1]);
        }
        int rc = fn();
        fflush(stdout);
        fflush(stderr);
        _exit(rc);
    }
    if (output) {
        close(fds[1]);
        char buf[4096];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) output->append(buf, (size_t)n);
        close(fds[0]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) return -WTERMSIG(status);
    return WEXITSTATUS(status);
}

namespace {
std::string Access(const PropertyDef& p) {
    const void* direct = (const void*)(intptr_t)-1;
    if (p.setter == nullptr) return "read-only";
    return p.setter == direct ? "read/write" : "read/write, custom setter";
}
}  // namespace

std::string DescribeRegistry(Host& host) {
    std::ostringstream out;
    Registry& r = host.registry();
    out << "classes (" << r.classes.size() << "):\n";
    for (ClassDef* c : r.classes) {
        out << "  " << c->name << "  data " << c->dataSize << " bytes\n";
        for (uint32_t i = 0; i < c->propertyCount; ++i) {
            const PropertyDef& p = c->properties[i];
            out << "    property " << p.name << " as " << p.type << "  (" << Access(p)
                << (p.getter != (void*)(intptr_t)-1 ? ", custom getter" : "") << ")\n";
        }
        for (uint32_t i = 0; i < c->methodCount; ++i) out << "    method " << c->methods[i].declaration << "\n";
        for (uint32_t i = 0; i < c->sharedMethodCount; ++i)
            out << "    shared method " << c->sharedMethods[i].declaration << "\n";
    }
    size_t ext = 0;
    for (ClassDef* e : r.extensions) ext += e->methodCount;
    out << "extension methods (" << ext << "):\n";
    for (ClassDef* e : r.extensions)
        for (uint32_t i = 0; i < e->methodCount; ++i) out << "  " << e->name << "." << e->methods[i].declaration << "\n";
    out << "global methods (" << r.methods.size() << "):\n";
    for (size_t i = 0; i < r.methods.size(); ++i) out << "  " << (i + 1) << ". " << r.methods[i]->declaration << "\n";
    return out.str();
}

}  // namespace emu
