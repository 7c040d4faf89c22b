// tkzhost as a newcomer runs it: the listing of what the plugin registers,
// statements and scripts, the errors, the prompt on a terminal, and its
// statement parser fed mutated statements.
#include "help/help.h"
#include "language/language.h"
#include "support.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Result {
    std::string out;
    int status;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A bash command line under the C.UTF-8 locale, standard error joining
// standard output.
Result Sh(const std::string& command) {
    Result r;
    r.out = tkz::Shell("bash -c " + Quote("export LC_ALL=C.UTF-8; " + command) + " 2>&1 </dev/null", &r.status);
    return r;
}
Result Tool(const std::string& args) { return Sh(TKZ_BUILD_DIR "/tkzhost " + args); }

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The failing statements of tkzhost-errors.txt, each with the error line it gives.
std::vector<std::pair<std::string, std::string>> Errors() {
    std::vector<std::pair<std::string, std::string>> out;
    std::istringstream in(tkz::Slurp(TKZ_SOURCE_DIR "/tests/tkzhost-errors.txt"));
    std::string statement;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("! ", 0) == 0) out.push_back({statement, line.substr(2)}), statement.clear();
        else if (line.rfind("# ", 0) != 0) statement += (statement.empty() ? "" : "\n") + line;
    }
    return out;
}

// tkzhost on a terminal of its own (a pty) in a home of its own, typed to as
// a person would: each string of keys is written at once, then the test
// waits for that many more prompts. It plays the terminal, answering where
// its cursor is.
struct Terminal {
    int master = -1;
    pid_t pid = -1;
    std::string screen;
    size_t asked = 0;
    Terminal(const std::string& home, const char* locale, const std::vector<std::string>& args) {
        winsize size{24, 80, 0, 0};
        pid = forkpty(&master, nullptr, nullptr, &size);
        if (pid != 0) return;
        for (std::string env : {std::string("TERM=xterm"), std::string("PAGER=sed 's/^/paged: /'"), "HOME=" + home,
                                "XDG_STATE_HOME=" + home + "/state", "LC_ALL=" + std::string(locale)})
            putenv(strdup(env.c_str()));
        std::vector<const char*> argv = {"tkzhost", TKZ_PLUGIN, nullptr};
        for (const std::string& a : args) argv.insert(argv.end() - 1, a.c_str());
        execv(TKZ_BUILD_DIR "/tkzhost", (char**)argv.data());
        _exit(127);
    }
    void Drain(int ms) {
        pollfd p{master, POLLIN, 0};
        char buf[4096];
        for (ssize_t n; poll(&p, 1, ms) > 0 && (n = read(master, buf, sizeof buf)) > 0;) {
            screen.append(buf, (size_t)n);
            // The column counts from the last line start (or the screen's start: npos + 1 is 0).
            for (size_t q; (q = screen.find("\x1b[6n", asked)) != std::string::npos; asked = q + 1) {
                std::string answer = "\x1b[24;" + std::to_string(q - screen.find_last_of("\r\n", q)) + "R";
                ASSERT_EQ(write(master, answer.data(), answer.size()), (ssize_t)answer.size());
            }
        }
    }
    // Waits for `prompts` more prompts (a sanitized build under emulation starts slowly).
    void Type(const std::string& keys, int prompts) {
        size_t mark = screen.size();
        ASSERT_EQ(write(master, keys.data(), keys.size()), (ssize_t)keys.size());
        for (int i = 0; i < 600 && Count(screen.substr(mark), "tkz> ") < prompts; ++i) Drain(50);
        Drain(prompts ? 50 : 300);
    }
    // The exit status as a shell shows it: 128 + N for signal N.
    int End() {
        int status = 0;
        for (int i = 0; i < 600 && waitpid(pid, &status, WNOHANG) == 0; ++i) Drain(50);
        if (waitpid(pid, &status, WNOHANG) == 0) kill(pid, SIGKILL), waitpid(pid, &status, 0);
        Drain(50);
        close(master);
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }
};

