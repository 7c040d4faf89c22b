// The wrappers over the host's entry points: how they find, keep and call
// them, and what they answer or do themselves when the host lacks one.
#include "support.h"

#include "hostapi/wrappers.h"
#include "objects/hostobjects.h"
#include "plugin/plugin.h"

using host::Value;
using tkz::W;

namespace {

host::Config OnlyVersion() {
    host::Config c;
    for (const std::string& n : host::Host::EntryPointNames())
        if (n != "RegisterPluginVersion") c.missing.insert(n);
    return c;
}

// A call of a plugin function with junk above the low byte of its boolean's
// stack word, as a caller may leave it.
template <class F>
Value Junk(F fn, const std::vector<uint32_t>& words, const char* result = "object") {
    return host::CallWords((void*)fn.f, words, result);
}

void* gHandlerData = nullptr;
void Handler(void* d) { gHandlerData = d; }

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
    // The exception handler's wrapper calls the function itself.
    EXPECT_EQ(TKZ_FN(REALCallFunctionWithExceptionHandler)(Handler, &out), 0);
    EXPECT_EQ(gHandlerData, &out);
}

PLUGIN_TEST(Wrappers, DeparturesReshapeTheirCalls) {
    // A nil class reference answers nil without calling the host, but the
    // entry point is still looked up.
    auto byRef = TKZ_FN_AS(REALnewInstance, REALobjectStruct * (REALclassRefStruct*));
    EXPECT_EQ(byRef(nullptr), nullptr);
    EXPECT_EQ(s.host.Lookups("CreateInstance"), 1);
    EXPECT_EQ(s.Calls("CreateInstance"), 0);
    EXPECT_EQ(s.host.ClassOf(s.Own(byRef((void*)s.host.FindClass("StyleDataTKZ"))))->name, "StyleDataTKZ");

    TKZ_FN_AS(REALDrawPicturePrimitive, void(REALgraphicsStruct*, REALpictureStruct*, const RB::Rect*))
    ((void*)1, (void*)2, (void*)3);
    EXPECT_EQ(s.host.recorded["REALDrawPicturePrimitive"], (std::vector<uint32_t>{1, 2, 3, 0})) << "mode 0 added";
    const char* decl = "VarType(value As Variant) As Int32";
    EXPECT_NE(TKZ_FN(REALLoadFrameworkMethod)(decl), nullptr);
    EXPECT_EQ(s.host.recorded["REALLoadGlobalMethod"], (std::vector<uint32_t>{0, W(decl)}));

    // A boolean is its low byte only.
    auto setBool = TKZ_FN_AS(REALSetPropValue, bool(REALobjectStruct*, const char*, unsigned char));
    EXPECT_TRUE(Junk(setBool, {W(s.New("RuntimeException")), W("Message"), 0xFFFFFF01}, "boolean").b);
    EXPECT_EQ(s.host.recorded["REALSetPropValueBoolean"], std::vector<uint32_t>{1});
    void* nv = s.Own(Junk(TKZ_FN(REALNewVariantBoolean), {0x12345600}).h);
    ASSERT_NE(nv, nullptr);
    EXPECT_EQ(s.host.GetProp(nv, "IntegerValue").i, 0);
}
