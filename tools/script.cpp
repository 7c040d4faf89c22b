// The tkzhost statement language: a lexer, a recursive-descent evaluator
// that calls registered procedures through the emulated host, and the way
// values are shown. Every handle a statement produces is given back at the
// end of the statement unless a variable keeps it, so the leak report at
// the end of a run speaks only of the plugin's references.
#include "script.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <unistd.h>

namespace tkzhost {

using emu::Value;

namespace {

struct Token {
    enum Kind { End, Ident, Int, Double, String, Bytes, Punct } kind = End;
    std::string text;  // identifier, string contents, bytes, or the punctuation
    int64_t i = 0;
    double d = 0;
    int col = 1;
};

struct Failure {
    int col;
    std::string message;
};

[[noreturn]] void Fail(int col, const std::string& message) { throw Failure{col, message}; }

std::vector<Token> Lex(const std::string& line) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        int col = (int)i + 1;
        if (isspace((unsigned char)c)) { ++i; continue; }
        if (c == '\'') break;  // comment to the end of the line
        Token t;
        t.col = col;
        if (c == '"' || (c == '&' && i + 2 < line.size() && tolower(line[i + 1]) == 'b' && line[i + 2] == '"')) {
            bool bytes = c == '&';
            i += bytes ? 3 : 1;
            std::string s;
            for (;;) {
                if (i >= line.size()) Fail(col, "unterminated string");
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') { s += '"'; i += 2; continue; }
                    ++i;
                    break;
                }
                s += line[i++];
            }
            if (bytes) {
                std::string raw, digits;
                for (char h : s) {
                    if (isspace((unsigned char)h)) continue;
                    if (!isxdigit((unsigned char)h)) Fail(col, "byte strings hold hexadecimal digits");
                    digits += h;
                }
                if (digits.size() % 2) Fail(col, "byte strings hold whole bytes (two digits each)");
                for (size_t k = 0; k < digits.size(); k += 2) raw += (char)std::stoi(digits.substr(k, 2), nullptr, 16);
                s = raw;
            }
            t.kind = bytes ? Token::Bytes : Token::String;
            t.text = s;
        } else if (c == '&' && i + 1 < line.size() && tolower(line[i + 1]) == 'h') {
            size_t j = i + 2;
            while (j < line.size() && isxdigit((unsigned char)line[j])) ++j;
            if (j == i + 2) Fail(col, "&h needs hexadecimal digits");
            uint64_t v = std::stoull(line.substr(i + 2, j - i - 2), nullptr, 16);
            t.kind = Token::Int;
            t.i = v <= 0xFFFFFFFFull ? (int64_t)(int32_t)(uint32_t)v : (int64_t)v;
            i = j;
        } else if (isdigit((unsigned char)c) || (c == '.' && i + 1 < line.size() && isdigit((unsigned char)line[i + 1]))) {
            size_t j = i;
            bool real = false;
            while (j < line.size() && (isdigit((unsigned char)line[j]) || line[j] == '.' || tolower(line[j]) == 'e' ||
                                       ((line[j] == '-' || line[j] == '+') && tolower(line[j - 1]) == 'e'))) {
                real |= line[j] == '.' || tolower(line[j]) == 'e';
                ++j;
            }
            std::string num = line.substr(i, j - i);
            if (real) {
                t.kind = Token::Double;
                t.d = std::stod(num);
            } else {
                t.kind = Token::Int;
                t.i = std::stoll(num);
            }
            i = j;
        } else if (isalpha((unsigned char)c) || c == '_') {
            size_t j = i;
            while (j < line.size() && (isalnum((unsigned char)line[j]) || line[j] == '_')) ++j;
            t.kind = Token::Ident;
            t.text = line.substr(i, j - i);
            i = j;
        } else if (strchr("(),.=-", c)) {
            t.kind = Token::Punct;
            t.text = std::string(1, c);
            ++i;
        } else {
            Fail(col, std::string("unexpected character '") + c + "'");
        }
        out.push_back(t);
    }
    Token end;
    end.col = (int)line.size() + 1;
    out.push_back(end);
    return out;
}

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

