// tkzpolicy: the loading policies of what the release ships, read from each
// file itself (its dynamic section, version needs, program headers and
// initialiser tables), the way distributors of binary modules check theirs
// before anything ships. Every finding names its culprit: the symbol,
// library, version or function. The tests run it over every build
// (tests/policy.sh), and scripts/release over what it ships.
//   tkzpolicy FILE [SYMBOLS]   the plugin's policy; SYMBOLS is a file whose
//                              symbol table names FILE's functions
//                              (tkz.so.debug beside a stripped tkz.so)
//   tkzpolicy --tool FILE      the policy of the tkzhost the release ships
// Exit 0 when FILE meets the policy, 1 when not.
#include "elfreader.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// ---- the limits, each with its reason ---------------------------------------

// The newest symbol version of each library a file may need.
struct VersionLimit {
    const char* prefix;
    const char* newest;
};

struct Policy {
    std::vector<VersionLimit> versions;
    std::vector<const char*> needed;  // the libraries it may need
    const char* interpreter;          // an executable's loader; none for a library
};

// The plugin. The host is 32-bit and so is kept running on long-term
// systems: C library 2.17 is that of the oldest ones still supported
// (2012-2014; the baseline binary Python modules are held to as well), and
// ALSA_0.9 is the interface every alsa-lib since 1.0 (2004) defines, all
// the mixer calls need. Its libraries are all present wherever alsa-lib is;
// anything else (GTK 2 above all) is opened at run time when present.
const Policy kPlugin = {{{"GLIBC_", "2.17"}, {"ALSA_", "0.9"}},
                        {
                            "libc.so.6",       // the C library
                            "libasound.so.2",  // the mixer behind the sound volume
                            "libdl.so.2",      // dlopen and dlsym before C library 2.34
                        },
                        nullptr};

// tkzhost as the release ships it, built on Debian 11 with its C++ runtime,
// unwinder and line editor linked in: it may need the C library of Debian
// 11 (2.31) and what belongs to it, and libgcc_s of Debian 11's GCC 10,
// which every system with that C library has too. Nothing else: libedit,
// the terminal library and libstdc++ are missing or too new on the systems
// it is for.
const Policy kTool = {{{"GLIBC_", "2.31"}, {"GCC_", "7.0.0"}},
                      {"libc.so.6", "libm.so.6", "libdl.so.2", "libpthread.so.0", "libgcc_s.so.1", "ld-linux.so.2"},
                      "/lib/ld-linux.so.2"};

// Loading the plugin runs none of its code and neither does unloading it:
// the host calls REALPluginMain first. Only the toolchain's own start-up and
// shut-down functions may stand in the initialiser tables.
const char kToolchainInit[] = "_init";                       // DT_INIT
const char kToolchainFini[] = "_fini";                       // DT_FINI
const char kToolchainInitArray[] = "frame_dummy";            // DT_INIT_ARRAY
const char kToolchainFiniArray[] = "__do_global_dtors_aux";  // DT_FINI_ARRAY

// For both: text relocations make the loader write into the code pages,
// which hardened systems refuse and which no process can share. An
// executable stack (asked for by PT_GNU_STACK with X, or by its absence on
// i386) would turn on executable stacks in the whole host process; newer C
// libraries refuse to load such a library at all.

// ---- reading the file: the host's bounds-checked reader (elfreader.h) --------------

using host::Elf;

// Symbol names by address, from a symbol table of type `type`.
std::map<Elf32_Addr, std::string> Functions(const Elf& elf, Elf32_Word type) {
    std::map<Elf32_Addr, std::string> out;
    std::vector<Elf32_Shdr> all = elf.sections();
    for (const Elf32_Shdr& s : elf.sectionsOf(type)) {
        const Elf32_Sym* sym = elf.at<Elf32_Sym>(s.sh_offset, s.sh_size / sizeof(Elf32_Sym));
        for (size_t i = 0; sym && s.sh_link < all.size() && i < s.sh_size / sizeof(Elf32_Sym); ++i)
            if (ELF32_ST_TYPE(sym[i].st_info) == STT_FUNC && sym[i].st_value)
                out[sym[i].st_value] = elf.text(all[s.sh_link], sym[i].st_name);
    }
    return out;
}

