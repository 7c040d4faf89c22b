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
// the global ones together, each class on lines of its own with its members.
std::string Summary(host::Host& host);

// `help NAME`: every member called NAME (Class.Name or the last part of it),
// its entry, or its declaration when the reference has none; the statement
// forms for a statement or a built-in. "" when the plugin has no such
// member, and *why says so.
std::string HelpOn(host::Host& host, const std::string& name, std::string* why);

// " (did you mean X?)" for the nearest of `names` within two edits, never
// the name itself; "" when none is that near.
std::string Suggest(const std::string& name, const std::vector<std::string>& names);

}  // namespace tkzhost
