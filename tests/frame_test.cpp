// The plugin frame as the host sees it: what is registered and in which
// order, byte for byte; how the wrappers find, keep and call the host's entry
// points; the array fallbacks; the host object functions. The declarations
// themselves are docs/reference.md's, which reference_test holds to what is
// registered.
#include "support.h"

#include <cstring>
#include <ctime>

using emu::Value;
using tkz::W;

namespace {

bool AllZero(const uint32_t* w, int n) { return std::count(w, w + n, 0u) == n; }

emu::Config Lacking(std::set<std::string> names, bool logCalls = false) {
    emu::Config c;
    c.missing = std::move(names);
    c.logCalls = logCalls;
    return c;
}

emu::Config OnlyVersion() {
    std::set<std::string> names;
    for (const std::string& n : emu::Host::EntryPointNames())
        if (n != "RegisterPluginVersion") names.insert(n);
    return Lacking(names);
}

// Wrappers that nothing in the plugin calls reach recording entry points
// (`entry`, when not the wrapper's own name); the words each receives must be
// the wrapper's arguments (or `received`), narrow ones widened.
struct Forwarding { const char *signature, *entry; std::vector<uint32_t> args, received; const char* result; };
uint32_t gEvent[2] = {0x11111111, 0x22222222};
const Forwarding kForwarding[] = {
    {"REALRegisterModule(REALmoduleDefinition*)", "PluginRegisterModule", {0x100}, {}, "integer"},
    {"REALInDebugMode()", "", {}, {}, "boolean"},
    {"REALYieldToRB()", "", {}, {}, ""},
    {"REALRegisterBackgroundTask(void (*)(void*), unsigned long, void*)", "PluginRegisterBackgroundTask", {1, 2, 3}, {}, "integer"},
    {"REALGetStringData(REALstringStruct*, unsigned long, REALstringData*)", "PluginGetStringData", {1, 0x600, 3}, {}, "boolean"},
    {"REALBuildPictureFromGWorld(void*, unsigned char)", "", {5, 0xABCDEF01}, {5, 1}, "object"},
    {"REALNewPicture(long, long, long)", "newPicture", {10, 20, 32}, {}, "object"},
    {"REALGetPictureMask(REALpictureStruct*, unsigned char)", "", {6, 0x7700}, {6, 0}, "object"},
    {"REALDrawPicturePrimitive(REALgraphicsStruct*, REALpictureStruct*, RB::Rect const*)", "", {1, 2, 3}, {1, 2, 3, 0}, ""},
    {"REALGetControlWindow(REALcontrolInstanceStruct*)", "getControlWindow", {8}, {}, "object"},
    {"REALGetEventInstance(REALcontrolInstanceStruct*, REALevent*)", "GetEventInstance", {8, W(gEvent)}, {8, 0x22222222}, "object"},
    {"REALMessageBox(REALstringStruct*)", "RuntimeMsgBox", {5}, {}, ""},
};

void* gHandlerData = nullptr;
void Handler(void* d) { gHandlerData = d; }
uint32_t AnswerOf(const Value& v) { return v.kind == Value::Handle ? W(v.h) : v.kind == Value::Bool ? v.b : v.i; }
std::string EntryOf(const Forwarding& f) { return *f.entry ? f.entry : std::string(f.signature, strchr(f.signature, '(')); }

std::string SetSig(const std::string& type) { return "REALSetArrayValue(REALarrayStruct*, long, " + type + ")"; }
std::string GetSig(const std::string& type) { return "REALGetArrayValue(REALarrayStruct*, long, " + type + "*)"; }

// One element of every overload with a setter, written and read back.
void ArrayRoundTrips(tkz::Session& s) {
    struct { const char* type; int elementType; std::vector<uint32_t> words; } trips[] = {
        {"long", 2, {0xCAFE}}, {"double", 5, {0, 0x40040000}}, {"long long", 3, {0x89ABCDEF, 0x01234567}}};
    for (const auto& t : trips) {
        void* a = s.Own(s.host.NewArray(t.elementType, 4));
        std::vector<uint32_t> set = {W(a), 3};
        set.insert(set.end(), t.words.begin(), t.words.end());
        s.Words(SetSig(t.type), set);
        uint32_t back[2] = {0, 0};
        s.Words(GetSig(t.type), {W(a), 3, W(back)});
        EXPECT_EQ(std::vector<uint32_t>(back, back + t.words.size()), t.words) << t.type;
    }
    // Handles: a read carries a reference of the reader's; storing a handle
    // over itself leaves its count alone; storing nil releases the old one.
    for (bool string : {true, false}) {
        const char* type = string ? "REALstringStruct*" : "REALobjectStruct*";
        void* a = s.Own(s.host.NewArray(string ? 8 : 9, 2));
        void* h = string ? s.Str("element") : s.New("Object");
        for (int i = 0; i < 2; ++i) s.Words(SetSig(type), {W(a), 1, W(h)});
        EXPECT_EQ(s.host.RefCount(h), 2) << type;
        void* read = nullptr;
        s.Words(GetSig(type), {W(a), 1, W(&read)});
        EXPECT_TRUE(read == h && s.host.RefCount(h) == 3) << type;
        s.host.Unlock(read);
        s.Words(SetSig(type), {W(a), 1, 0});
        EXPECT_EQ(s.host.RefCount(h), 1) << "overwriting releases the old element";
    }
    // A null destination reads nothing, but the finder is still asked.
    s.Words(GetSig("long"), {W(s.Own(s.host.NewArray(2, 1))), 0, 0});
}

Value Variant(tkz::Session& s, const std::string& reader, void* v, const char* result) {
    return s.Words("GetVariant" + reader + "(REALobjectStruct*)", {W(v)}, result);
}
}  // namespace

