// The tkzhost statement language: one BASIC-flavoured statement per line,
// run against a plugin loaded into the emulated host.
//
//   print GetHash32TKZ("abc"), 1 + 0        ' several values, comma-separated
//   l = DecompileWinStyleDataTKZ("Hi", &b"01 05")
//   print l.Style(1)                        ' objects print all their properties
//   r = new StyleDataTKZ : r.Red = &hFFFF   ' (one statement per line)
//   r = StdinTKZ.ReadInteger(n)             ' a variable passed byref
//   f = folder("/tmp/notes.txt") : print f.NameExtensionTKZ
//
// Literals: "text" (UTF-8; "" inside for a quote), 12, &hFF, 2.5, true,
// false, nil, &b"48 69" (raw bytes). Built-ins: folder(path),
// memoryblock(size or bytes), tagged(string, encoding), feed(text) (what
// standard input holds from now on).
#pragma once

#include "host.h"

#include <memory>
#include <string>
#include <vector>

namespace tkzhost {

class Interpreter {
public:
    explicit Interpreter(emu::Host& host);
    ~Interpreter();
    // Runs one line; false with *error set ("column N: ...") when it fails.
    bool Run(const std::string& line, std::string* out, std::string* error);
    // Gives back every reference the script holds.
    void Clear();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// How a value is shown to a programmer.
std::string Describe(emu::Host& host, const emu::Value& v, int indent = 0);

}  // namespace tkzhost
