// Reading docs/reference.md (reference.h), and the copy of it built into
// tkzhost: the assembler includes the file as it stands at build time, so
// `help` can never drift from the reference that the test runs.
#include "reference.h"

#include <sstream>

__asm__(
    ".pushsection .rodata\n"
    ".globl tkz_reference_md\n"
    ".hidden tkz_reference_md\n"
    "tkz_reference_md:\n"
    ".incbin \"" TKZ_REFERENCE_MD
    "\"\n"
    ".byte 0\n"
    ".popsection\n");
extern "C" const char tkz_reference_md[];

namespace tkzhost {

namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// `text` alone on a line.
bool IsDeclaration(const std::string& line) {
    return line.size() > 2 && line.front() == '`' && line.back() == '`' && line.find('`', 1) == line.size() - 1;
}

}  // namespace

std::vector<Section> ParseReference(const std::string& markdown, std::vector<std::string>* problems) {
    std::vector<Section> out;
    std::vector<std::string> lines;
    std::istringstream in(markdown);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    std::string group;
    Section* s = nullptr;
    bool leading = false;  // still among a heading's declarations
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (StartsWith(l, "#")) {
            size_t level = l.find_first_not_of('#');
            std::string title = l.substr(l.find_first_not_of(' ', level));
            if (level == 2) group = title;
            out.push_back(Section{title, group, {}, "", {}, (int)i + 1});
            s = &out.back();
            leading = true;
            continue;
        }
        if (!s) continue;
        if (leading && l.empty()) continue;
        if (leading && IsDeclaration(l)) {
            s->declarations.push_back(l.substr(1, l.size() - 2));
            continue;
        }
        leading = false;
        if (!StartsWith(l, "```")) {
            s->body += l + "\n";
            continue;
        }
        // A fenced block, kept whole: a # inside is no heading.
        std::string tag = l.substr(3), block;
        size_t start = i;
        for (++i; i < lines.size() && !StartsWith(lines[i], "```"); ++i) block += lines[i] + "\n";
        s->body += l + "\n" + block + "```\n";
        if (tag == "basic") {
            s->examples.push_back(Example{block, "", (int)start + 1});
            size_t next = i + 1;
            while (next < lines.size() && lines[next].empty()) ++next;
            if (next >= lines.size() || lines[next] != "```output") {
                if (problems)
                    problems->push_back("line " + std::to_string(start + 1) + " (" + s->heading +
                                        "): an example without an ```output block right after it");
                s->examples.pop_back();
            }
        } else if (tag == "output" && !s->examples.empty() && s->examples.back().output.empty()) {
            s->examples.back().output = block;
        }
    }
    return out;
}

const std::vector<Section>& BuiltInReference() {
    static const std::vector<Section> sections = ParseReference(tkz_reference_md);
    return sections;
}

std::vector<Member> Members(host::Host& host) {
    std::vector<Member> out;
    auto nameOf = [](const char* declaration) { return host::ParseDecl(declaration).name; };
    const host::Registry& r = host.registry();
    for (const host::MethodDef* m : r.methods) out.push_back({nameOf(m->declaration), m->declaration, "global method"});
    for (const host::ClassDef* e : r.extensions)
        for (uint32_t i = 0; i < e->methodCount; ++i)
            out.push_back(
                {nameOf(e->methods[i].declaration), e->methods[i].declaration, std::string(e->name) + " method"});
    for (const host::ClassDef* c : r.classes) {
        std::string cls = c->name;
        out.push_back({cls, "class " + cls, "class"});
        for (uint32_t i = 0; i < c->propertyCount; ++i) {
            const host::PropertyDef& p = c->properties[i];
            out.push_back({cls + "." + p.name, std::string(p.name) + " as " + p.type,
                           p.setter ? "property" : "read-only property"});
        }
        for (uint32_t i = 0; i < c->methodCount; ++i)
            out.push_back({cls + "." + nameOf(c->methods[i].declaration), c->methods[i].declaration, "method"});
        for (uint32_t i = 0; i < c->sharedMethodCount; ++i)
            out.push_back({cls + "." + nameOf(c->sharedMethods[i].declaration), c->sharedMethods[i].declaration,
                           "shared method"});
    }
    return out;
}

const Section* EntryFor(const std::vector<Section>& sections, const Member& m) {
    for (const Section& s : sections)
        if (s.heading == m.heading)
            for (const std::string& d : s.declarations)
                if (d == m.declaration) return &s;
    return nullptr;
}

namespace {
// Markdown links as their text alone: [SleepTKZ](#sleeptkz) is SleepTKZ.
std::string Unlinked(std::string line) {
    for (size_t open = 0; (open = line.find('[', open)) != std::string::npos; ++open) {
        size_t mid = line.find("](", open), close = mid == std::string::npos ? mid : line.find(')', mid);
        if (close == std::string::npos) break;
        line.erase(mid, close + 1 - mid);
        line.erase(open, 1);
    }
    return line;
}
}  // namespace

std::string Render(const Section& entry) {
    std::string out;
    // A class member's declaration names its class: StdinTKZ.Flush.
    size_t dot = entry.heading.find('.');
    std::string owner = dot == std::string::npos ? "" : entry.heading.substr(0, dot + 1);
    for (const std::string& d : entry.declarations) out += owner + d + "\n";
    out += "\n";
    std::istringstream in(entry.body);
    bool code = false;
    for (std::string l; std::getline(in, l);) {
        if (StartsWith(l, "```")) {
            std::string tag = l.substr(3);
            code = !code;
            if (code && (tag == "basic" || tag == "output")) out += tag == "basic" ? "Example:\n" : "Output:\n";
            continue;
        }
        out += code ? "    " + l + "\n" : Unlinked(l) + "\n";
    }
    while (out.size() > 1 && out.compare(out.size() - 2, 2, "\n\n") == 0) out.pop_back();
    return out;
}

}  // namespace tkzhost
