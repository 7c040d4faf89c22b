// The tkzhost interpreter: runs the statements of parse.h against a plugin
// loaded into the emulated host, one line at a time, keeping variables from
// line to line.
#pragma once

#include "host.h"
#include "parse.h"

#include <functional>
#include <memory>
#include <string>

namespace tkzhost {

class Interpreter {
public:
    explicit Interpreter(emu::Host& host);
    ~Interpreter();
    enum Outcome { Done, Failed, Quit };
    // Runs one line, appending what it prints to *out. Any line ends in
    // Done, Quit or Failed with *error set (its column and message): numbers
    // out of range, allocations that fail and whatever the emulated host
    // refuses included. Variables survive a failed line.
    Outcome Run(const std::string& line, std::string* out, ParseError* error);
    // Gives back every reference the script holds.
    void Clear();
    // Called with the column of each call into the plugin, just before it.
    std::function<void(int column)> beforeCall;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// What `help` prints: the statement forms.
extern const char kStatementHelp[];

// How a value is shown to a programmer; `color`: an integer of type Color.
std::string Describe(emu::Host& host, const emu::Value& v, int indent = 0, bool color = false);

}  // namespace tkzhost
