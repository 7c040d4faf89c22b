// tkzpolicy: the loading policy of tkz.so, what the plugin may ask of the
// system it is loaded on, read from the file itself (its dynamic section,
// version needs, program headers and initialiser tables), the way
// distributors of binary modules check theirs before anything ships. Every
// finding names its culprit: the symbol, library, version or function. The
// tests run it over every build (tests/policy.sh), and scripts/release over
// what it ships.
//   tkzpolicy FILE [SYMBOLS]   exit 0 when FILE meets the policy, 1 when not;
//                              SYMBOLS is a file whose symbol table names
//                              FILE's functions (tkz.so.debug beside a
//                              stripped tkz.so)
#include <elf.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

// ---- the limits, each with its reason ---------------------------------------

// The newest symbol version of each library the plugin may need. The host is
// 32-bit and so is kept running on long-term systems: C library 2.17 is that
// of the oldest ones still supported (2012-2014; the baseline binary Python
// modules are held to as well), and ALSA_0.9 is the interface every alsa-lib
// since 1.0 (2004) defines, all the mixer calls need.
struct VersionLimit {
    const char* prefix;
    const char* newest;
};
const VersionLimit kVersionLimits[] = {{"GLIBC_", "2.17"}, {"ALSA_", "0.9"}};

// The libraries the plugin may need, all present wherever alsa-lib is.
// Anything else (GTK 2 above all) is opened at run time when present.
const char* const kNeeded[] = {
    "libc.so.6",       // the C library
    "libasound.so.2",  // the mixer behind the sound volume
    "libdl.so.2",      // dlopen and dlsym before C library 2.34
};

// Loading the library runs none of the plugin's code and neither does
// unloading it: the host calls REALPluginMain first. Only the toolchain's own
// start-up and shut-down functions may stand in the initialiser tables.
const char kToolchainInit[] = "_init";                       // DT_INIT
const char kToolchainFini[] = "_fini";                       // DT_FINI
const char kToolchainInitArray[] = "frame_dummy";            // DT_INIT_ARRAY
const char kToolchainFiniArray[] = "__do_global_dtors_aux";  // DT_FINI_ARRAY

// Text relocations make the loader write into the code pages, which hardened
// systems refuse and which no process can share. An executable stack (asked
// for by PT_GNU_STACK with X, or by its absence on i386) would turn on
// executable stacks in the whole host process; newer C libraries refuse to
// load such a library at all.

// ---- reading the file ------------------------------------------------------

struct Elf {
    std::string bytes;
    const Elf32_Ehdr* header() const { return reinterpret_cast<const Elf32_Ehdr*>(bytes.data()); }
    template <class T>
    const T* at(size_t offset, size_t count = 1) const {
        return offset + count * sizeof(T) <= bytes.size() ? reinterpret_cast<const T*>(bytes.data() + offset) : nullptr;
    }
    std::vector<Elf32_Shdr> sections() const {
        const Elf32_Shdr* s = at<Elf32_Shdr>(header()->e_shoff, header()->e_shnum);
        return s ? std::vector<Elf32_Shdr>(s, s + header()->e_shnum) : std::vector<Elf32_Shdr>();
    }
    std::vector<Elf32_Phdr> segments() const {
        const Elf32_Phdr* p = at<Elf32_Phdr>(header()->e_phoff, header()->e_phnum);
        return p ? std::vector<Elf32_Phdr>(p, p + header()->e_phnum) : std::vector<Elf32_Phdr>();
    }
    std::string text(const Elf32_Shdr& strtab, Elf32_Word offset) const {
        size_t at = strtab.sh_offset + offset;
        return at < bytes.size() ? std::string(bytes.c_str() + at) : "?";
    }
    // The file offset of a load address.
    const Elf32_Addr* word(Elf32_Addr addr) const {
        for (const Elf32_Shdr& s : sections())
            if (s.sh_type != SHT_NOBITS && s.sh_addr && addr >= s.sh_addr && addr + 4 <= s.sh_addr + s.sh_size)
                return at<Elf32_Addr>(s.sh_offset + (addr - s.sh_addr));
        return nullptr;
    }
};

