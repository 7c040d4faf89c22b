// tkzhost: loads a plugin of this interface into the emulated host, shows
// what it registered, and runs statements against it (parse.h), at a prompt
// on a terminal (prompt.h). At the end of a run it reports every reference
// the plugin leaked or released too often. `tkzhost --help` says it all;
// kModes, kOptions and kExitCodes below are what it prints, so a new option
// is a row in them.
#include "../prompt/prompt.h"
#include "../crash/crash.h"
#include "../help/help.h"
#include "host.h"
#include "../language/language.h"
#include "../stress/stress.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Args = std::vector<std::string>;

// The release's version, from the build (CMakeLists.txt).
const char kVersion[] = "tkzhost " TKZ_VERSION " (plugin interface version 9)\n";

int Help(const Args&);
int Version(const Args&);
int List(const Args&);
int Stress(const Args&);
int Emit(const std::string& text);

// Options that make the whole run: the first argument.
struct Mode {
    const char* name;
    const char* alias;
    const char* usage;
    const char* help;
    int (*run)(const Args& rest);
};
const Mode kModes[] = {
    {"--list", nullptr, "tkzhost --list PLUGIN", "what PLUGIN registers (also part of help)", List},
    {"--stress", nullptr, "tkzhost --stress PLUGIN [--expect FILE] [--all]",
     "calls every member PLUGIN registers with boundary\n"
     "values of its declared types, each call in a child of\n"
     "its own (standard input empty, 1 s at most); reports\n"
     "every crash, time-out and reference fault. FILE (by\n"
     "default PLUGIN.stress, when there is one) lists known\n"
     "time-outs, \"timeout CALL -- REASON\" (CALL as the\n"
     "report shows it, * for any text), and members left\n"
     "out, \"skip MEMBER -- REASON\" (those that change the\n"
     "machine); --all calls those too",
     Stress},
    {"--help", "-h", "tkzhost --help", "this text", Help},
    {"--version", nullptr, "tkzhost --version", "the version", Version},
};

// What may follow PLUGIN, run in the order given.
const char* const kOptions[][2] = {
    {"-e STATEMENT", "runs a statement (each line of it, if it has several)"},
    {"SCRIPT",
     "runs a script file, one statement per line; a first line\n"
     "starting with #! is skipped, so scripts can be made executable"},
    {"-",
     "runs standard input line by line, as it is read: a\n"
     "program may write each line once it has read what the\n"
     "one before printed; on a terminal, the prompt: line\n"
     "editing, Tab completion, history kept between sessions,\n"
     "a bare expression prints its value, help longer than the\n"
     "screen goes through $PAGER (less -FRX), and neither an\n"
     "error nor Ctrl-C ends the session"},
};

const char* const kExitCodes[][2] = {
    {"0", "success"},
    {"1",
     "an error in a statement or a script, a plugin that does not load,\n"
     "or output that cannot be written (1 wins over 3)"},
    {"2", "a usage error"},
    {"3", "the plugin leaked references or released one too often"},
    {"4",
     "--stress met a crash, time-out or reference fault that the expect\n"
     "file does not list"},
    {"128+N", "the plugin crashed with signal N (139: SIGSEGV)"},
    {"130", "Ctrl-C (SIGINT) ended statements or a script (not the prompt)"},
};

// Each runs as shown from the build folder (a test runs them).
const char kExamples[] =
    "  tkzhost --list tkz.so                 # what it registers\n"
    "  tkzhost tkz.so -e 'print GetHash32TKZ(\"abc\")'\n"
    "  tkzhost tkz.so -e 'l = DecompileWinStyleDataTKZ(\"Hi\", &b\"1B 04 53 61 6E 73 FF 00 80 0A 01 05\")' "
    "-e 'print l.Style(1)'\n"
    "  echo '12 abc' | tkzhost tkz.so -e 'r = StdinTKZ.ReadInteger(n)' -e 'print r, n'\n"
    "  printf 'feed(\"7 8\")\\nr = StdinTKZ.ReadInteger(n)\\nprint n\\n' | tkzhost tkz.so -\n"
    "  tkzhost tkz.so -e 'x = new StyleDataTKZ' -e 'x.Red = &hFFFF' -e 'print x.TextColor'\n";