// A version's number against a limit: numbered parts compared as numbers; a
// part with anything after its digits ("0rc4") is newer than the plain one.
// 2 when the name is no numbered version at all (GLIBC_PRIVATE).
int Compare(const std::string& version, const std::string& limit) {
    const char *a = version.c_str(), *b = limit.c_str();
    while (*a || *b) {
        if (!*a) return -1;
        if (!*b) return 1;
        char *ea, *eb;
        unsigned long na = std::strtoul(a, &ea, 10), nb = std::strtoul(b, &eb, 10);
        if (ea == a) return 2;
        if (na != nb) return na < nb ? -1 : 1;
        size_t ra = std::strcspn(ea, "."), rb = std::strcspn(eb, ".");
        if (ra != rb || std::strncmp(ea, eb, ra) != 0) return ra < rb ? -1 : 1;
        a = ea + ra + (ea[ra] == '.');
        b = eb + rb + (eb[rb] == '.');
    }
    return 0;
}

struct Report {
    std::vector<std::string> faults;
    std::vector<std::string> facts;
};

// The dynamic section's entries by tag (the last of each), and the string
// table its DT_NEEDED entries point into.
struct Dynamic {
    std::map<Elf32_Sword, Elf32_Word> tags;
    std::vector<std::string> needed;
};

bool ReadDynamic(const Elf& elf, Dynamic& out) {
    std::vector<Elf32_Shdr> all = elf.sections(), dyn = elf.sectionsOf(SHT_DYNAMIC);
    if (dyn.empty() || dyn[0].sh_link >= all.size()) return false;
    size_t count = dyn[0].sh_size / sizeof(Elf32_Dyn);
    const Elf32_Dyn* d = elf.at<Elf32_Dyn>(dyn[0].sh_offset, count);
    for (size_t i = 0; d && i < count && d[i].d_tag != DT_NULL; ++i) {
        out.tags[d[i].d_tag] = d[i].d_un.d_val;
        if (d[i].d_tag == DT_NEEDED) out.needed.push_back(elf.text(all[dyn[0].sh_link], d[i].d_un.d_val));
    }
    return true;
}

// Needed libraries, the loader and text relocations.
void CheckLinking(const Elf& elf, const Dynamic& dyn, const Policy& policy, Report& r) {
    std::string needed;
    for (const std::string& lib : dyn.needed) {
        needed += " " + lib;
        bool allowed = false;
        for (const char* n : policy.needed) allowed |= lib == n;
        if (!allowed) r.faults.push_back("needs " + lib + ", which is not among the libraries every target system has");
    }
    r.facts.push_back("needs" + needed);
    if (policy.interpreter) {
        std::string loader;
        for (const Elf32_Phdr& p : elf.segments())
            if (p.p_type == PT_INTERP && elf.at<char>(p.p_offset, p.p_filesz)) loader = elf.bytes.c_str() + p.p_offset;
        if (loader.empty()) r.faults.push_back("names no loader (PT_INTERP): not an executable");
        else if (loader != policy.interpreter)
            r.faults.push_back("is loaded by " + loader + ", not " + policy.interpreter);
        else r.facts.push_back("loaded by " + loader);
    }
    auto flags = dyn.tags.find(DT_FLAGS);
    if (dyn.tags.count(DT_TEXTREL) || (flags != dyn.tags.end() && (flags->second & DF_TEXTREL)))
        r.faults.push_back("has text relocations: the loader would write into its code");
    else r.facts.push_back("no text relocations");
}

