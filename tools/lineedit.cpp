// The prompt's line editor: the terminal in raw mode for the length of one
// line, every key handled here, the line redrawn after each change.
#include "lineedit.h"

#include <cstdlib>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tkzhost {

namespace {

struct RawMode {
    int fd;
    termios saved{};
    bool ok;
    explicit RawMode(int f) : fd(f) {
        ok = tcgetattr(fd, &saved) == 0;
        if (!ok) return;
        termios raw = saved;
        raw.c_lflag &= ~(tcflag_t)(ICANON | ECHO | ISIG | IEXTEN);
        raw.c_iflag &= ~(tcflag_t)(IXON | ICRNL);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSAFLUSH, &raw);
    }
    ~RawMode() {
        if (ok) tcsetattr(fd, TCSAFLUSH, &saved);
    }
};

void Put(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n <= 0) return;
        done += (size_t)n;
    }
}

bool Continuation(char c) { return ((unsigned char)c & 0xC0) == 0x80; }

// Characters, not bytes: what the terminal's cursor moves over.
size_t Width(const std::string& s, size_t from) {
    size_t n = 0;
    for (size_t i = from; i < s.size(); ++i) n += !Continuation(s[i]);
    return n;
}

}  // namespace

int LineEditor::Key(int in) {
    if (!pending_.empty()) {
        unsigned char c = (unsigned char)pending_[0];
        pending_.erase(0, 1);
        return c;
    }
    unsigned char c;
    return read(in, &c, 1) == 1 ? c : -1;
}

// Asks the terminal where its cursor is (ESC [ 6 n, answered ESC [ row ; col
// R): output of the plugin's own may have left it mid-line, which a redraw
// from column 1 would wipe. A terminal that does not answer is not asked again.
bool LineEditor::AtLineStart(int in, int out) {
    if (!terminalAnswers_) return true;
    Put(out, "\x1b[6n");
    std::string answer;
    pollfd p{in, POLLIN, 0};
    while (poll(&p, 1, 500) > 0) {
        char c;
        if (read(in, &c, 1) != 1) break;
        answer += c;
        size_t esc = answer.find("\x1b[");
        if (c == 'R' && esc != std::string::npos) {
            pending_ += answer.substr(0, esc);
            size_t semi = answer.find(';', esc);
            return semi == std::string::npos || atoi(answer.c_str() + semi + 1) <= 1;
        }
    }
    pending_ += answer;
    terminalAnswers_ = false;
    return true;
}

bool LineEditor::Read(const std::string& prompt, std::string* line, int in, int out) {
    RawMode raw(in);
    std::string text;
    size_t cursor = 0;  // a byte offset, always at the start of a character
    size_t recalled = history_.size();  // history_.size(): the line being written
    auto redraw = [&] {
        Put(out, "\r" + prompt + text + "\x1b[K");
        if (size_t back = Width(text, cursor)) Put(out, "\x1b[" + std::to_string(back) + "D");
    };
    auto left = [&] {  // the start of the character before the cursor
        size_t at = cursor;
        while (at > 0 && Continuation(text[--at])) {}
        return at;
    };
    auto right = [&] {  // the start of the character after the cursor
        size_t at = cursor + 1;
        while (at < text.size() && Continuation(text[at])) ++at;
        return at;
    };
    if (!AtLineStart(in, out)) Put(out, "\r\n");
    Put(out, prompt);
    for (;;) {
        int c = Key(in);
        if (c < 0 || (c == 4 && text.empty())) {  // end of input, Ctrl-D
            Put(out, "\r\n");
            return false;
        }
        if (c == '\r' || c == '\n') break;
        if (c == 3) {  // Ctrl-C: abandon the line
            text.clear();
            cursor = 0;
            Put(out, "^C\r\n");
            Put(out, prompt);
            continue;
        }
        if (c == 127 || c == 8) {
            if (cursor > 0) {
                size_t at = left();
                text.erase(at, cursor - at);
                cursor = at;
            }
        } else if (c == 1) {
            cursor = 0;
        } else if (c == 5) {
            cursor = text.size();
        } else if (c == 21) {
            text.erase(0, cursor);
            cursor = 0;
        } else if (c == 27) {
            int a = Key(in), b = Key(in);
            if (a != '[') continue;
            if (b == 'D' && cursor > 0) cursor = left();
            else if (b == 'C' && cursor < text.size()) cursor = right();
            else if (b == 'H') cursor = 0;
            else if (b == 'F') cursor = text.size();
            else if ((b == 'A' && recalled > 0) || (b == 'B' && recalled < history_.size())) {
                recalled += b == 'A' ? -1 : 1;
                text = recalled < history_.size() ? history_[recalled] : std::string();
                cursor = text.size();
            } else if (b == '3' && Key(in) == '~' && cursor < text.size()) {
                text.erase(cursor, right() - cursor);
            }
        } else if (c >= 32) {
            // The bytes of one character arrive one by one: the cursor stays
            // after the character they build.
            text.insert(cursor++, 1, (char)c);
        }
        redraw();
    }
    Put(out, "\r\n");
    if (!text.empty() && (history_.empty() || history_.back() != text)) history_.push_back(text);
    *line = text;
    return true;
}

}  // namespace tkzhost