std::string Indented(const char* const rows[][2], size_t count, size_t width) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        std::string left = std::string("  ") + rows[i][0];
        std::string text = rows[i][1];
        for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += width + 1)
            text.insert(at + 1, width, ' ');
        // A name too long for its column puts the text on a line of its own.
        out += left + (left.size() < width ? std::string(width - left.size(), ' ') : "\n" + std::string(width, ' ')) +
               text + "\n";
    }
    return out;
}

std::string Usage() {
    std::string out = "usage: tkzhost PLUGIN [-e STATEMENT | SCRIPT | -] ...\n";
    for (const Mode& m : kModes) out += std::string("       ") + m.usage + "\n";
    return out;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "tkzhost: %s\n%sTry tkzhost --help.\n", message.c_str(), Usage().c_str());
    return 2;
}

// A name without a slash is a file in the current folder before dlopen's
// search path.
bool LoadPlugin(host::Host& host, std::string path) {
    if (path.find('/') == std::string::npos && access(path.c_str(), F_OK) == 0) path = "./" + path;
    tkzhost::CrashPlace("loading " + path);
    std::string error;
    if (host.Load(path, &error)) return true;
    std::fprintf(stderr, "tkzhost: %s\n", tkzhost::Escape(error).c_str());
    return false;
}

int Help(const Args&) {
    const size_t w = 22;
    std::string out = Usage() +
                      "\nLoads PLUGIN, a plugin of this interface, into an emulated host that keeps\n"
                      "a strict ledger of references, and runs statements against it. PLUGIN alone\n"
                      "is PLUGIN -: the prompt on a terminal, standard input as a script otherwise.\n"
                      "A PLUGIN without a slash is looked up in the current folder first.\n\n";
    out += Indented(kOptions, std::size(kOptions), w);
    for (const Mode& m : kModes) {
        std::string names = std::string(m.alias ? std::string(m.alias) + ", " : "") + (m.usage + 8);  // past "tkzhost "
        const char* row[1][2] = {{names.c_str(), m.help}};
        out += Indented(row, 1, w);
    }
    out +=
        "\nEvery -e STATEMENT and SCRIPT is read and parsed before any of them runs, so\n"
        "a mistake in any of them stops the run before anything has run; standard\n"
        "input runs line by line, and stops at a mistake after the lines before it.\n"
        "The first statement that fails ends the run with FILE:LINE:COLUMN: message\n"
        "on standard error, then the line and a caret under the place.\n\n"
        "While the statements come from standard input or the prompt, the plugin's\n"
        "standard input is empty until feed() gives it one; otherwise it is\n"
        "tkzhost's own. Ctrl-C interrupts the call running where the call allows it\n"
        "(a delay returns early) and ends the statement.\n\n"
        "The plugin runs under the character-type locale of the environment\n"
        "(LC_ALL, LC_CTYPE, LANG; C and POSIX mean C.UTF-8, which treats bytes as C\n"
        "does); numbers keep the C locale's form. The prompt's history is kept in\n"
        "$XDG_STATE_HOME/tkzhost/history (~/.local/state/tkzhost/history).\n\n";
    out += tkzhost::kStatementHelp;
    out += "\nExamples (in the build folder):\n";
    out += kExamples;
    out += "\nExit status:\n" + Indented(kExitCodes, std::size(kExitCodes), 9);
    return Emit(out);
}

int Version(const Args&) {
    std::fputs(kVersion, stdout);
    return 0;
}

// What PLUGIN registers.
int List(const Args& rest) {
    if (rest.size() != 1) return UsageError("--list takes one PLUGIN");
    host::Host host;
    if (!LoadPlugin(host, rest[0])) return 1;
    return Emit(host::DescribeRegistry(host));
}
int Stress(const Args& rest) { return tkzhost::Stress(rest, {UsageError, LoadPlugin}); }

// Ctrl-C. The handler is installed without SA_RESTART, so that the call
// running returns where it can (a delay ends early: nanosleep fails with
// EINTR) and the statement ends there; a second Ctrl-C before the first is
// seen ends tkzhost, saying so. SIGINT ignored from the start (a background
// job, nohup) is left ignored.
volatile sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) {
    if (gInterrupted) {
        const char m[] = "\ntkzhost: interrupted again before the call returned: ending\n";
        ssize_t ignored = write(2, m, sizeof m - 1);
        (void)ignored;
        signal(SIGINT, SIG_DFL);
        raise(SIGINT);
    }
    gInterrupted = 1;
}

