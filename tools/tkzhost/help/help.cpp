// The statement forms, help and suggestions (help.h).
#include "help.h"

#include "../language/language.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tkzhost {

using host::Lower;

const char kStatementHelp[] =
    "Statements, one per line (' or rem starts a comment):\n"
    "  print VALUE, ...          show values: text with its bytes and encoding,\n"
    "                            objects with every property, memory blocks in hex\n"
    "  NAME = VALUE              keep a value in a variable\n"
    "  OBJECT.Property = VALUE   set a property of an object of the plugin\n"
    "  Method(VALUE, ...)        call a global method (no parentheses without\n"
    "                            arguments); Class.Method(...) a shared method,\n"
    "                            OBJECT.Method(...) an instance or folder-item method\n"
    "  help                      this summary and the plugin's members by group\n"
    "  help NAME                 what the reference says of a member (or Class.NAME),\n"
    "                            or of its shared sections (help layouts)\n"
    "  help \"WORDS\"              the entries that mention WORDS\n"
    "  quit, exit                end the run here\n"
    "That is all of BASIC that runs here: no loops, conditions, declarations or\n"
    "  operators (print takes several values: print a, b).\n"
    "Values: \"text\" (\"\" inside for a quote), 12, -7, &hFF, 2.5, 1e3, true,\n"
    "  false, nil, &b\"48 69\" (raw bytes), new Class, variables, calls, members.\n"
    "  Integer parameters and properties take -2147483648 to 2147483647 (&h80000000\n"
    "  to &hFFFFFFFF are the negative ones, as 32-bit patterns); colors take 0 to\n"
    "  &hFFFFFFFF. A bare variable passed to a byref parameter receives the value.\n"
    "Built-ins: folder(path), memoryblock(size or bytes), tagged(text, encoding),\n"
    "  array(objects or integers), feed(text): what the plugin's standard input\n"
    "  holds from then on, typed(text): the same, left open as at a terminal,\n"
    "  elapsed(seconds): true once that long has passed since the last elapsed,\n"
    "  tempfile(lock): a new file held open (and flock-locked when lock is true).\n"
    "At the prompt, a bare expression prints its value and Tab completes names.\n";

namespace {

// The width help's text is set to: the terminal's, up to 80 columns.
size_t Width() {
    winsize ws{};
    if (isatty(1) && ioctl(1, TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 40) return std::min<size_t>(ws.ws_col, 80);
    return 80;
}

// The words of a text in lower case, a plural's s dropped: "Mac layouts"
// asks for what "The Mac style-table layout" holds.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> out;
    std::string w;
    for (char c : text + " ") {
        if (isalnum((unsigned char)c)) {
            w += (char)tolower((unsigned char)c);
            continue;
        }
        if (w.size() > 3 && w.back() == 's') w.pop_back();
        if (!w.empty()) out.push_back(w);
        w.clear();
    }
    return out;
}

// The reference's shared sections: each "## " part with no entry in it (the
// layouts, the encoding values, ...).
std::vector<const Section*> Topics() {
    const std::vector<Section>& ref = BuiltInReference();
    std::vector<const Section*> out;
    for (const Section& s : ref) {
        bool entries = false;
        for (const Section& o : ref) entries |= o.group == s.group && !o.declarations.empty();
        if (s.heading == s.group && !entries) out.push_back(&s);
    }
    return out;
}

// The shared sections whose title holds every word of `words`.
std::vector<const Section*> TopicsFor(const std::string& words) {
    std::vector<const Section*> out;
    std::vector<std::string> asked = Words(words);
    for (const Section* t : Topics()) {
        std::vector<std::string> title = Words(t->heading);
        bool all = !asked.empty();
        for (const std::string& w : asked) all &= std::find(title.begin(), title.end(), w) != title.end();
        if (all) out.push_back(t);
    }
    return out;
}

// The names `help` gives for the shared sections; any word of a title works.
const char* const kTopicNames[] = {"examples", "encodings", "layouts", "linux"};

// `help` alone, last: each shared section under the name that shows it.
std::string TopicList() {
    std::string out = "\nThe reference's shared sections (help and a word of the title):\n";
    std::vector<const Section*> shown;
    for (const char* name : kTopicNames) {
        std::string titles;
        for (const Section* t : TopicsFor(name))
            titles += (titles.empty() ? "" : ", ") + t->heading, shown.push_back(t);
        if (!titles.empty()) out += "  help " + std::string(name) + std::string(11 - strlen(name), ' ') + titles + "\n";
    }
    for (const Section* t : Topics())
        if (std::find(shown.begin(), shown.end(), t) == shown.end()) out += "  help \"" + t->heading + "\"\n";
    return out;
}

// Text on one line, its spaces single.
std::string Flat(const std::string& text) {
    std::string out;
    for (char c : text)
        if (!isspace((unsigned char)c)) out += c;
        else if (!out.empty() && out.back() != ' ') out += ' ';
    return out;
}

std::string Folded(std::string s) {
    for (char& c : s) c = (char)tolower((unsigned char)c);
    return s;
}

// Where `words` stand in `text` as whole words, case aside, or npos.
size_t Mention(const std::string& text, const std::string& words) {
    std::string folded = Folded(text), asked = Folded(Flat(words));
    for (size_t at = 0; !asked.empty() && (at = folded.find(asked, at)) != std::string::npos; ++at) {
        size_t end = at + asked.size();
        if ((at == 0 || !isalnum((unsigned char)text[at - 1])) &&
            (end == text.size() || !isalnum((unsigned char)text[end])))
            return at;
    }
    return std::string::npos;
}

// `help "in use"`: each entry and shared section that mentions the words,
// with the text from a little before the first place.
std::string Mentions(host::Host& host, const std::string& words, size_t width) {
    std::vector<const Section*> sections;
    for (const Member& m : Members(host))
        if (const Section* e = EntryFor(BuiltInReference(), m))
            if (std::find(sections.begin(), sections.end(), e) == sections.end()) sections.push_back(e);
    for (const Section* t : Topics()) sections.push_back(t);
    std::string out;
    for (const Section* s : sections) {
        std::string text = Flat(Render(*s, 100000));
        size_t at = Mention(text, words);
        if (at == std::string::npos) continue;
        size_t from = at > 24 ? std::min(at, text.find(' ', at - 24) + 1) : 0;
        size_t end = std::min(text.size(), from + (width > 12 ? width - 12 : 0));
        while (end < text.size() && ((unsigned char)text[end] & 0xC0) == 0x80) --end;  // a whole character
        out += "  " + s->heading + "\n    " + (from > 0 ? "..." : "") + text.substr(from, end - from) +
               (end < text.size() ? "...\n" : "\n");
    }
    return out.empty() ? "" : "No member is called \"" + words + "\"; these mention it (help NAME shows one):\n" + out;
}

}  // namespace

