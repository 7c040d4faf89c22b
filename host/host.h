// The emulated host: plays the closed host for a plugin of this interface.
// It hands out entry points by name, keeps strings and objects with strict
// reference counts in a ledger, registers what the plugin registers and calls
// registered procedures exactly as the host does (i386 cdecl).
//
// One Host lives in a process at a time (the entry points it hands out find it
// through Host::Current()). A plugin keeps what it found for the life of the
// process, so each host configuration runs in a fresh process (RunChild).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "child.h"
#include "declarations.h"
#include "layout.h"

namespace host {

// Encoding values of the plugin interface.
enum : uint32_t {
    kMacRoman = 0,
    kUTF16 = 0x100,
    kWindows = 0x500,
    kASCII = 0x600,
    kUTF8 = 0x08000100,
    kUTF32 = 0x0C000100,
    kRaw = 0xFFFF,
};

struct Config {
    std::set<std::string> missing;                // entry points the host lacks
    std::map<std::string, int> newInstanceLimit;  // class name -> instances allowed
    std::map<std::string, int> failAfter;         // entry point -> successful calls allowed
    bool reallyFree = false;                      // free released records (benchmarks)
    bool logCalls = false;                        // keep Host::calls, the calls in order
    bool nilEmptyNames = false;                   // folder items hand an empty (display) name as nil
};

// A value crossing the boundary, by the declared type.
struct Value {
    enum Kind { None, Int, Int64, Double, Bool, Handle, Ref } kind = None;
    int32_t i = 0;
    int64_t l = 0;
    double d = 0;
    bool b = false;
    void* h = nullptr;  // string / object handle (Handle) or address (Ref)
    static Value I(int32_t v) { return {.kind = Int, .i = v}; }
    static Value L(int64_t v) { return {.kind = Int64, .l = v}; }
    static Value D(double v) { return {.kind = Double, .d = v}; }
    static Value B(bool v) { return {.kind = Bool, .b = v}; }
    static Value H(const void* v) { return {.kind = Handle, .h = (void*)v}; }
    static Value R(void* p) { return {.kind = Ref, .h = p}; }
};

// Host-side class of objects (the plugin's or the host's own).
struct HostClass {
    std::string name;
    HostClass* parent = nullptr;
    ClassDef* def = nullptr;  // the plugin's definition, for plugin classes
    uint32_t dataOffset = 0;
    uint32_t dataSize = 0;
    int kind = 0;  // ObjectKind below
};

enum ObjectKind { kPluginObject, kPlainObject, kFolderItem, kMemoryBlock, kArray, kVariant, kException };

// What the plugin registered, in order.
struct Registry {
    std::vector<long> versions;  // RegisterPluginVersion arguments
    std::vector<ClassDef*> classes;
    std::vector<ClassDef*> extensions;
    std::vector<MethodDef*> methods;  // global methods
    std::vector<std::string> order;   // "class X", "extension X", "method D"
};

// A record still alive: its handle, and what it is with its count.
struct Leak {
    const void* handle;
    std::string what;
};

// A fault the host saw in how it was used. The kind is for tools that sort
// faults; Message() is the text every report shows.
struct Violation {
    enum Kind {
        Leaked,            // still alive when all should be given back (Faults, never in violations)
        OverReleased,      // released more often than locked
        UsedAfterRelease,  // a handle whose record was already released
        UnknownHandle,     // a handle the host never made
        WrongKind,         // a string where an object belongs, or the reverse
        OutOfBounds,       // an array index past the array's ends
        NilGiven,          // nil given to an entry point the plugin never hands nil
        Other,             // a class without a name, a read-only property written ...
    };
    Kind kind = Other;
    std::string who;   // the entry point or operation that saw it ("" for none)
    std::string what;  // the record concerned (its description), or the detail
    std::string Message() const;
};

class Host {
  public:
    explicit Host(Config config = Config());
    ~Host();
    Host(const Host&) = delete;
    static Host& Current();

    // ---- life (host.cpp) ----------------------------------------------------
    Config& config() { return config_; }

    // ---- entry points and calls counted (entrypoints.cpp) -------------------
    static void* Resolver(const char* name);
    void* Resolve(const char* name);
    int Lookups(const std::string& name) const;
    static std::vector<std::string> EntryPointNames();
    // How often an entry point (or a host-language method the host handed
    // out) was called. Every call is counted, without allocating.
    int CallCount(const std::string& name) const;
    // The calls in order (name only), kept only while config().logCalls is
    // on: the tests that look at the order switch it on. And the words of the
    // calls that reached recording entry points.
    std::vector<std::string> calls;
    std::map<std::string, std::vector<uint32_t>> recorded;

    // ---- the plugin (loader.cpp, symbols.cpp) -------------------------------
    bool Load(const std::string& path, std::string* error);
    void* PluginHandle() const { return dl_; }
    // Address of an exported function or data of the plugin, by its plain
    // name or its demangled C++ signature ("REALLockString(REALstringStruct*)").
    void* Symbol(const std::string& name);
    Registry& registry() { return registry_; }

    // ---- calls (call.cpp) and properties (properties.cpp) -------------------
    // Registered members, by declaration text or name (first match).
    const MethodDef* GlobalMethod(const std::string& declOrName, int argc = -1);
    const MethodDef* ClassMethod(const std::string& cls, const std::string& declOrName, bool shared, int argc = -1);
    const MethodDef* ExtensionMethod(const std::string& declOrName, int argc = -1);
    const PropertyDef* Property(const std::string& cls, const std::string& name);