void CatchInterrupts() {
    struct sigaction sa {};
    if (sigaction(SIGINT, nullptr, &sa) != 0 || sa.sa_handler != SIG_DFL) return;
    sa.sa_handler = OnInterrupt;
    sa.sa_flags = 0;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
}

// 0 while standard output takes what is written to it; else 1, having said
// why (once), except for a closed pipe, which ends the run quietly as
// SIGPIPE would (`| head`). `earlier`: the error of a write just made, for
// what failed there and left nothing to flush.
int OutputStatus(int earlier = 0) {
    errno = 0;
    std::cout.flush();
    std::fflush(stdout);
    if (errno == EINTR) {  // a Ctrl-C during the write: written again
        clearerr(stdout);
        std::cout.clear();
        errno = 0;
        std::fflush(stdout);
    }
    if (!std::ferror(stdout) && std::cout.good()) return 0;
    int e = errno ? errno : earlier;  // 0 when what failed was written before, by the plugin
    if (e != EPIPE)
        std::fprintf(stderr, "tkzhost: cannot write standard output%s%s\n", e ? ": " : "", e ? strerror(e) : "");
    clearerr(stdout);
    std::cout.clear();
    return 1;
}

// Writes `text` to standard output, flushed: OutputStatus.
int Emit(const std::string& text) {
    errno = 0;
    std::fwrite(text.data(), 1, text.size(), stdout);
    return OutputStatus(std::ferror(stdout) ? errno : 0);
}

// Whether `program` is an executable file in one of $PATH's folders.
bool OnPath(const std::string& program) {
    const char* path = getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (size_t start = 0, end; start <= folders.size(); start = end + 1) {
        end = std::min(folders.find(':', start), folders.size());
        std::string folder = end > start ? folders.substr(start, end - start) : ".";
        if (access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// help's text on a terminal: longer than the screen, it goes through $PAGER
// (when unset, less -FRX, or more where a minimal system has no less; set
// empty, on a dumb terminal, or with neither, no pager), as other
// interactive helps do. Ctrl-C is the pager's meanwhile.
int Page(const std::string& text) {
    winsize ws{};
    const char *pager = getenv("PAGER"), *term = getenv("TERM");
    std::string command = pager ? pager : OnPath("less") ? "less -FRX" : OnPath("more") ? "more" : "";
    if (!isatty(1) || ioctl(1, TIOCGWINSZ, &ws) != 0 || ws.ws_row == 0 || command.empty() || !term ||
        strcmp(term, "dumb") == 0)
        return Emit(text);
    size_t lines = 0, columns = 0, width = ws.ws_col ? ws.ws_col : 80;
    for (char c : text)
        if (c == '\n') lines += 1 + (columns > 0 ? (columns - 1) / width : 0), columns = 0;
        else columns += ((unsigned char)c & 0xC0) != 0x80;
    int fds[2];
    if (lines < ws.ws_row || std::fflush(stdout) != 0 || pipe2(fds, O_CLOEXEC) != 0) return Emit(text);
    struct sigaction ignore {
    }, interrupt, broken;
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &interrupt);
    sigaction(SIGPIPE, &ignore, &broken);  // the pager may quit before it has read all
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGINT, SIG_DFL);
        signal(SIGPIPE, SIG_DFL);
        if (dup2(fds[0], 0) == 0) execl("/bin/sh", "sh", "-c", command.c_str(), (char*)nullptr);
        _exit(127);
    }
    close(fds[0]);
    for (size_t done = 0; pid > 0 && done < text.size();) {
        ssize_t n = write(fds[1], text.data() + done, text.size() - done);
        if (n < 0 && errno != EINTR) break;
        done += n > 0 ? (size_t)n : 0;
    }
    close(fds[1]);
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    sigaction(SIGINT, &interrupt, nullptr);
    sigaction(SIGPIPE, &broken, nullptr);
    // A pager that is not there: the text as it is.
    return pid < 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 127) ? Emit(text) : 0;
}

// A statement's line with a caret under column `col` (a byte's): tabs as
// spaces to the next multiple of 8, bytes that are no text as \xNN.
std::string Pointed(const std::string& line, int col) {
    std::string shown, under;
    for (size_t i = 0, n; i < line.size(); i += n) {
        for (n = 1; i + n < line.size() && ((unsigned char)line[i + n] & 0xC0) == 0x80;) ++n;  // a character
        std::string piece =
            line[i] == '\t' ? std::string(8 - shown.size() % 8, ' ') : tkzhost::Escape(line.substr(i, n));
        size_t width = 0;
        for (char c : piece) width += ((unsigned char)c & 0xC0) != 0x80;
        if ((int)i + 1 < col) under += std::string(width, ' ');
        shown += piece;
    }
    return "  " + shown + "\n  " + under + "^";
}

