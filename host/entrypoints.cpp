// Every host entry point a plugin of this interface may ask for by name, with
// the behaviour the plugin relies on. Entry points that no registered
// procedure reaches (pictures, controls, modules ...) record the words they
// were called with, so that the plugin's wrappers can be checked to hand
// their arguments on unchanged.
#include "host.h"
#include "internals.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

namespace emu {

namespace {

Host& H() { return Host::Current(); }

bool IsString(const void* h) {
    auto it = H().ledger.find(h);
    return it != H().ledger.end() && !it->second.object;
}
bool IsObject(const void* h) {
    auto it = H().ledger.find(h);
    return it != H().ledger.end() && it->second.object;
}
HostClass* ClassOfObj(const void* o) { return o && IsObject(o) ? H().ClassOf(o) : nullptr; }
bool KindIs(const void* o, int kind) {
    HostClass* c = ClassOfObj(o);
    return c && c->kind == kind;
}

// ---- registering ----------------------------------------------------------

void RegisterPluginVersion(long v) {
    H().CountCall("RegisterPluginVersion");
    H().registry().versions.push_back(v);
}
double GetRBVersion() {
    H().CountCall("REALGetRBVersion");
    return 2019.031;
}
long RegisterClass(ClassDef* def) {
    Host& h = H();
    h.CountCall("PluginRegisterClass");
    if (def == nullptr || def->name == nullptr) {
        h.violations.push_back("PluginRegisterClass: a definition without a name");
        return -1;
    }
    HostClass* cls = h.DefineClass(def->name);
    cls->kind = kPluginObject;
    cls->def = def;
    // A non-zero offset that differs between classes, so that code ignoring
    // dataOffset reads the wrong bytes.
    cls->dataOffset = (uint32_t)(sizeof(ObjectHeader) + 4 + 8 * h.registry().classes.size());
    cls->dataSize = def->dataSize;
    def->dataOffset = cls->dataOffset;
    h.registry().classes.push_back(def);
    h.registry().order.push_back(std::string("class ") + def->name);
    return 0;
}
long RegisterClassExtension(ClassDef* def) {
    H().CountCall("PluginRegisterClassExtension");
    H().registry().extensions.push_back(def);
    H().registry().order.push_back(std::string("extension ") + def->name);
    return 0;
}
long RegisterMethod(MethodDef* m) {
    H().CountCall("PluginRegisterMethod");
    H().registry().methods.push_back(m);
    H().registry().order.push_back(std::string("method ") + m->declaration);
    return 0;
}
bool InRuntime() {
    H().CountCall("REALinRuntime");
    return true;
}
long CallWithHandler(void (*f)(void*), void* data) {
    H().CountCall("PluginCallFunctionWithExceptionHandler");
    f(data);
    return 0;
}

// ---- references and strings -----------------------------------------------

void LockObject(void* o) {
    H().CountCall("REALLockObject");
    if (o && IsString(o)) H().violations.push_back("REALLockObject given a string");
    H().Lock(o);
}
void UnlockObject(void* o) {
    H().CountCall("REALUnlockObject");
    if (o && IsString(o)) H().violations.push_back("REALUnlockObject given a string");
    H().Unlock(o);
}
void LockString(void* s) {
    H().CountCall("REALLockString");
    if (s && IsObject(s)) H().violations.push_back("REALLockString given an object");
    H().Lock(s);
}
void UnlockString(void* s) {
    H().CountCall("REALUnlockString");
    if (s && IsObject(s)) H().violations.push_back("REALUnlockString given an object");
    H().Unlock(s);
}
StringRec* BuildString(const char* bytes, int length) {
    if (!H().CountCall("REALBuildString") || length < 0 || (bytes == nullptr && length > 0)) return nullptr;
    // Untagged until the caller says otherwise: bytes of no known encoding.
    return H().NewString(std::string(bytes ? bytes : "", (size_t)length), kRaw);
}
StringRec* ConvertString(StringRec* s, unsigned long enc) {
    if (!H().CountCall("REALConvertString")) return nullptr;
    return H().Convert(s, (uint32_t)enc);
}
void SetStringEncoding(StringRec* s, unsigned long enc) {
    H().CountCall("REALSetStringEncoding");
    if (H().Check(s, "REALSetStringEncoding")) s->encoding = (uint32_t)enc;
}

// ---- objects and classes --------------------------------------------------

HostClass* ObjectType(const char* name) {
    H().CountCall("pluginObjectType");
    return name ? H().FindClass(name) : nullptr;
}

void* Instantiate(HostClass* cls) {
    Host& h = H();
    if (cls == nullptr) return nullptr;
    auto lim = h.config().newInstanceLimit.find(cls->name);
    if (lim != h.config().newInstanceLimit.end()) {
        if (lim->second <= 0) return nullptr;
        --lim->second;
    }
    switch (cls->kind) {
    case kFolderItem: return h.FolderItem("/");
    case kMemoryBlock: return h.NewMemoryBlock(0);
    case kArray: return h.NewArray(2, 0);
    case kVariant: return h.NewVariant(0, Value());
    default: break;
    }
    ObjectHeader* o = (ObjectHeader*)h.NewObject(cls);
    if (cls->kind == kPluginObject && cls->def && cls->def->constructor)
        ((void (*)(void*))cls->def->constructor)(o);
    return o;
}
void* NewInstance(const char* name) {
    if (!H().CountCall("PluginNewInstance")) return nullptr;
    return name ? Instantiate(H().FindClass(name)) : nullptr;
}
void* CreateInstance(HostClass* cls) {
    if (!H().CountCall("CreateInstance")) return nullptr;
    return Instantiate(cls);
}
bool ObjectIsa(void* o, HostClass* cls) {
    H().CountCall("RuntimeObjectIsa");
    if (!H().Check(o, "RuntimeObjectIsa")) return false;
    for (HostClass* c = ClassOfObj(o); c; c = c->parent)
        if (c == cls) return true;
    return false;
}
void* GetPluginData(void* o, HostClass*) {
    H().CountCall("PluginGetPluginData");
    return KindIs(o, kPluginObject) ? H().DataOf(o) : nullptr;
}
void MemoryBlockConstructor(void*, long) {}
void* FolderItemTrueItem(void*, long) { return nullptr; }
void* LoadObjectMethod(void* o, const char* decl) {
    H().CountCall("REALLoadObjectMethod");
    if (!decl || !H().Check(o, "REALLoadObjectMethod")) return nullptr;
    std::string d = Lower(decl);
    if (KindIs(o, kMemoryBlock) && d == "constructor(bytes as integer)") return (void*)&MemoryBlockConstructor;
    if (KindIs(o, kFolderItem) && d == "trueitem(index as integer) as folderitem") return (void*)&FolderItemTrueItem;
    return nullptr;
}
long VarTypeOf(void* v);
void* LoadGlobalMethod(void* module, const char* decl) {
    H().CountCall("REALLoadGlobalMethod");
    H().recorded["REALLoadGlobalMethod"] = {(uint32_t)(uintptr_t)module, (uint32_t)(uintptr_t)decl};
    if (module == nullptr && decl && Lower(decl) == "vartype(value as variant) as int32") return (void*)&VarTypeOf;
    return nullptr;
}
void RaiseException(void* e) {
    H().CountCall("RuntimeRaiseException");
    if (H().Check(e, "RuntimeRaiseException")) H().raised.push_back(e);  // takes the caller's reference
}

// ---- variants -------------------------------------------------------------

long VarTypeOf(void* v) {
    H().CountCall("VarType");
    if (v == nullptr) return 0;
    if (!H().Check(v, "VarType")) return 0;
    if (IsString(v)) return 8;
    HostClass* c = ClassOfObj(v);
    if (c->kind == kVariant) return PayloadOf<VariantPayload>(v)->type;
    if (c->kind == kArray) return 0x1000 + PayloadOf<ArrayPayload>(v)->type;
    return 9;
}
VariantPayload* VariantOf(void* v) { return KindIs(v, kVariant) ? PayloadOf<VariantPayload>(v) : nullptr; }
void* NewVariant(const char* entry, int type, Value value) {
    if (!H().CountCall(entry)) return nullptr;
    return H().NewVariant(type, value);
}
void* StringToVariant(StringRec* s) { return NewVariant("StringToVariant", 8, Value::H(s)); }
void* Int32ToVariant(long v) { return NewVariant("Int32ToVariant", 2, Value::I(v)); }
void* DoubleToVariant(double v) { return NewVariant("DoubleToVariant", 5, Value::D(v)); }
void* BooleanToVariant(unsigned long v) { return NewVariant("BooleanToVariant", 11, Value::B(v != 0)); }
void* ColorToVariant(long v) { return NewVariant("ColorToVariant", 16, Value::I(v)); }
void* UInt32ToVariant(unsigned long v) { return NewVariant("UInt32ToVariant", 2, Value::I((int32_t)v)); }
void* Int64ToVariant(long long v) { return NewVariant("Int64ToVariant", 3, Value::L(v)); }
void* UInt64ToVariant(unsigned long long v) { return NewVariant("UInt64ToVariant", 3, Value::L((int64_t)v)); }
void* SingleToVariant(float v) { return NewVariant("SingleToVariant", 4, Value::D(v)); }

double NumberOf(const Value& v) {
    switch (v.kind) {
    case Value::Int: return v.i;
    case Value::Int64: return (double)v.l;
    case Value::Double: return v.d;
    case Value::Bool: return v.b;
    default: return 0;
    }
}
int64_t IntegerOf(const Value& v) {
    switch (v.kind) {
    case Value::Int: return v.i;
    case Value::Int64: return v.l;
    case Value::Double: return (int64_t)v.d;
    case Value::Bool: return v.b;
    default: return 0;
    }
}
unsigned long VariantHash(void* v) {
    H().CountCall("VariantHash");
    VariantPayload* p = VariantOf(v);
    return p ? (unsigned long)(IntegerOf(p->value) * 2654435761u) : 0;
}
float VariantToSingle(void* v) {
    H().CountCall("VariantToSingle");
    VariantPayload* p = VariantOf(v);
    return p ? (float)NumberOf(p->value) : 0.0f;
}
double VariantToDouble(void* v) {
    H().CountCall("VariantToDouble");
    VariantPayload* p = VariantOf(v);
    return p ? NumberOf(p->value) : 0.0;
}
bool VariantToBoolean(void* v) {
    H().CountCall("VariantToBoolean");
    VariantPayload* p = VariantOf(v);
    return p && NumberOf(p->value) != 0;
}
long long VariantToInt64(void* v) {
    H().CountCall("VariantToInt64");
    VariantPayload* p = VariantOf(v);
    return p ? IntegerOf(p->value) : 0;
}
long VariantToInt32(void* v) {
    H().CountCall("VariantToInt32");
    VariantPayload* p = VariantOf(v);
    return p ? (long)IntegerOf(p->value) : 0;
}
void* VariantHandle(void* v, bool wantString) {
    VariantPayload* p = VariantOf(v);
    if (!p || p->value.kind != Value::Handle || !p->value.h || IsString(p->value.h) != wantString) return nullptr;
    H().Lock(p->value.h);
    return p->value.h;
}
void* VariantToString(void* v) {
    H().CountCall("VariantToString");
    return VariantHandle(v, true);
}
void* VariantToObject(void* v) {
    H().CountCall("VariantToObject");
    return VariantHandle(v, false);
}

// ---- properties by name ---------------------------------------------------

template <class T> bool GetPropAs(const char* entry, void* o, const char* name, T* out) {
    H().CountCall(entry);
    Value v;
    if (!o || !name || !H().Check(o, entry)) return false;
    v = H().GetProp(o, name);
    if (v.kind == Value::None) return false;
    if constexpr (std::is_pointer_v<T>) {
        if (v.kind != Value::Handle) return false;
        *out = (T)v.h;
    } else if constexpr (std::is_floating_point_v<T>) {
        *out = (T)NumberOf(v);
    } else {
        *out = (T)IntegerOf(v);
    }
    return true;
}
bool SetPropAs(const char* entry, void* o, const char* name, const Value& v) {
    H().CountCall(entry);
    if (!o || !name || !H().Check(o, entry)) return false;
    H().SetProp(o, name, v);
    return true;
}

#define GETPROP(fn, entry, T) \
    bool fn(void* o, const char* n, T* out) { return GetPropAs<T>(entry, o, n, out); }
GETPROP(GetPropInt, "REALGetPropValueInt", long)
GETPROP(GetPropString, "REALGetPropValueString", void*)
GETPROP(GetPropDouble, "REALGetPropValueDouble", double)
GETPROP(GetPropObject, "REALGetPropValueObject", void*)
GETPROP(GetPropInt64, "REALGetPropValueInt64", long long)
GETPROP(GetPropUInt64, "REALGetPropValueUInt64", unsigned long long)
GETPROP(GetPropUInt32, "REALGetPropValueUInt32", unsigned long)
GETPROP(GetPropUInt16, "REALGetPropValueUInt16", unsigned short)
GETPROP(GetPropInt16, "REALGetPropValueInt16", short)
GETPROP(GetPropInt8, "REALGetPropValueInt8", char)
GETPROP(GetPropBool, "REALGetPropValueBool", unsigned char)
GETPROP(GetPropSingle, "REALGetPropValueSingle", float)
#undef GETPROP

bool SetPropInt(void* o, const char* n, long v) { return SetPropAs("REALSetPropValueInt", o, n, Value::I(v)); }
bool SetPropString(void* o, const char* n, void* v) { return SetPropAs("REALSetPropValueString", o, n, Value::H(v)); }
bool SetPropDouble(void* o, const char* n, double v) { return SetPropAs("REALSetPropValueDouble", o, n, Value::D(v)); }
bool SetPropObject(void* o, const char* n, void* v) { return SetPropAs("REALSetPropValueObject", o, n, Value::H(v)); }
bool SetPropUInt32(void* o, const char* n, unsigned long v) {
    return SetPropAs("REALSetPropValueUInt32", o, n, Value::I((int32_t)v));
}
bool SetPropUInt64(void* o, const char* n, unsigned long long v) {
    return SetPropAs("REALSetPropValueUInt64", o, n, Value::L((int64_t)v));
}
bool SetPropInt64(void* o, const char* n, long long v) { return SetPropAs("REALSetPropValueInt64", o, n, Value::L(v)); }
bool SetPropBool(void* o, const char* n, unsigned long v) {
    H().recorded["REALSetPropValueBoolean"] = {(uint32_t)v};
    return SetPropAs("REALSetPropValueBoolean", o, n, Value::B(v != 0));
}

// ---- arrays -----------------------------------------------------------------

ArrayPayload* ArrayOf(void* a, const char* who) {
    if (!H().Check(a, who) || !KindIs(a, kArray)) return nullptr;
    return PayloadOf<ArrayPayload>(a);
}
char* ElementAt(void* a, long i, const char* who) {
    ArrayPayload* p = ArrayOf(a, who);
    if (!p) return nullptr;
    if (i < 0 || i >= p->count) {
        H().violations.push_back(std::string(who) + ": index " + std::to_string(i) + " out of bounds");
        return nullptr;
    }
    return (char*)((ObjectHeader*)a)->storage + (size_t)ElementSize(p->type) * (size_t)i;
}
long UBound(void* a) {
    H().CountCall("RuntimeUBound");
    ArrayPayload* p = ArrayOf(a, "RuntimeUBound");
    return p ? p->count - 1 : -1;
}
void* CreateArray(long type, long ubound) {
    if (!H().CountCall("RuntimeArrayCreateSingleDimBoundedArray") || ubound < -1) return nullptr;
    return H().NewArray((int)type, (int)ubound + 1);
}
template <class T> T ReadElement(void* a, long i, const char* who) {
    T v{};
    if (char* at = ElementAt(a, i, who)) memcpy(&v, at, sizeof v);
    return v;
}
long DirectReadInt(void* a, int i) {
    H().CountCall("RuntimeDirectReadIntArray");
    return ReadElement<long>(a, i, "RuntimeDirectReadIntArray");
}
void* DirectReadHandle(const char* entry, void* a, int i) {
    H().CountCall(entry);
    void* h = ReadElement<void*>(a, i, entry);
    if (h) H().Lock(h);
    return h;
}
void* DirectReadString(void* a, int i) { return DirectReadHandle("RuntimeDirectReadStringArray", a, i); }
void* DirectReadObject(void* a, int i) { return DirectReadHandle("RuntimeDirectReadObjectArray", a, i); }

// Element procedures the host hands out per array.
template <class T> T GetElement(void* a, long i) { return ReadElement<T>(a, i, "array get"); }
void* GetHandleElement(void* a, long i) {
    void* h = ReadElement<void*>(a, i, "array get");
    if (h) H().Lock(h);
    return h;
}
template <class T> void SetElementProc(void* a, T v, long i) {
    if (char* at = ElementAt(a, i, "array set")) memcpy(at, &v, sizeof v);
}
void SetHandleElement(void* a, void* v, long i) {
    if (ElementAt(a, i, "array set")) H().SetElement(a, (int)i, Value::H(v));
}
void InsertIntElement(void* a, long i, long v) {
    ArrayPayload* p = ArrayOf(a, "array insert");
    if (!p || i < 0 || i > p->count) return;
    ObjectHeader* o = (ObjectHeader*)a;
    char* grown = (char*)realloc(o->storage, 4 * (size_t)(p->count + 1));
    memmove(grown + 4 * (i + 1), grown + 4 * i, 4 * (size_t)(p->count - i));
    memcpy(grown + 4 * i, &v, 4);
    o->storage = grown;
    ++p->count;
}
void* GetProcFinder(void* a) {
    H().CountCall("RuntimeArrayDirectGetGetProc");
    ArrayPayload* p = ArrayOf(a, "RuntimeArrayDirectGetGetProc");
    if (!p) return nullptr;
    switch (p->type) {
    case 3: return (void*)&GetElement<long long>;
    case 5: return (void*)&GetElement<double>;
    case 11: return (void*)&GetElement<unsigned char>;
    case 8: case 9: return (void*)&GetHandleElement;
    default: return (void*)&GetElement<long>;
    }
}
void* SetProcFinder(void* a) {
    H().CountCall("RuntimeArrayDirectGetSetProc");
    ArrayPayload* p = ArrayOf(a, "RuntimeArrayDirectGetSetProc");
    if (!p) return nullptr;
    switch (p->type) {
    case 3: return (void*)&SetElementProc<long long>;
    case 5: return (void*)&SetElementProc<double>;
    case 8: case 9: return (void*)&SetHandleElement;
    case 11: return nullptr;
    default: return (void*)&SetElementProc<long>;
    }
}
void* InsertProcFinder(void* a) {
    H().CountCall("RuntimeArrayDirectGetInsertProc");
    ArrayPayload* p = ArrayOf(a, "RuntimeArrayDirectGetInsertProc");
    return p && p->type == 2 ? (void*)&InsertIntElement : nullptr;
}

// ---- memory blocks and folder items ---------------------------------------

void* NewMemoryBlockEntry(int size) {
    if (!H().CountCall("newMemoryBlock")) return nullptr;
    return H().NewMemoryBlock(size);
}
BlockPayload* BlockOf(void* m, const char* who) {
    if (!H().Check(m, who) || !KindIs(m, kMemoryBlock)) return nullptr;
    return PayloadOf<BlockPayload>(m);
}
void* MemoryBlockGetPtr(void* m) {
    H().CountCall("memoryBlockGetPtr");
    BlockPayload* p = BlockOf(m, "memoryBlockGetPtr");
    return p ? p->data : nullptr;
}
long MemoryBlockGetSize(void* m) {
    H().CountCall("memoryBlockGetSize");
    BlockPayload* p = BlockOf(m, "memoryBlockGetSize");
    return p ? p->size : 0;
}
void* PtrToMemoryBlock(void* ptr) {
    if (!H().CountCall("PtrToMemoryBlock") || ptr == nullptr) return nullptr;
    return H().MemoryBlockOver(ptr);
}
void* PathFromFolderItem(void* item) {
    if (!H().CountCall("REALpathFromFolderItem")) return nullptr;
    if (!item || !H().Check(item, "REALpathFromFolderItem") || !KindIs(item, kFolderItem)) return nullptr;
    return H().NewString(H().PathOf(item), kUTF8);
}
unsigned long GetFontEncoding(const char*) {
    H().CountCall("REALGetFontEncoding");
    return kUTF8;
}

// ---- recording entry points -------------------------------------------------

struct Recording {
    const char* name;
    int words;
};
const Recording kRecordings[] = {
    {"PluginRegisterControl", 1}, {"PluginRegisterModule", 1}, {"REALInDebugMode", 0},
    {"REALYieldToRB", 0}, {"PluginRegisterBackgroundTask", 3}, {"PluginUnregisterBackgroundTask", 1},
    {"PluginGetStringData", 3}, {"PluginDisposeStringData", 1}, {"REALBuildPictureFromGWorld", 2},
    {"lockPictureDescription", 2}, {"REALLockPictureDescription", 3}, {"unlockPictureDescription", 1},
    {"REALBuildPictureFromBuffer", 5}, {"REALPictureClearCache", 1}, {"pluginPictureGraphicsGetter", 1},
    {"newPicture", 3}, {"REALGetPictureMask", 2}, {"REALGraphicsDC", 1}, {"REALDrawPicturePrimitive", 4},
    {"RuntimeGraphicsDrawLine", 5}, {"RuntimeGraphicsDrawString", 5}, {"REALGetGraphicsOrigin", 3},
    {"REALSetGraphicsOrigin", 3}, {"GetControlBounds", 2}, {"REALGetControlGraphics", 1},
    {"getControlWindow", 1}, {"GetTabPanelVisible", 1}, {"GetEventInstance", 2}, {"RuntimeMsgBox", 1},
};
const int kRecordingCount = sizeof kRecordings / sizeof kRecordings[0];

// The answer of recording entry point I: distinct, with a non-zero low byte.
template <int I> uint32_t Record(uint32_t a0, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4) {
    const Recording& r = kRecordings[I];
    H().CountCall(r.name);
    uint32_t w[5] = {a0, a1, a2, a3, a4};
    H().recorded[r.name].assign(w, w + r.words);
    return 0x7E570000u + 0x100u * I + 0x11u;
}
template <int... I> std::vector<EntryPoint> Recorders(std::integer_sequence<int, I...>) {
    return {EntryPoint{kRecordings[I].name, (void*)&Record<I>}...};
}

}  // namespace

const std::vector<EntryPoint>& EntryPoints() {
    static const std::vector<EntryPoint> table = [] {
        std::vector<EntryPoint> t = {
            {"RegisterPluginVersion", (void*)&RegisterPluginVersion},
            {"REALGetRBVersion", (void*)&GetRBVersion},
            {"PluginRegisterClass", (void*)&RegisterClass},
            {"PluginRegisterClassExtension", (void*)&RegisterClassExtension},
            {"PluginRegisterMethod", (void*)&RegisterMethod},
            {"REALinRuntime", (void*)&InRuntime},
            {"PluginCallFunctionWithExceptionHandler", (void*)&CallWithHandler},
            {"REALLockObject", (void*)&LockObject},
            {"REALUnlockObject", (void*)&UnlockObject},
            {"REALLockString", (void*)&LockString},
            {"REALUnlockString", (void*)&UnlockString},
            {"REALBuildString", (void*)&BuildString},
            {"REALConvertString", (void*)&ConvertString},
            {"REALSetStringEncoding", (void*)&SetStringEncoding},
            {"pluginObjectType", (void*)&ObjectType},
            {"PluginNewInstance", (void*)&NewInstance},
            {"CreateInstance", (void*)&CreateInstance},
            {"RuntimeObjectIsa", (void*)&ObjectIsa},
            {"PluginGetPluginData", (void*)&GetPluginData},
            {"REALLoadObjectMethod", (void*)&LoadObjectMethod},
            {"REALLoadGlobalMethod", (void*)&LoadGlobalMethod},
            {"RuntimeRaiseException", (void*)&RaiseException},
            {"REALGetPropValueInt", (void*)&GetPropInt},
            {"REALGetPropValueString", (void*)&GetPropString},
            {"REALGetPropValueDouble", (void*)&GetPropDouble},
            {"REALGetPropValueObject", (void*)&GetPropObject},
            {"REALGetPropValueInt64", (void*)&GetPropInt64},
            {"REALGetPropValueUInt64", (void*)&GetPropUInt64},
            {"REALGetPropValueUInt32", (void*)&GetPropUInt32},
            {"REALGetPropValueUInt16", (void*)&GetPropUInt16},
            {"REALGetPropValueInt16", (void*)&GetPropInt16},
            {"REALGetPropValueInt8", (void*)&GetPropInt8},
            {"REALGetPropValueBool", (void*)&GetPropBool},
            {"REALGetPropValueSingle", (void*)&GetPropSingle},
            {"REALSetPropValueInt", (void*)&SetPropInt},
            {"REALSetPropValueString", (void*)&SetPropString},
            {"REALSetPropValueDouble", (void*)&SetPropDouble},
            {"REALSetPropValueObject", (void*)&SetPropObject},
            {"REALSetPropValueUInt32", (void*)&SetPropUInt32},
            {"REALSetPropValueUInt64", (void*)&SetPropUInt64},
            {"REALSetPropValueInt64", (void*)&SetPropInt64},
            {"REALSetPropValueBoolean", (void*)&SetPropBool},
            {"StringToVariant", (void*)&StringToVariant},
            {"Int32ToVariant", (void*)&Int32ToVariant},
            {"DoubleToVariant", (void*)&DoubleToVariant},
            {"BooleanToVariant", (void*)&BooleanToVariant},
            {"ColorToVariant", (void*)&ColorToVariant},
            {"UInt32ToVariant", (void*)&UInt32ToVariant},
            {"Int64ToVariant", (void*)&Int64ToVariant},
            {"UInt64ToVariant", (void*)&UInt64ToVariant},
            {"SingleToVariant", (void*)&SingleToVariant},
            {"VariantHash", (void*)&VariantHash},
            {"VariantToSingle", (void*)&VariantToSingle},
            {"VariantToDouble", (void*)&VariantToDouble},
            {"VariantToBoolean", (void*)&VariantToBoolean},
            {"VariantToInt64", (void*)&VariantToInt64},
            {"VariantToInt32", (void*)&VariantToInt32},
            {"VariantToString", (void*)&VariantToString},
            {"VariantToObject", (void*)&VariantToObject},
            {"RuntimeUBound", (void*)&UBound},
            {"RuntimeArrayCreateSingleDimBoundedArray", (void*)&CreateArray},
            {"RuntimeDirectReadIntArray", (void*)&DirectReadInt},
            {"RuntimeDirectReadStringArray", (void*)&DirectReadString},
            {"RuntimeDirectReadObjectArray", (void*)&DirectReadObject},
            {"RuntimeArrayDirectGetInsertProc", (void*)&InsertProcFinder},
            {"RuntimeArrayDirectGetGetProc", (void*)&GetProcFinder},
            {"RuntimeArrayDirectGetSetProc", (void*)&SetProcFinder},
            {"newMemoryBlock", (void*)&NewMemoryBlockEntry},
            {"memoryBlockGetPtr", (void*)&MemoryBlockGetPtr},
            {"memoryBlockGetSize", (void*)&MemoryBlockGetSize},
            {"PtrToMemoryBlock", (void*)&PtrToMemoryBlock},
            {"REALpathFromFolderItem", (void*)&PathFromFolderItem},
            {"REALGetFontEncoding", (void*)&GetFontEncoding},
        };
        for (const EntryPoint& e : Recorders(std::make_integer_sequence<int, kRecordingCount>())) t.push_back(e);
        return t;
    }();
    return table;
}

void* Host::NewInstance(const std::string& cls) { return Instantiate(FindClass(cls)); }

void* Host::Resolver(const char* name) { return Current().Resolve(name); }

void* Host::Resolve(const char* name) {
    if (name == nullptr) return nullptr;
    ++lookups_[name];
    if (config_.missing.count(name)) return nullptr;
    for (const EntryPoint& e : EntryPoints())
        if (strcmp(e.name, name) == 0) return e.address;
    return nullptr;
}

namespace {
// The host-language methods REALLoadGlobalMethod hands out, counted as calls.
const char* const kCountedMethods[] = {"VarType"};
}  // namespace

int CountedCalls() { return (int)(EntryPoints().size() + std::size(kCountedMethods)); }

int CallIndex(const char* name) {
    // Built once; a look-up compares views and allocates nothing.
    static const std::vector<std::pair<std::string_view, int>> sorted = [] {
        std::vector<std::pair<std::string_view, int>> t;
        for (const EntryPoint& e : EntryPoints()) t.emplace_back(e.name, (int)t.size());
        for (const char* m : kCountedMethods) t.emplace_back(m, (int)t.size());
        std::sort(t.begin(), t.end());
        return t;
    }();
    std::string_view key(name);
    auto it = std::lower_bound(sorted.begin(), sorted.end(), key,
                               [](const std::pair<std::string_view, int>& e, std::string_view k) { return e.first < k; });
    return it != sorted.end() && it->first == key ? it->second : -1;
}

int Host::Lookups(const std::string& name) const {
    auto it = lookups_.find(name);
    return it == lookups_.end() ? 0 : it->second;
}

std::vector<std::string> Host::EntryPointNames() {
    std::vector<std::string> names;
    for (const EntryPoint& e : EntryPoints()) names.push_back(e.name);
    return names;
}

}  // namespace emu