// A session at the prompt: the keys typed (each string and the prompts to
// wait for, one unless said; Ctrl-D ends it), the lines that must appear in
// order, those that must not, the exit status. A session may run in the home
// of the one before it.
struct Key {
    const char* keys;
    int prompts;
    Key(const char* keys, int prompts = 1) : keys(keys), prompts(prompts) {}
};
using Lines = std::vector<std::string>;
void Prompt(const char* what, std::vector<Key> keys, Lines shown, Lines absent = {}, Lines args = {}, int status = 0,
            bool sameHome = false, const char* locale = "C.UTF-8") {
    static std::string home;
    static int sessions = 0;
    if (!sameHome) home = testing::TempDir() + "tkzhost-home-" + std::to_string(sessions++);
    if (!sameHome) Sh("rm -rf " + home + " && mkdir -p " + home);
    auto start = std::chrono::steady_clock::now();
    Terminal t(home, locale, args);
    ASSERT_GT(t.pid, 0);
    t.Type("", args.empty());
    for (const Key& k : keys) t.Type(k.keys, k.prompts);
    t.Type("\x04", 0);
    EXPECT_EQ(t.End(), status) << what << "\n" << t.screen;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << what;
    for (size_t at = 0, k = 0; k < shown.size(); ++k, ++at)
        EXPECT_NE(at = t.screen.find(shown[k], at), std::string::npos) << what << ": " << shown[k] << "\n" << t.screen;
    for (const std::string& text : absent)
        EXPECT_EQ(t.screen.find(text), std::string::npos) << what << "\n" << t.screen;
}
}  // namespace

// One line on standard error and the documented status for each way in
// which the command line, its files or its statements are wrong.
TEST(Tkzhost, RefusesWhatItCannotRun) {
    std::string dir = testing::TempDir() + "tkzhost-files", plugin = TKZ_PLUGIN " ",
                full = "tkzhost: cannot write standard output: No space left on device\n";
    Sh("rm -rf " + dir + " && mkdir -p " + dir + " && printf 'print 1\\nx\\0y' > " + dir +
       "/nul.bas && printf 'print 1\\n\\x01\\xff' > " + dir + "/bad.bas");
    std::tuple<std::string, int, std::string> rows[] = {
        {"/no/such/plugin.so", 1, "tkzhost: cannot load /no/such/plugin.so"},
        {TKZ_BUILD_DIR "/tests/libclash.so", 1, "has no REALPluginMain"},
        {"", 2, "tkzhost: no PLUGIN given\n"},
        {"--frobnicate", 2, "tkzhost: unknown option --frobnicate\n"},
        {plugin + "-x", 2, "tkzhost: unknown option -x\n"},
        {plugin + "-e", 2, "tkzhost: -e needs a statement\n"},
        {plugin + dir, 1, "is a folder, not a script\n"},
        {plugin + dir + "/none.bas", 1, "none.bas: No such file or directory\n"},
        {plugin + dir + "/nul.bas", 1, "nul.bas:2:2: not a text script: byte \\x00\n"},
        {plugin + dir + "/bad.bas", 1, "bad.bas:2:2: not a text script: byte \\xFF\n"},
        {plugin + "- < " + dir + "/bad.bas", 1, "1\ntkzhost: (stdin):2:2: not a text script: byte \\xFF\n"},
        {plugin + "-e 'print 1' -e 'print GetHash32TKZ(1)'", 1,
         "1\ntkzhost: (-e 2):1:7: argument 1 (s) of GetHash32TKZ "
         "must be a string, not 1 (GetHash32TKZ(s as string) as integer)\n"},
        {plugin + TKZ_SOURCE_DIR "/examples/tour.bas > /dev/full", 1, full},
        {"--help > /dev/full", 1, full},
        {"--list " + plugin + "> /dev/full", 1, full},
    };
    for (auto& [args, status, message] : rows) {
        Result r = Tool(args);
        EXPECT_EQ(r.status, status) << args << "\n" << r.out;
        EXPECT_NE(r.out.find(message), std::string::npos) << args << "\n" << r.out;
        EXPECT_EQ(Count(r.out, "tkzhost: "), 1) << r.out;
    }
    // Nothing runs before a mistake anywhere; the line is shown, tabs as
    // spaces, with a caret under the place.
    std::ofstream(dir + "/late.bas") << "print 1\nprint 2\n\tprint GetHash32TKZ(\"\xC3\xA9\"\n";
    EXPECT_EQ(Tool(plugin + "-e 'print 0' " + dir + "/late.bas -e 'print (2'").out,
              "tkzhost: " + dir + "/late.bas:3:25: expected ')'\n          print GetHash32TKZ(\"\xC3\xA9\"\n" +
                  std::string(32, ' ') + "^\n");
}