bool Load(const std::string& path, Elf& elf) {
    std::ifstream in(path, std::ios::binary);
    elf.bytes.assign(std::istreambuf_iterator<char>(in), {});
    const Elf32_Ehdr* h = elf.bytes.size() >= sizeof(Elf32_Ehdr) ? elf.header() : nullptr;
    return h && std::memcmp(h->e_ident, ELFMAG, SELFMAG) == 0 && h->e_ident[EI_CLASS] == ELFCLASS32 &&
           h->e_ident[EI_DATA] == ELFDATA2LSB && h->e_machine == EM_386;
}

// Every section of one type (a file may hold several of SHT_REL).
std::vector<Elf32_Shdr> SectionsOf(const Elf& elf, Elf32_Word type) {
    std::vector<Elf32_Shdr> out;
    for (const Elf32_Shdr& s : elf.sections())
        if (s.sh_type == type) out.push_back(s);
    return out;
}

// Symbol names by address, from a symbol table of type `type`.
std::map<Elf32_Addr, std::string> Functions(const Elf& elf, Elf32_Word type) {
    std::map<Elf32_Addr, std::string> out;
    std::vector<Elf32_Shdr> all = elf.sections();
    for (const Elf32_Shdr& s : SectionsOf(elf, type)) {
        const Elf32_Sym* sym = elf.at<Elf32_Sym>(s.sh_offset, s.sh_size / sizeof(Elf32_Sym));
        for (size_t i = 0; sym && s.sh_link < all.size() && i < s.sh_size / sizeof(Elf32_Sym); ++i)
            if (ELF32_ST_TYPE(sym[i].st_info) == STT_FUNC && sym[i].st_value)
                out[sym[i].st_value] = elf.text(all[s.sh_link], sym[i].st_name);
    }
    return out;
}

// A version's number against a limit: numbered parts compared as numbers; a
// part with anything after its digits ("0rc4") is newer than the plain one.
// -1 when the name is no numbered version at all (GLIBC_PRIVATE).
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

