// Tab completion at the prompt: the names the statement language knows at
// the cursor, from the registry and the variables, without calling the
// plugin (completing must change nothing).
#include "prompt.h"

#include "../help/help.h"
#include "../language/language.h"

#include <algorithm>
#include <map>

namespace tkzhost {

namespace {

bool NameChar(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; }

// A method's name, with "(" when every form of it needs an argument.
std::string Callable(const host::MethodDef& m) {
    host::Decl d = host::ParseDecl(m.declaration);
    bool needs = !d.params.empty() && d.params[0].defaultText.empty();
    return d.name + (needs ? "(" : "");
}

void Methods(std::vector<std::string>& out, const host::MethodDef* table, uint32_t count, bool bare = false) {
    for (uint32_t i = 0; i < count; ++i)
        out.push_back(bare ? host::ParseDecl(table[i].declaration).name : Callable(table[i]));
}

// After `x.`: the members of the object a variable holds, or the shared
// methods of a class (with `help`, every member of the class, named bare).
std::vector<std::string> MembersOf(host::Host& host, const std::map<std::string, host::Value>& vars,
                                   const std::string& target, bool help) {
    std::vector<std::string> names;
    auto var = help ? vars.end() : vars.find(target);
    host::HostClass* c = nullptr;
    if (var != vars.end()) {
        const host::Value& v = var->second;
        auto it = v.kind == host::Value::Handle && v.h ? host.ledger.find(v.h) : host.ledger.end();
        if (it != host.ledger.end() && it->second.object && !it->second.released) c = host.ClassOf(v.h);
    }
    if (c && c->kind == host::kPluginObject && c->def) {
        for (uint32_t i = 0; i < c->def->propertyCount; ++i) names.push_back(c->def->properties[i].name);
        Methods(names, c->def->methods, c->def->methodCount);
    } else if (c) {
        for (host::ClassDef* e : host.registry().extensions)
            if (host::Lower(e->name) == host::Lower(c->name)) Methods(names, e->methods, e->methodCount);
    } else if (var == vars.end() && !target.empty()) {
        host::HostClass* cls = host.FindClass(target);
        const host::ClassDef* d = cls ? cls->def : nullptr;
        if (d) Methods(names, d->sharedMethods, d->sharedMethodCount, help);
        for (uint32_t i = 0; d && help && i < d->propertyCount; ++i) names.push_back(d->properties[i].name);
        if (d && help) Methods(names, d->methods, d->methodCount, true);
    }
    return names;
}

// Whether `head`, the line before the word, is `help ` (then perhaps Class.).
bool AfterHelp(const std::string& head) {
    size_t at = head.find_first_not_of(" \t");
    if (at == std::string::npos ||
        host::Lower(head.substr(at, 5)) != "help " && host::Lower(head.substr(at, 5)) != "help\t")
        return false;
    at = head.find_first_not_of(" \t", at + 5);
    size_t name = at;
    while (at < head.size() && NameChar(head[at])) ++at;
    return name == std::string::npos || (at + 1 == head.size() && head[at] == '.' && at > name);
}

// What may begin a statement (`start`), or a value inside one (after new,
// only classes; after help, what help takes).
std::vector<std::string> Words(host::Host& host, const Interpreter& run, bool start, bool afterNew, bool help) {
    host::Registry& r = host.registry();
    std::vector<std::string> names;
    for (host::ClassDef* c : r.classes) names.push_back(c->name);
    if (help) {
        for (host::MethodDef* m : r.methods) Methods(names, m, 1, true);
        for (host::ClassDef* e : r.extensions) Methods(names, e->methods, e->methodCount, true);
        for (const std::string& t : HelpTopicNames()) names.push_back(t);
    } else if (!afterNew) {
        if (start)
            for (const char* s : {"print ", "help", "quit", "exit"}) names.push_back(s);
        for (host::MethodDef* m : r.methods) names.push_back(Callable(*m));
        for (auto& [name, value] : run.Variables()) names.push_back(name);
        for (const char* s : kBuiltins) names.push_back(std::string(s) + "(");
        for (const char* s : {"new ", "true", "false", "nil"}) names.push_back(s);
    }
    return names;
}

}  // namespace

std::vector<std::string> Completions(host::Host& host, const Interpreter& run, const std::string& before,
                                     size_t* start) {
    size_t word = before.size();
    while (word > 0 && NameChar(before[word - 1])) --word;
    *start = word;
    std::string typed = before.substr(word);
    bool quoted = false;  // nothing within text or a comment, nor in a number
    for (size_t i = 0; i < word; ++i) {
        if (before[i] == '"') quoted = !quoted;
        if (before[i] == '\'' && !quoted) return {};
    }
    if (quoted || (!typed.empty() && typed[0] >= '0' && typed[0] <= '9')) return {};

    std::string head = before.substr(0, word);
    bool help = AfterHelp(head);
    std::vector<std::string> names;
    if (word > 0 && before[word - 1] == '.') {
        std::map<std::string, host::Value> vars;  // by lower-case name
        for (auto& [name, value] : run.Variables()) vars[host::Lower(name)] = value;
        size_t t = word - 1;
        while (t > 0 && NameChar(before[t - 1])) --t;
        names = MembersOf(host, vars, host::Lower(before.substr(t, word - 1 - t)), help);
    } else {
        std::string trimmed = head.substr(0, head.find_last_not_of(" \t") + 1);  // npos + 1 is 0
        size_t last = trimmed.size();
        while (last > 0 && NameChar(trimmed[last - 1])) --last;
        bool afterNew = trimmed.size() < head.size() && host::Lower(trimmed.substr(last)) == "new";
        names = Words(host, run, trimmed.empty(), afterNew, help);
    }
    auto lower = [](const std::string& s) { return host::Lower(s); };
    std::string prefix = lower(typed);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const std::string& n) { return lower(n).compare(0, prefix.size(), prefix) != 0; }),
                names.end());
    std::sort(names.begin(), names.end(),
              [&](const std::string& a, const std::string& b) { return lower(a) < lower(b); });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

}  // namespace tkzhost
