// The plugin frame as the host sees it: what is registered and in which
// order, byte for byte; how the wrappers find, keep and call the host's entry
// points; the array fallbacks; the host object functions. The declarations
// themselves are docs/reference.md's, which reference_test holds to what is
// registered.
#include "support.h"

#include "hostapi/wrappers.h"
#include "objects/hostobjects.h"
#include "plugin/plugin.h"

#include <cstring>
#include <ctime>

using host::Value;
using tkz::W;

namespace {

bool AllZero(const uint32_t* w, int n) { return std::count(w, w + n, 0u) == n; }

// A method entry as every one is made: a function, the reserved word zero.
void ExpectEntry(const host::MethodDef& d) {
    EXPECT_NE(d.function, nullptr) << d.declaration;
    EXPECT_EQ(d.reserved, 0u) << d.declaration;
}

host::Config Lacking(std::set<std::string> names, bool logCalls = false) {
    host::Config c;
    c.missing = std::move(names);
    c.logCalls = logCalls;
    return c;
}

host::Config OnlyVersion() {
    std::set<std::string> names;
    for (const std::string& n : host::Host::EntryPointNames())
        if (n != "RegisterPluginVersion") names.insert(n);
    return Lacking(names);
}

// A call of a plugin function with junk above the low byte of its boolean's
// stack word, as a caller may leave it.
template <class F>
Value Junk(F fn, const std::vector<uint32_t>& words, const char* result = "object") {
    return host::CallWords((void*)fn.f, words, result);
}

void* gHandlerData = nullptr;
void Handler(void* d) { gHandlerData = d; }

// One element of every overload with a setter, written and read back.
template <class T>
T RoundTrip(void* array, T value) {
    TKZ_FN_AS(REALSetArrayValue, void(REALarrayStruct*, long, T))(array, 3, value);
    T back{};
    TKZ_FN_AS(REALGetArrayValue, void(REALarrayStruct*, long, T*))(array, 3, &back);
    return back;
}
void ArrayRoundTrips(tkz::Session& s) {
    EXPECT_EQ(RoundTrip(s.Own(s.host.NewArray(2, 4)), 0xCAFEL), 0xCAFEL);
    EXPECT_EQ(RoundTrip(s.Own(s.host.NewArray(5, 4)), 2.5), 2.5);
    EXPECT_EQ(RoundTrip(s.Own(s.host.NewArray(3, 4)), 0x0123456789ABCDEFLL), 0x0123456789ABCDEFLL);
    // Handles: a read carries a reference of the reader's; storing a handle
    // over itself leaves its count alone; storing nil releases the old one.
    auto handles = [&](auto* h, int type) {
        using T = decltype(h);
        auto set = TKZ_FN_AS(REALSetArrayValue, void(REALarrayStruct*, long, T));
        void* a = s.Own(s.host.NewArray(type, 2));
        for (int i = 0; i < 2; ++i) set(a, 1, h);
        EXPECT_EQ(s.host.RefCount(h), 2) << type;
        T read = nullptr;
        TKZ_FN_AS(REALGetArrayValue, void(REALarrayStruct*, long, T*))(a, 1, &read);
        EXPECT_EQ(read, h) << type;
        EXPECT_EQ(s.host.RefCount(h), 3) << type;
        s.host.Unlock(read);
        set(a, 1, nullptr);
        EXPECT_EQ(s.host.RefCount(h), 1) << "overwriting releases the old element";
    };
    handles((REALstringStruct*)s.Str("element"), 8);
    handles((REALobjectStruct*)s.New("Object"), 9);
    // A null destination reads nothing, but the finder is still asked.
    TKZ_FN_AS(REALGetArrayValue, void(REALarrayStruct*, long, long*))(s.Own(s.host.NewArray(2, 1)), 0, nullptr);
}

}  // namespace

// ---- registration -----------------------------------------------------------

