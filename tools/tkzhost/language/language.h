// What the tkzhost statement language offers the command, help, the prompt
// and the stress mode: the parser (parse.cpp), the interpreter (script.cpp,
// script_calls.cpp), how values are shown (describe.cpp) and the nearest
// name to one misspelt (suggest.cpp). Nothing here knows the reference or
// the terminal.
#pragma once

#include "host.h"

#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tkzhost {

// The tkzhost statement language, parsed: one statement per line, into a
// tree that the interpreter (below) runs. Parsing touches no host and no
// plugin, so any line at all, whatever its bytes, ends in a Statement or in
// a ParseError with a column; nothing here throws past Parse.
//
//   print GetHash32TKZ("abc"), 12         several values, comma-separated
//   l = DecompileWinStyleDataTKZ("Hi", &b"1B 04 53 61 6E 73 FF 00 80 0A 01 05")
//   print l.Style(1).FontName             members, chained
//   r = new StyleDataTKZ                  then r.Red = &hFFFF
//   r = StdinTKZ.ReadInteger(n)           a bare variable, passed byref
//   print folder("/tmp/notes.txt").NameExtensionTKZ
//   help    help GetHash32TKZ    help StdinTKZ.Read    help "in use"    quit
//
// Literals: "text" ("" inside for a quote), 12, -7, &hFF, 2.5, 1e3, true,
// false, nil, &b"48 69" (raw bytes). ' starts a comment, and so does rem at
// the start of a line. Nothing else of BASIC is taken: its loops,
// conditions, declarations and operators get an error that says so.

struct Node {
    enum Kind { Int, Double, String, Bytes, Bool, Nil, Neg, Name, New, Member } kind = Nil;
    int col = 1;
    std::string text;  // Name, New, Member: the name; String, Bytes: the contents
    int64_t i = 0;     // Int: the value (hex up to &hFFFFFFFF as its 32-bit pattern)
    double d = 0;
    bool b = false;
    bool call = false;             // Name, Member: written with parentheses
    std::vector<Node> args;        // call arguments
    std::unique_ptr<Node> target;  // Member: what it is a member of; Neg: the operand
};

struct Statement {
    enum Kind { Empty, Print, Assign, SetProperty, Expression, Help, Quit } kind = Empty;
    int col = 1;       // the first token
    std::string name;  // Assign: the variable; SetProperty: the property; Help: what is asked for, if anything
    int nameCol = 1;
    std::unique_ptr<Node> target;  // SetProperty: the object
    std::vector<Node> values;      // Print: every value; Assign, SetProperty, Expression: one
};

struct ParseError {
    int col = 1;
    std::string message;
};

bool Parse(const std::string& line, Statement* statement, ParseError* error);

// The names the language keeps for itself.
bool IsKeyword(const std::string& name);
// For a word of BASIC that tkzhost does not run (for, if, dim, call, and,
// ...), what it runs instead; "" for any other word.
std::string NotRun(const std::string& word);
bool IsBuiltin(const std::string& name);
// The built-ins, as the interpreter calls them: folder, memoryblock, tagged,
// feed, array, elapsed, typed, tempfile.
extern const char* const kBuiltins[8];

// Text made safe for a one-line message: control bytes and bytes that are
// no UTF-8 become \xNN.
std::string Escape(const std::string& bytes);
// The offset of the first byte that makes `bytes` no text (a NUL or invalid
// UTF-8), or npos.
size_t FirstNonText(const std::string& bytes);

// How tkzhost shows a value to a programmer: print, the prompt's echo of a
// bare expression and the interpreter's messages all use this one form.

// One form for every value, wherever it comes from: a string as a literal
// that gives it back ("" for a quote) with its byte count and encoding, a
// memory block with its first bytes, an object of the plugin with every
// property; `color`: an integer of type Color, shown as &hRRGGBB, alone or
// inside an object.
std::string Describe(host::Host& host, const host::Value& v, int indent = 0, bool color = false);

// Whether the values of a declared type are colors.
bool IsColor(const std::string& type);

// The tkzhost interpreter: runs the statements of parse.h against a plugin
// loaded into the emulated host, one line at a time, keeping variables from
// line to line.

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
    // What `help` and `help NAME` print ("" for nothing, with *why saying
    // why): given by whoever runs the statements, since the reference lives
    // above the language. Without it, help fails with "no help here".
    std::function<std::string(host::Host& host, const std::string& name, std::string* why)> help;
    // Set (by a signal handler) to end the statement: no call starts after
    // it, and the line fails with "interrupted" once the call running returns.
    const volatile sig_atomic_t* interrupted = nullptr;
    // Each variable, as first spelt, with its value.
    std::vector<std::pair<std::string, host::Value>> Variables() const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

// " (did you mean X?)" for X, the member's name that is `name` and the
// plugin's suffix TKZ, or else the nearest of `names` within two edits,
// never the name itself; "" when none is that near.
std::string Suggest(const std::string& name, const std::vector<std::string>& names);

}  // namespace tkzhost