// ---- the statement language ---------------------------------------------------------

// Each failing statement ends in one error line with its line and column.
// In one host of their own: a process for each would be slow under emulation.
PLUGIN_TEST(Tkzhost, ErrorsNameThePlace) {
    EXPECT_GE(Errors().size(), 30u);
    for (auto& [statement, message] : Errors()) {
        tkzhost::Interpreter run(s.host);
        run.help = tkzhost::Help;
        std::istringstream text(statement);
        std::string out, got, line;
        for (int n = 1; got.empty() && std::getline(text, line); ++n) {
            tkzhost::ParseError e;
            if (run.Run(line, &out, &e) == tkzhost::Interpreter::Failed)
                got = std::to_string(n) + ":" + std::to_string(e.col) + ": " + e.message;
        }
        EXPECT_EQ(got, message) << statement;
    }
}

// The plugin's faults: each reference fault is named (status 3, below a
// statement's error), a crash ends the run with 128 + the signal. --stress
// calls each member, each call in a child, and names every fault; members may
// be left out, as the summary says, but a crash can never be an expected outcome.
TEST(Tkzhost, ReportsThePluginsFaults) {
    std::string so = TKZ_BUILD_DIR "/tests/libleaky_plugin.so ", dir = testing::TempDir();
    std::ofstream(dir + "crash.expect") << "crash CrashTKZ -- it crashes\n";
    std::ofstream(dir + "skip.expect")
        << "skip CrashTKZ -- it crashes\nskip LeakTKZ -- it leaks\nskip OverReleaseTKZ -- it over-releases\n";
    std::tuple<std::string, int, std::vector<std::string>> rows[] = {
        {so + "-e 'print FineTKZ(1)'", 0, {"2\n"}},
        {so + "-e 'x = LeakTKZ' -e 'print x'", 3, {"\"returned\"", "leaked: string", "\"forgotten\""}},
        {so + "-e 's = \"mine\"' -e 'OverReleaseTKZ(s)'", 3, {"used after release"}},
        {so + "-e 'x = LeakTKZ' -e 'print zz'", 1, {"unknown variable zz", "leaked: string"}},  // 1 wins over 3
        {so + "-e 'print FineTKZ(1)' -e '  CrashTKZ'",
         128 + SIGSEGV,
         {"2\ntkzhost: (-e 2):1:3: the plugin crashed: SIGSEGV (segmentation fault)\n"}},
        {"--stress " + so,
         4,
         {"leaked: LeakTKZ: string", "over-released: OverReleaseTKZ(\"A\")",
          "FineTKZ(x as integer) as integer: 5 calls\n  CrashTKZ: 1 call\n    crash: CrashTKZ: SIGSEGV"}},
        {"--stress " + so + "--expect " + dir + "crash.expect", 2, {"crash.expect:1: only a time-out may be expected"}},
        {"--stress " + so + "--expect " + dir + "skip.expect", 0, {"not called: CrashTKZ -- it crashes\n"}},
    };
    for (auto& [args, status, shown] : rows) {
        Result r = Tool(args);
        EXPECT_EQ(r.status, status) << args << "\n" << r.out;
        for (const std::string& text : shown) EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
    }
}

