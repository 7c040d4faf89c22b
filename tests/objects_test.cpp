// The host object functions the registered members use: memory blocks and
// the variant type. Exceptions, the debug line, ticks and the array setters
// are exported but nothing the host can reach calls them (no host calls
// exports but REALPluginMain), and no test holds them; reading an array of
// objects, through the host's finder or the plugin's own, is
// variations_test's.
#include "support.h"

#include "objects/hostobjects.h"

using host::Value;

PLUGIN_TEST(HostObjects, BuildMemoryBlockCopiesBytes) {
    s.host.config().logCalls = true;
    auto build = TKZ_FN(REALBuildMemoryblock);
    void* b = s.Own(build("hello", 5));
    EXPECT_EQ(s.host.BlockBytes(b), "hello");
    size_t before = s.host.calls.size();
    for (auto [bytes, n] : {std::pair{(const char*)nullptr, 5}, {"x", 0}, {"x", -3}})
        EXPECT_EQ(build(bytes, n), nullptr) << n;
    EXPECT_EQ(s.host.calls.size(), before) << "no host call for refused input";
}

// The variant type, which ArrayIsATKZ reads through the host's VarType: without
// it, the property Type.
PLUGIN_TEST_CFG(HostObjects, VariantTypeFallsBackToTheProperty, host::Config{.missing = {"REALLoadGlobalMethod"}}) {
    EXPECT_EQ(TKZ_FN(GetVariantType)(s.Own(s.host.NewVariant(3, Value::L(1LL << 40)))), 3);
    EXPECT_EQ(TKZ_FN(GetVariantType)(s.New("Object")), 0) << "no property Type either";
}
