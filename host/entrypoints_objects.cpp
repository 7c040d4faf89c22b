// What the entry points for registering, references, strings, objects and
// classes, memory blocks and folder items do (entrypoints.def names them;
// each call is counted before it gets here).
#include "entrypoints.h"

#include <string>

namespace host::entries {

// ---- registering ----------------------------------------------------------

void RegisterPluginVersion(long v) { H().registry().versions.push_back(v); }
double GetVersion() { return 2019.031; }
long RegisterClass(Who who, ClassDef* def) {
    Host& h = H();
    if (def == nullptr || def->name == nullptr) {
        h.violations.push_back({Violation::Other, who.name, "a definition without a name"});
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
    H().registry().extensions.push_back(def);
    H().registry().order.push_back(std::string("extension ") + def->name);
    return 0;
}
long RegisterMethod(MethodDef* m) {
    H().registry().methods.push_back(m);
    H().registry().order.push_back(std::string("method ") + m->declaration);
    return 0;
}
bool InRuntime() { return true; }
long CallWithHandler(void (*f)(void*), void* data) {
    f(data);
    return 0;
}

// ---- references and strings -----------------------------------------------

namespace {
// An object call given a string, or a string call given an object, is
// recorded and then done anyway, as the host would.
void LockOrUnlock(Who who, void* h, bool wrongKind, const char* given, void (Host::*op)(const void*)) {
    if (!Given(who, h)) return;
    if (wrongKind) H().violations.push_back({Violation::WrongKind, who.name, given});
    (H().*op)(h);
}
}  // namespace
void LockObject(Who who, void* o) { LockOrUnlock(who, o, o && IsString(o), "a string", &Host::Lock); }
void UnlockObject(Who who, void* o) { LockOrUnlock(who, o, o && IsString(o), "a string", &Host::Unlock); }
void LockString(Who who, void* s) { LockOrUnlock(who, s, s && IsObject(s), "an object", &Host::Lock); }
void UnlockString(Who who, void* s) { LockOrUnlock(who, s, s && IsObject(s), "an object", &Host::Unlock); }
StringRec* BuildString(Who who, const char* bytes, int length) {
    if (length > 0 && !Given(who, bytes)) return nullptr;
    if (length < 0) return nullptr;
    // Untagged until the caller says otherwise: bytes of no known encoding.
    return H().NewString(std::string(bytes ? bytes : "", (size_t)length), kRaw);
}
StringRec* ConvertString(StringRec* s, unsigned long encoding) { return H().Convert(s, (uint32_t)encoding); }
void SetStringEncoding(Who who, StringRec* s, unsigned long encoding) {
    if (H().Check(s, who)) s->encoding = (uint32_t)encoding;
}

// ---- objects and classes --------------------------------------------------

HostClass* ObjectType(Who who, const char* name) { return Given(who, name) ? H().FindClass(name) : nullptr; }
void* NewInstance(Who who, const char* name) {
    return Given(who, name) ? H().NewInstance(H().FindClass(name)) : nullptr;
}
void* CreateInstance(HostClass* cls) { return H().NewInstance(cls); }
bool ObjectIsa(Who who, void* o, HostClass* cls) {
    if (!Given(who, o) || !Given(who, cls) || !H().Check(o, who)) return false;
    for (HostClass* c = ClassOfObject(o); c; c = c->parent)
        if (c == cls) return true;
    return false;
}
void* GetPluginData(void* o, HostClass*) { return KindIs(o, kPluginObject) ? H().DataOf(o) : nullptr; }

namespace {
void MemoryBlockConstructor(void*, long) {}
void* FolderItemTrueItem(void*, long) { return nullptr; }
}  // namespace

void* LoadObjectMethod(Who who, void* o, const char* declaration) {
    if (!declaration || !H().Check(o, who)) return nullptr;
    std::string d = Lower(declaration);
    if (KindIs(o, kMemoryBlock) && d == "constructor(bytes as integer)") return (void*)&MemoryBlockConstructor;
    if (KindIs(o, kFolderItem) && d == "trueitem(index as integer) as folderitem") return (void*)&FolderItemTrueItem;
    return nullptr;
}
void* LoadGlobalMethod(Who who, void* module, const char* declaration) {
    H().recorded[who.name] = {(uint32_t)(uintptr_t)module, (uint32_t)(uintptr_t)declaration};
    if (module == nullptr && declaration && Lower(declaration) == "vartype(value as variant) as int32")
        return ProcedureOf(CallId::VarType);
    return nullptr;
}
void RaiseException(Who who, void* e) {
    if (Given(who, e) && H().Check(e, who)) H().raised.push_back(e);  // takes the caller's reference
}

// ---- memory blocks, folder items, fonts ------------------------------------

void* NewMemoryBlock(int size) { return H().NewMemoryBlock(size); }
namespace {
BlockPayload* BlockOf(void* m, const char* who) {
    if (!Given(Who{who}, m) || !H().Check(m, who) || !KindIs(m, kMemoryBlock)) return nullptr;
    return PayloadOf<BlockPayload>(m);
}
}  // namespace
void* MemoryBlockGetPtr(Who who, void* m) {
    BlockPayload* p = BlockOf(m, who);
    return p ? p->data : nullptr;
}
long MemoryBlockGetSize(Who who, void* m) {
    BlockPayload* p = BlockOf(m, who);
    return p ? p->size : 0;
}
void* PtrToMemoryBlock(void* bytes) { return bytes ? H().MemoryBlockOver(bytes) : nullptr; }
void* PathFromFolderItem(Who who, void* item) {
    if (!Given(who, item) || !H().Check(item, who) || !KindIs(item, kFolderItem)) return nullptr;
    return H().NewString(H().PathOf(item), kUTF8);
}
unsigned long GetFontEncoding(const char*) { return kUTF8; }

}  // namespace host::entries
