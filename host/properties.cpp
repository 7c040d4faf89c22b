// Properties by name, as the host reads and writes them: those of plugin
// objects directly at dataOffset + param or through the registered getter and
// setter; those of the host's own objects as each kind keeps them (folder
// items: folderitems.cpp).
#include "host.h"
#include "internals.h"

#include <cstring>

namespace host {

namespace {

// A plugin instance's property: through its getter, or read from the
// instance data as its type says.
Value PluginProperty(Host& host, void* obj, const PropertyDef& p) {
    if (p.getter != kDirect) {
        std::vector<uint32_t> w = {(uint32_t)(uintptr_t)obj, p.param};
        return CallWords(p.getter, w, p.type);
    }
    const char* at = host.DataOf(obj) + p.param;
    switch (Classify(p.type).type) {
        case Type::Boolean: return Value::B(*at != 0);
        case Type::Double: {
            double d;
            memcpy(&d, at, 8);
            return Value::D(d);
        }
        case Type::String: {
            void* s;
            memcpy(&s, at, 4);
            if (s) host.Lock(s);  // the reader gets a reference of its own
            return Value::H(s);
        }
        default: {
            int32_t i;
            memcpy(&i, at, 4);
            return Value::I(i);
        }
    }
}

// A variant's property by its lower-case name; a handle only if the variant
// holds a live record of the kind asked for.
Value VariantProperty(Host& host, void* obj, const std::string& n) {
    VariantPayload* p = PayloadOf<VariantPayload>(obj);
    if (n == "type") return Value::I(p->type);
    if (n == "integervalue") return Value::I(p->value.kind == Value::Int ? p->value.i : (int32_t)p->value.l);
    if (n == "longvalue") return Value::L(p->value.kind == Value::Int ? p->value.i : p->value.l);
    if (n == "doublevalue") return Value::D(p->value.d);
    if (n != "stringvalue" && n != "objectvalue") return Value();
    bool wantString = n == "stringvalue";
    void* h = p->value.kind == Value::Handle ? p->value.h : nullptr;
    auto it = host.ledger.find(h);
    if (!h || it == host.ledger.end() || it->second.object == wantString) return Value::H(nullptr);
    host.Lock(h);
    return Value::H(h);
}

}  // namespace

Value Host::GetProp(void* obj, const std::string& name) {
    HostClass* c = ClassOf(obj);
    if (c == nullptr) return Value();
    std::string n = Lower(name);
    switch (c->kind) {
        case kPluginObject: {
            const PropertyDef* p = Property(c->name, name);
            return p ? PluginProperty(*this, obj, *p) : Value();
        }
        case kFolderItem: return FolderItemProperty(*this, obj, n);
        case kVariant: return VariantProperty(*this, obj, n);
        case kException: {
            if (n != "message") return Value();
            ExceptionPayload* p = PayloadOf<ExceptionPayload>(obj);
            if (p->message) Lock(p->message);
            return Value::H(p->message);
        }
        case kMemoryBlock:
            if (n == "size") return Value::I(PayloadOf<BlockPayload>(obj)->size);
            return Value();
        default: return Value();
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
        violations.push_back({Violation::Other, "", "property " + name + " of " + c->name + " cannot be written"});
        return;
    }
    Type k = Classify(p->type).type;
    if (p->setter != kDirect) {
        std::vector<uint32_t> w = {(uint32_t)(uintptr_t)obj, p->param};
        if (k == Type::Double) PushDouble(w, v.d);
        else if (k == Type::Boolean) w.push_back(BooleanWord(v.b));
        else if (IsWord32(k)) w.push_back((uint32_t)v.i);
        else w.push_back((uint32_t)(uintptr_t)v.h);
        CallWords(p->setter, w, "");
        return;
    }
    char* at = DataOf(obj) + p->param;
    switch (k) {
        case Type::Boolean: *at = v.b ? 1 : 0; break;
        case Type::Double: memcpy(at, &v.d, 8); break;
        case Type::String: {
            StoreHandle(at, v.h);
            break;
        }
        default: memcpy(at, &v.i, 4); break;
    }
}

}  // namespace host
