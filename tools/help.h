// What tkzhost says to help: the statement forms, `help` and `help NAME`
// (from the reference built into it, reference.h), and the nearest name to
// one misspelt.
#pragma once

#include "host.h"

#include <string>
#include <vector>

namespace tkzhost {

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

// " (did you mean X?)" for X, the member's name that is `name` and the
// plugin's suffix TKZ, or else the nearest of `names` within two edits,
// never the name itself; "" when none is that near.
std::string Suggest(const std::string& name, const std::vector<std::string>& names);

}  // namespace tkzhost
