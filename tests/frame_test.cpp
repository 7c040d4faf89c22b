// The plugin frame as the host sees it: what is registered and in which
// order, byte for byte; how the wrappers find, keep and call the host's entry
// points; the array fallbacks; the host object functions.
#include "support.h"

#include <cmath>
#include <cstring>
#include <ctime>

using emu::Value;
using tkz::W;

namespace {

const char* kClasses[] = {"StdoutTKZ", "StdinTKZ", "StyleDataTKZ", "StyleDataListTKZ", "TimeZoneTKZ"};
const uint32_t kDataSizes[] = {0, 0, 96, 16, 32};

const char* kExtensionMethods[] = {
    "DisplayPathTKZ(delimiter as string = \"/\") as string",
    "NameExtensionTKZ as string",
    "NameWithoutExtensionTKZ as string",
    "VolumeSizeKBTKZ as Int64",
    "VolumeSizeTKZ as Int64",
    "VolumeFreeSizeKBTKZ as Int64",
    "VolumeFreeSizeTKZ as Int64",
    "FSSpecTKZ as memoryblock",
    "FSRefTKZ as memoryblock",
    "FSRefNameTKZ(byref name as string) as memoryblock",
    "IsFileDataForkOpenReadWriteTKZ as boolean",
    "IsFileResourceForkOpenReadWriteTKZ as boolean",
};

const char* kGlobalMethods[] = {
    "ValidateUUIDTKZ(UUID as string, mode as integer = 0) as string",
    "ArrayIsATKZ(v as variant, ClassName as string) as boolean",
    "ObjectIsATKZ(o as object, ClassName as string) as boolean",
    "SetCurrentWorkingDirectoryTKZ(path as folderitem) as boolean",
    "DecompileMacStyleDataTKZ(text as string, styles as string) as StyleDataListTKZ",
    "DecompileWinStyleDataTKZ(text as string, styles as string) as StyleDataListTKZ",
    "GetHash32TKZ(s as string) as integer",
    "GetEncodingOfStringTKZ(s as string) as integer",
    "SetEncodingOfStringTKZ(s as string, encoding as integer)",
    "StringFromOSTypeTKZ(int as integer) as string",
    "OSTypeFromStringTKZ(str as string) as integer",
    "StringToMemoryBlockTKZ(s as string) as memoryblock",
    "MemoryBlockToStringTKZ(s as memoryblock) as string",
    "MemoryBlockToStringWithLengthTKZ(s as memoryblock,len as integer) as string",
    "CloneStringTKZ(s as string) as string",
    "CloneMemoryBlockTKZ(s as memoryblock) as memoryblock",
    "CloneMemoryBlockWithLengthTKZ(s as memoryblock,len as integer) as memoryblock",
    "ReturnErrPtrTKZ as Integer",
    "ReturnOutPtrTKZ as Integer",
    "ReturnInPtrTKZ as Integer",
    "BitwiseXORStringBytesTKZ(s as string, v as integer) as string",
    "SleepTKZ(time as double)",
    "DelayTKZ(time as double)",
    "DelayTKZ(time as double, mode as integer)",
    "SetSoundVolumeTKZ(percent as double)",
    "GetSoundVolumeTKZ as double",
    "SetSoundVolumeLeftTKZ(percent as double)",
    "GetSoundVolumeLeftTKZ as double",
    "SetSoundVolumeRightTKZ(percent as double)",
    "GetSoundVolumeRightTKZ as double",
    "SetSoundMuteTKZ(mute as boolean)",
    "GetSoundMuteTKZ as boolean",
    "ShowCursorTKZ",
    "HideCursorTKZ",
    "ObscureCursorTKZ",
    "GetDoubleClickIntervalTKZ as integer",
    "NewFolderItemFSSpecTKZ(fsspec as memoryblock) as FolderItem",
    "NewFolderItemFSRefTKZ(fsref as memoryblock) as FolderItem",
    "NewFolderItemFSRefNameTKZ(fsref as memoryblock,name as string) as FolderItem",
};

bool AllZero(const uint32_t* w, int n) {
    for (int i = 0; i < n; ++i)
        if (w[i] != 0) return false;
    return true;
}

emu::Config Lacking(std::set<std::string> names) {
    emu::Config c;
    c.missing = std::move(names);
    return c;
}

// The host keeps the calls in order.
emu::Config Logged(emu::Config c = emu::Config()) {
    c.logCalls = true;
    return c;
}

emu::Config OnlyVersion() {
    emu::Config c;
    for (const std::string& n : emu::Host::EntryPointNames())
        if (n != "RegisterPluginVersion") c.missing.insert(n);
    return c;
}

}  // namespace

// ---- registration -----------------------------------------------------------

