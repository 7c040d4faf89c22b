// The prompt's line editor: the terminal in raw mode for the length of one
// line, every key handled here, the line redrawn after each change.
#include "lineedit.h"

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

int Key(int fd) {
    unsigned char c;
    return read(fd, &c, 1) == 1 ? c : -1;
}

}  // namespace

bool LineEditor::Read(const std::string& prompt, std::string* line, int in, int out) {
    RawMode raw(in);
    std::string text;
    size_t cursor = 0;
    size_t recalled = history_.size();  // history_.size(): the line being written
    auto redraw = [&] {
        Put(out, "\r" + prompt + text + "\x1b[K");
        if (cursor < text.size()) Put(out, "\x1b[" + std::to_string(text.size() - cursor) + "D");
    };
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
            if (cursor > 0) text.erase(--cursor, 1);
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
            if (b == 'D' && cursor > 0) --cursor;
            else if (b == 'C' && cursor < text.size()) ++cursor;
            else if (b == 'H') cursor = 0;
            else if (b == 'F') cursor = text.size();
            else if ((b == 'A' && recalled > 0) || (b == 'B' && recalled < history_.size())) {
                recalled += b == 'A' ? -1 : 1;
                text = recalled < history_.size() ? history_[recalled] : std::string();
                cursor = text.size();
            } else if (b == '3' && Key(in) == '~' && cursor < text.size()) {
                text.erase(cursor, 1);
            }
        } else if (c >= 32) {
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
