// Calling registered procedures as the host does: the declaration text gives
// the parameter and result types; arguments go on the stack as i386 cdecl
// words (an instance first for instance and extension methods). A boolean's
// stack slot carries junk in its upper bytes, as a real caller may leave it.
// Properties of plugin objects are read and written directly at dataOffset +
// param or through the registered getter and setter; those of the host's own
// objects as each kind keeps them (folder items: folderitems.cpp).
#include "host.h"
#include "internals.h"

#include <cstring>

namespace emu {

namespace {

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// Splits "x as T" at the last top-level " as ".
bool SplitAs(const std::string& s, std::string* left, std::string* type) {
    std::string low = Lower(s);
    size_t at = low.rfind(" as ");
    if (at == std::string::npos) return false;
    *left = Trim(s.substr(0, at));
    *type = Trim(s.substr(at + 4));
    return !left->empty() && !type->empty();
}

}  // namespace

Decl ParseDecl(const std::string& text) {
    Decl d;
    std::string head = text, rest;
    size_t open = text.find('(');
    if (open != std::string::npos) {
        // Match the closing parenthesis outside quoted defaults and array
        // parameters' own "()".
        size_t close = std::string::npos;
        bool quoted = false;
        int depth = 0;
        for (size_t i = open + 1; i < text.size(); ++i) {
            if (text[i] == '"') quoted = !quoted;
            else if (text[i] == '(' && !quoted) ++depth;
            else if (text[i] == ')' && !quoted && depth-- == 0) { close = i; break; }
        }
        if (close == std::string::npos) {
            d.error = "missing ')'";
            return d;
        }
        d.name = Trim(text.substr(0, open));
        std::string params = text.substr(open + 1, close - open - 1);
        rest = Trim(text.substr(close + 1));
        std::vector<std::string> parts;
        std::string cur;
        quoted = false;
        for (char c : params) {
            if (c == '"') quoted = !quoted;
            if (c == ',' && !quoted) { parts.push_back(cur); cur.clear(); }
            else cur += c;
        }
        if (!Trim(cur).empty() || !parts.empty()) parts.push_back(cur);
        for (std::string p : parts) {
            Param prm;
            p = Trim(p);
            size_t eq = p.find('=');
            if (eq != std::string::npos) {
                prm.defaultText = Trim(p.substr(eq + 1));
                p = Trim(p.substr(0, eq));
            }
            if (Lower(p).rfind("byref ", 0) == 0) {
                prm.byref = true;
                p = Trim(p.substr(6));
            }
            if (!SplitAs(p, &prm.name, &prm.type)) {
                d.error = "parameter without a type: " + p;
                return d;
            }
            d.params.push_back(prm);
        }
        if (!rest.empty()) {
            if (Lower(rest).rfind("as ", 0) != 0) {
                d.error = "unexpected text after the parameters: " + rest;
                return d;
            }
            d.result = Trim(rest.substr(3));
        }
    } else {
        std::string name, type;
        if (SplitAs(head, &name, &type)) d.name = name, d.result = type;
        else d.name = Trim(head);
    }
    d.ok = !d.name.empty();
    if (!d.ok) d.error = "no name";
    return d;
}

namespace {

enum class Kind { String, Integer, Int64, Double, Single, Boolean, Handle };

Kind KindOf(const std::string& type) {
    std::string t = Lower(type);
    if (t == "string") return Kind::String;
    if (t == "integer" || t == "color" || t == "int32" || t == "uint32") return Kind::Integer;
    if (t == "int64" || t == "uint64") return Kind::Int64;
    if (t == "double") return Kind::Double;
    if (t == "single") return Kind::Single;
    if (t == "boolean") return Kind::Boolean;
    return Kind::Handle;  // memoryblock, folderitem, object, variant, classes
}

void PushDouble(std::vector<uint32_t>& w, double d) {
    uint32_t two[2];
    memcpy(two, &d, 8);
    w.push_back(two[0]);
    w.push_back(two[1]);
}

typedef uint32_t U;
typedef uint64_t (*FnQ)(U, U, U, U, U, U, U, U, U, U, U, U, U, U, U, U);
typedef double (*FnD)(U, U, U, U, U, U, U, U, U, U, U, U, U, U, U, U);
typedef float (*FnF)(U, U, U, U, U, U, U, U, U, U, U, U, U, U, U, U);

// Calls fn with the words on the stack. cdecl lets the callee ignore the
// words past its own parameters; the caller removes them.
Value Invoke(void* fn, std::vector<uint32_t> w, const std::string& result) {
    w.resize(16, 0xDEADBEEF);
    Value v;
    if (result.empty()) {
        ((FnQ)fn)(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10], w[11], w[12], w[13], w[14], w[15]);
        return v;
    }
    Kind k = KindOf(result);
    if (k == Kind::Double || k == Kind::Single) {
        double d = k == Kind::Double
            ? ((FnD)fn)(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10], w[11], w[12], w[13], w[14], w[15])
            : ((FnF)fn)(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10], w[11], w[12], w[13], w[14], w[15]);
        return Value::D(d);
    }
    uint64_t q = ((FnQ)fn)(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10], w[11], w[12], w[13], w[14], w[15]);
    switch (k) {
    case Kind::Integer: return Value::I((int32_t)(uint32_t)q);
    case Kind::Int64: return Value::L((int64_t)q);
    case Kind::Boolean: return Value::B((q & 0xFF) != 0);
    default: return Value::H((void*)(uintptr_t)(uint32_t)q);
    }
}

}  // namespace