std::vector<std::string> HelpTopicNames() {
    return std::vector<std::string>(std::begin(kTopicNames), std::end(kTopicNames));
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
    return out + TopicList();
}

namespace {

// Every member called `name` (Class.Name, or the last part of it): its entry,
// or its declaration when the reference has none. Each member's name goes to
// *names.
std::string Called(host::Host& host, const std::string& name, size_t width, std::vector<std::string>* names) {
    std::string out;
    std::vector<const Section*> shown;
    for (const Member& m : Members(host)) {
        size_t dot = m.heading.rfind('.');
        std::string last = m.heading.substr(dot + 1);  // npos + 1 is 0
        names->push_back(m.heading);
        if (Lower(m.heading) != Lower(name) && Lower(last) != Lower(name)) continue;
        const Section* e = EntryFor(BuiltInReference(), m);
        if (e && std::find(shown.begin(), shown.end(), e) != shown.end()) continue;
        out += out.empty() ? "" : "\n";
        if (e) shown.push_back(e), out += Render(*e, width);
        else
            out += m.declaration + "  (" + m.kind +
                   (dot == std::string::npos ? "" : " of " + m.heading.substr(0, dot)) + ")\n";
    }
    return out;
}

}  // namespace

std::string HelpOn(host::Host& host, const std::string& name, std::string* why) {
    if (IsKeyword(name) || IsBuiltin(name) || !NotRun(name).empty()) return kStatementHelp;
    size_t width = Width();
    std::vector<std::string> names;
    std::string out = Called(host, name, width, &names);
    for (const Section* t : out.empty() ? TopicsFor(name) : std::vector<const Section*>())
        out += (out.empty() ? "" : "\n") + Render(*t, width);
    if (out.empty()) out = Mentions(host, name, width);
    bool word =
        !name.empty() &&
        name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.") == std::string::npos;
    if (out.empty())
        *why = word ? "the plugin has no member " + name + Suggest(name, names)
                    : "nothing in the reference mentions \"" + name + "\"";
    return out;
}

std::string Help(host::Host& host, const std::string& name, std::string* why) {
    return name.empty() ? Summary(host) : HelpOn(host, name, why);
}

}  // namespace tkzhost
