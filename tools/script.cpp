// The tkzhost interpreter: walks the statement tree of parse.h, calling
// registered procedures through the emulated host, and shows values. Every
// handle a statement produces is given back at the end of the statement
// unless a variable keeps it, so the leak report at the end of a run speaks
// only of the plugin's references.
#include "script.h"

#include "reference.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <unistd.h>

namespace tkzhost {

using emu::Value;

const char kStatementHelp[] =
    "Statements, one per line (' starts a comment):\n"
    "  print VALUE, ...          show values: text with its bytes and encoding,\n"
    "                            objects with every property, memory blocks in hex\n"
    "  NAME = VALUE              keep a value in a variable\n"
    "  OBJECT.Property = VALUE   set a property of an object of the plugin\n"
    "  Method(VALUE, ...)        call a global method (no parentheses without\n"
    "                            arguments); Class.Method(...) a shared method,\n"
    "                            OBJECT.Method(...) an instance or folder-item method\n"
    "  help                      this summary and the plugin's members by group\n"
    "  help NAME                 what the reference says of a member (or Class.NAME)\n"
    "  quit, exit                end the run here\n"
    "Values: \"text\" (\"\" inside for a quote), 12, -7, &hFF, 2.5, 1e3, true,\n"
    "  false, nil, &b\"48 69\" (raw bytes), new Class, variables, calls, members.\n"
    "  Integer parameters and properties take -2147483648 to 2147483647 (&h80000000\n"
    "  to &hFFFFFFFF are the negative ones, as 32-bit patterns); colors take 0 to\n"
    "  &hFFFFFFFF. A bare variable passed to a byref parameter receives the value.\n"
    "Built-ins: folder(path), memoryblock(size or bytes), tagged(text, encoding),\n"
    "  array(objects or integers), feed(text): what the plugin's standard input\n"
    "  holds from then on.\n"
    "At the prompt, a bare expression prints its value and Tab completes names.\n";

namespace {

struct Failure {
    int col;
    std::string message;
};

[[noreturn]] void Fail(int col, const std::string& message) { throw Failure{col, message}; }

std::string Lower(const std::string& s) { return emu::Lower(s); }

std::string NameOf(const emu::MethodDef& m) { return emu::ParseDecl(m.declaration).name; }

// Adds the entries of a method table whose name is `name` (the overloads).
void AddNamed(std::vector<const emu::MethodDef*>& out, const emu::MethodDef* table, uint32_t count,
              const std::string& name) {
    for (uint32_t i = 0; i < count; ++i)
        if (Lower(NameOf(table[i])) == Lower(name)) out.push_back(&table[i]);
}

size_t Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t prev = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t cur = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, prev + (tolower(a[i - 1]) != tolower(b[j - 1]))});
            prev = cur;
        }
    }
    return row[b.size()];
}

// " (did you mean X?)" for the nearest name within two edits, never the
// name itself.
std::string Suggest(const std::string& name, const std::vector<std::string>& names) {
    std::string best;
    size_t bestD = 3;
    for (const std::string& n : names) {
        size_t d = Distance(name, n);
        if (d > 0 && d < bestD) bestD = d, best = n;
    }
    return best.empty() ? "" : " (did you mean " + best + "?)";
}

// A value of the type is a Color, shown as &hRRGGBB.
bool IsColor(const std::string& type) {
    emu::DeclaredType d = emu::Classify(type);
    return d.type == emu::Type::Color && !d.array;
}

// A parameter's type as Classify reads it: "T()" for an array of T.
std::string TypeOf(const emu::Param& p) { return p.array ? p.type + "()" : p.type; }

// A byref parameter's slot: the variable's value goes in as the parameter's
// type holds it, and what the callee left there comes back out.
struct Slot {
    emu::Type type = emu::Type::None;  // an array: Object, by its handle
    int32_t i = 0;
    int64_t l = 0;
    double d = 0;
    float f = 0;
    bool b = false;
    void* h = nullptr;

