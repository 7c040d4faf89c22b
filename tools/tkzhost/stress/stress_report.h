// tkzhost --stress, the report: the expect file's known outcomes, matched
// against the members and the calls, and what the run came to, member by
// member, with a summary.
//
// The expect file (--expect FILE, or PLUGIN.stress beside the plugin, which
// ships with it) names known time-outs and members left out (those that
// change the machine), each with its reason; anything else found is
// unexpected and makes the status 4.
#pragma once

#include "stress_children.h"

#include <string>
#include <vector>

namespace tkzhost::stress {

struct Expectation {
    bool skip;  // a member left out; else a call's time-out
    std::string pattern, reason, where;
    bool seen = false;
};

// "timeout CALL -- REASON" per line, CALL as the report writes it, or "skip
// MEMBER -- REASON" for a member not to call (one that changes the machine),
// MEMBER its name, with its class for members of classes (StdinTKZ.Read,
// folderitem.DisplayPathTKZ); '*' stands for any text, '#' starts a comment
// line. A crash or a reference fault is never an outcome to expect.
bool ReadExpect(const std::string& path, std::vector<Expectation>* out, std::string* error);

// Each member the expect file leaves out says why, and has no calls unless
// `all` calls them anyway.
void LeaveOut(std::vector<Member>& members, std::vector<Expectation>& expected, bool all);

// Whether the expect file says the call never returns.
bool KnownTimeOut(const std::vector<Expectation>& expected, const std::string& label);

// Each time-out the expect file knows of gets its reason.
void MarkExpected(Findings& found, const std::string& label, std::vector<Expectation>& expected);

// What was run, for the report's opening lines.
struct Run {
    std::string plugin, expectFile;
    bool all = false;
    std::string legend;  // the values by declared type
    double seconds = 0;
};

// Prints the report on standard output; answers how many findings were not
// expected.
int Report(const Run& run, const std::vector<Member>& members, const std::vector<Call>& calls,
           const std::vector<Findings>& results, const std::vector<Expectation>& expected);

}  // namespace tkzhost::stress
