// A small line editor for tkzhost's prompt on a terminal: the cursor keys
// move within the line, by character (UTF-8), and through earlier lines,
// Backspace and Delete remove a character, Home/End and Ctrl-A/Ctrl-E jump,
// Ctrl-U clears, Ctrl-C abandons the line, Ctrl-D on an empty line ends the
// input. The prompt starts on a fresh line even when the last output did
// not end in one.
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
    int Key(int in);
    bool AtLineStart(int in, int out);

    std::vector<std::string> history_;
    std::string pending_;        // keys that came in while asking the terminal
    bool terminalAnswers_ = true;
};

}  // namespace tkzhost
