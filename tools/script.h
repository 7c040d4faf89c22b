// The tkzhost interpreter: runs the statements of parse.h against a plugin
// loaded into the emulated host, one line at a time, keeping variables from
// line to line.
#pragma once

#include "host.h"
#include "parse.h"

#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tkzhost {

class Interpreter {
  public:
    explicit Interpreter(host::Host& host);
    ~Interpreter();
    enum Outcome { Done, Failed, Quit };
    // Runs one line, appending what it prints to *out. Any line ends in
    // Done, Quit or Failed with *error set (its column and message): numbers
    // out of range, allocations that fail and whatever the emulated host
    // refuses included. Variables survive a failed line.
    Outcome Run(const std::string& line, std::string* out, ParseError* error);
    // The same for a statement parsed before.
    Outcome Run(const Statement& statement, std::string* out, ParseError* error);
    // Gives back every reference the script holds.
    void Clear();
    // Called with the column of each call into the plugin, just before it.
    std::function<void(int column)> beforeCall;
    // At the prompt: a bare expression prints its value, as print does.
    bool echo = false;
    // Set (by a signal handler) to end the statement: no call starts after
    // it, and the line fails with "interrupted" once the call running returns.
    const volatile sig_atomic_t* interrupted = nullptr;
    // Each variable, as first spelt, with its value.
    std::vector<std::pair<std::string, host::Value>> Variables() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace tkzhost