// The script's lines, read from a descriptor of its own 4 KiB at a time:
// what is read past the line running waits here. Reading ahead takes nothing
// from the plugin, whose standard input is another descriptor.
struct FdLines {
    int fd;
    std::string buffer;
    bool Next(std::string* line) {
        for (;;) {
            size_t nl = buffer.find('\n');
            if (nl != std::string::npos) {
                *line = buffer.substr(0, nl);
                buffer.erase(0, nl + 1);
                return true;
            }
            char chunk[4096];
            ssize_t n = read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR && !gInterrupted) continue;
            if (n <= 0) {
                if (buffer.empty() || gInterrupted) return false;
                *line = buffer;
                buffer.clear();
                return true;
            }
            buffer.append(chunk, (size_t)n);
        }
    }
};

struct Item {
    enum Kind { Statement, File, Stdin } kind;
    std::string text;
};

const char kBom[] = "\xEF\xBB\xBF";  // a UTF-8 byte-order mark, which some editors start a file with

class Runner {
  public:
    explicit Runner(host::Host& host) : host_(host), run_(host) {
        run_.beforeCall = [this](int column) { tkzhost::CrashPlace(where_ + ":" + std::to_string(column)); };
        run_.interrupted = &gInterrupted;
        run_.help = tkzhost::Help;
    }
    ~Runner() { run_.Clear(); }

    // Every -e statement and script file is read and parsed before any of
    // them runs; standard input runs line by line, as it comes. 0, or the
    // exit status that ends the run.
    int RunAll(const std::vector<Item>& items, int scriptFd) {
        std::vector<Step> steps;
        int status = Prepare(items, &steps);
        for (size_t i = 0; status == 0 && !quit && i < steps.size(); ++i)
            status = steps[i].fromStdin ? Stream(scriptFd) : Execute(steps[i]);
        return status;
    }

    bool quit = false;
    std::string banner;  // said when the prompt opens

  private:
    // A line to run, parsed; or where standard input runs.
    struct Step {
        std::string source;  // as messages name it: a file, (-e 2), (stdin)
        int n = 0;
        std::string text;
        tkzhost::Statement st;
        bool fromStdin = false;
    };

    // 0, or the status of the first statement that does not parse, having said why.
    int Prepare(const std::vector<Item>& items, std::vector<Step>* steps) {
        int statements = 0;
        for (const Item& item : items) {
            if (item.kind == Item::Stdin) {
                steps->push_back(Step{});
                steps->back().fromStdin = true;
                continue;
            }
            bool file = item.kind == Item::File;
            std::string source = file ? tkzhost::Escape(item.text) : "(-e " + std::to_string(++statements) + ")";
            std::string text = item.text;
            if (file)
                if (int s = ReadScript(item.text, source, &text)) return s;
            text += "\n";
            int n = 0;
            for (size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos && at < text.size(); at = nl + 1) {
                Step step{source, ++n, text.substr(at, nl - at)};
                if (!step.text.empty() && step.text.back() == '\r') step.text.pop_back();
                if (file && n == 1 && step.text.rfind("#!", 0) == 0) continue;
                tkzhost::ParseError error;
                if (!tkzhost::Parse(step.text, &step.st, &error)) return Report(step, error);
                steps->push_back(std::move(step));
            }
        }
        return 0;
    }

