// The built file itself: it exports its entry point and data under plain
// names and binds its own references inside itself. What it may need of the
// system, and that loading it runs none of its code, is the loading
// policy's (tests/policy.sh).
#include "support.h"

#include "text/strings.h"

#include <dlfcn.h>

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
    int rc = host::RunChild(
        [] {
            void* clash = dlopen(TKZ_BUILD_DIR "/tests/libclash.so", RTLD_NOW | RTLD_GLOBAL);
            if (!clash) return printf("%s\n", dlerror()), 10;
            host::Host host;
            if (!host.Load(TKZ_PLUGIN, nullptr) || host.registry().methods.size() != 39) return 11;
            // The plugin's lock reached the host, not the other library.
            void* str = host.NewString("plain", host::kASCII);
            void* same = TKZ_FN(REALConvertStringFast)(str, host::kUTF8);
            int* clashCalls = (int*)dlsym(clash, "clashLockCalls");
            if (same != str || host.RefCount(str) != 2 || *clashCalls != 0) return 13;
            // Both keep their own data and functions.
            if (*(void**)dlsym(clash, "gResolver") != nullptr || *TKZ_DATA(gResolver) != &host::Host::Resolver)
                return 14;
            ((void (*)(void*))dlsym(clash, TKZ_SYMBOL(REALLockString).c_str()))(str);
            if (*clashCalls != 1 || host.RefCount(str) != 2 ||
                std::string((const char*)dlsym(clash, "Buffer")) != "clash")
                return 16;
            host.Unlock(str);
            host.Unlock(str);
            return host.LiveSince(0).empty() && host.violations.empty() ? 0 : 18;
        },
        &out);
    EXPECT_EQ(rc, 0) << out;
}