// ---- registration -----------------------------------------------------------

PLUGIN_TEST(Registration, ClassesThenExtensionThenMethodsInExactRecords) {
    emu::Registry& r = s.host.registry();
    ASSERT_EQ(r.versions, std::vector<long>{9});
    ASSERT_TRUE(r.classes.size() == 5 && r.extensions.size() == 1);
    std::vector<std::string> order;
    for (emu::ClassDef* c : r.classes) order.push_back(std::string("class ") + c->name);
    order.push_back("extension folderitem");
    for (emu::MethodDef* m : r.methods) order.push_back(std::string("method ") + m->declaration);
    EXPECT_EQ(r.order, order);

    const uint32_t kDataSizes[] = {0, 0, 96, 16, 32, 0};
    std::vector<emu::ClassDef*> defs = r.classes;
    defs.push_back(r.extensions[0]);
    std::vector<const emu::MethodDef*> methods(r.methods.begin(), r.methods.end());
    for (size_t i = 0; i < defs.size(); ++i) {
        const emu::ClassDef* c = defs[i];
        SCOPED_TRACE(c->name);
        EXPECT_TRUE(c->version == 9 && c->flags == 4 && c->constructor == nullptr);
        EXPECT_TRUE(c->reserved0 == 0 && AllZero(c->reserved1, 9) && AllZero(c->reserved2, 2));
        EXPECT_EQ(c->dataSize, kDataSizes[i]);
        // The host's offset was written back into the plugin's own table.
        if (i < 5) EXPECT_EQ(c->dataOffset, s.host.FindClass(c->name)->dataOffset);
        for (uint32_t p = 0; p < c->propertyCount; ++p)
            EXPECT_TRUE(c->properties[p].flags == 6 && c->properties[p].reserved0 == 0 &&
                        AllZero(c->properties[p].reserved1, 3));
        for (uint32_t m = 0; m < c->methodCount; ++m) methods.push_back(&c->methods[m]);
        for (uint32_t m = 0; m < c->sharedMethodCount; ++m) methods.push_back(&c->sharedMethods[m]);
    }
    // Every method entry carries flags 4 but the list's Style, which carries 0.
    EXPECT_EQ(methods.size(), 39u + 12 + 2 + 7 + 1);
    for (const emu::MethodDef* m : methods) {
        bool style = std::string(m->declaration) == "Style(index as integer) as StyleDataTKZ";
        EXPECT_TRUE(m->flags == (style ? 0u : 4u) && m->reserved == 0 && m->function != nullptr) << m->declaration;
    }
}