    void* Put(const Value& v) {
        using emu::Type;
        if (emu::IsWord32(type)) return i = v.i, (void*)&i;
        if (emu::Is64(type)) return l = v.l, (void*)&l;
        if (type == Type::Double) return d = v.d, (void*)&d;
        if (type == Type::Single) return f = (float)v.d, (void*)&f;
        if (type == Type::Boolean) return b = v.b, (void*)&b;
        return h = v.h, (void*)&h;
    }
    Value Get() const {
        using emu::Type;
        if (emu::IsWord32(type)) return Value::I(i);
        if (emu::Is64(type)) return Value::L(l);
        if (type == Type::Double) return Value::D(d);
        if (type == Type::Single) return Value::D(f);
        if (type == Type::Boolean) return Value::B(b);
        return Value::H(h);
    }
};

Value IntValue(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX ? Value::I((int32_t)v) : Value::L(v); }

const char* EncodingName(uint32_t e) {
    switch (e) {
    case emu::kMacRoman: return "Mac OS Roman";
    case emu::kUTF16: return "UTF-16";
    case emu::kWindows: return "Windows-1252";
    case emu::kASCII: return "US-ASCII";
    case emu::kUTF8: return "UTF-8";
    case emu::kUTF32: return "UTF-32";
    case emu::kRaw: return "raw bytes";
    default: return nullptr;
    }
}

