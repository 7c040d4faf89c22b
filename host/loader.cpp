// Loading a plugin as the host does (dlopen, then REALPluginMain with the
// resolver), finding its exported symbols by plain name or demangled
// signature, running code in a fresh child process, and a readable listing
// of what a plugin registered.
#include "host.h"
#include "internals.h"

#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <link.h>
#include <map>
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

// The two renderings of the inventory differ only in these texts; {name}
// and the like are filled in by Fill.
struct InventoryStyle {
    const char *globals, *global, *extensions, *extension, *extensionMethod;
    const char *classes, *cls, *property, *method, *sharedMethod, *destructor;
};
const InventoryStyle kListing = {
    "global methods ({count}):\n", "  {n}. {decl}\n",
    "extension methods ({count}):\n", "", "  {name}.{decl}\n",
    "classes ({count}):\n", "  {name}  data {size} bytes\n",
    "    property {name} as {type}  ({access}{detail})\n", "    method {decl}\n", "    shared method {decl}\n",
    "    destructor\n",
};
const InventoryStyle kMarkdown = {
    "| # | Global method |\n|---|---|\n", "| {n} | `{decl}` |\n",
    "", "\n| Extension method of {name} |\n|---|\n", "| `{decl}` |\n",
    "", "\n| {name} | Type | Access |\n|---|---|---|\n",
    "| property `{name}` | {type} | {access} |\n", "| method `{decl}` | | |\n", "| shared method `{decl}` | | |\n",
    "| destructor | | |\n",
};

std::string Fill(const char* text, const std::map<std::string, std::string>& fields) {
    std::string out;
    for (const char* p = text; *p;) {
        const char* close = *p == '{' ? strchr(p, '}') : nullptr;
        auto it = close ? fields.find(std::string(p + 1, close)) : fields.end();
        if (it == fields.end()) { out += *p++; continue; }
        out += it->second;
        p = close + 1;
    }
    return out;
}

}  // namespace

std::string DescribeRegistry(Host& host, Inventory format) {
    const InventoryStyle& st = format == Inventory::Markdown ? kMarkdown : kListing;
    const void* direct = (const void*)(intptr_t)-1;
    Registry& r = host.registry();
    std::string out = Fill(st.globals, {{"count", std::to_string(r.methods.size())}});
    for (size_t i = 0; i < r.methods.size(); ++i)
        out += Fill(st.global, {{"n", std::to_string(i + 1)}, {"decl", r.methods[i]->declaration}});
    size_t ext = 0;
    for (ClassDef* e : r.extensions) ext += e->methodCount;
    out += Fill(st.extensions, {{"count", std::to_string(ext)}});
    for (ClassDef* e : r.extensions) {
        out += Fill(st.extension, {{"name", e->name}});
        for (uint32_t i = 0; i < e->methodCount; ++i)
            out += Fill(st.extensionMethod, {{"name", e->name}, {"decl", e->methods[i].declaration}});
    }
    out += Fill(st.classes, {{"count", std::to_string(r.classes.size())}});
    for (ClassDef* c : r.classes) {
        out += Fill(st.cls, {{"name", c->name}, {"size", std::to_string(c->dataSize)}});
        for (uint32_t i = 0; i < c->propertyCount; ++i) {
            const PropertyDef& p = c->properties[i];
            std::string detail = p.setter != nullptr && p.setter != direct ? ", custom setter" : "";
            if (p.getter != direct) detail += ", custom getter";
            out += Fill(st.property, {{"name", p.name}, {"type", p.type},
                                      {"access", p.setter == nullptr ? "read-only" : "read/write"}, {"detail", detail}});
        }
        for (uint32_t i = 0; i < c->methodCount; ++i) out += Fill(st.method, {{"decl", c->methods[i].declaration}});
        for (uint32_t i = 0; i < c->sharedMethodCount; ++i)
            out += Fill(st.sharedMethod, {{"decl", c->sharedMethods[i].declaration}});
        if (c->destructor) out += st.destructor;
    }
    return out;
}

}  // namespace emu
