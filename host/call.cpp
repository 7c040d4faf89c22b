// Calling registered procedures as the host does: the declaration text gives
// the parameter and result types; arguments go on the stack as i386 cdecl
// words (an instance first for instance and extension methods). A boolean's
// stack slot carries junk in its upper bytes, as a real caller may leave it.
// And finding a registered member by its declaration or its name, and the
// slots of byref parameters.
#include "host.h"
#include "internals.h"

#include <cstdlib>
#include <cstring>

namespace host {

namespace {

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
    Type k = Classify(result).type;
    if (k == Type::Double || k == Type::Single) {
        double d = k == Type::Double ? ((FnD)fn)(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10],
                                                 w[11], w[12], w[13], w[14], w[15])
                                     : ((FnF)fn)(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10],
                                                 w[11], w[12], w[13], w[14], w[15]);
        return Value::D(d);
    }
    uint64_t q =
        ((FnQ)fn)(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10], w[11], w[12], w[13], w[14], w[15]);
    if (IsWord32(k)) return Value::I((int32_t)(uint32_t)q);
    if (Is64(k)) return Value::L((int64_t)q);
    if (k == Type::Boolean) return Value::B((q & 0xFF) != 0);
    return Value::H((void*)(uintptr_t)(uint32_t)q);
}

}  // namespace

Value CallWords(void* fn, const std::vector<uint32_t>& words, const std::string& result) {
    return Invoke(fn, words, result);
}

void PushDouble(std::vector<uint32_t>& words, double d) {
    uint32_t two[2];
    memcpy(two, &d, 8);
    words.push_back(two[0]);
    words.push_back(two[1]);
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
        Type k = Classify(p.type).type;
        if (p.byref || v.kind == Value::Ref) w.push_back((uint32_t)(uintptr_t)v.h);
        else if (k == Type::Double) PushDouble(w, v.kind == Value::Int ? v.i : v.d);
        else if (k == Type::Single) {
            float f = (float)v.d;
            uint32_t u;
            memcpy(&u, &f, 4);
            w.push_back(u);
        } else if (Is64(k)) {
            int64_t l = v.kind == Value::Int ? v.i : v.l;
            w.push_back((uint32_t)l);
            w.push_back((uint32_t)(l >> 32));
        } else if (k == Type::Boolean) w.push_back(BooleanWord(v.b));
        else if (IsWord32(k)) w.push_back((uint32_t)v.i);
        else w.push_back((uint32_t)(uintptr_t)v.h);
    }
    Value r = Invoke(m->function, w, d.result);
    for (void* t : temporaries) Unlock(t);
    return r;
}

ByrefSlot::ByrefSlot(Host& host, const std::string& type, const Value& v) : host_(&host) {
    DeclaredType d = Classify(type);
    type_ = d.array ? Type::Object : d.type;  // an array goes by its handle
    bytes_ = (char*)calloc(1, Is64(type_) || type_ == Type::Double ? 8 : 4);
    if (IsWord32(type_)) memcpy(bytes_, &v.i, 4);
    else if (Is64(type_)) memcpy(bytes_, &v.l, 8);
    else if (type_ == Type::Double) memcpy(bytes_, &v.d, 8);
    else if (type_ == Type::Single) {
        float f = (float)v.d;
        memcpy(bytes_, &f, 4);
    } else if (type_ == Type::Boolean) bytes_[0] = v.b;
    else {
        memcpy(bytes_, &v.h, 4);
        held_ = true;
        if (v.h) host.Lock(v.h);  // the slot's own, which the callee may replace
    }
}

ByrefSlot& ByrefSlot::operator=(ByrefSlot&& other) noexcept {
    if (this == &other) return *this;
    Release();
    host_ = other.host_;
    type_ = other.type_;
    bytes_ = other.bytes_;
    held_ = other.held_;
    other.bytes_ = nullptr;
    other.held_ = false;
    return *this;
}

namespace {
template <class T>
T Read(const char* bytes) {
    T t;
    memcpy(&t, bytes, sizeof t);
    return t;
}
}  // namespace

Value ByrefSlot::Get() const {
    if (IsWord32(type_)) return Value::I(Read<int32_t>(bytes_));
    if (Is64(type_)) return Value::L(Read<int64_t>(bytes_));
    if (type_ == Type::Double) return Value::D(Read<double>(bytes_));
    if (type_ == Type::Single) return Value::D(Read<float>(bytes_));
    if (type_ == Type::Boolean) return Value::B(bytes_[0] != 0);
    return Value::H(Read<void*>(bytes_));
}

Value ByrefSlot::Take() {
    Value v = Get();
    held_ = false;
    return v;
}

void ByrefSlot::Release() {
    if (!bytes_) return;
    void* h = held_ ? Read<void*>(bytes_) : nullptr;
    if (h) host_->Unlock(h);
    free(bytes_);
    bytes_ = nullptr;
    held_ = false;
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

}  // namespace host
