// The prompt's line editor: libedit does the editing, the history in memory
// and the redraw of lines wider than the terminal; this file binds the keys,
// completes names, keeps the history in a file and starts each prompt on a
// fresh line.
#include "prompt.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <histedit.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace tkzhost {

namespace {

const int kHistory = 1000;  // lines kept

// Sequences that the emacs keymap leaves out or binds otherwise, as xterm,
// rxvt, tmux, screen and the Linux console send them.
const char* const kBindings[][2] = {
    {"\033[1~", "ed-move-to-beg"}, {"\033[7~", "ed-move-to-beg"}, {"\033OH", "ed-move-to-beg"},
    {"\033[H", "ed-move-to-beg"},  {"\033[4~", "ed-move-to-end"}, {"\033[8~", "ed-move-to-end"},
    {"\033OF", "ed-move-to-end"},  {"\033[F", "ed-move-to-end"},  {"\033[3~", "ed-delete-next-char"},
    {"\033[1;5D", "ed-prev-word"}, {"\033[1;3D", "ed-prev-word"}, {"\033[1;5C", "em-next-word"},
    {"\033[1;3C", "em-next-word"}, {"^W", "ed-delete-prev-word"}, {"^K", "ed-kill-line"},
    {"^R", "em-inc-search-prev"},  {"^L", "ed-clear-screen"},     {"\033^M", "ed-newline"},
    {"\033^J", "ed-newline"},      {"^I", "tkz-complete"},
};

void Write(int fd, const std::string& s) {
    for (size_t done = 0; done < s.size();) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n <= 0 && errno != EINTR) return;
        if (n > 0) done += (size_t)n;
    }
}

bool Blank(const std::string& s) { return s.find_first_not_of(" \t") == std::string::npos; }

}  // namespace

LineEditor::LineEditor(int in, Completer complete) : in_(in), complete_(std::move(complete)) {
    input_ = fdopen(dup(in), "r");
    el_ = el_init("tkzhost", input_ ? input_ : stdin, stdout, stderr);
    history_ = history_init();
    HistEvent ev;
    history(history_, &ev, H_SETSIZE, kHistory);
    history(history_, &ev, H_SETUNIQUE, 1);
    el_set(el_, EL_CLIENTDATA, this);
    el_set(el_, EL_EDITOR, "emacs");
    // The terminal is set back before a stop or the end of the process, and
    // drawn again after a resume.
    el_set(el_, EL_SIGNAL, 1);
    el_set(el_, EL_PROMPT, &LineEditor::Prompt);
    el_set(el_, EL_HIST, history, history_);
    // Named in wide characters: el_set would keep copies of its own that
    // el_end never frees.
    el_wset(el_, EL_ADDFN, L"tkz-complete", L"complete the name before the cursor", &LineEditor::Complete);
    for (auto& b : kBindings) el_set(el_, EL_BIND, b[0], b[1], nullptr);
    el_source(el_, nullptr);
}

LineEditor::~LineEditor() {
    el_end(el_);
    history_end(history_);
    if (input_) fclose(input_);
}

char* LineEditor::Prompt(EditLine* el) {
    LineEditor* self = nullptr;
    el_get(el, EL_CLIENTDATA, &self);
    return const_cast<char*>(self->prompt_.c_str());
}

