// The statement forms, help and suggestions (help.h).
#include "help.h"

#include "parse.h"
#include "reference.h"

#include <algorithm>
#include <cctype>

namespace tkzhost {

using host::Lower;

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

// How many bytes must be added, dropped or changed (case aside) to make a
// into b.
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

}  // namespace

std::string Suggest(const std::string& name, const std::vector<std::string>& names) {
    std::string best;
    size_t bestD = 3;
    for (const std::string& n : names) {
        size_t d = Distance(name, n);
        if (d > 0 && d < bestD) bestD = d, best = n;
    }
    return best.empty() ? "" : " (did you mean " + best + "?)";
}

std::string Summary(host::Host& host) {
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
        else if (dot != std::string::npos && !items.empty() && items.back().name == owner)
            items.back().members.push_back(heading.substr(dot + 1));
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

std::string HelpOn(host::Host& host, const std::string& name, std::string* why) {
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
        else
            out += m.declaration + "  (" + m.kind +
                   (dot == std::string::npos ? "" : " of " + m.heading.substr(0, dot)) + ")\n";
    }
    if (out.empty()) *why = "the plugin has no member " + name + Suggest(name, names);
    return out;
}

}  // namespace tkzhost
