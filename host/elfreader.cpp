// The bounds-checked ELF reader (elfreader.h).
#include "elfreader.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace host {

std::vector<Elf32_Shdr> Elf::sections() const {
    const Elf32_Shdr* s = at<Elf32_Shdr>(header()->e_shoff, header()->e_shnum);
    return s ? std::vector<Elf32_Shdr>(s, s + header()->e_shnum) : std::vector<Elf32_Shdr>();
}

std::vector<Elf32_Phdr> Elf::segments() const {
    const Elf32_Phdr* p = at<Elf32_Phdr>(header()->e_phoff, header()->e_phnum);
    return p ? std::vector<Elf32_Phdr>(p, p + header()->e_phnum) : std::vector<Elf32_Phdr>();
}

std::vector<Elf32_Shdr> Elf::sectionsOf(Elf32_Word type) const {
    std::vector<Elf32_Shdr> out;
    for (const Elf32_Shdr& s : sections())
        if (s.sh_type == type) out.push_back(s);
    return out;
}

std::string Elf::text(const Elf32_Shdr& strtab, Elf32_Word offset) const {
    size_t start = (size_t)strtab.sh_offset + offset, end = (size_t)strtab.sh_offset + strtab.sh_size;
    if (offset >= strtab.sh_size || end > bytes.size()) return "?";
    const char* p = bytes.data() + start;
    const void* nul = memchr(p, 0, end - start);
    return nul ? std::string(p) : "?";
}

const Elf32_Addr* Elf::word(Elf32_Addr addr) const {
    for (const Elf32_Shdr& s : sections())
        if (s.sh_type != SHT_NOBITS && s.sh_addr && addr >= s.sh_addr && addr - s.sh_addr + 4 <= s.sh_size)
            return at<Elf32_Addr>(s.sh_offset + (addr - s.sh_addr));
    return nullptr;
}

std::map<std::string, const Elf32_Sym*> Elf::defined(Elf32_Word type) const {
    std::map<std::string, const Elf32_Sym*> out;
    std::vector<Elf32_Shdr> all = sections();
    for (const Elf32_Shdr& s : sectionsOf(type)) {
        size_t n = s.sh_size / sizeof(Elf32_Sym);
        const Elf32_Sym* sym = at<Elf32_Sym>(s.sh_offset, n);
        for (size_t i = 0; sym && s.sh_link < all.size() && i < n; ++i)
            if (sym[i].st_shndx != SHN_UNDEF && sym[i].st_value != 0)
                out.emplace(text(all[s.sh_link], sym[i].st_name), &sym[i]);
    }
    return out;
}

bool LoadElf(const std::string& path, Elf& elf) {
    std::ifstream in(path, std::ios::binary);
    elf.bytes.assign(std::istreambuf_iterator<char>(in), {});
    const Elf32_Ehdr* h = elf.at<Elf32_Ehdr>(0);
    return h && std::memcmp(h->e_ident, ELFMAG, SELFMAG) == 0 && h->e_ident[EI_CLASS] == ELFCLASS32 &&
           h->e_ident[EI_DATA] == ELFDATA2LSB && h->e_machine == EM_386;
}

}  // namespace host
