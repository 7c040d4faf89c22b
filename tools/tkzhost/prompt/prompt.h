// tkzhost's prompt on a terminal: line editing (lineedit.cpp) and Tab
// completion (complete.cpp).
#pragma once

#include "../language/language.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

typedef struct editline EditLine;
typedef struct history History;

namespace tkzhost {

// tkzhost's prompt on a terminal, edited with libedit in its emacs keymap
// (~/.editrc is read after tkzhost's own bindings, as other libedit programs
// do). tkzhost adds what that keymap lacks or gets wrong for the terminals
// people use: Home and End in every form terminals send them, Ctrl and Alt
// with the arrows, Ctrl-W deleting the word before the cursor, Alt+Enter as
// Enter, and Tab completing names through the Completer. Keys typed or
// pasted ahead are kept for the lines that follow, and each prompt starts on
// a fresh line even when the output before it did not end in one.

class LineEditor {
  public:
    // The names that may complete the word that ends `before` (the line up
    // to the cursor), each spelt in full, and in *start where that word
    // begins.
    using Completer = std::function<std::vector<std::string>(const std::string& before, size_t* start)>;

    // On the terminal open as `in` (read) and standard output.
    LineEditor(int in, Completer complete);
    ~LineEditor();
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    // Earlier sessions' lines from `path`, and every line read from now on
    // appended to it (its folder made if need be). Answers why it cannot,
    // or "".
    std::string KeepHistory(const std::string& path);

    enum Result { Line, Interrupted, End };
    // One line without its end: Interrupted when a signal (Ctrl-C) came
    // while the line was edited, End at the end of the input (Ctrl-D on an
    // empty line). libedit ends a history search (Ctrl-R) that a signal
    // interrupts as at the end of the input: the caller's own flag for the
    // signal tells the two apart.
    Result Read(const std::string& prompt, std::string* line);

  private:
    static char* Prompt(EditLine* el);
    static unsigned char Complete(EditLine* el, int key);
    bool FreshLine();

    FILE* input_ = nullptr;
    EditLine* el_ = nullptr;
    History* history_ = nullptr;
    int in_;
    Completer complete_;
    std::string prompt_, historyPath_, last_;
    bool terminalAnswers_ = true;
};

// Where the prompt's history is kept: $XDG_STATE_HOME/tkzhost/history, by
// default ~/.local/state/tkzhost/history; "" without a home.
std::string HistoryPath();

// Tab completion at the prompt (complete.cpp).

// The names that may complete the word that ends `before` at the prompt
// (statements, methods, classes, variables, built-ins, and after `x.` the
// members of x's class), and in *start where that word begins.
std::vector<std::string> Completions(host::Host& host, const Interpreter& run, const std::string& before,
                                     size_t* start);

}  // namespace tkzhost
