// Tab completion at the prompt: the names the statement language knows at
// the cursor, from the registry and the variables, without calling the
// plugin (completing must change nothing).
#include "complete.h"

#include "parse.h"

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

void Methods(std::vector<std::string>& out, const host::MethodDef* table, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) out.push_back(Callable(table[i]));
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

    std::map<std::string, host::Value> vars;  // by lower-case name
    for (auto& [name, value] : run.Variables()) vars[host::Lower(name)] = value;
    host::Registry& r = host.registry();
    std::vector<std::string> names;
    if (word > 0 && before[word - 1] == '.') {
        // Members of a variable's object, or shared methods of a class.
        size_t t = word - 1;
        while (t > 0 && NameChar(before[t - 1])) --t;
        std::string target = host::Lower(before.substr(t, word - 1 - t));
        auto var = vars.find(target);
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
            for (host::ClassDef* e : r.extensions)
                if (host::Lower(e->name) == host::Lower(c->name)) Methods(names, e->methods, e->methodCount);
        } else if (var == vars.end() && !target.empty()) {
            if (host::HostClass* cls = host.FindClass(target); cls && cls->def)
                Methods(names, cls->def->sharedMethods, cls->def->sharedMethodCount);
        }
    } else {
        std::string head = before.substr(0, word);
        head.erase(head.find_last_not_of(" \t") + 1);
        size_t last = head.size();
        while (last > 0 && NameChar(head[last - 1])) --last;
        bool afterNew = host::Lower(head.substr(last)) == "new" && head.size() < word;
        for (host::ClassDef* c : r.classes) names.push_back(c->name);
        if (!afterNew) {
            if (head.empty())
                for (const char* s : {"print ", "help", "quit", "exit"}) names.push_back(s);
            for (host::MethodDef* m : r.methods) names.push_back(Callable(*m));
            for (auto& [name, value] : run.Variables()) names.push_back(name);
            for (const char* s : kBuiltins) names.push_back(std::string(s) + "(");
            for (const char* s : {"new ", "true", "false", "nil"}) names.push_back(s);
        }
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