// Each property is read and written by the host at its own field (two
// properties sharing one would show in no decoded run); the custom setters
// are styledata_test's.
PLUGIN_TEST(Registration, StyleDataPropertiesSitAtTheirFields) {
    const uint32_t kParams[21] = {64, 56, 0, 8, 16, 24, 32, 40, 48, 4, 12, 20, 28, 36, 44, 52, 60, 68, 72, 80, 76};
    for (int i = 0; i < 21; ++i) {
        const emu::PropertyDef& p = s.host.registry().classes[2]->properties[i];
        EXPECT_TRUE(p.param == kParams[i] && p.getter == (void*)(intptr_t)-1) << p.name;
    }
}

PLUGIN_TEST_CFG(Registration, AnnouncesVersionFirstAndReadsHostVersion, Lacking({}, true)) {
    const std::vector<std::string>& calls = s.host.calls;
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 3),
              (std::vector<std::string>{"RegisterPluginVersion", "REALGetRBVersion", "REALinRuntime"}));
    EXPECT_EQ(s.Calls("REALinRuntime"), 1);
    EXPECT_DOUBLE_EQ(*(double*)s.Sym("rbversion_rbversion"), 2019.031);
    EXPECT_EQ(*(unsigned char*)s.Sym("gHasControls"), 0);
    EXPECT_EQ(*(void**)s.Sym("gResolver"), (void*)&emu::Host::Resolver);
}

PLUGIN_TEST_CFG(Registration, HostWithOnlyVersionEntryGetsNothing, OnlyVersion()) {
    EXPECT_EQ(s.host.registry().versions, std::vector<long>{9});
    EXPECT_TRUE(s.host.registry().order.empty());
    EXPECT_EQ(*(double*)s.Sym("rbversion_rbversion"), 0.0);
    // Without a registering entry point the class keeps its rounded size.
    const emu::ClassDef* styleData = (const emu::ClassDef*)s.Sym("StyleDataClass");
    EXPECT_TRUE(styleData->dataSize == 96 && styleData->dataOffset == 0);
}

// Our choice for a host without "RegisterPluginVersion": it is too old for
// this interface, so nothing is registered and nothing else is asked.
PLUGIN_TEST_CFG(Registration, HostWithoutVersionEntryIsLeftAlone, Lacking({"RegisterPluginVersion"}, true)) {
    EXPECT_TRUE(s.host.calls.empty()) << "so nothing is registered either";
    EXPECT_EQ(s.host.Lookups("PluginRegisterClass"), 0);
}

PLUGIN_TEST(Registration, RegisteringHelpersRoundAndFlag) {
    struct { uint32_t version; const char* name; uint32_t size; } control = {9, "C", 17};
    s.Words("MyREALRegisterControl(REALcontrol*)", {W(&control)}, "integer");
    EXPECT_EQ(control.size, 32u);
    EXPECT_EQ(*(unsigned char*)s.Sym("gHasControls"), 1);
    EXPECT_EQ(s.host.recorded["PluginRegisterControl"], std::vector<uint32_t>{W(&control)});
    emu::ClassDef def{9, "Probe", 0, 32};
    s.Words("MyREALRegisterClass(REALclassDefinition*)", {W(&def)}, "integer");
    EXPECT_EQ(def.dataSize, 32u);
    def.flags = 0x0F;
    s.Words("SetClassWebOnly(REALclassDefinition*)", {W(&def)});
    EXPECT_EQ(def.flags, 0x107u);
    def.flags = 0;
    s.Words("SetClassConsoleSafe(REALclassDefinition*)", {W(&def)});
    EXPECT_EQ(def.flags, 4u);
}

// ---- the wrappers ---------------------------------------------------------------