// Input and output as other tools take them: PLUGIN alone runs standard
// input that is no terminal, a byte-order mark starts a script, a closed pipe
// ends the run without a word, and the plugin folds case under the
// environment's character-type locale. -e statements and scripts run in the
// order given; quit ends the run; a script with a #! line runs as a program.
// With the script on standard input, the plugin reads only what feed() gave it.
// The tour, and literals, integer ranges, variables, objects and byref
// arguments print nothing but the expected output, standard error too, and so
// no reference fault. With a script named on the command line the plugin
// reads tkzhost's own standard input.
TEST(Tkzhost, TakesInputAndOutputAsOtherToolsDo) {
    std::string dir = testing::TempDir() + "tkzhost-order/", tool = TKZ_BUILD_DIR "/tkzhost " TKZ_PLUGIN " ",
                hash = "-e 'print GetHash32TKZ(&b\"C9\"), GetHash32TKZ(&b\"E9\")'";
    Sh("rm -rf " + dir + " && mkdir -p " + dir);
    std::ofstream(dir + "bom.bas") << "\xEF\xBB\xBFprint 1\n";
    std::ofstream(dir + "two.bas") << "#!" TKZ_BUILD_DIR "/tkzhost " TKZ_PLUGIN "\nprint 2\nprint 3 ' more\n";
    std::ofstream(dir + "quits.bas") << "print 5\nquit\nprint 6\n";
    std::string many = "1234567890", lines;  // more than a pipe holds: head's exit is sure to cut it
    for (int i = 0; i < 29; ++i) many += ", 1234567890";
    for (int i = 0; i < 2000; ++i) lines += "print " + many + "\n";
    std::ofstream(dir + "long.bas") << lines;
    std::string values = TKZ_SOURCE_DIR "/tests/tkzhost-values", tour = TKZ_SOURCE_DIR "/examples/tour";
    std::tuple<std::string, std::string, int> rows[] = {
        {tool + values + ".bas <<< '12 one two'", tkz::Slurp(values + ".out"), 0},
        {tool + tour + ".bas <<< '12 one two'", tkz::Slurp(tour + ".out"), 0},
        {"printf '\\xEF\\xBB\\xBFprint 2\\n' | " + tool, "2\n", 0},
        {tool + dir + "bom.bas", "1\n", 0},
        {"set -o pipefail; " + tool + dir + "long.bas | head -1", many + "\n", 128 + SIGPIPE},
        {tool + hash, "217, 249\n", 0},
        {"LC_ALL=en_US.ISO-8859-1 " + tool + hash, "249, 249\n", 0},
        {tool + "-e 'print 1' " + dir + "two.bas -e 'print 4' " + dir + "quits.bas -e 'print 7'", "1\n2\n3\n4\n5\n", 0},
        {"chmod +x " + dir + "two.bas && " + dir + "two.bas", "2\n3\n", 0},
        {tool + "-e exit -e 'print 1'", "", 0},
        {"printf 'r = StdinTKZ.ReadInteger(n)\\nprint r, n\\nfeed(\"7 8\")\\nr = StdinTKZ.ReadInteger(n)\\n"
         "print r, n\\n12\\nprint StdinTKZ.ReadInteger(n), n\\n' | " +
             tool + "-",
         "-1, 0\n1, 7\n1, 8\n", 0},
    };
    for (auto& [command, out, status] : rows) {
        Result r = Sh(command);
        EXPECT_EQ(r.out, out) << command;
        EXPECT_EQ(r.status, status) << command << "\n" << r.out;
    }
}