Report Check(const Elf& elf, const Elf& symbols) {
    Report r;
    std::vector<Elf32_Shdr> all = elf.sections();
    std::map<Elf32_Addr, std::string> names = Functions(symbols, SHT_SYMTAB);
    for (const auto& [addr, name] : Functions(elf, SHT_DYNSYM)) names.emplace(addr, name);
    auto nameAt = [&](Elf32_Addr addr) {
        auto it = names.find(addr);
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%x", addr);
        return it != names.end() ? it->second : std::string("the function at ") + hex + " (no symbol table names it)";
    };

    // The dynamic section: needed libraries, text relocations, initialisers.
    std::vector<Elf32_Shdr> dyn = SectionsOf(elf, SHT_DYNAMIC);
    if (dyn.empty() || dyn[0].sh_link >= all.size()) {
        r.faults.push_back("no dynamic section: not a shared object");
        return r;
    }
    const Elf32_Shdr& dynstr = all[dyn[0].sh_link];
    std::map<Elf32_Sword, Elf32_Word> tags;
    std::string needed;
    size_t count = dyn[0].sh_size / sizeof(Elf32_Dyn);
    const Elf32_Dyn* d = elf.at<Elf32_Dyn>(dyn[0].sh_offset, count);
    for (size_t i = 0; d && i < count && d[i].d_tag != DT_NULL; ++i) {
        tags[d[i].d_tag] = d[i].d_un.d_val;
        if (d[i].d_tag != DT_NEEDED) continue;
        std::string lib = elf.text(dynstr, d[i].d_un.d_val);
        needed += " " + lib;
        bool allowed = false;
        for (const char* n : kNeeded) allowed |= lib == n;
        if (!allowed) r.faults.push_back("needs " + lib + ", which is not among the libraries every target system has");
    }
    r.facts.push_back("needs" + needed);
    if (tags.count(DT_TEXTREL) || (tags.count(DT_FLAGS) && (tags[DT_FLAGS] & DF_TEXTREL)))
        r.faults.push_back("has text relocations: the loader would write into its code");
    else r.facts.push_back("no text relocations");

    // Initialisers and finalisers.
    auto single = [&](Elf32_Sword tag, const char* allowed, const char* what) {
        if (!tags.count(tag)) return;
        std::string name = nameAt(tags[tag]);
        if (name != allowed)
            r.faults.push_back(std::string("runs ") + name + " " + what + " (only " + allowed + " may)");
    };
    single(DT_INIT, kToolchainInit, "when loaded");
    single(DT_FINI, kToolchainFini, "when unloaded");
    // i386 relocates these tables in place (REL): an entry holds its target,
    // or 0 and a symbol relocation.
    std::map<Elf32_Addr, std::string> relocated;
    for (const Elf32_Shdr& s : SectionsOf(elf, SHT_REL)) {
        const Elf32_Rel* rel = elf.at<Elf32_Rel>(s.sh_offset, s.sh_size / sizeof(Elf32_Rel));
        const Elf32_Shdr* syms = s.sh_link < all.size() ? &all[s.sh_link] : nullptr;
        for (size_t i = 0; rel && syms && i < s.sh_size / sizeof(Elf32_Rel); ++i) {
            const Elf32_Sym* sym = elf.at<Elf32_Sym>(syms->sh_offset + ELF32_R_SYM(rel[i].r_info) * sizeof(Elf32_Sym));
            if (ELF32_R_SYM(rel[i].r_info) && sym && syms->sh_link < all.size())
                relocated[rel[i].r_offset] = elf.text(all[syms->sh_link], sym->st_name);
        }
    }
    auto table = [&](Elf32_Sword tag, Elf32_Sword size, const char* allowed, const char* what) {
        std::string seen;
        for (Elf32_Addr a = tags.count(tag) ? tags[tag] : 0; a && a < tags[tag] + tags[size]; a += 4) {
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
    if (tags.count(DT_PREINIT_ARRAY)) r.faults.push_back("has a pre-initialiser table");
    table(DT_INIT_ARRAY, DT_INIT_ARRAYSZ, kToolchainInitArray, "when loaded");
    table(DT_FINI_ARRAY, DT_FINI_ARRAYSZ, kToolchainFiniArray, "when unloaded");

    // The stack.
    bool stack = false, execstack = true;
    for (const Elf32_Phdr& p : elf.segments())
        if (p.p_type == PT_GNU_STACK) stack = true, execstack = p.p_flags & PF_X;
    if (execstack)
        r.faults.push_back(stack ? "asks for an executable stack (PT_GNU_STACK with X)"
                                 : "asks for an executable stack (no PT_GNU_STACK)");
    else r.facts.push_back("stack not executable");

    // Version needs: each version against its library's limit, naming the
    // symbols that ask for it.
    std::map<Elf32_Half, std::string> versions;  // index -> name
    std::vector<Elf32_Shdr> vn = SectionsOf(elf, SHT_GNU_verneed);
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
    std::map<std::string, std::string> users;  // version -> symbols
    std::vector<Elf32_Shdr> ds = SectionsOf(elf, SHT_DYNSYM), vs = SectionsOf(elf, SHT_GNU_versym);
    if (!ds.empty() && !vs.empty() && ds[0].sh_link < all.size()) {
        size_t n = ds[0].sh_size / sizeof(Elf32_Sym);
        const Elf32_Sym* sym = elf.at<Elf32_Sym>(ds[0].sh_offset, n);
        const Elf32_Half* ver = elf.at<Elf32_Half>(vs[0].sh_offset, n);
        for (size_t i = 0; sym && ver && i < n; ++i)
            if (sym[i].st_shndx == SHN_UNDEF && versions.count(ver[i] & 0x7fff))
                users[versions[ver[i] & 0x7fff]] += " " + elf.text(all[ds[0].sh_link], sym[i].st_name);
    }
    std::map<std::string, std::string> newest;  // prefix -> newest version seen
    for (const auto& [index, version] : versions) {
        const VersionLimit* limit = nullptr;
        for (const VersionLimit& l : kVersionLimits)
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
    for (const VersionLimit& l : kVersionLimits)
        if (newest.count(l.prefix))
            r.facts.push_back("newest " + newest[l.prefix] + " (at most " + l.prefix + l.newest + ")");
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
    if (argc < 2 || argc > 3 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: tkzpolicy FILE [SYMBOLS]\n");
        return 2;
    }
    Elf elf, symbols;
    for (int i = 1; i < argc; ++i)
        if (!Load(argv[i], i == 1 ? elf : symbols)) {
            std::printf("tkzpolicy: %s: not a readable i386 ELF file\n", argv[i]);
            return 2;
        }
    return Show(argv[1], Check(elf, argc > 2 ? symbols : elf)) ? 0 : 1;
}