PLUGIN_TEST(Registration, RegistersInventoryInFixedOrder) {
    emu::Registry& r = s.host.registry();
    ASSERT_EQ(r.versions, std::vector<long>{9});
    ASSERT_EQ(r.classes.size(), 5u);
    ASSERT_EQ(r.extensions.size(), 1u);
    ASSERT_EQ(r.methods.size(), 39u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(r.classes[i]->name, kClasses[i]);
        EXPECT_EQ(r.order[i], std::string("class ") + kClasses[i]);
    }
    EXPECT_EQ(r.order[5], "extension folderitem");
    for (int i = 0; i < 39; ++i) {
        EXPECT_STREQ(r.methods[i]->declaration, kGlobalMethods[i]) << "global method " << i + 1;
        EXPECT_EQ(r.order[6 + i], std::string("method ") + kGlobalMethods[i]);
        EXPECT_EQ(r.methods[i]->flags, 4u);
        EXPECT_EQ(r.methods[i]->reserved, 0u);
        EXPECT_NE(r.methods[i]->function, nullptr);
    }
    const emu::ClassDef* ext = r.extensions[0];
    EXPECT_STREQ(ext->name, "folderitem");
    ASSERT_EQ(ext->methodCount, 12u);
    for (int i = 0; i < 12; ++i) {
        EXPECT_STREQ(ext->methods[i].declaration, kExtensionMethods[i]);
        EXPECT_EQ(ext->methods[i].flags, 4u);
    }
}

PLUGIN_TEST(Registration, ClassRecordsAreByteExact) {
    emu::Registry& r = s.host.registry();
    std::vector<emu::ClassDef*> defs = r.classes;
    defs.push_back(r.extensions[0]);
    for (size_t i = 0; i < defs.size(); ++i) {
        const emu::ClassDef* c = defs[i];
        SCOPED_TRACE(c->name);
        EXPECT_EQ(c->version, 9u);
        EXPECT_EQ(c->flags, 4u);
        EXPECT_EQ(c->reserved0, 0u);
        EXPECT_TRUE(AllZero(c->reserved1, 9));
        EXPECT_TRUE(AllZero(c->reserved2, 2));
        EXPECT_EQ(c->constructor, nullptr);
        if (i < 5) {
            EXPECT_EQ(c->dataSize, kDataSizes[i]);
            // The host's offset was written back into the plugin's own table.
            EXPECT_EQ(c->dataOffset, s.host.FindClass(c->name)->dataOffset);
            EXPECT_NE(c->dataOffset, 0u);
        }
        for (uint32_t p = 0; p < c->propertyCount; ++p) {
            EXPECT_EQ(c->properties[p].flags, 6u);
            EXPECT_EQ(c->properties[p].reserved0, 0u);
            EXPECT_TRUE(AllZero(c->properties[p].reserved1, 3));
        }
    }
    // Member counts and the one method entry with flags 0.
    EXPECT_EQ(r.classes[0]->methodCount, 2u);
    EXPECT_NE(r.classes[0]->destructor, nullptr);
    EXPECT_EQ(r.classes[1]->sharedMethodCount, 7u);
    EXPECT_EQ(r.classes[1]->destructor, nullptr);
    EXPECT_EQ(r.classes[2]->propertyCount, 21u);
    EXPECT_EQ(r.classes[3]->propertyCount, 1u);
    ASSERT_EQ(r.classes[3]->methodCount, 1u);
    EXPECT_STREQ(r.classes[3]->methods[0].declaration, "Style(index as integer) as StyleDataTKZ");
    EXPECT_EQ(r.classes[3]->methods[0].flags, 0u);
    EXPECT_EQ(r.classes[4]->propertyCount, 6u);
    EXPECT_EQ(r.classes[4]->destructor, nullptr);
    for (uint32_t i = 0; i < r.classes[1]->sharedMethodCount; ++i) EXPECT_EQ(r.classes[1]->sharedMethods[i].flags, 4u);
    for (uint32_t i = 0; i < r.classes[0]->methodCount; ++i) EXPECT_EQ(r.classes[0]->methods[i].flags, 4u);
}

PLUGIN_TEST(Registration, StyleDataPropertiesSitAtTheirFields) {
    struct Row { const char* name; const char* type; uint32_t param; bool customSetter; bool readOnly; };
    const Row rows[] = {
        {"FontAvailable", "Boolean", 64, false, false}, {"ColorAvailable", "Boolean", 56, false, false},
        {"Bold", "Boolean", 0, false, false},           {"Italic", "Boolean", 8, false, false},
        {"Underline", "Boolean", 16, false, false},     {"Outline", "Boolean", 24, false, false},
        {"Shadow", "Boolean", 32, false, false},        {"Condense", "Boolean", 40, false, false},
        {"Extend", "Boolean", 48, false, false},        {"TextOffset", "Integer", 4, false, false},
        {"TextHeight", "Integer", 12, false, false},    {"FontID", "Integer", 20, true, false},
        {"FontName", "String", 28, true, false},        {"TextSize", "Integer", 36, false, false},
        {"TextColor", "Color", 44, true, false},        {"Red", "Integer", 52, true, false},
        {"Green", "Integer", 60, true, false},          {"Blue", "Integer", 68, true, false},
        {"Text", "String", 72, true, false},            {"Style", "Integer", 80, false, false},
        {"TextLength", "Integer", 76, false, true},
    };
    const emu::ClassDef* c = s.host.registry().classes[2];
    void* direct = (void*)(intptr_t)-1;
    for (int i = 0; i < 21; ++i) {
        const emu::PropertyDef& p = c->properties[i];
        SCOPED_TRACE(rows[i].name);
        EXPECT_STREQ(p.name, rows[i].name);
        EXPECT_STREQ(p.type, rows[i].type);
        EXPECT_EQ(p.param, rows[i].param);
        EXPECT_EQ(p.getter, direct);
        if (rows[i].readOnly) EXPECT_EQ(p.setter, nullptr);
        else if (rows[i].customSetter) EXPECT_TRUE(p.setter != direct && p.setter != nullptr);
        else EXPECT_EQ(p.setter, direct);
    }
    const emu::PropertyDef& count = s.host.registry().classes[3]->properties[0];
    EXPECT_STREQ(count.name, "Count");
    EXPECT_EQ(count.param, 0u);
    EXPECT_EQ(count.setter, direct);
}