Value CallWords(void* fn, const std::vector<uint32_t>& words, const std::string& result) {
    return Invoke(fn, words, result);
}

Value Host::Call(const MethodDef* m, const std::vector<Value>& args, void* self) {
    if (m == nullptr) return Value();
    Decl d = ParseDecl(m->declaration);
    std::vector<uint32_t> w;
    std::vector<void*> temporaries;
    if (self) w.push_back((uint32_t)(uintptr_t)self);
    for (size_t i = 0; i < d.params.size(); ++i) {
        const Param& p = d.params[i];
        Value v = i < args.size() ? args[i] : Value();
        if (i >= args.size() && !p.defaultText.empty()) {
            // The host fills an omitted argument from the declared default.
            std::string t = p.defaultText;
            if (t.size() >= 2 && t.front() == '"') {
                void* s = NewString(t.substr(1, t.size() - 2), kUTF8);
                temporaries.push_back(s);
                v = Value::H(s);
            } else {
                v = Value::I(std::stoi(t));
                v.l = v.i;
                v.d = v.i;
            }
        }
        Kind k = KindOf(p.type);
        if (p.byref || v.kind == Value::Ref) w.push_back((uint32_t)(uintptr_t)v.h);
        else if (k == Kind::Double) PushDouble(w, v.kind == Value::Int ? v.i : v.d);
        else if (k == Kind::Single) { float f = (float)v.d; uint32_t u; memcpy(&u, &f, 4); w.push_back(u); }
        else if (k == Kind::Int64) { int64_t l = v.kind == Value::Int ? v.i : v.l; w.push_back((uint32_t)l); w.push_back((uint32_t)(l >> 32)); }
        else if (k == Kind::Boolean) w.push_back(0xA5A5A500u | (v.b ? 1u : 0u));
        else if (k == Kind::Integer) w.push_back((uint32_t)v.i);
        else w.push_back((uint32_t)(uintptr_t)v.h);
    }
    Value r = Invoke(m->function, w, d.result);
    for (void* t : temporaries) Unlock(t);
    return r;
}

namespace {
bool Matches(const MethodDef& m, const std::string& declOrName, int argc) {
    if (declOrName == m.declaration) return true;
    Decl d = ParseDecl(m.declaration);
    if (Lower(d.name) != Lower(declOrName)) return false;
    if (argc < 0) return true;
    size_t required = 0;
    for (const Param& p : d.params) required += p.defaultText.empty();
    return (size_t)argc >= required && (size_t)argc <= d.params.size();
}
const MethodDef* FindIn(const MethodDef* table, uint32_t n, const std::string& declOrName, int argc) {
    for (uint32_t i = 0; table && i < n; ++i)
        if (Matches(table[i], declOrName, argc)) return &table[i];
    return nullptr;
}
}  // namespace

const MethodDef* Host::GlobalMethod(const std::string& declOrName, int argc) {
    for (MethodDef* m : registry_.methods)
        if (Matches(*m, declOrName, argc)) return m;
    return nullptr;
}

const MethodDef* Host::ClassMethod(const std::string& cls, const std::string& declOrName, bool shared, int argc) {
    HostClass* c = FindClass(cls);
    if (!c || !c->def) return nullptr;
    return shared ? FindIn(c->def->sharedMethods, c->def->sharedMethodCount, declOrName, argc)
                  : FindIn(c->def->methods, c->def->methodCount, declOrName, argc);
}

const MethodDef* Host::ExtensionMethod(const std::string& declOrName, int argc) {
    for (ClassDef* e : registry_.extensions)
        if (const MethodDef* m = FindIn(e->methods, e->methodCount, declOrName, argc)) return m;
    return nullptr;
}

