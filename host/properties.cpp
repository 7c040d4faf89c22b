// Properties by name, as the host reads and writes them: those of plugin
// objects directly at dataOffset + param or through the registered getter and
// setter; those of the host's own objects as each kind keeps them (folder
// items: folderitems.cpp).
#include "host.h"
#include "internals.h"

#include <cstring>

namespace host {

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
            Type k = Classify(p->type).type;
            const char* at = DataOf(obj) + p->param;
            if (p->getter != kDirect) {
                std::vector<uint32_t> w = {(uint32_t)(uintptr_t)obj, p->param};
                return CallWords(p->getter, w, p->type);
            }
            switch (k) {
                case Type::Boolean: return Value::B(*at != 0);
                case Type::Double: {
                    double d;
                    memcpy(&d, at, 8);
                    return Value::D(d);
                }
                case Type::String: {
                    void* s;
                    memcpy(&s, at, 4);
                    if (s) Lock(s);  // the reader gets a reference of its own
                    return Value::H(s);
                }
                default: {
                    int32_t i;
                    memcpy(&i, at, 4);
                    return Value::I(i);
                }
            }
        }
        case kFolderItem: return FolderItemProperty(*this, obj, n);
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