// Tab: what every candidate shares past the word is added to it (its case
// mended); when nothing can be added, the candidates are listed below the
// line, which is drawn again under them.
unsigned char LineEditor::Complete(EditLine* el, int) {
    LineEditor* self = nullptr;
    el_get(el, EL_CLIENTDATA, &self);
    const LineInfo* li = el_line(el);
    std::string before(li->buffer, li->cursor);
    size_t start = before.size();
    std::vector<std::string> names = self->complete_(before, &start);
    if (names.empty()) return CC_REFRESH_BEEP;
    std::string typed = before.substr(start), common = names[0];
    size_t widest = 0;
    for (const std::string& n : names) {
        size_t k = 0;
        while (k < common.size() && k < n.size() && tolower((unsigned char)common[k]) == tolower((unsigned char)n[k]))
            ++k;
        common.resize(k);
        widest = std::max(widest, n.size());
    }
    if (common.size() > typed.size() || (names.size() == 1 && common != typed)) {
        el_deletestr(el, (int)typed.size());
        el_insertstr(el, common.c_str());
        return CC_REFRESH;
    }
    if (names.size() == 1) return CC_REFRESH_BEEP;
    winsize ws{};
    size_t width = ioctl(1, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? ws.ws_col : 80;
    size_t columns = std::max<size_t>(1, width / (widest + 2)), rows = (names.size() + columns - 1) / columns;
    std::string out = "\n";
    for (size_t r = 0; r < rows; ++r) {
        for (size_t c = 0; c < columns && c * rows + r < names.size(); ++c) {
            const std::string& n = names[c * rows + r];
            out += n + (c + 1 < columns && (c + 1) * rows + r < names.size() ? std::string(widest + 2 - n.size(), ' ')
                                                                             : "");
        }
        out += "\n";
    }
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    return CC_REDISPLAY;
}

// Asks the terminal where its cursor is (ESC [ 6 n, answered ESC [ row ;
// column R): output of the plugin's own may have left it mid-line, where
// the editor would draw the prompt as if at the start of one. Keys that came
// in before the answer are given to the editor; a terminal that does not
// answer (or a dumb one) is not asked again. False when a signal (Ctrl-C)
// came meanwhile.
bool LineEditor::FreshLine() {
    termios saved;
    const char* term = getenv("TERM");
    if (!term || !*term || strcmp(term, "dumb") == 0) terminalAnswers_ = false;
    if (!terminalAnswers_ || tcgetattr(in_, &saved) != 0) return true;
    std::fflush(stdout);
    termios raw = saved;
    raw.c_lflag &= ~(tcflag_t)(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(in_, TCSANOW, &raw);  // not TCSAFLUSH: keys typed ahead stay
    Write(1, "\x1b[6n");
    std::string got;
    int column = 0;
    pollfd p{in_, POLLIN, 0};
    bool signalled = false;
    // As long as a slow link may take; only a terminal that never answers waits it, once.
    for (int ready; column == 0 && ((ready = poll(&p, 1, 2000)) > 0 || (ready < 0 && errno == EINTR));) {
        if (ready < 0) {  // the answer is still to come
            signalled = true;
            continue;
        }
        char buf[256];
        ssize_t n = read(in_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            signalled = true;
            continue;
        }
        if (n <= 0) break;
        got.append(buf, (size_t)n);
        for (size_t at = 0; column == 0 && (at = got.find("\x1b[", at)) != std::string::npos; ++at) {
            size_t semi = got.find_first_not_of("0123456789", at + 2);
            size_t end = semi == std::string::npos ? semi : got.find_first_not_of("0123456789", semi + 1);
            if (end == std::string::npos || semi == at + 2 || got[semi] != ';' || got[end] != 'R') continue;
            column = std::max(1, atoi(got.c_str() + semi + 1));
            got.erase(at, end + 1 - at);
        }
    }
    tcsetattr(in_, TCSANOW, &saved);
    terminalAnswers_ = column > 0;
    got.erase(std::remove(got.begin(), got.end(), '\0'), got.end());
    if (!got.empty() && !signalled) el_push(el_, got.c_str());  // Ctrl-C drops the keys typed before it
    if (column > 1) Write(1, "\r\n");
    return !signalled;
}

LineEditor::Result LineEditor::Read(const std::string& prompt, std::string* line) {
    prompt_ = prompt;
    if (!FreshLine()) return Interrupted;
    int count = 0;
    errno = 0;
    const char* got = el_gets(el_, &count);
    if (!got) return count < 0 && errno == EINTR ? Interrupted : End;
    line->assign(got, (size_t)count);
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
    if (Blank(*line)) return Line;
    HistEvent ev;
    history(history_, &ev, H_ENTER, line->c_str());
    if (!historyPath_.empty() && *line != last_) {
        int fd = open(historyPath_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) Write(fd, *line + "\n"), close(fd);
    }
    last_ = *line;
    return Line;
}

// One line a line, the newest last; past twice the lines kept, the file is
// cut to the lines kept.
std::string LineEditor::KeepHistory(const std::string& path) {
    for (size_t at = 1; (at = path.find('/', at)) != std::string::npos; ++at) mkdir(path.substr(0, at).c_str(), 0700);
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return path + ": " + strerror(errno);
    close(fd);
    std::vector<std::string> lines;
    std::ifstream f(path);
    for (std::string l; std::getline(f, l);)
        if (!Blank(l)) lines.push_back(l);
    if (lines.size() > 2 * (size_t)kHistory) {
        lines.erase(lines.begin(), lines.end() - kHistory);
        std::string cut = path + ".new", all;
        for (const std::string& l : lines) all += l + "\n";
        int out = open(cut.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (out >= 0) Write(out, all), close(out), rename(cut.c_str(), path.c_str());
    }
    HistEvent ev;
    for (const std::string& l : lines) history(history_, &ev, H_ENTER, l.c_str());
    if (!lines.empty()) last_ = lines.back();
    historyPath_ = path;
    return "";
}

std::string HistoryPath() {
    const char* state = getenv("XDG_STATE_HOME");  // only an absolute path counts
    if (state && state[0] == '/') return std::string(state) + "/tkzhost/history";
    const char* home = getenv("HOME");
    return home && home[0] == '/' ? std::string(home) + "/.local/state/tkzhost/history" : "";
}

}  // namespace tkzhost