// Sizes and offsets of the records are asserted where they are declared;
// here their order and what they carry.
PLUGIN_TEST(Registration, ClassesThenExtensionThenMethodsInExactRecords) {
    host::Registry& r = s.host.registry();
    EXPECT_EQ(r.versions, std::vector<long>{9});
    ASSERT_EQ(r.classes.size(), tkz::kClasses);
    ASSERT_EQ(r.extensions.size(), 1u);
    std::vector<std::string> order;
    for (host::ClassDef* c : r.classes) order.push_back(std::string("class ") + c->name);
    order.push_back("extension folderitem");
    for (host::MethodDef* m : r.methods) order.push_back(std::string("method ") + m->declaration);
    EXPECT_EQ(r.order, order);
    std::vector<host::ClassDef*> defs = r.classes;
    defs.push_back(r.extensions[0]);
    for (const host::ClassDef* c : defs) {
        EXPECT_EQ(c->version, 9u) << c->name;
        EXPECT_EQ(c->flags, 4u) << c->name;
        EXPECT_EQ(c->constructor, nullptr) << c->name;
        EXPECT_EQ(c->reserved0, 0u) << c->name;
        EXPECT_TRUE(AllZero(c->reserved1, 9)) << c->name;
        EXPECT_TRUE(AllZero(c->reserved2, 2)) << c->name;
        for (const host::PropertyDef& p : std::vector(c->properties, c->properties + c->propertyCount)) {
            EXPECT_EQ(p.flags, 6u) << p.name;
            EXPECT_EQ(p.reserved0, 0u) << p.name;
            EXPECT_TRUE(AllZero(p.reserved1, 3)) << p.name;
        }
        for (uint32_t m = 0; m < c->methodCount + c->sharedMethodCount; ++m) {
            const host::MethodDef& d = m < c->methodCount ? c->methods[m] : c->sharedMethods[m - c->methodCount];
            // Every method entry carries flags 4 but the list's Style, which carries 0.
            bool style = std::string(d.declaration) == "Style(index as integer) as StyleDataTKZ";
            EXPECT_EQ(d.flags, style ? 0u : 4u) << d.declaration;
            ExpectEntry(d);
        }
    }
    for (const host::MethodDef* m : r.methods) {
        EXPECT_EQ(m->flags, 4u) << m->declaration;
        ExpectEntry(*m);
    }
}

PLUGIN_TEST_CFG(Registration, AnnouncesVersionFirstAndReadsHostVersion, Lacking({}, true)) {
    const std::vector<std::string>& calls = s.host.calls;
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 3),
              (std::vector<std::string>{"RegisterPluginVersion", "REALGetRBVersion", "REALinRuntime"}));
    EXPECT_EQ(s.Calls("REALinRuntime"), 1);
    EXPECT_EQ(*TKZ_DATA(rbversion_rbversion), 2019.031);
    EXPECT_EQ(*TKZ_DATA(gHasControls), 0);
    EXPECT_EQ(*TKZ_DATA(gResolver), &host::Host::Resolver);
}

// Our choice for a host without "RegisterPluginVersion": it is too old for
// this interface, so nothing is registered and nothing else is asked.
PLUGIN_TEST_CFG(Registration, HostWithoutVersionEntryIsLeftAlone, Lacking({"RegisterPluginVersion"}, true)) {
    EXPECT_TRUE(s.host.calls.empty()) << "so nothing is registered either";
    EXPECT_EQ(s.host.Lookups("PluginRegisterClass"), 0);
}

PLUGIN_TEST(Registration, RegisteringHelpersRoundAndFlag) {
    REALcontrol control = {9, "C", 17};
    TKZ_FN(MyREALRegisterControl)(&control);
    EXPECT_EQ(control.dataSize, 32u);
    EXPECT_EQ(*TKZ_DATA(gHasControls), 1);
    EXPECT_EQ(s.host.recorded["PluginRegisterControl"], std::vector<uint32_t>{W(&control)});
    REALclassDefinition def{9, "Probe", 0, 32};
    TKZ_FN(MyREALRegisterClass)(&def);
    EXPECT_EQ(def.dataSize, 32u);
    def.flags = 0x0F;
    TKZ_FN(SetClassWebOnly)(&def);
    EXPECT_EQ(def.flags, 0x107u);
    def.flags = 0;
    TKZ_FN(SetClassConsoleSafe)(&def);
    EXPECT_EQ(def.flags, 4u);
}

