// The host object functions (exceptions, memory blocks, class tests by name,
// variants, the debug line, ticks) and the array element access with the
// host's finders and with the plugin's own fallbacks.
#include "support.h"

#include "hostapi/wrappers.h"
#include "objects/hostobjects.h"

#include <cstring>
#include <ctime>

using host::Value;

namespace {

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

// ---- array element access ---------------------------------------------------------

PLUGIN_TEST(Arrays, ElementsThroughHostFinders) {
    ArrayRoundTrips(s);
    EXPECT_GE(s.Calls("RuntimeArrayDirectGetGetProc"), 6);
    EXPECT_GE(s.Calls("RuntimeArrayDirectGetSetProc"), 5);
}

PLUGIN_TEST_CFG(Arrays, ElementsThroughOwnFallbacks,
                (host::Config{.missing = {"RuntimeArrayDirectGetGetProc", "RuntimeArrayDirectGetSetProc"}})) {
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
PLUGIN_TEST_CFG(HostObjects, WhatTheHostCannotGiveLeavesNothingBehind,
                (host::Config{.missing = {"memoryBlockGetPtr"}, .newInstanceLimit = {{"NilObjectException", 0}}})) {
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
    for (auto [bytes, n] : {std::pair{(const char*)nullptr, 5}, {"x", 0}, {"x", -3}})
        EXPECT_EQ(build(bytes, n), nullptr) << n;
    EXPECT_EQ(s.host.calls.size(), before) << "no host call for refused input";
    void* f = s.Own(s.host.FolderItem("/tmp"));
    for (void* o : {b, f}) {
        EXPECT_EQ(TKZ_FN(IsMemoryBlock)(o), o == b);
        EXPECT_EQ(TKZ_FN(IsFolderItem)(o), o == f);
    }
}

// The variant type, which ArrayIsATKZ reads through the host's VarType: without
// it, the property Type.
PLUGIN_TEST_CFG(HostObjects, VariantTypeFallsBackToTheProperty, host::Config{.missing = {"REALLoadGlobalMethod"}}) {
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
