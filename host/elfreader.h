// One bounds-checked reader of 32-bit ELF files, for the emulated host's
// symbol lookup (symbols.cpp) and the loading policy (tkzpolicy), which reads
// files it did not make: every table is checked to lie inside the file
// before it is read, and a name outside its string table reads as "?".
#pragma once

#include <elf.h>

#include <map>
#include <string>
#include <vector>

namespace host {

struct Elf {
    std::string bytes;
    const Elf32_Ehdr* header() const { return reinterpret_cast<const Elf32_Ehdr*>(bytes.data()); }
    // `count` objects of type T at `offset`, or nullptr past the file's end.
    template <class T>
    const T* at(size_t offset, size_t count = 1) const {
        return offset <= bytes.size() && count <= (bytes.size() - offset) / sizeof(T)
                   ? reinterpret_cast<const T*>(bytes.data() + offset)
                   : nullptr;
    }
    std::vector<Elf32_Shdr> sections() const;
    std::vector<Elf32_Phdr> segments() const;
    // Every section of one type (a file may hold several of SHT_REL).
    std::vector<Elf32_Shdr> sectionsOf(Elf32_Word type) const;
    // The zero-terminated name at `offset` of the string table `strtab`.
    std::string text(const Elf32_Shdr& strtab, Elf32_Word offset) const;
    // The word at a load address, or nullptr where no section holds it.
    const Elf32_Addr* word(Elf32_Addr addr) const;
    // The symbols of every table of type `type` (SHT_SYMTAB, SHT_DYNSYM)
    // that are defined (not undefined, value not 0), by name.
    std::map<std::string, const Elf32_Sym*> defined(Elf32_Word type) const;
};

// Reads `path` whole; false unless it is a little-endian i386 ELF file.
bool LoadElf(const std::string& path, Elf& elf);

}  // namespace host
