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
    // Loading ran nothing: the resolver and the version are still unset.
    EXPECT_EQ(*(void**)dlsym(dl, "gResolver"), nullptr);
    EXPECT_EQ(*(double*)dlsym(dl, "rbversion_rbversion"), 0.0);
}

// Every member the plugin registers, counted by kind (the count of members
// is what tkzhost's banner says).
PLUGIN_TEST(BuiltFile, RegistersEveryMember) {
    host::Registry& r = s.host.registry();
    size_t extension = 0, members = r.methods.size();
    for (host::ClassDef* e : r.extensions) extension += e->methodCount;
    for (host::ClassDef* c : r.classes) members += c->propertyCount + c->methodCount + c->sharedMethodCount;
    EXPECT_EQ(r.methods.size(), tkz::kGlobalMethods);
    EXPECT_EQ(extension, tkz::kExtensionMethods);
    EXPECT_EQ(r.classes.size(), tkz::kClasses);
    EXPECT_EQ(members + extension, tkz::kMembers);
}

// The suites find every other function under the symbol its declaration
// makes; this forwarder nothing calls.
PLUGIN_TEST(BuiltFile, OtherFunctionsAreExportedUnderTheirOwnNames) {
    EXPECT_EQ(TKZ_FN(HCallResolver)("REALLockString"), s.host.Resolve("REALLockString"));
}

// In the child, each fact that fails is printed and ends the check: the
// parent shows what was wrong.
#define TKZ_CHILD_EXPECT(fact, what) \
    if (!(fact)) return printf("%s\n", what), 1

TEST(BuiltFile, OwnReferencesBindInsideThePlugin) {
    std::string out;
    int rc = host::RunChild(
        [] {
            void* clash = dlopen(TKZ_BUILD_DIR "/tests/libclash.so", RTLD_NOW | RTLD_GLOBAL);
            TKZ_CHILD_EXPECT(clash, dlerror());
            host::Host host;
            std::string error;
            TKZ_CHILD_EXPECT(host.Load(TKZ_PLUGIN, &error), error.c_str());
            // The plugin's lock reached the host, not the other library.
            void* str = host.NewString("plain", host::kASCII);
            void* same = TKZ_FN(REALConvertStringFast)(str, host::kUTF8);
            int* clashCalls = (int*)dlsym(clash, "clashLockCalls");
            TKZ_CHILD_EXPECT(same == str, "ASCII text converted to UTF-8 was not handed back as it is");
            TKZ_CHILD_EXPECT(host.RefCount(str) == 2, "the plugin's lock did not reach the host");
            TKZ_CHILD_EXPECT(*clashCalls == 0, "the plugin's lock reached the other library");
            // Both keep their own data and functions.
            TKZ_CHILD_EXPECT(*(void**)dlsym(clash, "gResolver") == nullptr, "the plugin set the other library's data");
            TKZ_CHILD_EXPECT(*TKZ_DATA(gResolver) == &host::Host::Resolver, "the plugin's own data was not set");
            ((void (*)(void*))dlsym(clash, TKZ_SYMBOL(REALLockString).c_str()))(str);
            TKZ_CHILD_EXPECT(*clashCalls == 1, "the other library's lock was not its own");
            TKZ_CHILD_EXPECT(host.RefCount(str) == 2, "the other library's lock reached the host");
            TKZ_CHILD_EXPECT(std::string((const char*)dlsym(clash, "Buffer")) == "clash",
                             "the other library's data was overwritten");
            host.Unlock(str);
            host.Unlock(str);
            for (const host::Violation& f : host.Faults()) printf("%s\n", f.Message().c_str());
            return host.Faults().empty() ? 0 : 1;
        },
        &out);
    EXPECT_EQ(rc, 0) << out;
}
