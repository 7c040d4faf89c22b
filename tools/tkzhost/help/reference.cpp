// Reading docs/reference.md (reference.h), and the copy of it built into
// tkzhost: the assembler includes the file as it stands at build time, so
// `help` can never drift from the reference that the test runs.
#include "help.h"

#include <algorithm>
#include <cctype>
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

// Takes the marks out of a line of prose; their contents, joined by "; ",
// go to *mark.
std::string TakeMarks(std::string line, std::string* mark) {
    for (size_t open; (open = line.find("<!--")) != std::string::npos;) {
        size_t close = line.find("-->", open);
        close = close == std::string::npos ? line.size() : close + 3;
        std::string inner = line.substr(open + 4, close - open - 7);
        size_t from = inner.find_first_not_of(' '), to = inner.find_last_not_of(' ');
        if (from != std::string::npos) *mark += (mark->empty() ? "" : "; ") + inner.substr(from, to + 1 - from);
        line.erase(open, close - open);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// A line of prose: no blank line, table row or indented code.
bool IsProse(const std::string& l) { return !l.empty() && l[0] != '|' && !StartsWith(l, "    "); }

bool IsItem(const std::string& l) {
    return StartsWith(l, "- ") || (l.size() > 2 && isdigit((unsigned char)l[0]) && l[1] == '.');
}

// A line of text to the body, its marks to the promise it belongs to.
void AddLine(Section& s, const std::string& l, int line, bool& open) {
    if (!IsProse(l)) {
        s.body += l + "\n", open = false;
        return;
    }
    if (!open || IsItem(l)) s.promises.push_back(Promise{"", "", line});
    open = true;
    std::string text = TakeMarks(l, &s.promises.back().mark);
    s.promises.back().text += text + "\n";
    if (!text.empty()) s.body += text + "\n";
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
    bool open = false;     // within a paragraph or list item
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (StartsWith(l, "#")) {
            size_t level = l.find_first_not_of('#');
            std::string title = l.substr(l.find_first_not_of(' ', level));
            if (level == 2) group = title;
            out.push_back(Section{title, group, {}, "", {}, {}, (int)i + 1});
            s = &out.back();
            leading = true, open = false;
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
            AddLine(*s, l, (int)i + 1, open);
            continue;
        }
        open = false;
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

// Columns a line of UTF-8 takes: one a character.
size_t Columns(const std::string& s) {
    size_t n = 0;
    for (char c : s) n += ((unsigned char)c & 0xC0) != 0x80;
    return n;
}

// Markdown as a terminal shows it: links as their text alone
// ([SleepTKZ](#sleeptkz) is SleepTKZ), no code marks.
std::string Plain(std::string text) {
    for (size_t open = 0; (open = text.find('[', open)) != std::string::npos; ++open) {
        size_t mid = text.find("](", open), close = mid == std::string::npos ? mid : text.find(')', mid);
        if (close == std::string::npos) break;
        text.erase(mid, close + 1 - mid);
        text.erase(open, 1);
    }
    text.erase(std::remove(text.begin(), text.end(), '`'), text.end());
    return text;
}

// Words in lines of at most `width` columns; a longer word stands alone.
std::vector<std::string> Wrap(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream words(text);
    for (std::string w; words >> w;) {
        if (!line.empty() && Columns(line) + 1 + Columns(w) > width) lines.push_back(line), line.clear();
        line += (line.empty() ? "" : " ") + w;
    }
    if (!line.empty() || lines.empty()) lines.push_back(line);
    return lines;
}

std::string Padded(const std::string& s, size_t width) {
    return s + std::string(width > Columns(s) ? width - Columns(s) : 0, ' ');
}

// A paragraph or a list item (- or 1.) joined from its lines and wrapped
// again, an item's later lines under its first word.
void Flow(std::string& out, const std::string& text, size_t width) {
    size_t mark = text.rfind("- ", 0) == 0 ? 2 : text.find(". ") == 1 && isdigit((unsigned char)text[0]) ? 3 : 0;
    std::vector<std::string> lines = Wrap(Plain(text.substr(mark)), width > mark + 20 ? width - mark : 20);
    for (size_t i = 0; i < lines.size(); ++i)
        out += (i == 0 ? text.substr(0, mark) : std::string(mark, ' ')) + lines[i] + "\n";
}

// | a | b | as its cells, plain; a | inside code marks is text.
std::vector<std::string> Cells(const std::string& row) {
    std::vector<std::string> cells;
    std::string cell;
    bool code = false;
    for (size_t i = 1; i < row.size(); ++i) {
        code ^= row[i] == '`';
        if (row[i] != '|' || code) {
            cell += row[i];
            continue;
        }
        size_t from = cell.find_first_not_of(' '), to = cell.find_last_not_of(' ');
        cells.push_back(Plain(from == std::string::npos ? "" : cell.substr(from, to + 1 - from)));
        cell.clear();
    }
    return cells;
}

// Each row as lines of "Heading: text", for a table too wide for columns.
void Records(std::string& out, const std::vector<std::vector<std::string>>& rows, size_t width) {
    for (size_t r = 1; r < rows.size(); ++r) {
        for (size_t c = 0; c < rows[r].size(); ++c) {
            std::string field;
            if (!rows[r][c].empty()) Flow(field, "- " + rows[0][c] + ": " + rows[r][c], width);
            // The record's later fields stand under its first.
            for (size_t at = 0, nl; c > 0 && (nl = field.find('\n', at)) + 1 < field.size(); at = nl + 1)
                field.insert(nl + 1, "  ");
            out += c == 0 || field.empty() ? field : "  " + field.substr(2);
        }
        out += r + 1 < rows.size() ? "\n" : "";
    }
}

// A Markdown table in aligned columns under a ruled heading row, the
// columns with the most room to give wrapped until the table fits `width`.
void Table(std::string& out, const std::vector<std::string>& lines, size_t width) {
    std::vector<std::vector<std::string>> rows;
    size_t n = 0;
    for (const std::string& l : lines)
        if (l.find_first_not_of("|-: ") != std::string::npos)
            rows.push_back(Cells(l)), n = std::max(n, rows.back().size());
    std::vector<size_t> w(n), least(n);
    for (auto& row : rows) {
        row.resize(n);
        for (size_t c = 0; c < n; ++c) {
            w[c] = std::max(w[c], Columns(row[c]));
            for (const std::string& word : Wrap(row[c], 1)) least[c] = std::max(least[c], Columns(word));
        }
    }
    size_t room = width > 2 * n ? width - 2 * n : 0, used = 0;
    for (size_t c : w) used += c;
    for (size_t widest = 0; used > room; --w[widest], --used) {
        for (size_t c = 0; c < n; ++c)
            if (w[c] - least[c] > w[widest] - least[widest]) widest = c;
        if (w[widest] == least[widest]) return Records(out, rows, width);
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        std::vector<std::vector<std::string>> cells;
        size_t height = 1;
        for (size_t c = 0; c < n; ++c)
            cells.push_back(Wrap(rows[r][c], w[c])), height = std::max(height, cells[c].size());
        for (size_t k = 0; k < height; ++k) {
            std::string line = " ";
            for (size_t c = 0; c < n; ++c) line += " " + Padded(k < cells[c].size() ? cells[c][k] : "", w[c]) + " ";
            out += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
        }
        std::string rule = " ";
        for (size_t c = 0; r == 0 && c < n; ++c) rule += " " + std::string(w[c], '-') + " ";
        out += r == 0 ? rule.substr(0, rule.size() - 1) + "\n" : "";
    }
}

}  // namespace

// Fenced blocks as indented text, under "Example:" and "Output:" for the
// examples; Markdown's indented lines as they are.
std::string Render(const Section& entry, size_t width) {
    std::string out;
    // A class member's declaration names its class: StdinTKZ.Flush.
    size_t dot = entry.heading.find('.');
    std::string owner = dot == std::string::npos ? "" : entry.heading.substr(0, dot + 1);
    for (const std::string& d : entry.declarations) out += owner + d + "\n";
    if (entry.declarations.empty()) out += entry.heading + "\n" + std::string(Columns(entry.heading), '-') + "\n";
    out += "\n";
    std::istringstream in(entry.body);
    std::string text;  // the paragraph or table so far
    std::vector<std::string> table;
    auto flush = [&] {
        if (!text.empty()) Flow(out, text, width - 1), text.clear();
        if (!table.empty()) Table(out, table, width - 1), table.clear();
    };
    bool code = false;
    for (std::string l; std::getline(in, l);) {
        if (StartsWith(l, "```")) {
            flush();
            std::string tag = l.substr(3);
            code = !code;
            if (code && (tag == "basic" || tag == "output")) out += tag == "basic" ? "Example:\n" : "Output:\n";
        } else if (code || StartsWith(l, "    ")) {
            flush();
            out += (code && !l.empty() ? "    " : "") + l + "\n";
        } else if (StartsWith(l, "|")) {
            if (!text.empty()) flush();
            table.push_back(l);
        } else if (l.find_first_not_of(' ') == std::string::npos) {
            flush();
            out += "\n";
        } else if (StartsWith(l, "- ") || (l.size() > 2 && isdigit((unsigned char)l[0]) && l[1] == '.')) {
            flush();
            text = l;
        } else {
            if (!table.empty()) flush();
            text += (text.empty() ? "" : " ") + l.substr(l.find_first_not_of(' '));
        }
    }
    flush();
    while (out.size() > 1 && out.compare(out.size() - 2, 2, "\n\n") == 0) out.pop_back();
    return out;
}

}  // namespace tkzhost
