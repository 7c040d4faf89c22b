// The built file itself: a 32-bit i386 shared object that needs nothing the
// host might lack, runs no code at load, exports its entry point and data
// under plain names, and binds its own references inside itself.
#include "support.h"

#include <cstdio>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>

using tkz::W;

namespace {

std::string Shell(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

#if defined(__SANITIZE_ADDRESS__)
const bool kSanitized = true;
#else
const bool kSanitized = false;
#endif

}  // namespace

TEST(BuiltFile, IsA32BitIntelSharedObject) {
    std::ifstream f(TKZ_PLUGIN, std::ios::binary);
    Elf32_Ehdr h{};
    f.read((char*)&h, sizeof h);
    ASSERT_TRUE(f.good());
    EXPECT_EQ(std::string((const char*)h.e_ident, 4), "\x7f" "ELF");
    EXPECT_EQ(h.e_ident[EI_CLASS], ELFCLASS32);
    EXPECT_EQ(h.e_machine, EM_386);
    EXPECT_EQ(h.e_type, ET_DYN);
}

TEST(BuiltFile, NeedsOnlyTheCLibraryAndAlsa) {
    std::string dyn = Shell(std::string("readelf -d ") + TKZ_PLUGIN);
    ASSERT_NE(dyn.find("Dynamic section"), std::string::npos) << "readelf is needed for this check";
    std::vector<std::string> needed;
    for (const std::string& l : Lines(dyn))
        if (l.find("(NEEDED)") != std::string::npos) needed.push_back(l.substr(l.find('[') + 1, l.find(']') - l.find('[') - 1));
    for (const std::string& n : needed)
        EXPECT_TRUE(n == "libc.so.6" || n == "libm.so.6" || n == "libdl.so.2" || n == "libasound.so.2" ||
                    (kSanitized && (n.rfind("libasan", 0) == 0 || n.rfind("libubsan", 0) == 0)))
            << "unexpected dependency " << n;
    EXPECT_NE(std::find(needed.begin(), needed.end(), "libasound.so.2"), needed.end());
    EXPECT_NE(std::find(needed.begin(), needed.end(), "libc.so.6"), needed.end());
    EXPECT_NE(dyn.find("SYMBOLIC"), std::string::npos) << "references must bind inside the plugin";
}

// The sanitizers add constructors of their own: checked in the plain build.
#if !defined(__SANITIZE_ADDRESS__)
TEST(BuiltFile, RunsNoCodeAtLoad) {
    std::string sections = Shell(std::string("readelf -SW ") + TKZ_PLUGIN);
    bool sawInit = false;
    for (const std::string& l : Lines(sections)) {
        if (l.find(" .init_array") != std::string::npos) {
            sawInit = true;
            // Size column: one 4-byte entry, the toolchain's frame_dummy.
            char name[64], type[64];
            unsigned addr, off, size;
            const char* p = strchr(l.c_str(), ']') + 1;
            ASSERT_EQ(sscanf(p, "%63s %63s %x %x %x", name, type, &addr, &off, &size), 5) << l;
            EXPECT_EQ(size, 4u) << l;
        }
        EXPECT_EQ(l.find(" .ctors"), std::string::npos);
    }
    EXPECT_TRUE(sawInit);
    std::string syms = Shell(std::string("nm ") + TKZ_PLUGIN);
    EXPECT_EQ(syms.find("_GLOBAL__sub_I_"), std::string::npos);
    EXPECT_EQ(syms.find("_GLOBAL__sub_D_"), std::string::npos);
    EXPECT_NE(syms.find("frame_dummy"), std::string::npos);
    // The toolchain's own start files refer to __cxa_finalize; nothing else
    // of the C++ runtime may appear.
    for (const std::string& l : Lines(syms))
        if (l.find("__cxa_") != std::string::npos) EXPECT_NE(l.find("__cxa_finalize"), std::string::npos) << l;
    EXPECT_EQ(syms.find("__gxx_personality"), std::string::npos);
    EXPECT_EQ(syms.find("_Znw"), std::string::npos) << "no operator new";
}
#endif

TEST(BuiltFile, ExportsEntryPointAndDataUnderPlainNames) {
    void* dl = dlopen(TKZ_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(dl, nullptr) << dlerror();
    for (const char* name : {"REALPluginMain", "gResolver", "rbversion_rbversion", "gHasControls", "WriterClass",
                             "ReaderClass", "StyleDataClass", "StyleDataListClass", "timezoneClass",
                             "FolderItemExtension", "Buffer", "gsdll_stdin", "gsdll_stdout", "gsdll_stderr"})
        EXPECT_NE(dlsym(dl, name), nullptr) << name;
    // Loading ran nothing: the resolver is still unset.
    EXPECT_EQ(*(void**)dlsym(dl, "gResolver"), nullptr);
    EXPECT_EQ(*(double*)dlsym(dl, "rbversion_rbversion"), 0.0);
}

PLUGIN_TEST(BuiltFile, OtherFunctionsAreExportedUnderTheirOwnNames) {
    for (const char* name : {"PluginEntry()", "HCallResolver(char const*)", "REALLockString(REALstringStruct*)",
                             "GetHash32(REALstringStruct*)", "MyListAppend(MyListData*&, REALobjectStruct*)",
                             "UnixFilePath(REALfolderItemStruct*)", "ComposeTextColor(long, long, long)"})
        EXPECT_NE(s.host.Symbol(name), nullptr) << name;
    EXPECT_EQ(s.Words("HCallResolver(char const*)", {W("REALLockString")}, "object").h,
              s.host.Resolve("REALLockString"));
}

TEST(BuiltFile, OwnReferencesBindInsideThePlugin) {
    std::string out;
    int rc = emu::RunChild(
        [] {
            void* clash = dlopen(TKZ_BUILD_DIR "/tests/libclash.so", RTLD_NOW | RTLD_GLOBAL);
            if (!clash) return printf("%s\n", dlerror()), 10;
            emu::Host host;
            if (!host.Load(TKZ_PLUGIN, nullptr)) return 11;
            if (host.registry().methods.size() != 39) return 12;
            // The plugin's lock reached the host, not the other library.
            void* str = host.NewString("plain", emu::kASCII);
            void* fast = host.Symbol("REALConvertStringFast(REALstringStruct*, unsigned long)");
            void* same = emu::CallWords(fast, {W(str), emu::kUTF8}, "object").h;
            int* clashCalls = (int*)dlsym(clash, "clashLockCalls");
            if (same != str || host.RefCount(str) != 2 || *clashCalls != 0) return 13;
            // Both keep their own data and functions.
            if (*(void**)dlsym(clash, "gResolver") != nullptr) return 14;
            if (*(void**)host.Symbol("gResolver") != (void*)&emu::Host::Resolver) return 15;
            typedef void (*Lock)(void*);
            ((Lock)dlsym(clash, "_Z14REALLockStringP16REALstringStruct"))(str);
            if (*clashCalls != 1 || host.RefCount(str) != 2) return 16;
            if (std::string((const char*)dlsym(clash, "Buffer")) != "clash") return 17;
            host.Unlock(str);
            host.Unlock(str);
            return host.LiveSince(0).empty() && host.violations.empty() ? 0 : 18;
        },
        &out);
    EXPECT_EQ(rc, 0) << out;
}