PLUGIN_TEST_CFG(Registration, AnnouncesVersionFirstAndReadsHostVersion, Logged()) {
    const std::vector<std::string>& calls = s.host.calls;
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], "RegisterPluginVersion");
    EXPECT_EQ(calls[1], "REALGetRBVersion");
    EXPECT_EQ(calls[2], "REALinRuntime");
    EXPECT_EQ(s.Calls("REALinRuntime"), 1);
    EXPECT_EQ(s.Calls("PluginRegisterMethod"), 39);
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
    EXPECT_EQ(styleData->dataSize, 96u);
    EXPECT_EQ(styleData->dataOffset, 0u);
}

// Our choice for a host without "RegisterPluginVersion": it is too old for
// this interface, so nothing is registered and nothing else is asked.
PLUGIN_TEST_CFG(Registration, HostWithoutVersionEntryIsLeftAlone, Logged(Lacking({"RegisterPluginVersion"}))) {
    EXPECT_TRUE(s.host.registry().order.empty());
    EXPECT_TRUE(s.host.calls.empty());
    EXPECT_EQ(s.host.Lookups("PluginRegisterClass"), 0);
}

PLUGIN_TEST(Registration, RegisteringHelpersRoundAndFlag) {
    struct { uint32_t version; const char* name; uint32_t size; } control = {9, "C", 17};
    s.Words("MyREALRegisterControl(REALcontrol*)", {W(&control)}, "integer");
    EXPECT_EQ(control.size, 32u);
    EXPECT_EQ(*(unsigned char*)s.Sym("gHasControls"), 1);
    EXPECT_EQ(s.host.recorded["PluginRegisterControl"], std::vector<uint32_t>{W(&control)});

    emu::ClassDef def{};
    def.name = "Probe";
    def.flags = 0x0F;
    s.Words("SetClassWebOnly(REALclassDefinition*)", {W(&def)});
    EXPECT_EQ(def.flags, 0x107u);
    def.flags = 0;
    s.Words("SetClassConsoleSafe(REALclassDefinition*)", {W(&def)});
    EXPECT_EQ(def.flags, 4u);
    def.dataSize = 32;
    s.Words("MyREALRegisterClass(REALclassDefinition*)", {W(&def)}, "integer");
    EXPECT_EQ(def.dataSize, 32u);
}

// ---- the wrappers ---------------------------------------------------------------

PLUGIN_TEST(Wrappers, FoundEntryPointIsAskedForOnce) {
    void* str = s.Str("x");
    int before = s.host.Lookups("REALLockString");
    for (int i = 0; i < 3; ++i) {
        s.Words("REALLockString(REALstringStruct*)", {W(str)});
        s.Words("REALUnlockString(REALstringStruct*)", {W(str)});
    }
    EXPECT_EQ(s.host.Lookups("REALLockString"), before == 0 ? 1 : before);
    EXPECT_EQ(s.host.RefCount(str), 1);
}

PLUGIN_TEST_CFG(Wrappers, MissingEntryPointIsAskedForAtEveryCall, Lacking({"REALLockString"})) {
    void* str = s.Str("x");
    for (int i = 0; i < 3; ++i) s.Words("REALLockString(REALstringStruct*)", {W(str)});
    EXPECT_EQ(s.host.Lookups("REALLockString"), 3);
    EXPECT_EQ(s.host.RefCount(str), 1);
}