const PropertyDef* Host::Property(const std::string& cls, const std::string& name) {
    HostClass* c = FindClass(cls);
    if (!c || !c->def) return nullptr;
    for (uint32_t i = 0; i < c->def->propertyCount; ++i)
        if (Lower(c->def->properties[i].name) == Lower(name)) return &c->def->properties[i];
    return nullptr;
}

Value Host::CallGlobal(const std::string& declOrName, const std::vector<Value>& args) {
    return Call(GlobalMethod(declOrName, (int)args.size()), args);
}

// ---- properties ---------------------------------------------------------------

namespace {

const void* kDirect = (const void*)(intptr_t)-1;

}  // namespace

Value Host::GetProp(void* obj, const std::string& name) {
    HostClass* c = ClassOf(obj);
    if (c == nullptr) return Value();
    std::string n = Lower(name);
    switch (c->kind) {
    case kPluginObject: {
        const PropertyDef* p = Property(c->name, name);
        if (!p) return Value();
        Kind k = KindOf(p->type);
        const char* at = DataOf(obj) + p->param;
        if (p->getter != kDirect) {
            std::vector<uint32_t> w = {(uint32_t)(uintptr_t)obj, p->param};
            return Invoke(p->getter, w, p->type);
        }
        switch (k) {
        case Kind::Boolean: return Value::B(*at != 0);
        case Kind::Double: { double d; memcpy(&d, at, 8); return Value::D(d); }
        case Kind::String: {
            void* s;
            memcpy(&s, at, 4);
            if (s) Lock(s);  // the reader gets a reference of its own
            return Value::H(s);
        }
        default: { int32_t i; memcpy(&i, at, 4); return Value::I(i); }
        }
    }
    case kFolderItem:
        return FolderItemProperty(*this, obj, n);
    case kVariant: {
        VariantPayload* p = PayloadOf<VariantPayload>(obj);
        if (n == "type") return Value::I(p->type);
        if (n == "integervalue") return Value::I(p->value.kind == Value::Int ? p->value.i : (int32_t)p->value.l);
        if (n == "longvalue") return Value::L(p->value.kind == Value::Int ? p->value.i : p->value.l);
        if (n == "doublevalue") return Value::D(p->value.d);
        if (n == "stringvalue" || n == "objectvalue") {
            bool wantString = n == "stringvalue";
            void* h = p->value.kind == Value::Handle ? p->value.h : nullptr;
            auto it = ledger.find(h);
            if (!h || it == ledger.end() || it->second.object == wantString) return Value::H(nullptr);
            Lock(h);
            return Value::H(h);
        }
        return Value();
    }
    case kException: {
        if (n != "message") return Value();
        ExceptionPayload* p = PayloadOf<ExceptionPayload>(obj);
        if (p->message) Lock(p->message);
        return Value::H(p->message);
    }
    case kMemoryBlock:
        if (n == "size") return Value::I(PayloadOf<BlockPayload>(obj)->size);
        return Value();
    default:
        return Value();
    }
}

void Host::SetProp(void* obj, const std::string& name, const Value& v) {
    HostClass* c = ClassOf(obj);
    if (c == nullptr) return;
    if (c->kind == kException && Lower(name) == "message") {
        StoreHandle(&PayloadOf<ExceptionPayload>(obj)->message, v.h);
        return;
    }
    if (c->kind != kPluginObject) return;
    const PropertyDef* p = Property(c->name, name);
    if (!p || p->setter == nullptr) {
        violations.push_back("property " + name + " of " + c->name + " cannot be written");
        return;
    }
    Kind k = KindOf(p->type);
    if (p->setter != kDirect) {
        std::vector<uint32_t> w = {(uint32_t)(uintptr_t)obj, p->param};
        if (k == Kind::Double) PushDouble(w, v.d);
        else if (k == Kind::Boolean) w.push_back(0xA5A5A500u | (v.b ? 1u : 0u));
        else if (k == Kind::Integer) w.push_back((uint32_t)v.i);
        else w.push_back((uint32_t)(uintptr_t)v.h);
        Invoke(p->setter, w, "");
        return;
    }
    char* at = DataOf(obj) + p->param;
    switch (k) {
    case Kind::Boolean: *at = v.b ? 1 : 0; break;
    case Kind::Double: memcpy(at, &v.d, 8); break;
    case Kind::String: {
        StoreHandle(at, v.h);
        break;
    }
    default: memcpy(at, &v.i, 4); break;
    }
}

}  // namespace emu
