// What tkzhost says to help (help.cpp), from the reference of the plugin's
// members built into it (reference.cpp).
#pragma once

#include "host.h"

#include <string>
#include <vector>

namespace tkzhost {

// What tkzhost says to help: the statement forms, `help` and `help NAME`
// (from the reference built into it, reference.h), and the nearest name to
// one misspelt.

// The statement forms: what `help` and `tkzhost --help` print first.
extern const char kStatementHelp[];

// `help`: the statement forms, then every member the plugin registered
// under the group of its entry in the reference (members without one last):
// the global ones together, each class on lines of its own with its members;
// then the reference's shared sections.
std::string Summary(host::Host& host);

// The names `help` gives the reference's shared sections: examples,
// encodings, layouts, ...
std::vector<std::string> HelpTopicNames();

// `help NAME`: every member called NAME (Class.Name or the last part of it),
// its entry, or its declaration when the reference has none; else the
// shared sections whose title holds every word of NAME (help layouts); else
// the entries and sections that mention NAME, a word or several. The
// statement forms for a statement, a built-in or a word of BASIC. "" when
// none of these is found, and *why says so. Set for the terminal's width, up
// to 80 columns.
std::string HelpOn(host::Host& host, const std::string& name, std::string* why);

// What the statement `help NAME` prints: Summary for no name, else HelpOn;
// the interpreter's help (language.h).
std::string Help(host::Host& host, const std::string& name, std::string* why);

// The reference of a plugin's members, docs/reference.md, as tkzhost reads
// it: its entries, their examples, and which registered member each entry
// documents. `help NAME` prints entries from the copy built into tkzhost;
// the reference test runs every example and holds the entries to what the
// plugin registers.
//
// An entry is a "### " section whose first lines are declarations in
// backticks, exactly as registered:
//
//   ### StdinTKZ.ReadInteger
//
//   `ReadInteger(byref value as integer) as integer`
//
// The heading is the member's name, Class.Name for a class member, or the
// class's name for the class itself (declared "class Name"); a property is
// declared "Name as Type". An example is a ```basic block followed at once
// by an ```output block: what tkzhost writes to standard output.

struct Example {
    std::string code, output;
    int line = 0;  // of the ```basic line
};

// A paragraph or list item of an entry's prose (tables and code aside): the
// promises it makes, and the evidence for them that its last line names in
// an HTML comment, which neither a Markdown viewer nor `help` shows:
// <!-- shown --> for the entry's example, <!-- test: Suite.Name --> for a
// test, both joined by "; " when it takes both.
struct Promise {
    std::string text, mark;  // mark: the comment's content, "" for none
    int line = 0;            // of its first line
};

// A part of the reference, from one heading to the next.
struct Section {
    std::string heading;                    // without the #s
    std::string group;                      // the "## " part it stands in
    std::vector<std::string> declarations;  // none: not an entry
    std::string body;                       // what follows the declarations, marks dropped
    std::vector<Example> examples;
    std::vector<Promise> promises;
    int line = 0;
};

// The sections of `markdown`, in order. A ```basic block that no ```output
// block follows is named in *problems.
std::vector<Section> ParseReference(const std::string& markdown, std::vector<std::string>* problems = nullptr);

// docs/reference.md as it was when tkzhost was built, parsed.
const std::vector<Section>& BuiltInReference();

// One registered member, as an entry names and declares it.
struct Member {
    std::string heading;      // GetHash32TKZ, StdinTKZ.Read, StyleDataTKZ
    std::string declaration;  // as registered; "Name as Type" for a property, "class Name" for a class
    std::string kind;         // global method, folder-item method, method, shared method, property, class
};

// Everything the plugin registered, in the order registered.
std::vector<Member> Members(host::Host& host);

// The entry of `sections` that documents `m`, or nullptr.
const Section* EntryFor(const std::vector<Section>& sections, const Member& m);

// An entry as `help` prints it on a terminal `width` columns wide:
// declarations (or a section's title), text, tables and examples, without
// Markdown's marks.
std::string Render(const Section& entry, size_t width = 80);

}  // namespace tkzhost