namespace {
// Wrappers that nothing in the plugin calls reach recording entry points; the
// words each receives must be the wrapper's arguments, narrow ones widened.
struct Forwarding {
    const char* signature;
    const char* entry;
    std::vector<uint32_t> args;
    std::vector<uint32_t> received;
    const char* result;
};
uint32_t gEvent[2] = {0x11111111, 0x22222222};
const Forwarding kForwarding[] = {
    {"REALRegisterModule(REALmoduleDefinition*)", "PluginRegisterModule", {0x100}, {0x100}, "integer"},
    {"REALInDebugMode()", "REALInDebugMode", {}, {}, "boolean"},
    {"REALYieldToRB()", "REALYieldToRB", {}, {}, ""},
    {"REALRegisterBackgroundTask(void (*)(void*), unsigned long, void*)", "PluginRegisterBackgroundTask",
     {1, 2, 3}, {1, 2, 3}, "integer"},
    {"REALUnregisterBackgroundTask(long)", "PluginUnregisterBackgroundTask", {7}, {7}, ""},
    {"REALGetStringData(REALstringStruct*, unsigned long, REALstringData*)", "PluginGetStringData",
     {1, 0x600, 3}, {1, 0x600, 3}, "boolean"},
    {"REALDisposeStringData(REALstringData*)", "PluginDisposeStringData", {9}, {9}, ""},
    {"REALBuildPictureFromGWorld(void*, unsigned char)", "REALBuildPictureFromGWorld",
     {5, 0xABCDEF01}, {5, 1}, "object"},
    {"REALLockPictureDescription(REALpictureStruct*, REALpictureDescription*)", "lockPictureDescription",
     {1, 2}, {1, 2}, "boolean"},
    {"REALLockPictureDescription(REALpictureStruct*, REALpictureDescription*, long)",
     "REALLockPictureDescription", {1, 2, 3}, {1, 2, 3}, "boolean"},
    {"REALUnlockPictureDescription(REALpictureStruct*)", "unlockPictureDescription", {4}, {4}, ""},
    {"REALBuildPictureFromBuffer(long, long, long, void*, long)", "REALBuildPictureFromBuffer",
     {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, "object"},
    {"REALPictureClearCache(REALpictureStruct*)", "REALPictureClearCache", {6}, {6}, ""},
    {"REALGetPictureGraphics(REALpictureStruct*)", "pluginPictureGraphicsGetter", {6}, {6}, "object"},
    {"REALNewPicture(long, long, long)", "newPicture", {10, 20, 32}, {10, 20, 32}, "object"},
    {"REALGetPictureMask(REALpictureStruct*, unsigned char)", "REALGetPictureMask", {6, 0x7700}, {6, 0}, "object"},
    {"REALGraphicsDC(REALgraphicsStruct*)", "REALGraphicsDC", {3}, {3}, "object"},
    {"REALDrawPicturePrimitive(REALgraphicsStruct*, REALpictureStruct*, RB::Rect const*, int)",
     "REALDrawPicturePrimitive", {1, 2, 3, 4}, {1, 2, 3, 4}, ""},
    {"REALDrawPicturePrimitive(REALgraphicsStruct*, REALpictureStruct*, RB::Rect const*)",
     "REALDrawPicturePrimitive", {1, 2, 3}, {1, 2, 3, 0}, ""},
    {"GraphicsDrawLine(REALgraphicsStruct*, int, int, int, int)", "RuntimeGraphicsDrawLine",
     {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, ""},
    {"REALGraphicsDrawString(REALgraphicsStruct*, REALstringStruct*, long, long, long)",
     "RuntimeGraphicsDrawString", {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, ""},
    {"REALGetGraphicsOrigin(REALgraphicsStruct*, long*, long*)", "REALGetGraphicsOrigin", {1, 2, 3}, {1, 2, 3}, ""},
    {"REALSetGraphicsOrigin(REALgraphicsStruct*, long, long)", "REALSetGraphicsOrigin", {1, 2, 3}, {1, 2, 3}, ""},
    {"REALGetControlBounds(REALcontrolInstanceStruct*, RB::Rect*)", "GetControlBounds", {1, 2}, {1, 2}, ""},
    {"REALGetControlGraphics(REALcontrolInstanceStruct*)", "REALGetControlGraphics", {8}, {8}, "object"},
    {"REALGetControlWindow(REALcontrolInstanceStruct*)", "getControlWindow", {8}, {8}, "object"},
    {"REALGetTabPanelVisible(REALcontrolInstanceStruct*)", "GetTabPanelVisible", {8}, {8}, "boolean"},
    {"REALGetEventInstance(REALcontrolInstanceStruct*, REALevent*)", "GetEventInstance",
     {8, W(gEvent)}, {8, 0x22222222}, "object"},
    {"REALMessageBox(REALstringStruct*)", "RuntimeMsgBox", {5}, {5}, ""},
};

uint32_t AnswerOf(const Value& v) {
    switch (v.kind) {
    case Value::Int: return (uint32_t)v.i;
    case Value::Bool: return v.b;
    case Value::Handle: return W(v.h);
    default: return 0;
    }
}
}  // namespace

PLUGIN_TEST(Wrappers, HandArgumentsOnUnchanged) {
    for (const Forwarding& f : kForwarding) {
        SCOPED_TRACE(f.signature);
        s.host.recorded.erase(f.entry);
        Value v = s.Words(f.signature, f.args, f.result);
        ASSERT_TRUE(s.host.recorded.count(f.entry));
        EXPECT_EQ(s.host.recorded[f.entry], f.received);
        if (std::string(f.result) == "object" || std::string(f.result) == "integer")
            EXPECT_EQ(AnswerOf(v) & 0xFFFF0000u, 0x7E570000u) << "the entry point's answer is returned";
        if (std::string(f.result) == "boolean") EXPECT_TRUE(v.b);
    }
}

PLUGIN_TEST_CFG(Wrappers, AnswerZeroWithoutEntryPoint, OnlyVersion()) {
    for (const Forwarding& f : kForwarding) {
        SCOPED_TRACE(f.signature);
        Value v = s.Words(f.signature, f.args, f.result);
        if (std::string(f.signature).rfind("REALRegisterBackgroundTask", 0) == 0) EXPECT_EQ(v.i, -1);
        else EXPECT_EQ(AnswerOf(v), 0u);
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
}

namespace {
int gHandlerCalls = 0;
void* gHandlerData = nullptr;
void Handler(void* d) {
    ++gHandlerCalls;
    gHandlerData = d;
}
}  // namespace

PLUGIN_TEST_CFG(Wrappers, ExceptionHandlerWrapperCallsFunctionItselfWhenMissing,
                Lacking({"PluginCallFunctionWithExceptionHandler"})) {
    int data = 0;
    Value v = s.Words("REALCallFunctionWithExceptionHandler(void (*)(void*), void*)", {W((void*)&Handler), W(&data)},
                      "integer");
    EXPECT_EQ(v.i, 0);
    EXPECT_EQ(gHandlerCalls, 1);
    EXPECT_EQ(gHandlerData, &data);
}

PLUGIN_TEST(Wrappers, DeparturesReshapeTheirCalls) {
    // A nil class reference answers nil without calling the host, but the
    // entry point is still looked up.
    EXPECT_EQ(s.Words("REALnewInstance(REALclassRefStruct*)", {0}, "object").h, nullptr);
    EXPECT_EQ(s.host.Lookups("CreateInstance"), 1);
    EXPECT_EQ(s.Calls("CreateInstance"), 0);
    void* cls = s.host.FindClass("StyleDataTKZ");
    void* o = s.Own(s.Words("REALnewInstance(REALclassRefStruct*)", {W(cls)}, "object").h);
    EXPECT_EQ(s.host.ClassOf(o)->name, "StyleDataTKZ");

    const char* decl = "VarType(value As Variant) As Int32";
    Value fn = s.Words("REALLoadFrameworkMethod(char const*)", {W(decl)}, "object");
    EXPECT_NE(fn.h, nullptr);
    EXPECT_EQ(s.host.recorded["REALLoadGlobalMethod"], (std::vector<uint32_t>{0, W(decl)}));

    void* e = s.New("RuntimeException");
    EXPECT_TRUE(s.Words("REALSetPropValue(REALobjectStruct*, char const*, unsigned char)",
                        {W(e), W("Message"), 0xFFFFFF01}, "boolean").b);
    EXPECT_EQ(s.host.recorded["REALSetPropValueBoolean"], std::vector<uint32_t>{1});
    Value nv = s.Words("REALNewVariantBoolean(unsigned char)", {0x12345600}, "object");
    s.Own(nv.h);
    EXPECT_EQ(s.host.GetProp(nv.h, "IntegerValue").i, 0) << "only the low byte is the boolean";
}

// ---- array element access ---------------------------------------------------------

namespace {
void ArrayRoundTrips(tkz::Session& s) {
    void* ints = s.Own(s.host.NewArray(2, 4));
    s.Words("REALSetArrayValue(REALarrayStruct*, long, long)", {W(ints), 3, 0xCAFE});
    long i = 0;
    s.Words("REALGetArrayValue(REALarrayStruct*, long, long*)", {W(ints), 3, W(&i)});
    EXPECT_EQ(i, 0xCAFE);

    void* dbl = s.Own(s.host.NewArray(5, 2));
    double d = 2.5, back = 0;
    uint32_t dw[2];
    memcpy(dw, &d, 8);
    s.Words("REALSetArrayValue(REALarrayStruct*, long, double)", {W(dbl), 1, dw[0], dw[1]});
    s.Words("REALGetArrayValue(REALarrayStruct*, long, double*)", {W(dbl), 1, W(&back)});
    EXPECT_EQ(back, 2.5);

    void* i64 = s.Own(s.host.NewArray(3, 2));
    s.Words("REALSetArrayValue(REALarrayStruct*, long, long long)", {W(i64), 1, 0x89ABCDEF, 0x01234567});
    long long q = 0;
    s.Words("REALGetArrayValue(REALarrayStruct*, long, long long*)", {W(i64), 1, W(&q)});
    EXPECT_EQ(q, 0x0123456789ABCDEFLL);

    // Handles: a read carries a reference of the reader's; storing a handle
    // over itself leaves its count alone.
    void* strs = s.Own(s.host.NewArray(8, 2));
    void* str = s.Str("element");
    s.Words("REALSetArrayValue(REALarrayStruct*, long, REALstringStruct*)", {W(strs), 0, W(str)});
    EXPECT_EQ(s.host.RefCount(str), 2);
    s.Words("REALSetArrayValue(REALarrayStruct*, long, REALstringStruct*)", {W(strs), 0, W(str)});
    EXPECT_EQ(s.host.RefCount(str), 2);
    void* read = nullptr;
    s.Words("REALGetArrayValue(REALarrayStruct*, long, REALstringStruct**)", {W(strs), 0, W(&read)});
    EXPECT_EQ(read, str);
    EXPECT_EQ(s.host.RefCount(str), 3);
    s.host.Unlock(read);

    void* objs = s.Own(s.host.NewArray(9, 1));
    void* obj = s.New("Object");
    s.Words("REALSetArrayValue(REALarrayStruct*, long, REALobjectStruct*)", {W(objs), 0, W(obj)});
    void* got = nullptr;
    s.Words("REALGetArrayValue(REALarrayStruct*, long, REALobjectStruct**)", {W(objs), 0, W(&got)});
    EXPECT_EQ(got, obj);
    s.host.Unlock(got);
    s.Words("REALSetArrayValue(REALarrayStruct*, long, REALobjectStruct*)", {W(objs), 0, 0});
    EXPECT_EQ(s.host.RefCount(obj), 1) << "overwriting releases the old element";

    // A null destination reads nothing, but the finder is still asked.
    s.Words("REALGetArrayValue(REALarrayStruct*, long, long*)", {W(ints), 3, 0});
}
}  // namespace

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
    void* strs = s.Own(s.host.NewArray(8, 1));
    void* str = s.host.NewString("kept", emu::kUTF8);
    const char* setString = "REALSetArrayValue(REALarrayStruct*, long, REALstringStruct*)";
    s.Words(setString, {W(strs), 0, W(str)});
    s.host.Unlock(str);
    s.Words(setString, {W(strs), 0, W(str)});
    EXPECT_EQ(s.host.RefCount(str), 1);
    EXPECT_EQ(s.host.Bytes(str), "kept");

    void* bytes = s.Own(s.host.NewArray(11, 3));
    s.host.SetElement(bytes, 2, Value::B(true));
    unsigned char b = 0;
    s.Words("REALGetArrayValue(REALarrayStruct*, long, unsigned char*)", {W(bytes), 2, W(&b)});
    EXPECT_EQ(b, 1);

    // The unsigned short reader has no fallback: nothing is written, and the
    // host is asked again at the next call.
    unsigned short u = 99;
    void* ints = s.Own(s.host.NewArray(2, 1));
    s.Words("REALGetArrayValue(REALarrayStruct*, long, unsigned short*)", {W(ints), 0, W(&u)});
    s.Words("REALGetArrayValue(REALarrayStruct*, long, unsigned short*)", {W(ints), 0, W(&u)});
    EXPECT_EQ(u, 99);
    EXPECT_EQ(s.host.Lookups("RuntimeArrayDirectGetGetProc"), 8);
}

PLUGIN_TEST(Arrays, InsertGoesThroughHostProcedure) {
    void* ints = s.Own(s.host.NewArray(2, 2));
    s.host.SetElement(ints, 0, Value::I(10));
    s.host.SetElement(ints, 1, Value::I(30));
    s.Words("REALInsertArrayValue(REALarrayStruct*, long, long)", {W(ints), 1, 20});
    EXPECT_EQ(s.Words("REALGetArrayUBound(void*)", {W(ints)}, "integer").i, 2);
    EXPECT_EQ(s.Words("REALGetArrayInt(REALintArrayStruct*, int)", {W(ints), 1}, "integer").i, 20);
    // An array the host has no insert procedure for is left alone.
    void* strs = s.Own(s.host.NewArray(8, 1));
    s.Words("REALInsertArrayValue(REALarrayStruct*, long, REALstringStruct*)", {W(strs), 0, 0});
    EXPECT_EQ(s.Words("REALGetArrayUBound(void*)", {W(strs)}, "integer").i, 0);
}

// ---- host object functions ------------------------------------------------------

PLUGIN_TEST(HostObjects, ObjectIsAByName) {
    s.host.config().logCalls = true;
    s.host.DefineClass("Animal");
    s.host.DefineClass("Dog", "Animal");
    void* dog = s.New("Dog");
    const char* sig = "REALObjectIsA(REALobjectStruct*, char const*)";
    EXPECT_TRUE(s.Words(sig, {W(dog), W("Animal")}, "boolean").b);
    EXPECT_TRUE(s.Words(sig, {W(dog), W("Dog")}, "boolean").b);
    EXPECT_FALSE(s.Words(sig, {W(dog), W("Cat")}, "boolean").b);
    EXPECT_FALSE(s.Words(sig, {W(dog), W("")}, "boolean").b);
    size_t before = s.host.calls.size();
    EXPECT_FALSE(s.Words(sig, {0, W("Dog")}, "boolean").b);
    EXPECT_EQ(s.host.calls.size(), before) << "a nil object asks the host nothing";
}

PLUGIN_TEST_CFG(HostObjects, ObjectIsAWithoutHostClassTestIsFalse, Lacking({"RuntimeObjectIsa"})) {
    void* o = s.New("Object");
    EXPECT_FALSE(s.Words("REALObjectIsA(REALobjectStruct*, char const*)", {W(o), W("Object")}, "boolean").b);
}

PLUGIN_TEST(HostObjects, RaiseExceptionSetsMessageAfterRaising) {
    s.host.config().logCalls = true;
    s.Words("RaiseException(char const*, char const*)", {W("OutOfBoundsException"), W("bad index")});
    ASSERT_EQ(s.host.raised.size(), 1u);
    void* e = s.host.raised[0];
    EXPECT_EQ(s.host.ClassOf(e)->name, "OutOfBoundsException");
    Value m = s.Prop(e, "Message");
    EXPECT_EQ(s.Bytes(m.h), "bad index");
    EXPECT_EQ(s.Enc(m.h), emu::kASCII);
    auto& c = s.host.calls;
    auto raise = std::find(c.begin(), c.end(), "RuntimeRaiseException");
    auto set = std::find(c.begin(), c.end(), "REALSetPropValueString");
    EXPECT_LT(raise, set) << "raised before Message is set";
    EXPECT_EQ(s.host.RefCount(e), 1) << "the plugin gave its reference to the host's handling";
    s.host.Unlock(e);
    s.host.raised.clear();

    // An unknown class raises a NilObjectException; no message leaves it nil.
    s.Words("RaiseException(char const*, char const*)", {W("NoSuchClass"), 0});
    ASSERT_EQ(s.host.raised.size(), 1u);
    EXPECT_EQ(s.host.ClassOf(s.host.raised[0])->name, "NilObjectException");
    EXPECT_EQ(s.host.GetProp(s.host.raised[0], "Message").h, nullptr);
    s.host.Unlock(s.host.raised[0]);
    s.host.raised.clear();

    // An empty message builds no string: Message is set to nil.
    s.Words("RaiseException(char const*, char const*)", {W("RuntimeException"), W("")});
    ASSERT_EQ(s.host.raised.size(), 1u);
    EXPECT_EQ(s.host.GetProp(s.host.raised[0], "Message").h, nullptr);
    s.host.Unlock(s.host.raised[0]);
    s.host.raised.clear();
}

namespace {
emu::Config NoExceptions() {
    emu::Config c;
    c.newInstanceLimit["NilObjectException"] = 0;
    return c;
}
}  // namespace

PLUGIN_TEST_CFG(HostObjects, RaiseExceptionWithoutAnyClassRaisesNothing, NoExceptions()) {
    s.Words("RaiseException(char const*, char const*)", {W("NoSuchClass"), W("m")});
    EXPECT_TRUE(s.host.raised.empty());
    EXPECT_EQ(s.Calls("RuntimeRaiseException"), 0);
}

PLUGIN_TEST(HostObjects, BuildMemoryBlockCopiesBytes) {
    s.host.config().logCalls = true;
    const char* sig = "REALBuildMemoryblock(void const*, int)";
    void* b = s.Own(s.Words(sig, {W("hello"), 5}, "object").h);
    EXPECT_EQ(s.host.BlockBytes(b), "hello");
    size_t before = s.host.calls.size();
    EXPECT_EQ(s.Words(sig, {0, 5}, "object").h, nullptr);
    EXPECT_EQ(s.Words(sig, {W("x"), 0}, "object").h, nullptr);
    EXPECT_EQ(s.Words(sig, {W("x"), (uint32_t)-3}, "object").h, nullptr);
    EXPECT_EQ(s.host.calls.size(), before) << "no host call for refused input";
    EXPECT_TRUE(s.Words("IsMemoryBlock(REALobjectStruct*)", {W(b)}, "boolean").b);
    EXPECT_FALSE(s.Words("IsFolderItem(REALobjectStruct*)", {W(b)}, "boolean").b);
    void* f = s.Own(s.host.FolderItem("/tmp"));
    EXPECT_TRUE(s.Words("IsFolderItem(REALobjectStruct*)", {W(f)}, "boolean").b);
    EXPECT_FALSE(s.Words("IsMemoryBlock(REALobjectStruct*)", {W(f)}, "boolean").b);
}

PLUGIN_TEST_CFG(HostObjects, BuildMemoryBlockReleasesBlockWithoutBytes, Lacking({"memoryBlockGetPtr"})) {
    EXPECT_EQ(s.Words("REALBuildMemoryblock(void const*, int)", {W("hello"), 5}, "object").h, nullptr);
    // The ledger check at the end proves the new block was released.
}

PLUGIN_TEST(HostObjects, VariantReadersUseHostConversions) {
    s.host.config().logCalls = true;
    void* str = s.Str("text");
    void* v = s.Own(s.host.NewVariant(2, Value::I(-42)));
    EXPECT_EQ(s.Words("GetVariantInteger(REALobjectStruct*)", {W(v)}, "integer").i, -42);
    EXPECT_EQ(s.Words("GetVariantLong(REALobjectStruct*)", {W(v)}, "int64").l, -42);
    EXPECT_EQ(s.Words("GetVariantDouble(REALobjectStruct*)", {W(v)}, "double").d, -42.0);
    EXPECT_EQ(s.Words("GetVariantSingle(REALobjectStruct*)", {W(v)}, "single").d, -42.0);
    EXPECT_TRUE(s.Words("GetVariantBoolean(REALobjectStruct*)", {W(v)}, "boolean").b);
    EXPECT_EQ(s.Words("GetVariantType(REALobjectStruct*)", {W(v)}, "integer").i, 2);
    EXPECT_NE(s.Words("GetVariantHash(REALobjectStruct*)", {W(v)}, "integer").i, 0);
    void* sv = s.Own(s.host.NewVariant(8, Value::H(str)));
    void* got = s.Own(s.Words("GetVariantString(REALobjectStruct*)", {W(sv)}, "object").h);
    EXPECT_EQ(got, str);
    void* arr = s.Own(s.host.NewArray(9, 0));
    EXPECT_EQ(s.Words("GetVariantType(REALobjectStruct*)", {W(arr)}, "integer").i, 4105);
    size_t before = s.host.calls.size();
    EXPECT_EQ(s.Words("GetVariantString(REALobjectStruct*)", {0}, "object").h, nullptr);
    EXPECT_EQ(s.Words("GetVariantObject(REALobjectStruct*)", {0}, "object").h, nullptr);
    EXPECT_EQ(s.host.calls.size(), before);
    EXPECT_EQ(s.Words("GetVariantType(REALobjectStruct*)", {0}, "integer").i, 0);
    EXPECT_EQ(s.Calls("VarType"), 3) << "a nil variant is handed to the host";
}

PLUGIN_TEST_CFG(HostObjects, VariantReadersFallBackToProperties,
                Lacking({"VariantToInt32", "VariantToInt64", "VariantToString", "VariantToObject", "VariantHash",
                         "VariantToDouble", "REALLoadGlobalMethod"})) {
    void* str = s.Str("text");
    void* obj = s.New("Object");
    void* v = s.Own(s.host.NewVariant(3, Value::L(1LL << 40)));
    EXPECT_EQ(s.Words("GetVariantLong(REALobjectStruct*)", {W(v)}, "int64").l, 1LL << 40);
    EXPECT_EQ(s.Words("GetVariantType(REALobjectStruct*)", {W(v)}, "integer").i, 3);
    void* iv = s.Own(s.host.NewVariant(2, Value::I(7)));
    EXPECT_EQ(s.Words("GetVariantInteger(REALobjectStruct*)", {W(iv)}, "integer").i, 7);
    EXPECT_EQ(s.host.Lookups("VariantToInt32"), 1);
    s.Words("GetVariantInteger(REALobjectStruct*)", {W(iv)}, "integer");
    EXPECT_EQ(s.host.Lookups("VariantToInt32"), 2) << "a missing entry point is asked for again";
    void* sv = s.Own(s.host.NewVariant(8, Value::H(str)));
    EXPECT_EQ(s.Own(s.Words("GetVariantString(REALobjectStruct*)", {W(sv)}, "object").h), str);
    void* ov = s.Own(s.host.NewVariant(9, Value::H(obj)));
    EXPECT_EQ(s.Own(s.Words("GetVariantObject(REALobjectStruct*)", {W(ov)}, "object").h), obj);
    // No property answers either: 0 and nil.
    void* plain = s.New("Object");
    EXPECT_EQ(s.Words("GetVariantInteger(REALobjectStruct*)", {W(plain)}, "integer").i, 0);
    EXPECT_EQ(s.Words("GetVariantString(REALobjectStruct*)", {W(plain)}, "object").h, nullptr);
    EXPECT_EQ(s.Words("GetVariantHash(REALobjectStruct*)", {W(v)}, "integer").i, 0);
    EXPECT_EQ(s.Words("GetVariantDouble(REALobjectStruct*)", {W(v)}, "double").d, 0.0);
}

TEST(HostObjects, DebugLogWritesOneLineToStandardError) {
    std::string out;
    int rc = emu::RunChild(
        [] {
            emu::Host host;
            if (!host.Load(TKZ_PLUGIN, nullptr)) return 1;
            void* log = host.Symbol("DebugLog(REALstringStruct*)");
            emu::CallWords(log, {0}, "");
            void* utf16 = host.NewString(std::string("h\0i\0", 4), emu::kUTF16);
            emu::CallWords(log, {W(utf16)}, "");
            void* ascii = host.NewString("plain", emu::kASCII);
            emu::CallWords(log, {W(ascii)}, "");
            host.Unlock(utf16);
            host.Unlock(ascii);
            return host.LiveSince(0).empty() && host.violations.empty() ? 0 : 2;
        },
        &out);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, "\nhi\nplain\n");
}

PLUGIN_TEST(HostObjects, TickCountIsSixtyPerSecond) {
    uint32_t before = (uint32_t)((uint64_t)time(nullptr) * 60u);
    uint32_t ticks = (uint32_t)s.Words("TickCount()", {}, "integer").i;
    uint32_t after = (uint32_t)((uint64_t)time(nullptr) * 60u);
    // The product wraps around in 32 bits, so compare with the same wrapping.
    EXPECT_TRUE(ticks == before || ticks == after) << ticks;
}