// A found entry point is kept for good; a missing one is asked for again at
// every call.
PLUGIN_TEST_CFG(Wrappers, FoundEntryPointIsKeptMissingOneAskedForAgain, Lacking({"REALLockString"})) {
    void* str = s.Str("x");
    for (int i = 0; i < 3; ++i) {
        s.Words("REALLockString(REALstringStruct*)", {W(str)});
        s.Words("REALYieldToRB()", {});
    }
    EXPECT_EQ(s.host.Lookups("REALLockString"), 3);
    EXPECT_EQ(s.host.RefCount(str), 1);
    EXPECT_EQ(s.host.Lookups("REALYieldToRB"), 1);
    EXPECT_EQ(s.Calls("REALYieldToRB"), 3);
}

PLUGIN_TEST(Wrappers, HandArgumentsOnUnchanged) {
    for (const Forwarding& f : kForwarding) {
        SCOPED_TRACE(f.signature);
        s.host.recorded.erase(EntryOf(f));
        Value v = s.Words(f.signature, f.args, f.result);
        ASSERT_TRUE(s.host.recorded.count(EntryOf(f)));
        EXPECT_EQ(s.host.recorded[EntryOf(f)], f.received.empty() ? f.args : f.received);
        std::string result = f.result;
        if (result == "object" || result == "integer")
            EXPECT_EQ(AnswerOf(v) & 0xFFFF0000u, 0x7E570000u) << "the entry point's answer is returned";
        if (result == "boolean") EXPECT_TRUE(v.b);
    }
}

PLUGIN_TEST_CFG(Wrappers, AnswerZeroWithoutEntryPointOrDoTheWorkThemselves, OnlyVersion()) {
    for (const Forwarding& f : kForwarding) {
        bool task = EntryOf(f) == "PluginRegisterBackgroundTask";
        EXPECT_EQ(AnswerOf(s.Words(f.signature, f.args, f.result)), task ? (uint32_t)-1 : 0u) << f.signature;
    }
    EXPECT_TRUE(s.host.recorded.empty());
    // The common wrappers that the plugin does call.
    EXPECT_EQ(s.Words("REALnewInstance(char const*)", {W("StyleDataTKZ")}, "object").h, nullptr);
    EXPECT_EQ(s.Words("originalREALBuildString(char const*, int)", {W("abc"), 3}, "object").h, nullptr);
    EXPECT_EQ(s.Words("REALGetArrayUBound(void*)", {0}, "integer").i, 0);
    EXPECT_EQ(s.Words("REALGetFontEncoding(char const*)", {W("System")}, "integer").i, 0);
    long out = 77;
    EXPECT_FALSE(s.Words("REALGetPropValue(REALobjectStruct*, char const*, long*)", {0, W("X"), W(&out)}, "boolean").b);
    EXPECT_EQ(out, 77) << "the output variable is left untouched";
    // The exception handler's wrapper calls the function itself.
    const char* handled = "REALCallFunctionWithExceptionHandler(void (*)(void*), void*)";
    EXPECT_EQ(s.Words(handled, {W((void*)&Handler), W(&out)}, "integer").i, 0);
    EXPECT_EQ(gHandlerData, &out);
}

PLUGIN_TEST(Wrappers, DeparturesReshapeTheirCalls) {
    // A nil class reference answers nil without calling the host, but the
    // entry point is still looked up.
    EXPECT_EQ(s.Words("REALnewInstance(REALclassRefStruct*)", {0}, "object").h, nullptr);
    EXPECT_EQ(s.host.Lookups("CreateInstance"), 1);
    EXPECT_EQ(s.Calls("CreateInstance"), 0);
    void* o = s.Own(s.Words("REALnewInstance(REALclassRefStruct*)", {W(s.host.FindClass("StyleDataTKZ"))}, "object").h);
    EXPECT_EQ(s.host.ClassOf(o)->name, "StyleDataTKZ");

    const char* decl = "VarType(value As Variant) As Int32";
    EXPECT_NE(s.Words("REALLoadFrameworkMethod(char const*)", {W(decl)}, "object").h, nullptr);
    EXPECT_EQ(s.host.recorded["REALLoadGlobalMethod"], (std::vector<uint32_t>{0, W(decl)}));

    void* e = s.New("RuntimeException");
    EXPECT_TRUE(s.Words("REALSetPropValue(REALobjectStruct*, char const*, unsigned char)",
                        {W(e), W("Message"), 0xFFFFFF01}, "boolean").b);
    EXPECT_EQ(s.host.recorded["REALSetPropValueBoolean"], std::vector<uint32_t>{1});
    void* nv = s.Own(s.Words("REALNewVariantBoolean(unsigned char)", {0x12345600}, "object").h);
    EXPECT_TRUE(nv != nullptr && s.host.GetProp(nv, "IntegerValue").i == 0) << "only the low byte is the boolean";
}

