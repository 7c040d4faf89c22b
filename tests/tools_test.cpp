// tkzhost as a newcomer runs it: the listing of what the plugin registers,
// and one clear line with a non-zero exit when a file is no plugin.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Result {
    std::string out;
    int status;
};

Result Tool(const std::string& args, bool withErrors = true) {
    Result r;
    FILE* p = popen((std::string(TKZ_BUILD_DIR "/tkzhost ") + args + (withErrors ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    r.status = WEXITSTATUS(pclose(p));
    return r;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(Tkzhost, ListsWhatThePluginRegisters) {
    Result r = Tool(TKZ_PLUGIN);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("classes (5):"), std::string::npos);
    EXPECT_NE(r.out.find("extension methods (12):"), std::string::npos);
    EXPECT_NE(r.out.find("global methods (39):"), std::string::npos);
    EXPECT_NE(r.out.find("  StyleDataTKZ  data 96 bytes\n"), std::string::npos);
    EXPECT_NE(r.out.find("    property TextLength as Integer  (read-only)\n"), std::string::npos);
    EXPECT_NE(r.out.find("    method Style(index as integer) as StyleDataTKZ\n"), std::string::npos);
    EXPECT_NE(r.out.find("    shared method ReadString(byref value as string) as integer\n"), std::string::npos);
    EXPECT_NE(r.out.find("  folderitem.DisplayPathTKZ(delimiter as string = \"/\") as string\n"), std::string::npos);
    EXPECT_NE(r.out.find("  1. ValidateUUIDTKZ(UUID as string, mode as integer = 0) as string\n"), std::string::npos);
    EXPECT_NE(r.out.find("  39. NewFolderItemFSRefNameTKZ(fsref as memoryblock,name as string) as FolderItem\n"),
              std::string::npos);
    EXPECT_EQ(Count(r.out, "    property "), 21 + 1 + 6);
}

TEST(Tkzhost, RefusesWhatIsNoPlugin) {
    Result missing = Tool("/no/such/plugin.so");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(Count(missing.out, "\n"), 1) << missing.out;
    EXPECT_EQ(missing.out.rfind("tkzhost: cannot load /no/such/plugin.so", 0), 0u) << missing.out;

    Result notPlugin = Tool(TKZ_BUILD_DIR "/tests/libclash.so");
    EXPECT_EQ(notPlugin.status, 1);
    EXPECT_NE(notPlugin.out.find("has no REALPluginMain"), std::string::npos) << notPlugin.out;
    EXPECT_EQ(Count(notPlugin.out, "\n"), 1);

    Result usage = Tool("");
    EXPECT_EQ(usage.status, 2);
}

// ---- the statement language ---------------------------------------------------------

namespace {
std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
// tkzhost on the plugin with these -e statements and this standard input.
Result Statements(std::initializer_list<std::string> statements, const std::string& input = "") {
    std::string cmd = std::string(TKZ_BUILD_DIR "/tkzhost ") + TKZ_PLUGIN;
    for (const std::string& st : statements) cmd += " -e " + Quote(st);
    cmd += " 2>&1 <<< " + Quote(input);
    Result r;
    FILE* p = popen(("bash -c " + Quote(cmd)).c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    r.status = WEXITSTATUS(pclose(p));
    return r;
}
}  // namespace

TEST(Tkzhost, RunsTheReadmeExamples) {
    EXPECT_EQ(Statements({"print GetHash32TKZ(\"abc\")"}).out, "4915\n");
    EXPECT_EQ(Statements({"print ValidateUUIDTKZ(\"0123ABCD-4567-89ab-CDEF-0123456789ab\", 1)"}).out,
              "\"0123ABCD-4567-89ab-CDEF-0123456789ab\" (36 bytes, US-ASCII)\n");
    Result style = Statements({"l = DecompileWinStyleDataTKZ(\"Hi\", &b\"1B 04 53 61 6E 73 FF 00 80 0A 01 05\")",
                        "print l.Style(1)"});
    EXPECT_EQ(style.status, 0) << style.out;
    EXPECT_EQ(style.out.rfind("StyleDataTKZ {\n", 0), 0u) << style.out;
    for (const char* line : {"  FontName = \"Sans\" (4 bytes, Mac OS Roman)\n", "  TextColor = &hFF8000\n",
                             "  Green = 32896\n", "  Style = 3\n", "  Text = \"H\" (1 byte, UTF-8)\n"})
        EXPECT_NE(style.out.find(line), std::string::npos) << line << style.out;
    EXPECT_EQ(Statements({"r = StdinTKZ.ReadInteger(n)", "print r, n"}, "12 abc").out, "1, 12\n");
}

TEST(Tkzhost, LiteralsAndValues) {
    Result r = Statements({"print 12, -7, &hFF, &hFFFFFFFF, 5000000000, 2.5, -1e3, true, false, nil",
                    "print \"text\", &b\"00 FF\", tagged(\"caf\", &h500), memoryblock(&b\"68 69\"), memoryblock(0)",
                    "print GetEncodingOfStringTKZ(\"x\"), GetEncodingOfStringTKZ(&b\"78\"), CloneStringTKZ(\"say \"\"hi\"\"\")",
                    "print folder(\"/tmp/x.txt\"), folder(\"/tmp/x.txt\").NameExtensionTKZ"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out,
              "12, -7, 255, -1, 5000000000, 2.5, -1000, true, false, nil\n"
              "text, &b\"00 FF\" (2 bytes, raw bytes), \"caf\" (3 bytes, Windows-1252), MemoryBlock (2 bytes: 68 69), "
              "MemoryBlock (0 bytes)\n"
              "134217984, 65535, \"say \"hi\"\" (8 bytes, UTF-8)\n"
              "FolderItem /tmp/x.txt, \"txt\" (3 bytes, UTF-8)\n");
}

TEST(Tkzhost, VariablesObjectsAndByref) {
    Result r = Statements({"x = new StyleDataTKZ", "x.Red = &hFFFF", "x.Text = \"abc\"", "print x.TextColor, x.TextLength",
                    "y = x", "print y.Red", "r = StdinTKZ.ReadString(w)", "r2 = StdinTKZ.ReadString(w)",
                    "print r, w, r2", "DelayTKZ(0.01)", "DelayTKZ(0.01, 3)"},
                   "one two");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "16711680, 3\n65535\n1, \"two\" (3 bytes, raw bytes), 1\n");
}

TEST(Tkzhost, ErrorsNameThePlace) {
    Result unknown = Statements({"print 1", "print GetHash32(\"x\")"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.out, "1\ntkzhost: -e 2, column 7: unknown method GetHash32 (did you mean GetHash32TKZ?)\n");
    struct { const char* statement; const char* message; } rows[] = {
        {"print GetHash32TKZ(1)", "column 7: argument 1 of GetHash32TKZ must be string"},
        {"print GetHash32TKZ()", "column 7: GetHash32TKZ takes 1 argument, not 0"},
        {"print ValidateUUIDTKZ(\"x\", 1, 2)", "column 7: ValidateUUIDTKZ takes 1 to 2 arguments, not 3"},
        {"print \"open", "column 7: unterminated string"},
        {"print &b\"1\"", "column 7: byte strings hold whole bytes"},
        {"print &hZZ", "column 7: &h needs hexadecimal digits"},
        {"x = new NoSuchClass", "column 9: unknown class NoSuchClass"},
        {"x = new TimeZoneTKZ : print 1", "column 21: unexpected character ':'"},
        {"print StdinTKZ.ReadInteger(5)", "column 16: argument 1 of ReadInteger is byref: pass a variable"},
        {"print 1 2", "column 9: unexpected text after the statement"},
        {"print GetHash32TKZ(zz)", "column 20: unknown name zz"},
    };
    for (auto& row : rows) {
        Result r = Statements({row.statement});
        EXPECT_EQ(r.status, 1) << row.statement;
        EXPECT_NE(r.out.find(std::string("tkzhost: -e 1, ") + row.message), std::string::npos)
            << row.statement << "\n" << r.out;
        EXPECT_EQ(Count(r.out, "\n"), 1) << r.out;
    }
    Result readOnly = Statements({"t = new StyleDataTKZ", "t.TextLength = 3"});
    EXPECT_NE(readOnly.out.find("-e 2, column 3: StyleDataTKZ.TextLength is read-only"), std::string::npos)
        << readOnly.out;
}

TEST(Tkzhost, ReportsThePluginsReferenceFaults) {
    std::string leaky = TKZ_BUILD_DIR "/tests/libleaky_plugin.so";
    Result fine = Tool(leaky + " -e 'print FineTKZ(1)'");
    EXPECT_EQ(fine.status, 0) << fine.out;
    EXPECT_EQ(fine.out, "2\n");
    Result leak = Tool(leaky + " -e 'x = LeakTKZ' -e 'print x'");
    EXPECT_EQ(leak.status, 3) << leak.out;
    EXPECT_NE(leak.out.find("\"returned\""), std::string::npos);
    EXPECT_NE(leak.out.find("leaked: string"), std::string::npos) << leak.out;
    EXPECT_NE(leak.out.find("\"forgotten\""), std::string::npos) << leak.out;
    Result over = Tool(leaky + " -e 's = \"mine\"' -e 'OverReleaseTKZ(s)'");
    EXPECT_EQ(over.status, 3) << over.out;
    EXPECT_NE(over.out.find("used after release"), std::string::npos) << over.out;
    // The real plugin leaves nothing behind over the whole tour.
    Result tour = Tool(std::string(TKZ_PLUGIN) + " " TKZ_SOURCE_DIR "/examples/tour.bas");
    EXPECT_EQ(tour.status, 0) << tour.out;
}

TEST(Tkzhost, TourPrintsWhatItShould) {
    Result tour = Tool(std::string(TKZ_PLUGIN) + " " TKZ_SOURCE_DIR "/examples/tour.bas", false);
    std::ifstream f(TKZ_SOURCE_DIR "/examples/tour.out");
    std::string expected((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(tour.status, 0);
    EXPECT_EQ(tour.out, expected);
}

TEST(Tkzhost, ReadmeReferenceIsCurrent) {
    Result ref = Tool(std::string("--reference ") + TKZ_PLUGIN, false);
    ASSERT_EQ(ref.status, 0);
    std::ifstream f(TKZ_SOURCE_DIR "/README.md");
    std::string readme((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const std::string begin = "<!-- reference: build/tkzhost --reference build/tkz.so -->\n", end = "<!-- end of reference -->";
    size_t a = readme.find(begin), b = readme.find(end);
    ASSERT_NE(a, std::string::npos);
    ASSERT_NE(b, std::string::npos);
    EXPECT_EQ(readme.substr(a + begin.size(), b - a - begin.size()), ref.out + "\n")
        << "regenerate the README's reference with build/tkzhost --reference build/tkz.so";
}

// The prompt on a terminal edits lines and recalls earlier ones.
TEST(Tkzhost, PromptEditsLinesOnATerminal) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::string slave = ptsname(master);
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        int fd = open(slave.c_str(), O_RDWR);
        dup2(fd, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        execl(TKZ_BUILD_DIR "/tkzhost", "tkzhost", TKZ_PLUGIN, "-", (char*)nullptr);
        _exit(127);
    }
    std::string screen;
    auto drain = [&](int ms) {
        pollfd p{master, POLLIN, 0};
        char buf[4096];
        while (poll(&p, 1, ms) > 0) {
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) break;
            screen.append(buf, (size_t)n);
        }
    };
    auto type = [&](const std::string& keys) {
        for (char c : keys) {
            ASSERT_EQ(write(master, &c, 1), 1);
            drain(20);
        }
    };
    // Keys typed before the editor takes the terminal would be flushed: wait
    // for each prompt (a sanitized build under emulation starts slowly).
    // The editor prints its prompt once it has the terminal.
    auto waitFor = [&](int results) {
        auto ready = [&] {
            return Count(screen, "4915\r\n") >= results && screen.size() >= 5 &&
                   screen.compare(screen.size() - 5, 5, "tkz> ") == 0;
        };
        for (int i = 0; i < 600 && !ready(); ++i) drain(50);
    };
    waitFor(0);
    // A typo mended with Backspace, then a word inserted after moving left.
    type("print GetHash32TKZ(\"abX\x7f\")\x1b[D\x1b[Dc\r");
    waitFor(1);
    type("\x1b[A\r");  // the same line again, from the history
    waitFor(2);
    type("\x04");
    int status = 0;
    waitpid(pid, &status, 0);
    drain(200);
    close(master);
    EXPECT_EQ(WEXITSTATUS(status), 0) << screen;
    EXPECT_EQ(Count(screen, "4915\r\n"), 2) << screen;
}
