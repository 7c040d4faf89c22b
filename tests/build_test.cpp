// The built file itself: a 32-bit i386 shared object that needs nothing the
// host might lack, runs no code at load, exports its entry point and data
// under plain names, and binds its own references inside itself.
#include "support.h"

#include "text/strings.h"

#include <cstdio>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>

using tkz::Shell;

static const size_t npos = std::string::npos;

TEST(BuiltFile, IsA32BitIntelSharedObject) {
    std::ifstream f(TKZ_PLUGIN, std::ios::binary);
    Elf32_Ehdr h{};
    f.read((char*)&h, sizeof h);
    ASSERT_TRUE(f.good());
    EXPECT_TRUE(std::string((const char*)h.e_ident, 4) == "\x7f" "ELF" && h.e_ident[EI_CLASS] == ELFCLASS32 &&
                h.e_machine == EM_386 && h.e_type == ET_DYN);
}

TEST(BuiltFile, NeedsOnlyTheCLibraryAndAlsa) {
    std::string dyn = Shell(std::string("readelf -d ") + TKZ_PLUGIN);
    ASSERT_NE(dyn.find("Dynamic section"), npos) << "readelf is needed for this check";
    std::set<std::string> needed;
    const std::string lib = "Shared library: [";
    for (size_t at = dyn.find(lib); at != npos; at = dyn.find(lib, at + 1))
        needed.insert(dyn.substr(at + lib.size(), dyn.find(']', at) - at - lib.size()));
    const std::set<std::string> allowed = {"libc.so.6", "libm.so.6", "libdl.so.2", "libasound.so.2"};
    for (const std::string& n : needed)
        EXPECT_TRUE(allowed.count(n) || (tkz::kSanitized && (n.rfind("libasan", 0) == 0 || n.rfind("libubsan", 0) == 0)))
            << "unexpected dependency " << n;
    EXPECT_TRUE(needed.count("libasound.so.2") && needed.count("libc.so.6"));
    EXPECT_NE(dyn.find("SYMBOLIC"), npos) << "references must bind inside the plugin";
}

// The sanitizers add constructors of their own: checked in the plain build.
#if !defined(__SANITIZE_ADDRESS__)
TEST(BuiltFile, RunsNoCodeAtLoad) {
    std::string sections = Shell(std::string("readelf -SW ") + TKZ_PLUGIN);
    EXPECT_EQ(sections.find(" .ctors"), npos);
    // One 4-byte entry in .init_array: the toolchain's frame_dummy.
    size_t at = sections.find(" .init_array ");
    ASSERT_NE(at, npos) << sections;
    unsigned size = 0;
    ASSERT_EQ(sscanf(sections.c_str() + at + 12, "%*s %*x %*x %x", &size), 1);  // type, address, offset, size
    EXPECT_EQ(size, 4u);
    std::string syms = Shell(std::string("nm ") + TKZ_PLUGIN);
    for (const char* absent : {"_GLOBAL__sub_I_", "_GLOBAL__sub_D_", "__gxx_personality", "_Znw"})
        EXPECT_EQ(syms.find(absent), npos) << absent;
    EXPECT_NE(syms.find("frame_dummy"), npos);
    // The toolchain's own start files refer to __cxa_finalize; nothing else
    // of the C++ runtime may appear.
    for (at = syms.find("__cxa_"); at != npos; at = syms.find("__cxa_", at + 1))
        EXPECT_EQ(syms.compare(at, 14, "__cxa_finalize"), 0) << syms.substr(at, 40);
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
    EXPECT_TRUE(*(void**)dlsym(dl, "gResolver") == nullptr && *(double*)dlsym(dl, "rbversion_rbversion") == 0.0);
}

// The suites find every other function under the symbol its declaration
// makes; this forwarder nothing calls.
PLUGIN_TEST(BuiltFile, OtherFunctionsAreExportedUnderTheirOwnNames) {
    EXPECT_EQ(TKZ_FN(HCallResolver)("REALLockString"), s.host.Resolve("REALLockString"));
}

TEST(BuiltFile, OwnReferencesBindInsideThePlugin) {
    std::string out;
    int rc = emu::RunChild([] {
        void* clash = dlopen(TKZ_BUILD_DIR "/tests/libclash.so", RTLD_NOW | RTLD_GLOBAL);
        if (!clash) return printf("%s\n", dlerror()), 10;
        emu::Host host;
        if (!host.Load(TKZ_PLUGIN, nullptr) || host.registry().methods.size() != 39) return 11;
        // The plugin's lock reached the host, not the other library.
        void* str = host.NewString("plain", emu::kASCII);
        void* same = TKZ_FN(REALConvertStringFast)(str, emu::kUTF8);
        int* clashCalls = (int*)dlsym(clash, "clashLockCalls");
        if (same != str || host.RefCount(str) != 2 || *clashCalls != 0) return 13;
        // Both keep their own data and functions.
        if (*(void**)dlsym(clash, "gResolver") != nullptr || *TKZ_DATA(gResolver) != &emu::Host::Resolver)
            return 14;
        ((void (*)(void*))dlsym(clash, TKZ_SYMBOL(REALLockString).c_str()))(str);
        if (*clashCalls != 1 || host.RefCount(str) != 2 || std::string((const char*)dlsym(clash, "Buffer")) != "clash")
            return 16;
        host.Unlock(str);
        host.Unlock(str);
        return host.LiveSince(0).empty() && host.violations.empty() ? 0 : 18;
    }, &out);
    EXPECT_EQ(rc, 0) << out;
}