// ---- array element access ---------------------------------------------------------

PLUGIN_TEST(Arrays, ElementsThroughHostFinders) {
    ArrayRoundTrips(s);
    EXPECT_TRUE(s.Calls("RuntimeArrayDirectGetGetProc") >= 6 && s.Calls("RuntimeArrayDirectGetSetProc") >= 5);
}

PLUGIN_TEST_CFG(Arrays, ElementsThroughOwnFallbacks,
                Lacking({"RuntimeArrayDirectGetGetProc", "RuntimeArrayDirectGetSetProc"})) {
    ArrayRoundTrips(s);
    // The fallback is installed for good: asked once per overload.
    EXPECT_EQ(s.host.Lookups("RuntimeArrayDirectGetGetProc"), 5);
    EXPECT_EQ(s.host.Lookups("RuntimeArrayDirectGetSetProc"), 5);

    // An element stored over itself while the array holds its only reference
    // stays alive.
    void* strs = s.Own(s.host.NewArray(8, 1));
    void* str = s.host.NewString("kept", emu::kUTF8);
    s.Words(SetSig("REALstringStruct*"), {W(strs), 0, W(str)});
    s.host.Unlock(str);
    s.Words(SetSig("REALstringStruct*"), {W(strs), 0, W(str)});
    EXPECT_EQ(s.host.RefCount(str), 1);
    EXPECT_EQ(s.host.Bytes(str), "kept");

    void* bytes = s.Own(s.host.NewArray(11, 3));
    s.host.SetElement(bytes, 2, Value::B(true));
    unsigned char b = 0;
    s.Words(GetSig("unsigned char"), {W(bytes), 2, W(&b)});
    EXPECT_EQ(b, 1);

    // The unsigned short reader has no fallback: nothing is written, and the
    // host is asked again at the next call.
    unsigned short u = 99;
    void* ints = s.Own(s.host.NewArray(2, 1));
    for (int i = 0; i < 2; ++i) s.Words(GetSig("unsigned short"), {W(ints), 0, W(&u)});
    EXPECT_EQ(u, 99);
    EXPECT_EQ(s.host.Lookups("RuntimeArrayDirectGetGetProc"), 8);
}

PLUGIN_TEST(Arrays, InsertGoesThroughHostProcedure) {
    void* ints = s.Own(s.host.NewArray(2, 2));
    for (int i : {0, 1}) s.host.SetElement(ints, i, Value::I(10 + 20 * i));
    s.Words("REALInsertArrayValue(REALarrayStruct*, long, long)", {W(ints), 1, 20});
    EXPECT_EQ(s.Words("REALGetArrayUBound(void*)", {W(ints)}, "integer").i, 2);
    EXPECT_EQ(s.Words("REALGetArrayInt(REALintArrayStruct*, int)", {W(ints), 1}, "integer").i, 20);
    // An array the host has no insert procedure for is left alone.
    void* strs = s.Own(s.host.NewArray(8, 1));
    s.Words("REALInsertArrayValue(REALarrayStruct*, long, REALstringStruct*)", {W(strs), 0, 0});
    EXPECT_EQ(s.Words("REALGetArrayUBound(void*)", {W(strs)}, "integer").i, 0);
}

// ---- host object functions ------------------------------------------------------

