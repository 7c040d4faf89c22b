// Running code in fresh child processes. A plugin keeps what it found for
// the life of the process, so each host configuration runs in a process of
// its own; and code that may crash or hang costs one child, not the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace host {

struct ChildOptions {
    // A child still running after this long is killed with every process it
    // started (such a child leads a process group of its own); 0: no limit.
    int limitMs = 0;
    bool emptyInput = false;      // standard input reads nothing (/dev/null)
    bool keepOutput = true;       // standard output and error come back in ChildEnd::output;
                                  // otherwise the child writes to the parent's
    size_t keepBytes = SIZE_MAX;  // at most this much of the output, and of the report, kept
    int parallel = 1;             // RunChildren: children at a time, 0 for one per processor
};

// How a child ended, and what it said.
struct ChildEnd {
    bool timedOut = false;  // killed at its time limit
    int signal = 0;         // the signal that ended it, 0 when it exited
    int status = 0;         // its exit status, when it exited
    std::string report;     // what it wrote on the descriptor it was given
    std::string output;     // its standard output and error, when kept
    std::string error;      // why it could not be run or waited for ("" when it was)
    // The exit status, -signal when a signal ended it, -1 when it could not
    // be run.
    int Code() const { return !error.empty() ? -1 : signal ? -signal : status; }
};

// What a child runs: its index among the children of one RunChildren, and a
// descriptor whose bytes come back as ChildEnd::report. The answer is the
// child's exit status.
using ChildBody = std::function<int(size_t index, int reportFd)>;

// Runs body(i) for every i below count, each in a fresh child, as many at a
// time as options.parallel says; ended(i, end) runs in the parent as each
// child ends, in the order they end.
void RunChildren(size_t count, const ChildBody& body, const std::function<void(size_t, ChildEnd&)>& ended,
                 const ChildOptions& options = ChildOptions());

// Runs fn in a child process and returns its exit status (-signal when it
// died of a signal); the child's standard output and error are collected in
// *output when output is given.
int RunChild(const std::function<int()>& fn, std::string* output = nullptr);

}  // namespace host