// The examples of --help (run in the build folder) and the README's shell
// commands (run in the source folder) work as shown. The reference and the
// README's tour are reference_test's.
TEST(Tkzhost, HelpAndReadmeExamplesRun) {
    Result help = Tool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: tkzhost PLUGIN"), std::string::npos);
    EXPECT_EQ(Tool("--version").out.rfind("tkzhost ", 0), 0u);
    EXPECT_NE(Tool(TKZ_PLUGIN " -e help").out.find("Statements, one per line"), std::string::npos);
    std::vector<std::string> commands;
    size_t at = help.out.find("Examples");
    for (size_t nl; (nl = help.out.find('\n', at)) != std::string::npos && help.out[nl + 1] == ' '; at = nl + 1)
        commands.push_back("cd " TKZ_BUILD_DIR " && export PATH=" TKZ_BUILD_DIR ":$PATH && " +
                           help.out.substr(nl + 1, help.out.find('\n', nl + 1) - nl - 1));
    std::string readme = tkz::Slurp(TKZ_SOURCE_DIR "/README.md");
    size_t shell = readme.find("## Trying it from a shell");
    for (size_t a = readme.find("\n    ", shell); a < readme.find("\n## ", shell); a = readme.find("\n    ", a + 1)) {
        std::string line = readme.substr(a + 5, readme.find('\n', a + 1) - a - 5);
        // Past each replacement: the build folder's own path may hold "build/".
        for (size_t b = 0; (b = line.find("build/", b)) != std::string::npos; b += strlen(TKZ_BUILD_DIR "/"))
            line.replace(b, 6, TKZ_BUILD_DIR "/");
        commands.push_back("cd " TKZ_SOURCE_DIR " && " + line);
    }
    EXPECT_GE(commands.size(), 10u) << "at least 5 of each";
    std::string all;
    for (const std::string& c : commands) {
        Result r = Sh(c);
        EXPECT_EQ(r.status, 0) << c << "\n" << r.out;
        EXPECT_EQ(r.out.find("tkzhost:"), std::string::npos) << c << "\n" << r.out;
        all += r.out;
    }
    // The first example of --help lists what the plugin registers, named
    // without a slash: every member, each table in the order the host sees.
    EXPECT_NE(all.find(tkz::Slurp(TKZ_SOURCE_DIR "/tests/tkzhost-list.txt")), std::string::npos) << all;
}

// Statements of the tour and of these tests, mutated at random from a fixed
// seed: every mutant ends in a statement or an error with a column; the
// first 2000 also run in the interpreter after the tour, its variables kept,
// and the plugin's references balance at the end. Mutants that would sleep,
// change the mixer or the working directory do not run. TKZ_PARSE_MUTANTS=N
// parses N of them.
PLUGIN_TEST(Tkzhost, EveryMutatedLineEndsInAResultOrAnError) {
    ASSERT_TRUE(freopen("/dev/null", "rb", stdin));
    tkzhost::Interpreter run(s.host);
    std::string out;
    tkzhost::ParseError error;
    std::vector<std::string> seeds;
    std::istringstream tour(tkz::Slurp(TKZ_SOURCE_DIR "/examples/tour.bas"));
    for (std::string line; std::getline(tour, line);) seeds.push_back(line), run.Run(line, &out, &error);
    for (auto& [statement, message] : Errors()) seeds.push_back(statement);
    std::mt19937 rng{20261206};
    auto pick = [&](size_t n) { return (size_t)(rng() % (n ? n : 1)); };
    static const std::string pieces[] = {"(",        ")",    ",",       ".",  "=",          "-",  "\"",   "&h",
                                         "&b\"",     "'",    " ",       "1e", "9999999999", ".5", "new ", "print ",
                                         "\xC3\xA9", "\xFF", {"\0", 1}, "x",  "_",          "\t", "nil",  "&hFFFFFFFF"};
    const char* env = getenv("TKZ_PARSE_MUTANTS");
    for (long k = 0, count = env ? atol(env) : 5000; k < count; ++k) {
        std::string line = seeds[pick(seeds.size())];
        for (int edits = 1 + (int)pick(4); edits > 0; --edits) {
            size_t at = pick(line.size() + 1);
            const std::string& other = seeds[pick(seeds.size())];
            int op = (int)pick(5);
            if (op == 0) line.insert(at, pieces[pick(std::size(pieces))]);
            if (op == 1) line.erase(at, pick(6));
            if (op == 2 && at < line.size()) line[at] = (char)rng();
            if (op == 3) line.insert(at, other, pick(other.size() + 1));
            if (op == 4) line.assign(pick(40), ' ');
            if (op == 4) std::generate(line.begin(), line.end(), [&] { return (char)(32 + pick(95)); });
        }
        tkzhost::Statement st;
        if (!tkzhost::Parse(line, &st, &error)) {
            ASSERT_FALSE(error.message.empty()) << line;
            ASSERT_GE(error.col, 1) << line;
            ASSERT_LE(error.col, (int)line.size() + 1) << line;
        }
        bool calm = k < 2000;
        for (const char* word : {"sleep", "delay", "setsound", "setcurrent"})
            calm = calm && host::Lower(line).find(word) == std::string::npos;
        if (calm) run.Run(line, &out, &error);
    }
}