// ---- the wrappers ---------------------------------------------------------------

// A found entry point is kept for good; a missing one is asked for again at
// every call.
PLUGIN_TEST_CFG(Wrappers, FoundEntryPointIsKeptMissingOneAskedForAgain, Lacking({"REALLockString"})) {
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

// ---- array element access ---------------------------------------------------------

PLUGIN_TEST(Arrays, ElementsThroughHostFinders) {
    ArrayRoundTrips(s);
    EXPECT_GE(s.Calls("RuntimeArrayDirectGetGetProc"), 6);
    EXPECT_GE(s.Calls("RuntimeArrayDirectGetSetProc"), 5);
}

PLUGIN_TEST_CFG(Arrays, ElementsThroughOwnFallbacks,
                Lacking({"RuntimeArrayDirectGetGetProc", "RuntimeArrayDirectGetSetProc"})) {
    ArrayRoundTrips(s);
    // The fallback is installed for good: asked once per overload.
    EXPECT_EQ(s.host.Lookups("RuntimeArrayDirectGetGetProc"), 5);
    EXPECT_EQ(s.host.Lookups("RuntimeArrayDirectGetSetProc"), 5);

    // An element stored over itself while the array holds its only reference
    // stays alive.
    auto setString = TKZ_FN_AS(REALSetArrayValue, void(REALarrayStruct*, long, REALstringStruct*));
    void* strs = s.Own(s.host.NewArray(8, 1));
    void* str = s.host.NewString("kept", host::kUTF8);
    setString(strs, 0, str);
    s.host.Unlock(str);
    setString(strs, 0, str);
    EXPECT_EQ(s.host.RefCount(str), 1);
    EXPECT_EQ(s.host.Bytes(str), "kept");

    void* bytes = s.Own(s.host.NewArray(11, 3));
    s.host.SetElement(bytes, 2, Value::B(true));
    unsigned char b = 0;
    TKZ_FN_AS(REALGetArrayValue, void(REALarrayStruct*, long, unsigned char*))(bytes, 2, &b);
    EXPECT_EQ(b, 1);

    // The unsigned short reader has no fallback: nothing is written, and the
    // host is asked again at the next call.
    unsigned short u = 99;
    void* ints = s.Own(s.host.NewArray(2, 1));
    for (int i = 0; i < 2; ++i)
        TKZ_FN_AS(REALGetArrayValue, void(REALarrayStruct*, long, unsigned short*))(ints, 0, &u);
    EXPECT_EQ(u, 99);
    EXPECT_EQ(s.host.Lookups("RuntimeArrayDirectGetGetProc"), 8);
}

// ---- host object functions ------------------------------------------------------

// A class test by name where the host lacks one: a nil object asks it
// nothing, and without its class test the answer is false.
PLUGIN_TEST_CFG(HostObjects, ObjectIsAWithoutObjectOrHostClassTestIsFalse, Lacking({"RuntimeObjectIsa"}, true)) {
    auto isA = TKZ_FN_AS(REALObjectIsA, bool(REALobjectStruct*, const char*));
    EXPECT_FALSE(isA(s.New("Object"), "Object"));
    size_t before = s.host.calls.size();
    EXPECT_FALSE(isA(nullptr, "Object"));
    EXPECT_EQ(s.host.calls.size(), before);
}

PLUGIN_TEST(HostObjects, RaiseExceptionSetsMessageAfterRaising) {
    s.host.config().logCalls = true;
    // An unknown class raises a NilObjectException; no message, or an empty
    // one (which builds no string), sets Message to nil.
    std::tuple<const char*, const char*, const char*, const char*> rows[] = {
        {"OutOfBoundsException", "bad index", "OutOfBoundsException", "bad index"},
        {"NoSuchClass", nullptr, "NilObjectException", nullptr},
        {"RuntimeException", "", "RuntimeException", nullptr}};
    for (auto [cls, message, raised, text] : rows) {
        s.host.calls.clear();
        TKZ_FN(RaiseException)(cls, message);
        ASSERT_EQ(s.host.raised.size(), 1u);
        void* e = s.host.raised[0];
        s.host.raised.clear();
        EXPECT_EQ(s.host.ClassOf(e)->name, raised);
        Value m = s.Prop(e, "Message");
        EXPECT_EQ(tkz::Got(s, m.h), text ? tkz::Tagged(text, host::kASCII) : "nil");
        auto& c = s.host.calls;
        auto set = std::find(c.begin(), c.end(), "REALSetPropValueString");
        EXPECT_NE(std::find(c.begin(), set, "RuntimeRaiseException"), set) << "raised before Message is set";
        EXPECT_EQ(s.host.RefCount(e), 1) << "the plugin gave its reference to the host's handling";
        s.host.Unlock(e);
    }
}

// Without any exception class nothing is raised. A block whose bytes cannot
// be reached is given back (the ledger check at the end proves it).
PLUGIN_TEST_CFG(HostObjects, WhatTheHostCannotGiveLeavesNothingBehind, [] {
    host::Config c = Lacking({"memoryBlockGetPtr"});
    c.newInstanceLimit["NilObjectException"] = 0;
    return c;
}()) {
    TKZ_FN(RaiseException)("NoSuchClass", "m");
    EXPECT_EQ(s.host.raised.size(), 0u);
    EXPECT_EQ(s.Calls("RuntimeRaiseException"), 0);
    EXPECT_EQ(TKZ_FN(REALBuildMemoryblock)("hello", 5), nullptr);
}

PLUGIN_TEST(HostObjects, BuildMemoryBlockCopiesBytes) {
    s.host.config().logCalls = true;
    auto build = TKZ_FN(REALBuildMemoryblock);
    void* b = s.Own(build("hello", 5));
    EXPECT_EQ(s.host.BlockBytes(b), "hello");
    size_t before = s.host.calls.size();
    EXPECT_EQ(build(nullptr, 5), nullptr);
    EXPECT_EQ(build("x", 0), nullptr);
    EXPECT_EQ(build("x", -3), nullptr);
    EXPECT_EQ(s.host.calls.size(), before) << "no host call for refused input";
    void* f = s.Own(s.host.FolderItem("/tmp"));
    for (void* o : {b, f}) {
        EXPECT_EQ(TKZ_FN(IsMemoryBlock)(o), o == b);
        EXPECT_EQ(TKZ_FN(IsFolderItem)(o), o == f);
    }
}

// The variant type, which ArrayIsATKZ reads through the host's VarType: without
// it, the property Type.
PLUGIN_TEST_CFG(HostObjects, VariantTypeFallsBackToTheProperty, Lacking({"REALLoadGlobalMethod"})) {
    EXPECT_EQ(TKZ_FN(GetVariantType)(s.Own(s.host.NewVariant(3, Value::L(1LL << 40)))), 3);
    EXPECT_EQ(TKZ_FN(GetVariantType)(s.New("Object")), 0) << "no property Type either";
}

// The test's host process gives standard error to a file of its own.
PLUGIN_TEST(HostObjects, DebugLogWritesOneLineToStandardError) {
    FILE* err = tmpfile();
    dup2(fileno(err), 2);
    for (void* str : {(void*)nullptr, s.Str(std::string("h\0i\0", 4), host::kUTF16), s.Str("plain", host::kASCII)})
        TKZ_FN(DebugLog)(str);
    char out[32] = {};
    rewind(err);
    EXPECT_EQ(std::string(out, fread(out, 1, sizeof out, err)), "\nhi\nplain\n");
}

PLUGIN_TEST(HostObjects, TickCountIsSixtyPerSecond) {
    auto now = [] { return (uint32_t)((uint64_t)time(nullptr) * 60u); };
    uint32_t before = now(), ticks = (uint32_t)TKZ_FN(TickCount)(), after = now();
    // The product wraps around in 32 bits, so compare with the same wrapping.
    EXPECT_TRUE(ticks == before || ticks == after) << ticks;
}