    // The script file at `path` into *text, checked to be text throughout.
    int ReadScript(const std::string& path, const std::string& name, std::string* text) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) return Fail(name + ": " + strerror(errno));
        if (S_ISDIR(st.st_mode)) return Fail(name + " is a folder, not a script");
        std::ifstream f(path, std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (!f.good() && !f.eof()) return Fail(name + ": cannot read it");
        if (all.rfind(kBom, 0) == 0) all.erase(0, 3);
        size_t bad = tkzhost::FirstNonText(all);
        if (bad != std::string::npos) {
            size_t start = all.rfind('\n', bad) + 1;  // npos + 1 is 0
            int line = 1 + (int)std::count(all.begin(), all.begin() + (long)bad, '\n');
            return Fail(name + ":" + std::to_string(line) + ":" + std::to_string(bad - start + 1) +
                        ": not a text script: byte " + tkzhost::Escape(all.substr(bad, 1)));
        }
        *text = all;
        return 0;
    }

    int Stream(int fd) {
        std::string line;
        if (isatty(fd) && isatty(1)) return Prompt(fd);
        FdLines in{fd, {}};
        for (int n = 1; in.Next(&line); ++n) {
            if (n == 1 && line.rfind(kBom, 0) == 0) line.erase(0, 3);
            size_t bad = tkzhost::FirstNonText(line);
            if (bad != std::string::npos)
                return Fail("(stdin):" + std::to_string(n) + ":" + std::to_string(bad + 1) +
                            ": not a text script: byte " + tkzhost::Escape(line.substr(bad, 1)));
            if (int s = Line("(stdin)", n, line)) return s;
        }
        return gInterrupted ? Fail("(stdin): interrupted", 130) : 0;
    }

    int Prompt(int fd) {
        tkzhost::LineEditor editor(fd, [this](const std::string& before, size_t* start) {
            return tkzhost::Completions(host_, run_, before, start);
        });
        std::cout << banner;
        std::string path = tkzhost::HistoryPath(), why = path.empty() ? "no home folder" : editor.KeepHistory(path);
        if (!why.empty()) Fail("the prompt's history is not kept: " + why);
        if (int s = OutputStatus()) return s;
        run_.echo = true;
        std::string line;
        for (int n = 1; !quit;) {
            gInterrupted = 0;
            tkzhost::LineEditor::Result r = editor.Read("tkz> ", &line);
            // libedit ends a history search (Ctrl-R) that Ctrl-C interrupts as
            // if at the end of the input: the flag tells them apart.
            if (r == tkzhost::LineEditor::End && !gInterrupted) break;
            if (r != tkzhost::LineEditor::Line || gInterrupted) {
                std::cout << "^C\n";  // the line is dropped
                continue;
            }
            if (int s = Line("(prompt)", n++, line, true)) return s;
        }
        std::cout << (quit ? "" : "\n");
        run_.echo = false;
        return OutputStatus();
    }

    int Fail(const std::string& message, int status = 1) {
        std::fflush(stdout);
        // After a ^C that the terminal echoed, on a line of its own.
        std::fprintf(stderr, "%stkzhost: %s\n", gInterrupted && isatty(2) ? "\n" : "", message.c_str());
        return status;
    }

    // A statement's error: where, why, and the line with a caret under the place.
    int Report(const Step& step, const tkzhost::ParseError& error) {
        std::string where = step.source + ":" + std::to_string(step.n) + ":" + std::to_string(error.col);
        return Fail(where + ": " + error.message +
                    (error.message == "interrupted" ? "" : "\n" + Pointed(step.text, error.col)));
    }

    // Runs a line of standard input or the prompt; 0 to go on, else the status that ends the run.
    int Line(const std::string& source, int n, const std::string& text, bool interactive = false) {
        Step step{source, n, text};
        if (!step.text.empty() && step.text.back() == '\r') step.text.pop_back();
        if (quit || (n == 1 && step.text.rfind("#!", 0) == 0)) return 0;
        tkzhost::ParseError error;
        if (tkzhost::Parse(step.text, &step.st, &error)) return Execute(step, interactive);
        Report(step, error);
        return interactive ? 0 : 1;
    }

    int Execute(const Step& step, bool interactive = false) {
        where_ = step.source + ":" + std::to_string(step.n);
        if (gInterrupted && !interactive) return Fail(where_ + ": interrupted", 130);
        tkzhost::CrashPlace(where_ + ":1");
        std::string out;
        tkzhost::ParseError error;
        tkzhost::Interpreter::Outcome o = run_.Run(step.st, &out, &error);
        // What the plugin wrote through stdio too, before the next line.
        if (int s = step.st.kind == tkzhost::Statement::Help ? Page(out) : Emit(out)) return s;
        quit = o == tkzhost::Interpreter::Quit;
        if (o != tkzhost::Interpreter::Failed) return 0;
        Report(step, error);
        return interactive ? 0 : gInterrupted ? 130 : 1;
    }

    host::Host& host_;
    tkzhost::Interpreter run_;
    std::string where_;
};