// The plugin's initialisers and finalisers: the toolchain's alone.
void CheckInitialisers(const Elf& elf, const Elf& symbols, const Dynamic& dyn, Report& r) {
    std::vector<Elf32_Shdr> all = elf.sections();
    std::map<Elf32_Addr, std::string> names = Functions(symbols, SHT_SYMTAB);
    for (const auto& [addr, name] : Functions(elf, SHT_DYNSYM)) names.emplace(addr, name);
    auto nameAt = [&](Elf32_Addr addr) {
        auto it = names.find(addr);
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%x", addr);
        return it != names.end() ? it->second : std::string("the function at ") + hex + " (no symbol table names it)";
    };
    auto tag = [&](Elf32_Sword t) { return dyn.tags.count(t) ? dyn.tags.at(t) : 0; };
    auto single = [&](Elf32_Sword t, const char* allowed, const char* what) {
        std::string name = tag(t) ? nameAt(tag(t)) : allowed;
        if (name != allowed)
            r.faults.push_back(std::string("runs ") + name + " " + what + " (only " + allowed + " may)");
    };
    single(DT_INIT, kToolchainInit, "when loaded");
    single(DT_FINI, kToolchainFini, "when unloaded");
    // i386 relocates these tables in place (REL): an entry holds its target,
    // or 0 and a symbol relocation.
    std::map<Elf32_Addr, std::string> relocated;
    for (const Elf32_Shdr& s : elf.sectionsOf(SHT_REL)) {
        const Elf32_Rel* rel = elf.at<Elf32_Rel>(s.sh_offset, s.sh_size / sizeof(Elf32_Rel));
        const Elf32_Shdr* syms = s.sh_link < all.size() ? &all[s.sh_link] : nullptr;
        for (size_t i = 0; rel && syms && i < s.sh_size / sizeof(Elf32_Rel); ++i) {
            const Elf32_Sym* sym = elf.at<Elf32_Sym>(syms->sh_offset + ELF32_R_SYM(rel[i].r_info) * sizeof(Elf32_Sym));
            if (ELF32_R_SYM(rel[i].r_info) && sym && syms->sh_link < all.size())
                relocated[rel[i].r_offset] = elf.text(all[syms->sh_link], sym->st_name);
        }
    }
    auto table = [&](Elf32_Sword start, Elf32_Sword size, const char* allowed, const char* what) {
        std::string seen;
        for (Elf32_Addr a = tag(start); a && a < tag(start) + tag(size); a += 4) {
            const Elf32_Addr* entry = elf.word(a);
            std::string name = !entry               ? "an entry outside the file"
                               : relocated.count(a) ? relocated[a]
                                                    : nameAt(*entry);
            seen += " " + name;
            if (name != allowed)
                r.faults.push_back(std::string("runs ") + name + " " + what + " (only " + allowed + " may)");
        }
        r.facts.push_back(std::string(what) + ":" + (seen.empty() ? " nothing" : seen));
    };
    if (tag(DT_PREINIT_ARRAY)) r.faults.push_back("has a pre-initialiser table");
    table(DT_INIT_ARRAY, DT_INIT_ARRAYSZ, kToolchainInitArray, "when loaded");
    table(DT_FINI_ARRAY, DT_FINI_ARRAYSZ, kToolchainFiniArray, "when unloaded");
}

void CheckStack(const Elf& elf, Report& r) {
    bool stack = false, execstack = true;
    for (const Elf32_Phdr& p : elf.segments())
        if (p.p_type == PT_GNU_STACK) stack = true, execstack = p.p_flags & PF_X;
    if (execstack)
        r.faults.push_back(stack ? "asks for an executable stack (PT_GNU_STACK with X)"
                                 : "asks for an executable stack (no PT_GNU_STACK)");
    else r.facts.push_back("stack not executable");
}

// The versions the file needs, by index, and the symbols that ask for each.
void ReadVersions(const Elf& elf, std::map<Elf32_Half, std::string>& versions,
                  std::map<std::string, std::string>& users) {
    std::vector<Elf32_Shdr> all = elf.sections(), vn = elf.sectionsOf(SHT_GNU_verneed);
    for (size_t off = vn.empty() ? 0 : vn[0].sh_offset; !vn.empty() && off;) {
        const Elf32_Verneed* need = elf.at<Elf32_Verneed>(off);
        if (!need || vn[0].sh_link >= all.size()) break;
        for (size_t aoff = off + need->vn_aux; aoff;) {
            const Elf32_Vernaux* aux = elf.at<Elf32_Vernaux>(aoff);
            if (!aux) break;
            versions[aux->vna_other] = elf.text(all[vn[0].sh_link], aux->vna_name);
            aoff = aux->vna_next ? aoff + aux->vna_next : 0;
        }
        off = need->vn_next ? off + need->vn_next : 0;
    }
    std::vector<Elf32_Shdr> ds = elf.sectionsOf(SHT_DYNSYM), vs = elf.sectionsOf(SHT_GNU_versym);
    if (ds.empty() || vs.empty() || ds[0].sh_link >= all.size()) return;
    size_t n = ds[0].sh_size / sizeof(Elf32_Sym);
    const Elf32_Sym* sym = elf.at<Elf32_Sym>(ds[0].sh_offset, n);
    const Elf32_Half* ver = elf.at<Elf32_Half>(vs[0].sh_offset, n);
    for (size_t i = 0; sym && ver && i < n; ++i)
        if (sym[i].st_shndx == SHN_UNDEF && versions.count(ver[i] & 0x7fff))
            users[versions[ver[i] & 0x7fff]] += " " + elf.text(all[ds[0].sh_link], sym[i].st_name);
}

