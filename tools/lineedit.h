// A small line editor for tkzhost's prompt on a terminal: the cursor keys
// move within the line and through earlier lines, Backspace and Delete
// remove, Home/End and Ctrl-A/Ctrl-E jump, Ctrl-U clears, Ctrl-C abandons the
// line, Ctrl-D on an empty line ends the input.
#pragma once

#include <string>
#include <vector>

namespace tkzhost {

class LineEditor {
public:
    // Reads one line from the terminal on descriptor `in`, echoing to `out`.
    // False at the end of the input.
    bool Read(const std::string& prompt, std::string* line, int in = 0, int out = 1);

private:
    std::vector<std::string> history_;
};

}  // namespace tkzhost
