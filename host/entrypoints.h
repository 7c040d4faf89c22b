// Shared by the emulated host's entry points: the place of each row of
// entrypoints.def, the implementations the rows name, and what they have in
// common.
#pragma once

#include "host.h"
#include "internals.h"

namespace host {

// Each row's place, in the order of entrypoints.def: its call counter.
enum class CallId : int {
#define ENTRY(name, implementation) name,
#define FALLIBLE(name, implementation) name,
#define RECORDING(name, words) name,
#define METHOD(name, implementation) name,
#include "entrypoints.def"
#undef ENTRY
#undef FALLIBLE
#undef RECORDING
#undef METHOD
};

// The procedure a row makes, for the methods handed out by other entry
// points (REALLoadGlobalMethod).
void* ProcedureOf(CallId id);

namespace entries {

// An entry point's own name, given to an implementation that says it in
// its messages.
struct Who {
    const char* name;
    operator const char*() const { return name; }
};

inline Host& H() { return Host::Current(); }
// False, with a violation, for nil where the plugin never hands the entry
// point nil (a nil handle there means a check the plugin skipped).
inline bool Given(Who who, const void* p) {
    if (p == nullptr) H().violations.push_back({Violation::NilGiven, who.name, ""});
    return p != nullptr;
}
inline bool IsString(const void* h) {
    auto it = H().ledger.find(h);
    return it != H().ledger.end() && !it->second.object;
}
inline bool IsObject(const void* h) {
    auto it = H().ledger.find(h);
    return it != H().ledger.end() && it->second.object;
}
inline HostClass* ClassOfObject(const void* o) { return o && IsObject(o) ? H().ClassOf(o) : nullptr; }
inline bool KindIs(const void* o, int kind) {
    HostClass* c = ClassOfObject(o);
    return c && c->kind == kind;
}

// ---- entrypoints_objects.cpp ----------------------------------------------
void RegisterPluginVersion(long v);
double GetVersion();
long RegisterClass(Who who, ClassDef* def);
long RegisterClassExtension(ClassDef* def);
long RegisterMethod(MethodDef* m);
bool InRuntime();
long CallWithHandler(void (*f)(void*), void* data);

void LockObject(Who who, void* o);
void UnlockObject(Who who, void* o);
void LockString(Who who, void* s);
void UnlockString(Who who, void* s);
StringRec* BuildString(Who who, const char* bytes, int length);
StringRec* ConvertString(StringRec* s, unsigned long encoding);
void SetStringEncoding(Who who, StringRec* s, unsigned long encoding);

HostClass* ObjectType(Who who, const char* name);
void* NewInstance(Who who, const char* name);
void* CreateInstance(HostClass* cls);
bool ObjectIsa(Who who, void* o, HostClass* cls);
void* GetPluginData(void* o, HostClass* cls);
void* LoadObjectMethod(Who who, void* o, const char* declaration);
void* LoadGlobalMethod(Who who, void* module, const char* declaration);
void RaiseException(Who who, void* e);

void* NewMemoryBlock(int size);
void* MemoryBlockGetPtr(Who who, void* m);
long MemoryBlockGetSize(Who who, void* m);
void* PtrToMemoryBlock(void* bytes);
void* PathFromFolderItem(Who who, void* item);
unsigned long GetFontEncoding(const char* font);

// ---- entrypoints_values.cpp -------------------------------------------------
template <class T>
bool GetPropValue(Who who, void* o, const char* name, T* out);
bool SetPropInt(Who who, void* o, const char* name, long v);
bool SetPropHandle(Who who, void* o, const char* name, void* v);
bool SetPropDouble(Who who, void* o, const char* name, double v);
bool SetPropUInt32(Who who, void* o, const char* name, unsigned long v);
bool SetPropUInt64(Who who, void* o, const char* name, unsigned long long v);
bool SetPropInt64(Who who, void* o, const char* name, long long v);
bool SetPropBoolean(Who who, void* o, const char* name, unsigned long v);

long VarTypeOf(Who who, void* v);
void* StringToVariant(StringRec* s);
void* Int32ToVariant(long v);
void* DoubleToVariant(double v);
void* BooleanToVariant(unsigned long v);
void* ColorToVariant(long v);
void* UInt32ToVariant(unsigned long v);
void* Int64ToVariant(long long v);
void* UInt64ToVariant(unsigned long long v);
void* SingleToVariant(float v);
unsigned long VariantHash(void* v);
float VariantToSingle(void* v);
double VariantToDouble(void* v);
bool VariantToBoolean(void* v);
long long VariantToInt64(void* v);
long VariantToInt32(void* v);
void* VariantToString(void* v);
void* VariantToObject(void* v);

long UBound(Who who, void* a);
void* CreateArray(long type, long ubound);
long DirectReadInt(Who who, void* a, int i);
void* DirectReadHandle(Who who, void* a, int i);
void* InsertProcFinder(Who who, void* a);
void* GetProcFinder(Who who, void* a);
void* SetProcFinder(Who who, void* a);

}  // namespace entries
}  // namespace host