std::string Describe(emu::Host& host, const Value& v, int indent) {
    char buf[64];
    switch (v.kind) {
    case Value::None: return "nil";
    case Value::Int: return std::to_string(v.i);
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
        if (Printable(b, e)) return "\"" + b + "\" (" + size + ")";
        return "&b\"" + Hex(b) + "\" (" + size + ")";
    }
    emu::HostClass* c = host.ClassOf(v.h);
    switch (c->kind) {
    case emu::kMemoryBlock: {
        emu::Value size = host.GetProp(v.h, "Size");
        if (size.i < 0) return "MemoryBlock (size unknown)";
        std::string b = host.BlockBytes(v.h);
        return "MemoryBlock (" + std::to_string(b.size()) + (b.size() == 1 ? " byte" : " bytes") +
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
            std::string shown = Describe(host, pv, indent + 2);
            if (emu::Lower(p.type) == "color" && pv.kind == Value::Int)
                snprintf(buf, sizeof buf, "&h%06X", (uint32_t)pv.i), shown = buf;
            out += "\n" + pad + p.name + " = " + shown;
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
    std::map<std::string, Value> vars;  // each handle held with one reference
    std::vector<void*> temps;           // references produced by this statement
    std::vector<void*> literals;        // strings written in this statement as "text"
    std::vector<Token> toks;
    size_t pos = 0;

    explicit Impl(emu::Host& h) : host(h) {}

    const Token& Peek() const { return toks[pos]; }
    const Token& Next() { return toks[pos++]; }
    bool Is(const char* punct) const { return Peek().kind == Token::Punct && Peek().text == punct; }
    void Expect(const char* punct) {
        if (!Is(punct)) Fail(Peek().col, std::string("expected '") + punct + "'");
        ++pos;
    }

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

    void Assign(const std::string& name, const Value& v) {
        if (v.kind == Value::Handle && v.h) host.Lock(v.h);
        auto it = vars.find(Lower(name));
        if (it != vars.end() && it->second.kind == Value::Handle && it->second.h) host.Unlock(it->second.h);
        vars[Lower(name)] = v;
    }

    // ---- calls ---------------------------------------------------------------------
    struct Arg {
        Value v;
        std::string var;  // a bare variable name, for byref parameters
        int col;
        bool undefined = false;  // a name that is nothing yet: only a byref variable
    };

    std::vector<Arg> Args() {
        std::vector<Arg> args;
        if (!Is("(")) return args;
        ++pos;
        if (Is(")")) { ++pos; return args; }
        for (;;) {
            Arg a;
            a.col = Peek().col;
            if (Peek().kind == Token::Ident && toks[pos + 1].kind == Token::Punct &&
                (toks[pos + 1].text == "," || toks[pos + 1].text == ")") && Lower(Peek().text) != "nil" &&
                Lower(Peek().text) != "true" && Lower(Peek().text) != "false")
                a.var = Peek().text;
            if (!a.var.empty() && !vars.count(Lower(a.var)) && !IsBuiltin(a.var) && !host.FindClass(a.var) &&
                !host.GlobalMethod(a.var)) {
                a.undefined = true;  // becomes a variable when passed byref
                ++pos;
            } else {
                a.v = Expr();
            }
            args.push_back(a);
            if (Is(",")) { ++pos; continue; }
            Expect(")");
            return args;
        }
    }

    bool Fits(const Value& v, const std::string& type) {
        std::string t = Lower(type);
        if (v.kind == Value::None || (v.kind == Value::Handle && !v.h)) return t != "integer" && t != "double" &&
                                                                              t != "boolean" && t != "int64";
        if (t == "string") return IsString(v);
        if (t == "integer" || t == "color" || t == "int64") return v.kind == Value::Int || v.kind == Value::Int64;
        if (t == "double" || t == "single") return v.kind == Value::Int || v.kind == Value::Double;
        if (t == "boolean") return v.kind == Value::Bool;
        if (!IsObject(v)) return false;
        emu::HostClass* c = host.ClassOf(v.h);
        if (t == "memoryblock") return c->kind == emu::kMemoryBlock;
        if (t == "folderitem") return c->kind == emu::kFolderItem;
        if (t == "object" || t == "variant") return true;
        for (; c; c = c->parent)
            if (Lower(c->name) == t) return true;
        return false;
    }

    // Picks the overload whose parameters the arguments fit.
    const emu::MethodDef* Choose(const std::vector<const emu::MethodDef*>& candidates, const std::vector<Arg>& args,
                                 const std::string& name, int col) {
        std::string why;
        for (const emu::MethodDef* m : candidates) {
            emu::Decl d = emu::ParseDecl(m->declaration);
            size_t required = 0;
            for (const emu::Param& p : d.params) required += p.defaultText.empty();
            if (args.size() < required || args.size() > d.params.size()) {
                why = name + " takes " + (required == d.params.size() ? std::to_string(required)
                                                                        : std::to_string(required) + " to " +
                                                                              std::to_string(d.params.size())) +
                      " argument" + (d.params.size() == 1 ? "" : "s") + ", not " + std::to_string(args.size()) +
                      " (" + m->declaration + ")";
                continue;
            }
            bool ok = true;
            for (size_t i = 0; i < args.size() && ok; ++i) {
                const emu::Param& p = d.params[i];
                if (p.byref) {
                    if (args[i].var.empty()) {
                        why = "argument " + std::to_string(i + 1) + " of " + name + " is byref: pass a variable";
                        ok = false;
                    }
                } else if (args[i].undefined) {
                    Fail(args[i].col, "unknown name " + args[i].var);
                } else if (!Fits(args[i].v, p.type)) {
                    why = "argument " + std::to_string(i + 1) + " of " + name + " must be " + p.type + " (" +
                          m->declaration + ")";
                    ok = false;
                }
            }
            if (ok) return m;
        }
        Fail(col, why);
    }

    Value Invoke(const emu::MethodDef* m, std::vector<Arg>& args, void* self) {
        emu::Decl d = emu::ParseDecl(m->declaration);
        struct Slot {
            int32_t i;
            double d;
            void* h;
        };
        std::vector<Slot> slots(args.size());
        std::vector<Value> values;
        for (size_t i = 0; i < args.size(); ++i) {
            const emu::Param& p = d.params[i];
            Value v = args[i].v;
            if (!p.byref) {
                if (Lower(p.type) == "double" && v.kind == Value::Int) v = Value::D(v.i);
                if (Lower(p.type) == "int64" && v.kind == Value::Int) v = Value::L(v.i);
                values.push_back(v);
                continue;
            }
            Value cur = vars.count(Lower(args[i].var)) ? vars[Lower(args[i].var)] : Value();
            std::string t = Lower(p.type);
            if (t == "double") slots[i].d = cur.kind == Value::Double ? cur.d : cur.kind == Value::Int ? cur.i : 0;
            else if (t == "integer" || t == "color") slots[i].i = cur.kind == Value::Int ? cur.i : 0;
            else {
                slots[i].h = cur.kind == Value::Handle ? cur.h : nullptr;
                if (slots[i].h) host.Lock(slots[i].h);  // the slot's own reference, which the callee may consume
            }
            values.push_back(Value::R(t == "double" ? (void*)&slots[i].d : t == "integer" || t == "color"
                                                                              ? (void*)&slots[i].i
                                                                              : (void*)&slots[i].h));
        }
        Value r = host.Call(m, values, self);
        for (size_t i = 0; i < args.size(); ++i) {
            const emu::Param& p = d.params[i];
            if (!p.byref) continue;
            std::string t = Lower(p.type);
            if (t == "double") Assign(args[i].var, Value::D(slots[i].d));
            else if (t == "integer" || t == "color") Assign(args[i].var, Value::I(slots[i].i));
            else {
                Temp(slots[i].h);
                Assign(args[i].var, Value::H(slots[i].h));
            }
        }
        if (r.kind == Value::Handle) return Temp(r.h);
        return r;
    }

    Value CallGlobal(const std::string& name, int col) {
        std::vector<Arg> args = Args();
        std::vector<const emu::MethodDef*> candidates;
        for (emu::MethodDef* m : host.registry().methods) AddNamed(candidates, m, 1, name);
        if (candidates.empty()) {
            std::string best;
            size_t bestD = 99;
            for (emu::MethodDef* m : host.registry().methods) {
                std::string n = NameOf(*m);
                size_t dist = Distance(name, n);
                if (dist < bestD) bestD = dist, best = n;
            }
            for (const char* b : {"folder", "memoryblock", "tagged", "feed", "print"})
                if (Distance(name, b) < bestD) bestD = Distance(name, b), best = b;
            Fail(col, "unknown method " + name + (bestD <= 4 ? " (did you mean " + best + "?)" : ""));
        }
        return Invoke(Choose(candidates, args, name, col), args, nullptr);
    }

    Value Builtin(const std::string& name, int col) {
        std::vector<Arg> args = Args();
        std::string n = Lower(name);
        auto need = [&](size_t count) {
            if (args.size() != count)
                Fail(col, name + " takes " + std::to_string(count) + " argument" + (count == 1 ? "" : "s"));
        };
        if (n == "folder") {
            need(1);
            if (!IsString(args[0].v)) Fail(args[0].col, "folder takes a path string");
            std::string path = host.Bytes(args[0].v.h);
            if (!path.empty() && path[0] != '/') {
                char cwd[4096];
                if (getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
            }
            return Temp(host.FolderItem(path));
        }
        if (n == "memoryblock") {
            need(1);
            if (args[0].v.kind == Value::Int) {
                if (args[0].v.i < 0) Fail(args[0].col, "a memory block's size is 0 or more");
                return Temp(host.NewMemoryBlock(args[0].v.i));
            }
            if (!IsString(args[0].v)) Fail(args[0].col, "memoryblock takes a size or a string of bytes");
            std::string b = host.Bytes(args[0].v.h);
            void* block = host.NewMemoryBlock((int)b.size());
            if (!b.empty()) memcpy(host.BlockData(block), b.data(), b.size());
            return Temp(block);
        }
        if (n == "tagged") {
            need(2);
            if (!IsString(args[0].v) || args[1].v.kind != Value::Int) Fail(col, "tagged takes a string and an encoding");
            return Temp(host.NewString(host.Bytes(args[0].v.h), (uint32_t)args[1].v.i));
        }
        if (n == "feed") {
            need(1);
            if (!IsString(args[0].v) && !(args[0].v.kind == Value::Handle && !args[0].v.h))
                Fail(args[0].col, "feed takes the text standard input holds from now on");
            std::string text = host.Bytes(args[0].v.h);
            char tmpl[] = "/tmp/tkzhost-input-XXXXXX";
            int fd = mkstemp(tmpl);
            if (fd < 0 || write(fd, text.data(), text.size()) != (ssize_t)text.size()) Fail(col, "cannot feed input");
            close(fd);
            if (!freopen(tmpl, "rb", stdin)) Fail(col, "cannot feed input");
            unlink(tmpl);
            return Value();
        }
        Fail(col, "unknown built-in " + name);
    }

    static bool IsBuiltin(const std::string& n) {
        std::string l = Lower(n);
        return l == "folder" || l == "memoryblock" || l == "tagged" || l == "feed";
    }

    Value Primary() {
        const Token& t = Next();
        switch (t.kind) {
        case Token::Int:
            return t.i >= INT32_MIN && t.i <= INT32_MAX ? Value::I((int32_t)t.i) : Value::L(t.i);
        case Token::Double: return Value::D(t.d);
        case Token::String: {
            Value v = Temp(host.NewString(t.text, emu::kUTF8));
            literals.push_back(v.h);
            return v;
        }
        case Token::Bytes: return Temp(host.NewString(t.text, emu::kRaw));
        case Token::Punct:
            if (t.text == "-") {
                Value v = Primary();
                if (v.kind == Value::Int) return Value::I(-v.i);
                if (v.kind == Value::Int64) return Value::L(-v.l);
                if (v.kind == Value::Double) return Value::D(-v.d);
                Fail(t.col, "only numbers have a sign");
            }
            if (t.text == "(") {
                Value v = Expr();
                Expect(")");
                return v;
            }
            Fail(t.col, "unexpected '" + t.text + "'");
        case Token::End: Fail(t.col, "expected a value");
        case Token::Ident: break;
        }
        std::string l = Lower(t.text);
        if (l == "true" || l == "false") return Value::B(l == "true");
        if (l == "nil") return Value();
        if (l == "new") {
            const Token& c = Next();
            if (c.kind != Token::Ident) Fail(c.col, "new takes a class name");
            emu::HostClass* cls = host.FindClass(c.text);
            if (!cls) Fail(c.col, "unknown class " + c.text);
            void* o = host.NewInstance(cls->name);
            if (!o) Fail(c.col, "the host made no " + cls->name);
            return Temp(o);
        }
        auto var = vars.find(l);
        if (var != vars.end() && !Is("(")) return var->second;
        if (IsBuiltin(t.text)) return Builtin(t.text, t.col);
        emu::HostClass* cls = host.FindClass(t.text);
        if (cls && cls->def && Is(".")) {
            ++pos;
            const Token& m = Next();
            if (m.kind != Token::Ident) Fail(m.col, "expected a shared method name");
            std::vector<Arg> args = Args();
            std::vector<const emu::MethodDef*> candidates;
            AddNamed(candidates, cls->def->sharedMethods, cls->def->sharedMethodCount, m.text);
            if (candidates.empty()) Fail(m.col, cls->name + " has no shared method " + m.text);
            return Invoke(Choose(candidates, args, m.text, m.col), args, nullptr);
        }
        if (var != vars.end()) Fail(t.col, t.text + " is a variable, not a method");
        return CallGlobal(t.text, t.col);
    }

    Value Member(const Value& target, const Token& name) {
        if (!IsObject(target)) Fail(name.col, "only objects have members (" + name.text + ")");
        emu::HostClass* c = host.ClassOf(target.h);
        std::vector<const emu::MethodDef*> candidates;
        if (c->kind == emu::kPluginObject) {
            if (host.Property(c->name, name.text) && !Is("(")) {
                Value v = host.GetProp(target.h, name.text);
                return v.kind == Value::Handle ? Temp(v.h) : v;
            }
            AddNamed(candidates, c->def->methods, c->def->methodCount, name.text);
        } else {
            for (emu::ClassDef* e : host.registry().extensions)
                if (Lower(e->name) == Lower(c->name)) AddNamed(candidates, e->methods, e->methodCount, name.text);
        }
        if (candidates.empty()) Fail(name.col, c->name + " has no member " + name.text);
        std::vector<Arg> args = Args();
        return Invoke(Choose(candidates, args, name.text, name.col), args, target.h);
    }

    Value Expr() {
        Value v = Primary();
        while (Is(".")) {
            ++pos;
            const Token& name = Next();
            if (name.kind != Token::Ident) Fail(name.col, "expected a member name");
            v = Member(v, name);
        }
        return v;
    }

    void Statement(std::string* out) {
        if (Peek().kind == Token::End) return;
        if (Peek().kind == Token::Ident && Lower(Peek().text) == "print") {
            ++pos;
            std::string line;
            if (Peek().kind != Token::End) {
                for (;;) {
                    Value v = Expr();
                    // Text written in the statement prints as itself; what
                    // the plugin answers prints with its bytes and encoding.
                    bool literal = v.kind == Value::Handle &&
                                   std::find(literals.begin(), literals.end(), v.h) != literals.end();
                    line += literal ? host.Bytes(v.h) : Describe(host, v);
                    if (!Is(",")) break;
                    ++pos;
                    line += ", ";
                }
            }
            if (Peek().kind != Token::End) Fail(Peek().col, "unexpected text after the statement");
            *out += line + "\n";
        } else if (Peek().kind == Token::Ident && toks[pos + 1].kind == Token::Punct && toks[pos + 1].text == "=") {
            std::string name = Next().text;
            if (IsBuiltin(name) || Lower(name) == "print" || Lower(name) == "new") Fail(Peek().col, name + " is a keyword");
            ++pos;
            Assign(name, Expr());
        } else {
            // An expression, or a property assignment: target.Name = value.
            size_t start = pos;
            int depth = 0;
            size_t lastDot = 0;
            for (size_t k = pos; toks[k].kind != Token::End; ++k) {
                if (toks[k].kind != Token::Punct) continue;
                if (toks[k].text == "(") ++depth;
                if (toks[k].text == ")") --depth;
                if (toks[k].text == "." && depth == 0) lastDot = k;
                if (toks[k].text == "=" && depth == 0 && lastDot && k == lastDot + 2) {
                    std::vector<Token> saved = toks;
                    toks.assign(saved.begin() + (long)start, saved.begin() + (long)lastDot);
                    toks.push_back(Token());
                    pos = 0;
                    Value target = Expr();
                    toks = saved;
                    const Token& prop = toks[lastDot + 1];
                    pos = k + 1;
                    Value v = Expr();
                    if (!IsObject(target) || host.ClassOf(target.h)->kind != emu::kPluginObject)
                        Fail(prop.col, "only objects of the plugin's classes have properties");
                    emu::HostClass* c = host.ClassOf(target.h);
                    const emu::PropertyDef* p = host.Property(c->name, prop.text);
                    if (!p) Fail(prop.col, c->name + " has no property " + prop.text);
                    if (!p->setter) Fail(prop.col, c->name + "." + prop.text + " is read-only");
                    if (!Fits(v, p->type)) Fail(toks[k + 1].col, prop.text + " is " + p->type);
                    if (Lower(p->type) == "double" && v.kind == Value::Int) v = Value::D(v.i);
                    host.SetProp(target.h, prop.text, v);
                    if (Peek().kind != Token::End) Fail(Peek().col, "unexpected text after the statement");
                    return;
                }
            }
            Expr();
        }
        if (Peek().kind != Token::End) Fail(Peek().col, "unexpected text after the statement");
    }

    void DropTemps() {
        for (void* h : temps) host.Unlock(h);
        temps.clear();
        literals.clear();
    }
};

Interpreter::Interpreter(emu::Host& host) : impl_(std::make_unique<Impl>(host)) {}
Interpreter::~Interpreter() { Clear(); }

bool Interpreter::Run(const std::string& line, std::string* out, std::string* error) {
    try {
        impl_->toks = Lex(line);
        impl_->pos = 0;
        impl_->Statement(out);
        impl_->DropTemps();
        return true;
    } catch (const Failure& f) {
        impl_->DropTemps();
        *error = "column " + std::to_string(f.col) + ": " + f.message;
        return false;
    }
}

void Interpreter::Clear() {
    impl_->DropTemps();
    for (auto& [name, v] : impl_->vars)
        if (v.kind == Value::Handle && v.h) impl_->host.Unlock(v.h);
    impl_->vars.clear();
}

}  // namespace tkzhost
