// The wrappers over the host's entry points: how they find, keep and call
// them, and what they answer or do themselves when the host lacks one.
#include "support.h"

#include "hostapi/wrappers.h"
#include "plugin/plugin.h"

using tkz::W;

namespace {

host::Config OnlyVersion() {
    host::Config c;
    for (const std::string& n : host::Host::EntryPointNames())
        if (n != "RegisterPluginVersion") c.missing.insert(n);
    return c;
}

}  // namespace

// A found entry point is kept for good; a missing one is asked for again at
// every call.
PLUGIN_TEST_CFG(Wrappers, FoundEntryPointIsKeptMissingOneAskedForAgain, host::Config{.missing = {"REALLockString"}}) {
    void* str = s.Str("x");
    for (int i = 0; i < 3; ++i) TKZ_FN(REALLockString)(str), TKZ_FN(REALYieldToRB)();
    EXPECT_EQ(s.host.Lookups("REALLockString"), 3);
    EXPECT_EQ(s.host.RefCount(str), 1);
    EXPECT_EQ(s.host.Lookups("REALYieldToRB"), 1);
    EXPECT_EQ(s.Calls("REALYieldToRB"), 3);
}

// A host with only the version entry: the plugin registers nothing else, and
// every wrapper answers 0 or does the work itself.
PLUGIN_TEST_CFG(Wrappers, AnswerZeroWithoutEntryPointOrDoTheWorkThemselves, OnlyVersion()) {
    EXPECT_EQ(s.host.registry().versions, std::vector<long>{9});
    EXPECT_EQ(s.host.registry().order, std::vector<std::string>{});
    EXPECT_EQ(*TKZ_DATA(rbversion_rbversion), 0.0);
    EXPECT_EQ(TKZ_FN_AS(REALnewInstance, REALobjectStruct * (const char*))("StyleDataTKZ"), nullptr);
    long out = 77;
    EXPECT_FALSE(TKZ_FN_AS(REALGetPropValue, bool(REALobjectStruct*, const char*, long*))(nullptr, "X", &out));
    EXPECT_EQ(out, 77) << "the output variable is left untouched";
}

// The variant type's method is the host's global VarType.
PLUGIN_TEST(Wrappers, FrameworkMethodsAreGlobalMethods) {
    const char* decl = "VarType(value As Variant) As Int32";
    EXPECT_NE(TKZ_FN(REALLoadFrameworkMethod)(decl), nullptr);
    EXPECT_EQ(s.host.recorded["REALLoadGlobalMethod"], (std::vector<uint32_t>{0, W(decl)}));
}
