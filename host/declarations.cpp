// Declaration texts taken apart, and the types they name classified.
#include "declarations.h"

#include <cctype>

namespace host {

std::string Lower(std::string s) {
    for (char& c : s) c = (char)tolower((unsigned char)c);
    return s;
}

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

// The closing parenthesis of the one at `open`, outside quoted defaults and
// array parameters' own "()"; npos for none.
size_t ClosingParenthesis(const std::string& text, size_t open) {
    bool quoted = false;
    int depth = 0;
    for (size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        else if (text[i] == '(' && !quoted) ++depth;
        else if (text[i] == ')' && !quoted && depth-- == 0) return i;
    }
    return std::string::npos;
}

// The parameter list at its top-level commas (none in quoted defaults).
std::vector<std::string> SplitParameters(const std::string& params) {
    std::vector<std::string> parts;
    std::string cur;
    bool quoted = false;
    for (char c : params) {
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) {
            parts.push_back(cur);
            cur.clear();
        } else cur += c;
    }
    if (!Trim(cur).empty() || !parts.empty()) parts.push_back(cur);
    return parts;
}

// "byref name() as T = default", each part but the name and type optional.
bool ParseParam(std::string p, Param* prm, std::string* error) {
    p = Trim(p);
    size_t eq = p.find('=');
    if (eq != std::string::npos) {
        prm->defaultText = Trim(p.substr(eq + 1));
        p = Trim(p.substr(0, eq));
    }
    if (Lower(p).rfind("byref ", 0) == 0) {
        prm->byref = true;
        p = Trim(p.substr(6));
    }
    if (!SplitAs(p, &prm->name, &prm->type)) {
        *error = "parameter without a type: " + p;
        return false;
    }
    size_t n = prm->name.size();
    prm->array = n > 2 && prm->name.compare(n - 2, 2, "()") == 0;
    return true;
}

// "Name(parameters) as T": the name, the parameters and the result into `d`.
bool ParseWithParameters(const std::string& text, size_t open, Decl& d) {
    size_t close = ClosingParenthesis(text, open);
    if (close == std::string::npos) {
        d.error = "missing ')'";
        return false;
    }
    d.name = Trim(text.substr(0, open));
    for (const std::string& part : SplitParameters(text.substr(open + 1, close - open - 1))) {
        Param prm;
        if (!ParseParam(part, &prm, &d.error)) return false;
        d.params.push_back(prm);
    }
    std::string rest = Trim(text.substr(close + 1));
    if (rest.empty()) return true;
    if (Lower(rest).rfind("as ", 0) != 0) {
        d.error = "unexpected text after the parameters: " + rest;
        return false;
    }
    d.result = Trim(rest.substr(3));
    return true;
}

}  // namespace

Decl ParseDecl(const std::string& text) {
    Decl d;
    size_t open = text.find('(');
    if (open != std::string::npos) {
        if (!ParseWithParameters(text, open, d)) return d;
    } else {
        std::string name, type;
        if (SplitAs(text, &name, &type)) d.name = name, d.result = type;
        else d.name = Trim(text);
    }
    d.ok = !d.name.empty();
    if (!d.ok) d.error = "no name";
    return d;
}

DeclaredType Classify(const std::string& type) {
    DeclaredType d;
    std::string t = Lower(type);
    if (t.size() > 2 && t.compare(t.size() - 2, 2, "()") == 0) {
        d.array = true;
        t.resize(t.size() - 2);
    }
    static const struct {
        const char* name;
        Type type;
    } kNames[] = {
        {"integer", Type::Integer},
        {"int32", Type::Integer},
        {"uint32", Type::UInt32},
        {"color", Type::Color},
        {"int64", Type::Int64},
        {"uint64", Type::UInt64},
        {"single", Type::Single},
        {"double", Type::Double},
        {"boolean", Type::Boolean},
        {"string", Type::String},
        {"memoryblock", Type::MemoryBlock},
        {"folderitem", Type::FolderItem},
        {"variant", Type::Variant},
        {"object", Type::Object},
    };
    d.type = t.empty() ? Type::None : Type::Class;
    for (const auto& n : kNames)
        if (t == n.name) d.type = n.type;
    d.name = t;
    return d;
}

bool IsWord32(Type t) { return t == Type::Integer || t == Type::UInt32 || t == Type::Color; }
bool Is64(Type t) { return t == Type::Int64 || t == Type::UInt64; }
bool IsHandle(Type t) { return t >= Type::String; }  // the types from String on

TypeCode ElementCode(Type t) {
    if (IsWord32(t)) return kIntegerType;
    if (Is64(t)) return kInt64Type;
    switch (t) {
        case Type::Single: return kSingleType;
        case Type::Double: return kDoubleType;
        case Type::Boolean: return kBooleanType;
        case Type::String: return kStringType;
        default: return kObjectType;
    }
}

}  // namespace host