// By name, through ObjectIsATKZ (functions_test); here what the host lacks:
// a nil object asks it nothing, and without its class test the answer is false.
PLUGIN_TEST_CFG(HostObjects, ObjectIsAWithoutObjectOrHostClassTestIsFalse, Lacking({"RuntimeObjectIsa"}, true)) {
    const char* sig = "REALObjectIsA(REALobjectStruct*, char const*)";
    EXPECT_FALSE(s.Words(sig, {W(s.New("Object")), W("Object")}, "boolean").b);
    size_t before = s.host.calls.size();
    EXPECT_FALSE(s.Words(sig, {0, W("Object")}, "boolean").b);
    EXPECT_EQ(s.host.calls.size(), before);
}

PLUGIN_TEST(HostObjects, RaiseExceptionSetsMessageAfterRaising) {
    s.host.config().logCalls = true;
    // An unknown class raises a NilObjectException; no message, or an empty
    // one (which builds no string), sets Message to nil.
    struct { const char *cls, *message, *raised, *text; } rows[] = {
        {"OutOfBoundsException", "bad index", "OutOfBoundsException", "bad index"},
        {"NoSuchClass", nullptr, "NilObjectException", nullptr},
        {"RuntimeException", "", "RuntimeException", nullptr}};
    for (const auto& r : rows) {
        s.host.calls.clear();
        s.Words("RaiseException(char const*, char const*)", {W(r.cls), W(r.message)});
        ASSERT_EQ(s.host.raised.size(), 1u);
        void* e = s.host.raised[0];
        s.host.raised.clear();
        EXPECT_EQ(s.host.ClassOf(e)->name, r.raised);
        Value m = s.Prop(e, "Message");
        EXPECT_EQ(m.h == nullptr, r.text == nullptr);
        if (r.text) EXPECT_TRUE(s.Bytes(m.h) == r.text && s.Enc(m.h) == emu::kASCII);
        auto& c = s.host.calls;
        auto set = std::find(c.begin(), c.end(), "REALSetPropValueString");
        EXPECT_NE(std::find(c.begin(), set, "RuntimeRaiseException"), set) << "raised before Message is set";
        EXPECT_EQ(s.host.RefCount(e), 1) << "the plugin gave its reference to the host's handling";
        s.host.Unlock(e);
    }
}

// Without any exception class nothing is raised. A block whose bytes cannot
// be reached is given back (the ledger check at the end proves it).
PLUGIN_TEST_CFG(HostObjects, WhatTheHostCannotGiveLeavesNothingBehind,
                [] { emu::Config c = Lacking({"memoryBlockGetPtr"}); c.newInstanceLimit["NilObjectException"] = 0; return c; }()) {
    s.Words("RaiseException(char const*, char const*)", {W("NoSuchClass"), W("m")});
    EXPECT_TRUE(s.host.raised.empty());
    EXPECT_EQ(s.Calls("RuntimeRaiseException"), 0);
    EXPECT_EQ(s.Words("REALBuildMemoryblock(void const*, int)", {W("hello"), 5}, "object").h, nullptr);
}

PLUGIN_TEST(HostObjects, BuildMemoryBlockCopiesBytes) {
    s.host.config().logCalls = true;
    const char* sig = "REALBuildMemoryblock(void const*, int)";
    void* b = s.Own(s.Words(sig, {W("hello"), 5}, "object").h);
    EXPECT_EQ(s.host.BlockBytes(b), "hello");
    size_t before = s.host.calls.size();
    for (auto refused : {std::vector<uint32_t>{0, 5}, {W("x"), 0}, {W("x"), (uint32_t)-3}})
        EXPECT_EQ(s.Words(sig, refused, "object").h, nullptr);
    EXPECT_EQ(s.host.calls.size(), before) << "no host call for refused input";
    void* f = s.Own(s.host.FolderItem("/tmp"));
    for (void* o : {b, f}) {
        EXPECT_EQ(s.Words("IsMemoryBlock(REALobjectStruct*)", {W(o)}, "boolean").b, o == b);
        EXPECT_EQ(s.Words("IsFolderItem(REALobjectStruct*)", {W(o)}, "boolean").b, o == f);
    }
}