// Each version against its library's limit, naming the symbols that ask for it.
void CheckVersions(const Elf& elf, const Policy& policy, Report& r) {
    std::map<Elf32_Half, std::string> versions;  // index -> name
    std::map<std::string, std::string> users;    // version -> symbols
    ReadVersions(elf, versions, users);
    std::map<std::string, std::string> newest;  // prefix -> newest version seen
    for (const auto& [index, version] : versions) {
        const VersionLimit* limit = nullptr;
        for (const VersionLimit& l : policy.versions)
            if (version.rfind(l.prefix, 0) == 0) limit = &l;
        std::string who = users.count(version) ? " (for" + users[version] + ")" : "";
        if (!limit) {
            r.faults.push_back("needs version " + version + who + " of a library without a limit");
            continue;
        }
        std::string number = version.substr(std::strlen(limit->prefix));
        int c = Compare(number, limit->newest);
        if (c == 2) r.faults.push_back("needs " + version + who + ", which is no numbered public version");
        else if (c > 0) r.faults.push_back("needs " + version + who + ", newer than " + limit->prefix + limit->newest);
        std::string& seen = newest[limit->prefix];
        if (c != 2 && (seen.empty() || Compare(number, seen.substr(seen.find('_') + 1)) > 0)) seen = version;
    }
    for (const VersionLimit& l : policy.versions)
        if (newest.count(l.prefix))
            r.facts.push_back("newest " + newest[l.prefix] + " (at most " + l.prefix + l.newest + ")");
}

Report Check(const Elf& elf, const Elf& symbols, const Policy& policy) {
    Report r;
    Dynamic dyn;
    if (!ReadDynamic(elf, dyn)) {
        r.faults.push_back(policy.interpreter ? "no dynamic section: not a dynamically linked executable"
                                              : "no dynamic section: not a shared object");
        return r;
    }
    CheckLinking(elf, dyn, policy, r);
    if (!policy.interpreter) CheckInitialisers(elf, symbols, dyn, r);
    CheckStack(elf, r);
    CheckVersions(elf, policy, r);
    return r;
}

// Prints the report; true when the file meets the policy.
bool Show(const std::string& path, const Report& r) {
    for (const std::string& f : r.faults) std::printf("tkzpolicy: %s: %s\n", path.c_str(), f.c_str());
    if (!r.faults.empty()) return false;
    for (const std::string& f : r.facts) std::printf("tkzpolicy: %s: %s\n", path.c_str(), f.c_str());
    std::printf("tkzpolicy: %s meets the policy\n", path.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bool tool = argc == 3 && std::strcmp(argv[1], "--tool") == 0;
    if (argc < 2 || argc > 3 || (argv[1][0] == '-' && !tool)) {
        std::fprintf(stderr, "usage: tkzpolicy FILE [SYMBOLS]\n       tkzpolicy --tool FILE\n");
        return 2;
    }
    char** files = argv + 1 + tool;
    int count = argc - 1 - tool;
    Elf elf, symbols;
    for (int i = 0; i < count; ++i)
        if (!host::LoadElf(files[i], i == 0 ? elf : symbols)) {
            std::printf("tkzpolicy: %s: not a readable i386 ELF file\n", files[i]);
            return 2;
        }
    return Show(files[0], Check(elf, count > 1 ? symbols : elf, tool ? kTool : kPlugin)) ? 0 : 1;
}