// What the prompt says first, on one line.
std::string Banner(host::Host& host, const std::string& plugin) {
    host::Registry& r = host.registry();
    size_t members = r.methods.size();
    for (host::ClassDef* e : r.extensions) members += e->methodCount;
    for (host::ClassDef* c : r.classes) members += c->propertyCount + c->methodCount + c->sharedMethodCount;
    std::string version = kVersion;
    return version.substr(0, version.find(" (")) + " with " + tkzhost::Escape(plugin) + " (" + std::to_string(members) +
           " members): help lists them, quit or Ctrl-D leaves.\n";
}

int Run(const Args& args) {
    std::vector<Item> items;
    bool fromStdin = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-e") {
            if (++i >= args.size()) return UsageError("-e needs a statement");
            items.push_back({Item::Statement, args[i]});
        } else if (a == "-") {
            items.push_back({Item::Stdin, a});
            fromStdin = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("unknown option " + tkzhost::Escape(a));
        } else {
            items.push_back({Item::File, a});
        }
    }
    // PLUGIN alone: the prompt on a terminal, standard input as a script otherwise.
    if (items.empty()) items.push_back({Item::Stdin, "-"}), fromStdin = true;
    // The script is read from a descriptor of its own; the plugin's standard
    // input is empty until feed() gives it one.
    int scriptFd = -1;
    if (fromStdin) {
        scriptFd = fcntl(0, F_DUPFD_CLOEXEC, 3);
        int empty = open("/dev/null", O_RDONLY);
        if (scriptFd < 0 || empty < 0 || dup2(empty, 0) < 0) return UsageError("cannot set standard input aside");
        close(empty);
    }

    // The host lives as long as the process, as the plugin it holds does:
    // what the plugin leaked stays the host's (reported below), not the
    // process's.
    static host::Host* kept = new host::Host;
    host::Host& host = *kept;
    if (!LoadPlugin(host, args[0])) return 1;
    CatchInterrupts();
    uint64_t mark = host.Mark();
    int status = 0;
    {
        Runner runner(host);
        runner.banner = Banner(host, args[0]);
        status = runner.RunAll(items, scriptFd);
    }
    std::fflush(stdout);

    std::vector<host::Violation> faults = host.Faults(mark);
    if (!faults.empty()) {
        std::fprintf(stderr, "tkzhost: reference faults of the plugin during this run:\n");
        for (const host::Violation& f : faults) std::fprintf(stderr, "  %s\n", tkzhost::Escape(f.Message()).c_str());
        if (status == 0) status = 3;
    }
    if (status == 130) {
        // Ended by SIGINT, as the shell that started it expects to see.
        signal(SIGINT, SIG_DFL);
        raise(SIGINT);
    }
    return status;
}

// The character-type locale comes from the environment, so that what the
// plugin does with characters (its hash folds case with tolower) can be
// tried as a host would run it; numbers keep the C locale's form. C and
// POSIX become C.UTF-8, which classifies and folds single bytes exactly as C
// does, so that the prompt takes UTF-8 text.
void TakeCharacterLocale() {
    const char* got = setlocale(LC_CTYPE, "");
    if (got && strcmp(got, "C") != 0 && strcmp(got, "POSIX") != 0) return;
    if (!got) {
        const char* asked = getenv("LC_ALL");
        if (!asked || !*asked) asked = getenv("LC_CTYPE");
        if (!asked || !*asked) asked = getenv("LANG");
        std::fprintf(stderr, "tkzhost: the locale %s is not installed here; C.UTF-8 is used\n",
                     tkzhost::Escape(asked ? asked : "").c_str());
    }
    if (!setlocale(LC_CTYPE, "C.UTF-8")) setlocale(LC_CTYPE, "C");
}

}  // namespace

int main(int argc, char** argv) {
    tkzhost::InstallCrashHandler();
    TakeCharacterLocale();
    Args args(argv + 1, argv + argc);
    if (args.empty()) return UsageError("no PLUGIN given");
    int status = -1;
    for (const Mode& m : kModes)
        if (args[0] == m.name || (m.alias && args[0] == m.alias)) status = m.run(Args(args.begin() + 1, args.end()));
    if (status < 0 && args[0].size() > 1 && args[0][0] == '-')
        return UsageError("unknown option " + tkzhost::Escape(args[0]));
    if (status < 0) status = Run(args);
    int output = OutputStatus();
    return status ? status : output;
}