PLUGIN_TEST(HostObjects, VariantReadersUseHostConversions) {
    s.host.config().logCalls = true;
    void* v = s.Own(s.host.NewVariant(2, Value::I(-42)));
    EXPECT_EQ(Variant(s, "Integer", v, "integer").i, -42);
    EXPECT_EQ(Variant(s, "Long", v, "int64").l, -42);
    EXPECT_EQ(Variant(s, "Double", v, "double").d, -42.0);
    EXPECT_EQ(Variant(s, "Single", v, "single").d, -42.0);
    EXPECT_TRUE(Variant(s, "Boolean", v, "boolean").b);
    EXPECT_TRUE(Variant(s, "Type", v, "integer").i == 2 && Variant(s, "Hash", v, "integer").i != 0);
    void* str = s.Str("text");
    EXPECT_EQ(s.Own(Variant(s, "String", s.Own(s.host.NewVariant(8, Value::H(str))), "object").h), str);
    EXPECT_EQ(Variant(s, "Type", s.Own(s.host.NewArray(9, 0)), "integer").i, 4105);
    for (const char* e : {"VariantToInt32", "VariantToInt64", "VariantToString"}) EXPECT_EQ(s.Calls(e), 1) << e;
    size_t before = s.host.calls.size();
    for (const char* reader : {"String", "Object"}) EXPECT_EQ(Variant(s, reader, nullptr, "object").h, nullptr) << reader;
    EXPECT_EQ(s.host.calls.size(), before);
    EXPECT_EQ(Variant(s, "Type", nullptr, "integer").i, 0);
    EXPECT_EQ(s.Calls("VarType"), 3) << "a nil variant is handed to the host";
}

PLUGIN_TEST_CFG(HostObjects, VariantReadersFallBackToProperties,
                Lacking({"VariantToInt32", "VariantToInt64", "VariantToString", "VariantToObject", "VariantHash",
                         "VariantToDouble", "REALLoadGlobalMethod"})) {
    void* v = s.Own(s.host.NewVariant(3, Value::L(1LL << 40)));
    EXPECT_EQ(Variant(s, "Long", v, "int64").l, 1LL << 40);
    EXPECT_EQ(Variant(s, "Type", v, "integer").i, 3);
    EXPECT_EQ(Variant(s, "Integer", s.Own(s.host.NewVariant(2, Value::I(7))), "integer").i, 7);
    for (auto [type, reader, h] : {std::tuple<int, const char*, void*>{8, "String", s.Str("text")}, {9, "Object", s.New("Object")}})
        EXPECT_EQ(s.Own(Variant(s, reader, s.Own(s.host.NewVariant(type, Value::H(h))), "object").h), h) << reader;
    // No property answers either: 0 and nil.
    void* plain = s.New("Object");
    EXPECT_EQ(Variant(s, "Integer", plain, "integer").i, 0);
    EXPECT_EQ(Variant(s, "String", plain, "object").h, nullptr);
    EXPECT_EQ(Variant(s, "Hash", v, "integer").i, 0);
    EXPECT_EQ(Variant(s, "Double", v, "double").d, 0.0);
}

// The test's host process gives standard error to a file of its own.
PLUGIN_TEST(HostObjects, DebugLogWritesOneLineToStandardError) {
    FILE* err = tmpfile();
    dup2(fileno(err), 2);
    void* log = s.Sym("DebugLog(REALstringStruct*)");
    for (void* str : {(void*)nullptr, s.Str(std::string("h\0i\0", 4), emu::kUTF16), s.Str("plain", emu::kASCII)})
        emu::CallWords(log, {W(str)}, "");
    char out[32] = {};
    rewind(err);
    EXPECT_EQ(std::string(out, fread(out, 1, sizeof out, err)), "\nhi\nplain\n");
}

PLUGIN_TEST(HostObjects, TickCountIsSixtyPerSecond) {
    uint32_t before = (uint32_t)((uint64_t)time(nullptr) * 60u);
    uint32_t ticks = (uint32_t)s.Words("TickCount()", {}, "integer").i;
    uint32_t after = (uint32_t)((uint64_t)time(nullptr) * 60u);
    // The product wraps around in 32 bits, so compare with the same wrapping.
    EXPECT_TRUE(ticks == before || ticks == after) << ticks;
}
