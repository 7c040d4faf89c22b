// The tkzhost interpreter: walks the statement tree of parse.h, calling
// registered procedures through the emulated host (script_calls.cpp), and
// shows values (describe.h). Every handle a statement produces is given
// back at the end of the statement unless a variable keeps it, so the leak
// report at the end of a run speaks only of the plugin's references.
#include "language.h"

#include "script_impl.h"

namespace tkzhost {

using host::Lower;
using host::Value;

namespace {

Value IntValue(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX ? Value::I((int32_t)v) : Value::L(v); }

}  // namespace

Value Interpreter::Impl::Temp(void* h) {
    if (h) temps.push_back(h);
    return Value::H(h);
}

bool Interpreter::Impl::IsObject(const Value& v) {
    if (v.kind != Value::Handle || !v.h) return false;
    auto it = host.ledger.find(v.h);
    return it != host.ledger.end() && it->second.object;
}

bool Interpreter::Impl::IsString(const Value& v) { return v.kind == Value::Handle && v.h && !IsObject(v); }

bool Interpreter::Impl::IsVar(const std::string& name) { return vars.count(Lower(name)) > 0; }

void Interpreter::Impl::Calling(int at) {
    col = at;
    if (owner.interrupted && *owner.interrupted) Fail(at, "interrupted");
    if (owner.beforeCall) owner.beforeCall(at);
}

void Interpreter::Impl::Assign(const std::string& name, const Value& v, bool isColor) {
    if (isColor) colors.insert(Lower(name));
    else colors.erase(Lower(name));
    if (v.kind == Value::Handle && v.h) host.Lock(v.h);
    auto it = vars.find(Lower(name));
    if (it != vars.end() && it->second.kind == Value::Handle && it->second.h) host.Unlock(it->second.h);
    vars[Lower(name)] = v;
    spelt.emplace(Lower(name), name);
}

void Interpreter::Impl::UnknownVariable(const Node& n) {
    std::vector<std::string> names;
    for (auto& [l, s] : spelt) names.push_back(s);
    Fail(n.col, "unknown variable " + n.text + Suggest(n.text, names));
}

Value Interpreter::Impl::Eval(const Node& n, bool needValue) {
    bool isColor = false;
    Value v = EvalAny(n, needValue, &isColor);
    color = isColor;
    return v;
}

Value Interpreter::Impl::EvalAny(const Node& n, bool needValue, bool* isColor) {
    col = n.col;
    switch (n.kind) {
        case Node::Int: return IntValue(n.i);
        case Node::Double: return Value::D(n.d);
        case Node::Bool: return Value::B(n.b);
        case Node::Nil: return Value();
        case Node::String: return Temp(host.NewString(n.text, host::kUTF8));
        case Node::Bytes: return Temp(host.NewString(n.text, host::kRaw));
        case Node::Neg: {
            Value v = Eval(*n.target);
            if (v.kind == Value::Int) return IntValue(-(int64_t)v.i);
            if (v.kind == Value::Int64 && v.l != INT64_MIN) return IntValue(-v.l);
            if (v.kind == Value::Double) return Value::D(-v.d);
            Fail(n.col, "only numbers have a sign");
        }
        case Node::New: {
            host::HostClass* cls = host.FindClass(n.text);
            if (!cls) Fail(n.col, "unknown class " + n.text);
            Calling(n.col);
            void* o = host.NewInstance(cls->name);
            if (!o) Fail(n.col, "the host made no " + cls->name);
            return Temp(o);
        }
        case Node::Name: {
            auto var = vars.find(Lower(n.text));
            if (var != vars.end() && n.call) Fail(n.col, n.text + " is a variable, not a method");
            if (var != vars.end()) {
                *isColor = colors.count(Lower(n.text)) > 0;
                return var->second;
            }
            if (IsBuiltin(n.text)) return Builtin(n, needValue);
            Value r = CallGlobal(n, needValue);
            *isColor = resultColor;
            return r;
        }
        case Node::Member: break;
    }
    // A shared method: Class.Method, unless a variable has the class's name.
    const Node& t = *n.target;
    host::HostClass* cls = t.kind == Node::Name && !t.call && !IsVar(t.text) ? host.FindClass(t.text) : nullptr;
    if (cls && cls->def) return Shared(n, cls, needValue, isColor);
    return MemberOf(n, needValue, isColor);
}

Value Interpreter::Impl::Shared(const Node& n, host::HostClass* cls, bool needValue, bool* isColor) {
    const host::ClassDef& def = *cls->def;
    std::vector<const host::MethodDef*> candidates;
    AddNamed(candidates, def.sharedMethods, def.sharedMethodCount, n.text);
    if (candidates.empty()) {
        // A member of the class's objects, asked of the class.
        std::vector<std::string> names;
        bool instance = false;
        for (uint32_t i = 0; i < def.propertyCount; ++i) instance |= Lower(def.properties[i].name) == Lower(n.text);
        for (uint32_t i = 0; i < def.methodCount; ++i) instance |= Lower(NameOf(def.methods[i])) == Lower(n.text);
        for (uint32_t i = 0; i < def.sharedMethodCount; ++i) names.push_back(NameOf(def.sharedMethods[i]));
        std::string what = cls->name + " has no shared method " + n.text;
        if (instance)
            Fail(n.col, what + ": " + n.text + " belongs to a " + cls->name + " object (o = new " + cls->name +
                            ", then o." + n.text + (n.call ? "(...))" : ")"));
        Fail(n.col, what + Suggest(n.text, names));
    }
    Value r = Invoke(candidates, n.args, n.text, n.col, nullptr, needValue);
    *isColor = resultColor;
    return r;
}

Value Interpreter::Impl::MemberOf(const Node& n, bool needValue, bool* isColor) {
    Value target = Eval(*n.target);
    col = n.col;
    if (!IsObject(target)) Fail(n.col, "only objects have members (" + n.text + ")");
    host::HostClass* c = host.ClassOf(target.h);
    std::vector<const host::MethodDef*> candidates;
    std::vector<std::string> names;
    if (c->kind == host::kPluginObject) {
        if (const host::PropertyDef* p = host.Property(c->name, n.text); p && !n.call) {
            Calling(n.col);
            *isColor = IsColor(p->type);
            Value v = host.GetProp(target.h, n.text);
            return v.kind == Value::Handle ? Temp(v.h) : v;
        }
        AddNamed(candidates, c->def->methods, c->def->methodCount, n.text);
        for (uint32_t i = 0; i < c->def->propertyCount; ++i) names.push_back(c->def->properties[i].name);
        for (uint32_t i = 0; i < c->def->methodCount; ++i) names.push_back(NameOf(c->def->methods[i]));
    } else {
        for (host::ClassDef* e : host.registry().extensions)
            if (Lower(e->name) == Lower(c->name)) {
                AddNamed(candidates, e->methods, e->methodCount, n.text);
                for (uint32_t i = 0; i < e->methodCount; ++i) names.push_back(NameOf(e->methods[i]));
            }
    }
    if (candidates.empty()) Fail(n.col, c->name + " has no member " + n.text + Suggest(n.text, names));
    Value r = Invoke(candidates, n.args, n.text, n.col, target.h, needValue);
    *isColor = resultColor;
    return r;
}

void Interpreter::Impl::SetProperty(const Statement& st) {
    Value target = Eval(*st.target);
    if (!IsObject(target) || host.ClassOf(target.h)->kind != host::kPluginObject)
        Fail(st.nameCol, "only objects of the plugin's classes have properties");
    host::HostClass* c = host.ClassOf(target.h);
    const host::PropertyDef* p = host.Property(c->name, st.name);
    if (!p) Fail(st.nameCol, c->name + " has no property " + st.name);
    if (!p->setter) Fail(st.nameCol, c->name + "." + p->name + " is read-only");
    Value v = Eval(st.values[0]);
    std::string why = Misfit(v, p->type, c->name + "." + p->name);
    if (!why.empty()) Fail(st.values[0].col, why);
    Calling(st.nameCol);
    host.SetProp(target.h, p->name, As(v, p->type));
}

Interpreter::Outcome Interpreter::Impl::Execute(const Statement& st, std::string* out) {
    switch (st.kind) {
        case Statement::Empty: break;
        case Statement::Help: {
            std::string why = "no help here", text = owner.help ? owner.help(host, st.name, &why) : "";
            if (text.empty()) Fail(st.nameCol, why);
            *out += text;
            break;
        }
        case Statement::Quit: return Quit;
        case Statement::Assign: {
            Value v = Eval(st.values[0]);
            Assign(st.name, v, color);
            break;
        }
        case Statement::SetProperty: SetProperty(st); break;
        case Statement::Expression: {
            valueless = false;
            Value v = Eval(st.values[0], false);
            if (owner.echo && !valueless) *out += Describe(host, v, 0, color) + "\n";
            break;
        }
        case Statement::Print: {
            std::string line;
            for (const Node& n : st.values) {
                Value v = Eval(n);
                if (&n != &st.values[0]) line += ", ";
                line += Describe(host, v, 0, color);
            }
            *out += line + "\n";
            break;
        }
    }
    return Done;
}

void Interpreter::Impl::DropTemps() {
    for (void* h : temps) host.Unlock(h);
    temps.clear();
}

Interpreter::Interpreter(host::Host& host) : impl_(std::make_unique<Impl>(host, *this)) {}
Interpreter::~Interpreter() { Clear(); }

Interpreter::Outcome Interpreter::Run(const std::string& line, std::string* out, ParseError* error) {
    Statement st;
    if (!Parse(line, &st, error)) return Failed;
    return Run(st, out, error);
}

Interpreter::Outcome Interpreter::Run(const Statement& st, std::string* out, ParseError* error) {
    impl_->col = st.col;
    std::string message;
    try {
        std::string printed;
        Outcome o = impl_->Execute(st, &printed);
        *out += printed;
        if (interrupted && *interrupted) Impl::Fail(impl_->col, "interrupted");
        impl_->DropTemps();
        return o;
    } catch (const Impl::Failure& f) {
        impl_->col = f.col;
        message = f.message;
    } catch (const std::bad_alloc&) {
        message = "out of memory";
    } catch (const std::exception& e) {
        message = std::string("the emulated host refused: ") + e.what();
    }
    // Whatever else went wrong, the line ended because it was interrupted.
    if (interrupted && *interrupted) message = "interrupted";
    impl_->DropTemps();
    *error = ParseError{impl_->col, message};
    return Failed;
}

std::vector<std::pair<std::string, Value>> Interpreter::Variables() const {
    std::vector<std::pair<std::string, Value>> out;
    for (auto& [lower, v] : impl_->vars) out.push_back({impl_->spelt.at(lower), v});
    return out;
}

void Interpreter::Clear() {
    impl_->DropTemps();
    for (auto& [name, v] : impl_->vars)
        if (v.kind == Value::Handle && v.h) impl_->host.Unlock(v.h);
    impl_->vars.clear();
    impl_->spelt.clear();
    impl_->colors.clear();
}

}  // namespace tkzhost
