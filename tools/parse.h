// The tkzhost statement language, parsed: one statement per line, into a
// tree that the interpreter (script.h) runs. Parsing touches no host and no
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
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tkzhost {

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

}  // namespace tkzhost