// Shown as text when every character is printable in its encoding (UTF-8
// sequences must be whole); otherwise the bytes are shown in hexadecimal.
bool Printable(const std::string& b, uint32_t enc) {
    if (enc == emu::kUTF16 || enc == emu::kUTF32) return false;
    for (size_t i = 0; i < b.size(); ++i) {
        unsigned char c = (unsigned char)b[i];
        if (c < 0x20 || c == 0x7F) return false;
        if (c < 0x80) continue;
        if (enc != emu::kUTF8) return false;
        size_t n = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : 0;
        if (n == 0 || c > 0xF4 || i + n >= b.size()) return false;
        for (size_t k = 1; k <= n; ++k)
            if (((unsigned char)b[i + k] & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

std::string Hex(const std::string& b, size_t limit = 64) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < b.size() && i < limit; ++i) {
        snprintf(buf, sizeof buf, "%02X", (unsigned char)b[i]);
        if (i) out += ' ';
        out += buf;
    }
    if (b.size() > limit) out += " ...";
    return out;
}

}  // namespace

// One form for every value, wherever it comes from: a string as a literal
// that gives it back ("" for a quote) with its byte count and encoding, a
// colour as &hRRGGBB, alone or inside an object.
std::string Describe(emu::Host& host, const Value& v, int indent, bool color) {
    char buf[64];
    switch (v.kind) {
    case Value::None: return "nil";
    case Value::Int:
        if (!color) return std::to_string(v.i);
        snprintf(buf, sizeof buf, "&h%06X", (uint32_t)v.i);
        return buf;
    case Value::Int64: return std::to_string(v.l);
    case Value::Bool: return v.b ? "true" : "false";
    case Value::Double: snprintf(buf, sizeof buf, "%.15g", v.d); return buf;
    case Value::Ref: return "byref";
    case Value::Handle: break;
    }
    if (v.h == nullptr) return "nil";
    auto it = host.ledger.find(v.h);
    if (it == host.ledger.end() || it->second.released) return "<released handle>";
    if (!it->second.object) {
        std::string b = host.Bytes(v.h);
        uint32_t e = host.Encoding(v.h);
        std::string enc = EncodingName(e) ? EncodingName(e) : (snprintf(buf, sizeof buf, "encoding &h%X", e), buf);
        std::string size = std::to_string(b.size()) + (b.size() == 1 ? " byte, " : " bytes, ") + enc;
        if (!Printable(b, e)) return "&b\"" + Hex(b) + "\" (" + size + ")";
        std::string quoted;
        for (char c : b) quoted += c == '"' ? "\"\"" : std::string(1, c);
        return "\"" + quoted + "\" (" + size + ")";
    }
    emu::HostClass* c = host.ClassOf(v.h);
    switch (c->kind) {
    case emu::kMemoryBlock: {
        emu::Value size = host.GetProp(v.h, "Size");
        if (size.i < 0) return "MemoryBlock (size unknown)";
        // Only the bytes shown are read: a block may be most of the memory there is.
        const char* data = host.BlockData(v.h);
        std::string b = data ? std::string(data, (size_t)std::min(size.i, 65)) : "";
        return "MemoryBlock (" + std::to_string(size.i) + (size.i == 1 ? " byte" : " bytes") +
               (b.empty() ? "" : ": " + Hex(b)) + ")";
    }
    case emu::kFolderItem: return "FolderItem " + host.PathOf(v.h);
    case emu::kPluginObject: {
        std::string pad(indent + 2, ' ');
        std::string out = c->name + " {";
        if (c->def->propertyCount == 0) return out + "}";
        for (uint32_t i = 0; i < c->def->propertyCount; ++i) {
            const emu::PropertyDef& p = c->def->properties[i];
            Value pv = host.GetProp(v.h, p.name);
            out += "\n" + pad + p.name + " = " + Describe(host, pv, indent + 2, IsColor(p.type));
            if (pv.kind == Value::Handle && pv.h) host.Unlock(pv.h);
        }
        return out + "\n" + std::string(indent, ' ') + "}";
    }
    default: return c->name;
    }
}

// ---- the evaluator ------------------------------------------------------------------

struct Interpreter::Impl {
    emu::Host& host;
    Interpreter& owner;
    std::map<std::string, Value> vars;  // by lower-case name; each handle held with one reference
    std::map<std::string, std::string> spelt;  // the name as first written, for suggestions
    std::vector<void*> temps;           // references produced by this statement
    std::set<std::string> colors;       // variables holding a Color, by lower-case name
    bool color = false;                 // the value Eval gave last is a Color
    int col = 1;                        // where the statement is, for errors from below
    bool valueless = false;             // the last call returned nothing

    Impl(emu::Host& h, Interpreter& o) : host(h), owner(o) {}

    Value Temp(void* h) {
        if (h) temps.push_back(h);
        return Value::H(h);
    }
    bool IsObject(const Value& v) {
        if (v.kind != Value::Handle || !v.h) return false;
        auto it = host.ledger.find(v.h);
        return it != host.ledger.end() && it->second.object;
    }
    bool IsString(const Value& v) { return v.kind == Value::Handle && v.h && !IsObject(v); }
    bool IsVar(const std::string& name) { return vars.count(Lower(name)) > 0; }
    void Calling(int at) {
        col = at;
        if (owner.interrupted && *owner.interrupted) Fail(at, "interrupted");
        if (owner.beforeCall) owner.beforeCall(at);
    }

    void Assign(const std::string& name, const Value& v, bool isColor = false) {
        if (isColor) colors.insert(Lower(name));
        else colors.erase(Lower(name));
        if (v.kind == Value::Handle && v.h) host.Lock(v.h);
        auto it = vars.find(Lower(name));
        if (it != vars.end() && it->second.kind == Value::Handle && it->second.h) host.Unlock(it->second.h);
        vars[Lower(name)] = v;
        spelt.emplace(Lower(name), name);
    }

    [[noreturn]] void UnknownVariable(const Node& n) {
        std::vector<std::string> names;
        for (auto& [l, s] : spelt) names.push_back(s);
        Fail(n.col, "unknown variable " + n.text + Suggest(n.text, names));
    }

    // ---- types ---------------------------------------------------------------------
    // Why v cannot be given as `type` to `what`, or "" when it can.
    std::string Misfit(const Value& v, const std::string& type, const std::string& what) {
        using emu::Type;
        emu::DeclaredType d = emu::Classify(type);
        Type t = d.array ? Type::Object : d.type;
        bool number = emu::IsWord32(t) || emu::Is64(t) || t == Type::Double || t == Type::Single;
        if (v.kind == Value::None || (v.kind == Value::Handle && !v.h))
            return number || t == Type::Boolean ? what + " must be " + type + ", not nil" : "";
        std::string shown = v.kind == Value::Handle ? "" : ", not " + Describe(host, v);
        if (emu::IsWord32(t)) {
            // A color or a uint32 takes the 32-bit patterns above 2147483647 too.
            bool pattern = t != Type::Integer;
            std::string noun = t == Type::Color ? "a color" : t == Type::UInt32 ? "a uint32" : "an integer";
            if (v.kind == Value::Int) return "";
            if (v.kind == Value::Int64 && pattern && v.l >= 0 && v.l <= 0xFFFFFFFFll) return "";
            if (v.kind == Value::Int64)
                return what + " is out of range: " + std::to_string(v.l) + "; " + noun +
                       (pattern ? " is 0 to &hFFFFFFFF" : " is -2147483648 to 2147483647");
            return what + " must be " + noun + shown;
        }
        if (emu::Is64(t))
            return v.kind == Value::Int || v.kind == Value::Int64 ? ""
                   : what + " must be " + (t == Type::Int64 ? "an int64" : "a uint64") + shown;
        if (number) return v.kind == Value::Handle || v.kind == Value::Bool ? what + " must be a number" + shown : "";
        if (t == Type::Boolean) return v.kind == Value::Bool ? "" : what + " must be true or false" + shown;
        if (t == Type::String) return IsString(v) ? "" : what + " must be a string" + shown;
        std::string need = what + " must be " + type + shown;
        if (!IsObject(v)) return need;
        emu::HostClass* c = host.ClassOf(v.h);
        if (d.array) return c->kind == emu::kArray ? "" : need;
        if (t == Type::MemoryBlock) return c->kind == emu::kMemoryBlock ? "" : need;
        if (t == Type::FolderItem) return c->kind == emu::kFolderItem ? "" : need;
        if (t == Type::Object || t == Type::Variant) return "";
        for (; c; c = c->parent)
            if (Lower(c->name) == d.name) return "";
        return need;
    }
    // v as the host takes it for `type` (once Misfit said it fits).
    static Value As(Value v, const std::string& type) {
        emu::DeclaredType d = emu::Classify(type);
        // An array goes on the stack as its handle, whatever its element.
        if (d.array) return v.kind == Value::Handle ? Value::R(v.h) : v;
        bool real = d.type == emu::Type::Double || d.type == emu::Type::Single;
        if (real && v.kind == Value::Int) return Value::D(v.i);
        if (real && v.kind == Value::Int64) return Value::D((double)v.l);
        if (emu::Is64(d.type) && v.kind == Value::Int) return Value::L(v.i);
        if (emu::IsWord32(d.type) && v.kind == Value::Int64) return Value::I((int32_t)(uint32_t)v.l);
        return v;
    }

    // ---- calls ---------------------------------------------------------------------
    struct Arg {
        Value v;
        std::string var;  // a bare name, for byref parameters
        int col;
        bool undefined = false;  // a name that is nothing yet: only a byref variable
    };

    std::vector<Arg> Args(const std::vector<Node>& nodes) {
        std::vector<Arg> args;
        for (const Node& n : nodes) {
            Arg a;
            a.col = n.col;
            if (n.kind == Node::Name && !n.call) {
                a.var = n.text;
                a.undefined = !IsVar(n.text) && !IsBuiltin(n.text) && !host.FindClass(n.text) &&
                              !host.GlobalMethod(n.text);
            }
            if (!a.undefined) a.v = Eval(n);
            args.push_back(a);
        }
        return args;
    }

    // Picks the overload whose parameters the arguments fit.
    const emu::MethodDef* Choose(const std::vector<const emu::MethodDef*>& candidates, const std::vector<Arg>& args,
                                 const std::string& name, int at) {
        std::string why;
        for (const emu::MethodDef* m : candidates) {
            emu::Decl d = emu::ParseDecl(m->declaration);
            size_t required = 0;
            for (const emu::Param& p : d.params) required += p.defaultText.empty();
            if (args.size() < required || args.size() > d.params.size()) {
                if (!why.empty()) continue;
                std::string count = required == d.params.size() ? std::to_string(required)
                                                                : std::to_string(required) + " to " +
                                                                      std::to_string(d.params.size());
                why = name + " takes " + count + " argument" + (d.params.size() == 1 ? "" : "s") + ", not " +
                      std::to_string(args.size()) + " (" + m->declaration + ")";
                continue;
            }
            why.clear();
            for (size_t i = 0; i < args.size() && why.empty(); ++i) {
                const emu::Param& p = d.params[i];
                std::string what = "argument " + std::to_string(i + 1) + " (" + p.name + ") of " + name;
                if (p.byref) {
                    if (args[i].var.empty()) why = what + " is byref: pass a variable";
                } else if (args[i].undefined) {
                    UnknownVariable(Node{Node::Name, args[i].col, args[i].var});
                } else {
                    why = Misfit(args[i].v, TypeOf(p), what);
                }
            }
            if (why.empty()) return m;
            why += " (" + std::string(m->declaration) + ")";
        }
        Fail(at, why);
    }

    Value Invoke(const std::vector<const emu::MethodDef*>& candidates, const std::vector<Node>& nodes,
                 const std::string& name, int at, void* self, bool needValue) {
        std::vector<Arg> args = Args(nodes);
        const emu::MethodDef* m = Choose(candidates, args, name, at);
        emu::Decl d = emu::ParseDecl(m->declaration);
        if (needValue && d.result.empty()) Fail(at, name + " returns no value");
        valueless = d.result.empty();
        std::vector<Slot> slots(args.size());
        std::vector<Value> values;
        for (size_t i = 0; i < args.size(); ++i) {
            const emu::Param& p = d.params[i];
            if (!p.byref) {
                values.push_back(As(args[i].v, TypeOf(p)));
                continue;
            }
            // What the variable holds goes in, and must suit the parameter;
            // a variable not yet set holds 0 (or false) for a number (or a boolean).
            Value cur = IsVar(args[i].var) ? vars[Lower(args[i].var)] : Value();
            slots[i].type = p.array ? emu::Type::Object : emu::Classify(p.type).type;
            emu::Type t = slots[i].type;
            if (cur.kind == Value::None && (emu::IsWord32(t) || emu::Is64(t) || t == emu::Type::Double || t == emu::Type::Single))
                cur = Value::I(0);
            if (cur.kind == Value::None && t == emu::Type::Boolean) cur = Value::B(false);
            std::string why = Misfit(cur, TypeOf(p), "the variable " + args[i].var + " (byref " + TypeOf(p) + ")");
            if (!why.empty()) Fail(args[i].col, why);
            values.push_back(Value::R(slots[i].Put(As(cur, TypeOf(p)))));
        }
        for (size_t i = 0; i < args.size(); ++i)
            if (d.params[i].byref && slots[i].h) host.Lock(slots[i].h);  // the slot's own reference, which the callee may consume
        Calling(at);
        Value r = host.Call(m, values, self);
        for (size_t i = 0; i < args.size(); ++i) {
            if (!d.params[i].byref) continue;
            Value now = slots[i].Get();
            if (now.kind == Value::Handle) Temp(now.h);
            Assign(args[i].var, now, slots[i].type == emu::Type::Color);
        }
        resultColor = IsColor(d.result);
        if (r.kind == Value::Handle) return Temp(r.h);
        return r;
    }
    bool resultColor = false;  // the last method Invoke called returns a Color

    Value CallGlobal(const Node& n, bool needValue) {
        std::vector<const emu::MethodDef*> candidates;
        for (emu::MethodDef* m : host.registry().methods) AddNamed(candidates, m, 1, n.text);
        if (candidates.empty()) {
            if (emu::HostClass* c = host.FindClass(n.text))
                Fail(n.col, c->name + " is a class: new " + c->name + " makes one");
            if (!n.call) UnknownVariable(n);
            std::vector<std::string> names = {"folder", "memoryblock", "tagged", "feed", "array"};
            for (emu::MethodDef* m : host.registry().methods) names.push_back(NameOf(*m));
            Fail(n.col, "unknown method " + n.text + Suggest(n.text, names));
        }
        return Invoke(candidates, n.args, n.text, n.col, nullptr, needValue);
    }

    Value Builtin(const Node& n, bool needValue) {
        std::vector<Arg> args = Args(n.args);
        std::string l = Lower(n.text);
        auto need = [&](size_t count) {
            if (args.size() != count)
                Fail(n.col, n.text + " takes " + std::to_string(count) + " argument" + (count == 1 ? "" : "s"));
            for (const Arg& a : args)
                if (a.undefined) UnknownVariable(Node{Node::Name, a.col, a.var});
        };
        if (l == "folder") {
            need(1);
            if (!IsString(args[0].v)) Fail(args[0].col, "folder takes a path string");
            std::string path = host.Bytes(args[0].v.h);
            if (!path.empty() && path[0] != '/') {
                char cwd[4096];
                if (getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
            }
            return Temp(host.FolderItem(path));
        }
        if (l == "memoryblock") {
            need(1);
            const Value& a = args[0].v;
            if (a.kind == Value::Int || a.kind == Value::Int64) {
                int64_t size = a.kind == Value::Int ? a.i : a.l;
                if (size < 0 || size > INT32_MAX) Fail(args[0].col, "a memory block's size is 0 to 2147483647");
                void* block = Temp(host.NewMemoryBlock((int)size)).h;
                if (size > 0 && !host.BlockData(block))
                    Fail(args[0].col, "the host has no memory for a block of " + std::to_string(size) + " bytes");
                return Value::H(block);
            }
            if (!IsString(a)) Fail(args[0].col, "memoryblock takes a size or a string of bytes");
            std::string b = host.Bytes(a.h);
            void* block = Temp(host.NewMemoryBlock((int)b.size())).h;
            if (!b.empty()) memcpy(host.BlockData(block), b.data(), b.size());
            return Value::H(block);
        }
        if (l == "array") {
            // Objects (nil among them) or integers, as the host's own arrays hold them.
            bool numbers = !args.empty() && args[0].v.kind == Value::Int;
            for (const Arg& a : args) {
                if (a.undefined) UnknownVariable(Node{Node::Name, a.col, a.var});
                bool fits = numbers ? a.v.kind == Value::Int : IsObject(a.v) || a.v.kind == Value::None;
                if (!fits) Fail(a.col, "array takes objects (or nil) or integers, all of one kind");
            }
            void* array = Temp(host.NewArray(numbers ? emu::kIntegerType : emu::kObjectType, (int)args.size())).h;
            for (size_t i = 0; i < args.size(); ++i) host.SetElement(array, (int)i, args[i].v);
            return Value::H(array);
        }
        if (l == "tagged") {
            need(2);
            const Value& e = args[1].v;
            bool encoding = e.kind == Value::Int || (e.kind == Value::Int64 && e.l >= 0 && e.l <= 0xFFFFFFFFll);
            if (!IsString(args[0].v) || !encoding) Fail(n.col, "tagged takes a string and an encoding (0 to &hFFFFFFFF)");
            uint32_t enc = e.kind == Value::Int ? (uint32_t)e.i : (uint32_t)e.l;
            return Temp(host.NewString(host.Bytes(args[0].v.h), enc));
        }
        // feed
        need(1);
        if (needValue) Fail(n.col, "feed returns no value");
        valueless = true;
        if (!IsString(args[0].v) && !(args[0].v.kind == Value::Handle && !args[0].v.h))
            Fail(args[0].col, "feed takes the text standard input holds from now on");
        std::string text = host.Bytes(args[0].v.h);
        char tmpl[] = "/tmp/tkzhost-input-XXXXXX";
        int fd = mkstemp(tmpl);
        bool written = fd >= 0 && write(fd, text.data(), text.size()) == (ssize_t)text.size();
        if (fd >= 0) close(fd);
        // Standard input is the plugin's alone: the script is read from a
        // descriptor of its own, so reopening this one disturbs nothing.
        bool ok = written && freopen(tmpl, "rb", stdin);
        if (fd >= 0) unlink(tmpl);
        if (!ok) Fail(n.col, "cannot feed input");
        return Value();
    }

    Value Eval(const Node& n, bool needValue = true) {
        bool isColor = false;
        Value v = EvalAny(n, needValue, &isColor);
        color = isColor;
        return v;
    }

    Value EvalAny(const Node& n, bool needValue, bool* isColor) {
        col = n.col;
        switch (n.kind) {
        case Node::Int: return IntValue(n.i);
        case Node::Double: return Value::D(n.d);
        case Node::Bool: return Value::B(n.b);
        case Node::Nil: return Value();
        case Node::String: return Temp(host.NewString(n.text, emu::kUTF8));
        case Node::Bytes: return Temp(host.NewString(n.text, emu::kRaw));
        case Node::Neg: {
            Value v = Eval(*n.target);
            if (v.kind == Value::Int) return IntValue(-(int64_t)v.i);
            if (v.kind == Value::Int64 && v.l != INT64_MIN) return IntValue(-v.l);
            if (v.kind == Value::Double) return Value::D(-v.d);
            Fail(n.col, "only numbers have a sign");
        }
        case Node::New: {
            emu::HostClass* cls = host.FindClass(n.text);
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
        emu::HostClass* cls = t.kind == Node::Name && !t.call && !IsVar(t.text) ? host.FindClass(t.text) : nullptr;
        if (cls && cls->def) {
            std::vector<const emu::MethodDef*> candidates;
            AddNamed(candidates, cls->def->sharedMethods, cls->def->sharedMethodCount, n.text);
            if (candidates.empty()) Fail(n.col, cls->name + " has no shared method " + n.text);
            Value r = Invoke(candidates, n.args, n.text, n.col, nullptr, needValue);
            *isColor = resultColor;
            return r;
        }
        Value target = Eval(t);
        col = n.col;
        if (!IsObject(target)) Fail(n.col, "only objects have members (" + n.text + ")");
        emu::HostClass* c = host.ClassOf(target.h);
        std::vector<const emu::MethodDef*> candidates;
        std::vector<std::string> names;
        if (c->kind == emu::kPluginObject) {
            if (const emu::PropertyDef* p = host.Property(c->name, n.text); p && !n.call) {
                Calling(n.col);
                *isColor = IsColor(p->type);
                Value v = host.GetProp(target.h, n.text);
                return v.kind == Value::Handle ? Temp(v.h) : v;
            }
            AddNamed(candidates, c->def->methods, c->def->methodCount, n.text);
            for (uint32_t i = 0; i < c->def->propertyCount; ++i) names.push_back(c->def->properties[i].name);
            for (uint32_t i = 0; i < c->def->methodCount; ++i) names.push_back(NameOf(c->def->methods[i]));
        } else {
            for (emu::ClassDef* e : host.registry().extensions)
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

    void SetProperty(const Statement& st) {
        Value target = Eval(*st.target);
        if (!IsObject(target) || host.ClassOf(target.h)->kind != emu::kPluginObject)
            Fail(st.nameCol, "only objects of the plugin's classes have properties");
        emu::HostClass* c = host.ClassOf(target.h);
        const emu::PropertyDef* p = host.Property(c->name, st.name);
        if (!p) Fail(st.nameCol, c->name + " has no property " + st.name);
        if (!p->setter) Fail(st.nameCol, c->name + "." + p->name + " is read-only");
        Value v = Eval(st.values[0]);
        std::string why = Misfit(v, p->type, c->name + "." + p->name);
        if (!why.empty()) Fail(st.values[0].col, why);
        Calling(st.nameCol);
        host.SetProp(target.h, p->name, As(v, p->type));
    }

    // ---- help ----------------------------------------------------------------------
    // The statements, then every member the plugin registered under the
    // group of its entry in the reference (members without one last): the
    // global ones together, each class on lines of its own with its members.
    std::string Summary() {
        struct Item {
            std::string name;
            std::vector<std::string> members;  // a class's
        };
        std::vector<std::pair<std::string, std::vector<Item>>> groups;
        auto add = [&](const std::string& group, const std::string& heading) {
            if (groups.empty() || groups.back().first != group) groups.push_back({group, {}});
            std::vector<Item>& items = groups.back().second;
            size_t dot = heading.find('.');
            std::string owner = heading.substr(0, dot);
            if (dot == std::string::npos && (items.empty() || items.back().name != heading)) items.push_back({heading, {}});
            else if (dot != std::string::npos && !items.empty() && items.back().name == owner) items.back().members.push_back(heading.substr(dot + 1));
            else if (dot != std::string::npos) items.push_back({owner, {heading.substr(dot + 1)}});
        };
        const std::vector<Section>& ref = BuiltInReference();
        std::vector<Member> members = Members(host);
        for (const Section& s : ref)
            for (const Member& m : members)
                if (EntryFor(ref, m) == &s) {
                    add(s.group, s.heading);
                    break;
                }
        for (const Member& m : members)
            if (!EntryFor(ref, m)) add("Not in the reference", m.heading);
        std::string out = std::string(kStatementHelp) + "\nThe plugin's members (help NAME for one):\n";
        for (auto& [group, items] : groups) {
            out += "  " + group + ":\n";
            std::string line;
            auto put = [&](const std::string& word, const char* indent) {
                if (!line.empty() && line.size() + word.size() + 1 > 78) out += line + "\n", line = indent;
                line += (line.find_first_not_of(' ') == std::string::npos ? "" : " ") + word;
            };
            for (size_t i = 0; i < items.size(); ++i) {
                const Item& it = items[i];
                bool last = i + 1 == items.size() || !items[i + 1].members.empty();
                if (it.members.empty()) {
                    if (line.empty()) line = "    ";
                    put(it.name + (last ? "" : ","), "    ");
                    if (last) out += line + "\n", line.clear();
                    continue;
                }
                line = "    " + it.name + ":";
                for (size_t k = 0; k < it.members.size(); ++k)
                    put(it.members[k] + (k + 1 < it.members.size() ? "," : ""), "      ");
                out += line + "\n", line.clear();
            }
        }
        return out;
    }

    // Every member called `name` (Class.Name or the last part of it): its
    // entry, or its declaration when the reference has none.
    std::string HelpOn(const std::string& name, int at) {
        if (IsKeyword(name) || IsBuiltin(name)) return kStatementHelp;
        std::string out;
        std::vector<const Section*> shown;
        std::vector<std::string> names;
        for (const Member& m : Members(host)) {
            size_t dot = m.heading.rfind('.');
            std::string last = m.heading.substr(dot + 1);  // npos + 1 is 0
            names.push_back(m.heading);
            if (Lower(m.heading) != Lower(name) && Lower(last) != Lower(name)) continue;
            const Section* e = EntryFor(BuiltInReference(), m);
            if (e && std::find(shown.begin(), shown.end(), e) != shown.end()) continue;
            out += out.empty() ? "" : "\n";
            if (e) shown.push_back(e), out += Render(*e);
            else out += m.declaration + "  (" + m.kind + (dot == std::string::npos ? "" : " of " + m.heading.substr(0, dot)) + ")\n";
        }
        if (out.empty()) Fail(at, "the plugin has no member " + name + Suggest(name, names));
        return out;
    }

    Outcome Execute(const Statement& st, std::string* out) {
        switch (st.kind) {
        case Statement::Empty: break;
        case Statement::Help: *out += st.name.empty() ? Summary() : HelpOn(st.name, st.nameCol); break;
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

    void DropTemps() {
        for (void* h : temps) host.Unlock(h);
        temps.clear();
    }
};

Interpreter::Interpreter(emu::Host& host) : impl_(std::make_unique<Impl>(host, *this)) {}
Interpreter::~Interpreter() { Clear(); }

Interpreter::Outcome Interpreter::Run(const std::string& line, std::string* out, ParseError* error) {
    Statement st;
    if (!Parse(line, &st, error)) return Failed;
    impl_->col = st.col;
    std::string message;
    try {
        std::string printed;
        Outcome o = impl_->Execute(st, &printed);
        *out += printed;
        if (interrupted && *interrupted) Fail(impl_->col, "interrupted");
        impl_->DropTemps();
        return o;
    } catch (const Failure& f) {
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