    // Calls a registered procedure as the host does; `self` first for
    // instance and extension methods. A returned handle carries one reference
    // that now belongs to the caller.
    Value Call(const MethodDef* m, const std::vector<Value>& args, void* self = nullptr);
    Value CallGlobal(const std::string& declOrName, const std::vector<Value>& args);
    Value GetProp(void* obj, const std::string& name);
    void SetProp(void* obj, const std::string& name, const Value& v);

    // ---- strings (strings.cpp) ----------------------------------------------
    StringRec* NewString(const std::string& bytes, uint32_t encoding);
    std::string Bytes(const void* s);  // "" for nil
    uint32_t Encoding(const void* s);
    StringRec* Convert(StringRec* s, uint32_t encoding);

    // ---- classes and objects (objects.cpp; folder items: folderitems.cpp) ---
    HostClass* DefineClass(const std::string& name, const std::string& parent = "Object");
    HostClass* FindClass(const std::string& name);
    void* NewObject(HostClass* cls);
    void* NewObject(const std::string& cls);
    HostClass* ClassOf(const void* obj);
    char* DataOf(void* obj);             // plugin instance data
    void* NewMemoryBlock(int size);      // nil for a negative size
    void* MemoryBlockOver(void* bytes);  // size unknown (-1)
    std::string BlockBytes(void* block);
    char* BlockData(void* block);  // its bytes
    // A new instance as the host makes one for the program ("new X"): the
    // configured limits apply and a registered constructor runs.
    void* NewInstance(const std::string& cls);
    void* NewInstance(HostClass* cls);
    void* FolderItem(const std::string& path);  // real path
    void* SyntheticItem(const std::string& name, const std::string& displayName, void* parent);
    std::string PathOf(void* item);
    // Arrays and variants: types are TypeCodes (declarations.h).
    void* NewArray(int elementType, int count);
    void SetElement(void* array, int index, const Value& v);  // takes its own reference
    void* NewVariant(int type, const Value& v);
    std::vector<void*> raised;  // exceptions raised, references held by the host

    // ---- references: the ledger (ledger.cpp) --------------------------------
    void Lock(const void* h);
    // Stores a handle in a 4-byte slot that holds a reference: the new handle
    // is locked before the old one is released, so storing one over itself
    // keeps it alive.
    void StoreHandle(void* slot, void* handle);
    void Unlock(const void* h);
    int RefCount(const void* h) const;  // -1 for unknown or released
    uint64_t Mark() const { return serial_; }
    std::vector<Leak> LiveSince(uint64_t mark) const;
    std::vector<Violation> violations;  // in the order seen
    // Every fault since a point: the records made after `mark` still alive
    // (Leaked), then violations from `firstViolation` on.
    std::vector<Violation> Faults(uint64_t mark = 0, size_t firstViolation = 0) const;

    // internal, used by the entry points
    struct Entry {
        bool object = false;
        int refs = 0;
        bool released = false;
        uint64_t serial = 0;
        size_t size = 0;
        std::string what;
    };
    Entry* Check(const void* h, const char* who);
    bool CountCall(int index);  // a row of entrypoints.def; false: the configured failure
    void ReleaseNow(void* h);
    std::map<const void*, Entry> ledger;

  private:
    void Destroy(void* h);
    void DrainDestructions();
    void Bury(void* h, Entry& e);
    void EmptyGraveyard();

    Config config_;
    Registry registry_;
    std::map<std::string, int> lookups_;
    std::vector<int> callCounts_;                                // by row of entrypoints.def
    std::map<std::string, std::unique_ptr<HostClass>> classes_;  // by lower-case name
    std::vector<void*> pendingDestroy_;
    bool destroying_ = false;
    uint64_t serial_ = 0;
    void* dl_ = nullptr;
    std::string path_;
    std::map<std::string, void*> symbols_;
    std::vector<void*> graveyard_;
};

// A byref parameter's slot as the host lays it out for the declared type
// (Classify reads it): a 32-bit word; 8 bytes for an int64, uint64 or double;
// a float for a single; a boolean in the first of 4 bytes; anything else (an
// array too) a handle holding the slot's own reference, which the callee may
// replace. The slot is exactly that size on the heap, so a sanitized run
// sees a callee writing past it. Host::Call passes Address() as the word.
class ByrefSlot {
  public:
    ByrefSlot() = default;
    ByrefSlot(Host& host, const std::string& type, const Value& v);
    ByrefSlot(ByrefSlot&& other) noexcept { *this = std::move(other); }
    ByrefSlot& operator=(ByrefSlot&& other) noexcept;
    ~ByrefSlot() { Release(); }

    Type type() const { return type_; }
    Value Address() const { return Value::R(bytes_); }
    Value Get() const;  // what the slot holds now
    Value Take();       // ... and the reference it holds: the caller's to give back
    void Release();     // gives back the reference still held, and the slot

  private:
    Host* host_ = nullptr;
    Type type_ = Type::None;
    char* bytes_ = nullptr;
    bool held_ = false;  // the slot holds a handle's reference
};

// Calls a cdecl procedure with the given stack words and reads its result as
// the declared type says ("" for none; a 32-bit word, int64, double, single,
// boolean, anything else a handle: Classify).
Value CallWords(void* fn, const std::vector<uint32_t>& words, const std::string& result);

// What a plugin registered, as a readable listing: tkzhost --list and help
// (inventory.cpp).
std::string DescribeRegistry(Host& host);

}  // namespace host