// The prompt as people use it: tkzhost's own key bindings, a paste, Ctrl-C
// and the fresh start of each prompt (not the library's redraw). Octal
// escapes end where a hex one would run on: \022 is Ctrl-R, \033 Escape.
TEST(Tkzhost, ThePromptEditsAndInterrupts) {
    const std::string banner = "tkzhost " TKZ_VERSION " with " TKZ_PLUGIN " (" + std::to_string(tkz::kMembers) +
                               " members): help lists them, quit or Ctrl-D leaves.\r\n";
    Prompt("PLUGIN alone opens the prompt", {"help\r", "help FSRefTKZ\r", Key("quit\r", 0)},
           {banner, "paged: Statements, one per line",
            "paged: The plugin's members (help NAME for one):", "\nFSRefTKZ as memoryblock\r\n"},
           {"paged: FSRefTKZ"});
    Prompt("Home and End, Alt+key, Alt+Enter, Ctrl-W, Ctrl-K",
           {"rint 1\x1b[1~p\x1b[4~2\r", "nt 3\x1bOHpri\x1bOF4\r", "int 5\x1b[Hpr\x1b[F6\r",
            "rint 7\x1b[7~p\x1b[8~8\x1b\r", "print 9, junk\x17\033a0\r", "print 10junk\x1b[1;5D\x1b[C\x1b[C\x0b\r"},
           {"12\r\n", "34\r\n", "56\r\n", "78\r\n", "9, 0\r\n", "10\r\n"});
    Prompt("a paste of three lines", {Key("print 1\rprint 2\rprint 3\r", 3)}, {"1\r\n", "2\r\n", "3\r\n"});
    Prompt("Ctrl-C ends the call and the statement, not the session",
           {"x = 5\r", Key("SleepTKZ(30)\r", 0), "\x03", "print 6\x03", "print x\r", "print 1\r"},
           {"\ntkzhost: (prompt):2:1: interrupted\r\n", "^C\r\n", "5\r\n", "1\r\n"}, {"6\r\n"});
    Prompt("Ctrl-C ends statements of the command line", {Key("", 0), Key("\x03", 0)},
           {"tkzhost: (-e 1):1:1: interrupted\r\n"}, {"2\r\n"}, {"-e", "SleepTKZ(30)", "-e", "print 2"}, 128 + SIGINT);
}

// Completion, the history within a session and across sessions, and what
// the prompt prints.
TEST(Tkzhost, ThePromptCompletesAndRemembers) {
    Prompt(
        "Tab completes",
        {"print GetHa\t\"abc\")\r", "pri\t1\r", "s = new StyleDataT\t\r", "s.TextL\t\r", "s.Te\t\t\x15",
         "help GetHash3\t\r"},
        {"4915\r\n", "1\r\n", "0\r\n", "\r\nText        TextColor   TextHeight  TextLength  TextOffset  TextSize\r\n",
         "paged: GetHash32TKZ(s as string) as integer\r\n"});
    Prompt("history, in one session", {"print 41\r"}, {"41\r\n"});
    Prompt("history, in the next (Up, Ctrl-R; Ctrl-C ends a search, not the session)",
           {"\x1b[A\r", "print 5\r", "\02241\r", Key("\0224", 0), "\x03", "print 8\r"},
           {"41\r\n", "5\r\n", "41\r\n", "^C\r\n", "8\r\n"}, {}, {}, 0, true);
    Prompt("a bare expression prints its value; errors and output without a line end",
           {"x = 7\r", "x\r", "GetHash32TKZ(\"abc\")\r", "SleepTKZ(0)\r", "print 1 2\r", "o = new StdoutTKZ\r",
            "o.Write(\"x\")\r"},
           {"7\r\n", "4915\r\n", "tkzhost: (prompt):5:9: unexpected text after the statement\r\n", "x\x1b[6n\r\r\n"},
           {"nil"});
    Prompt("UTF-8 under the C locale", {"print \"\xC3\xA9\xE2\x82\xAC!\"\x1b[D\x1b[D\x7f\r"},
           {"\n\"\xC3\xA9!\" (3 bytes, UTF-8)\r\n"}, {}, {}, 0, false, "C");
}
