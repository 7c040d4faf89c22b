// docs/reference.md held to the plugin: an entry for every member it
// registers and for nothing else, an example in every entry, and every
// example (the README's too) printing exactly its output block through
// tkzhost; `help` prints the entries.
// Promises (docs/maintaining.md): each paragraph or list item of an entry's
// prose ends with <!-- shown -->, <!-- test: Suite.Name, fuzz_target --> or
// both joined by "; "; a test is found by suite and name in any tests/ file.
#include "help/help.h"
#include "language/language.h"
#include "support.h"

#include <fstream>
#include <sstream>

namespace {

const std::string kReference = TKZ_SOURCE_DIR "/docs/reference.md";

// The three callback addresses differ from run to run: their output blocks
// write <address> for each, which stands for an integer.
const std::string kAddress = "<address>";
bool Matches(const std::string& want, const std::string& got) {
    size_t w = 0, g = 0;
    while (w < want.size()) {
        if (want.compare(w, kAddress.size(), kAddress) == 0) {
            size_t digits = g + (g < got.size() && got[g] == '-');
            for (g = digits; g < got.size() && isdigit((unsigned char)got[g]);) ++g;
            if (g == digits) return false;
            w += kAddress.size();
        } else if (g >= got.size() || want[w++] != got[g++]) {
            return false;
        }
    }
    return g == got.size();
}

// One example in a tkzhost of its own, from the root folder, under the C
// locale, with empty standard input and the tests' ALSA control double as
// the sound card; its output, and "(exit N)" after it unless N is 0.
std::string RunExample(const std::string& code, const std::string& dir) {
    std::ofstream(dir + "/example.bas") << code;
    int status = 0;
    std::string out = tkz::Shell("cd / && LC_ALL=C ALSA_CONFIG_PATH=" + dir +
                                     "/asound.conf " TKZ_BUILD_DIR "/tkzhost " TKZ_PLUGIN " " + dir +
                                     "/example.bas 2>" + dir + "/stderr </dev/null",
                                 &status);
    return status == 0 ? out : out + "(exit " + std::to_string(status) + ": " + tkz::Slurp(dir + "/stderr") + ")";
}

// The first line where two texts differ.
std::string FirstDifference(const std::string& want, const std::string& got) {
    std::istringstream a(want), b(got);
    std::string x, y;
    for (int n = 1;; ++n) {
        bool more = (bool)std::getline(a, x), also = (bool)std::getline(b, y);
        if (!more && !also) return "";
        if (!more || !also || !Matches(x, y))
            return "output line " + std::to_string(n) + ": expected '" + (more ? x : "(nothing)") + "', got '" +
                   (also ? y : "(nothing)") + "'";
    }
}

}  // namespace

// Every member has an entry; every entry declares registered members (the
// callback entries alone may use the placeholder) and has an example.
PLUGIN_TEST(Reference, EveryMemberHasAnEntryAndEveryEntryAnExample) {
    std::vector<std::string> problems;
    std::vector<tkzhost::Section> ref = tkzhost::ParseReference(tkz::Slurp(kReference), &problems);
    for (const std::string& p : problems) ADD_FAILURE() << "docs/reference.md, " << p;
    std::vector<tkzhost::Member> members = tkzhost::Members(s.host);
    int entries = 0, examples = 0;
    for (const tkzhost::Member& m : members)
        if (!tkzhost::EntryFor(ref, m))
            ADD_FAILURE() << "no entry for " << m.heading << ": " << m.kind << " `" << m.declaration << "`";
    for (const tkzhost::Section& e : ref) {
        if (e.declarations.empty()) continue;
        ++entries, examples += (int)e.examples.size();
        std::string where = "docs/reference.md:" + std::to_string(e.line) + " (" + e.heading + ")";
        for (const std::string& d : e.declarations) {
            bool registered = false;
            for (const tkzhost::Member& m : members) registered |= m.heading == e.heading && m.declaration == d;
            if (!registered) ADD_FAILURE() << where << ": `" << d << "` is not what the plugin registers";
        }
        if (e.examples.empty()) ADD_FAILURE() << where << ": an entry without an example";
        bool callback = e.heading.rfind("Return", 0) == 0 && e.heading.find("PtrTKZ") != std::string::npos;
        for (const tkzhost::Example& x : e.examples)
            if (!callback && x.output.find(kAddress) != std::string::npos)
                ADD_FAILURE() << where << ": only the callback addresses may write " << kAddress;
    }
    std::printf("registered: %zu members and classes; %d entries with %d examples\n", members.size(), entries,
                examples);
}

// Every promise is shown by its entry's example or checked by a test that exists.
TEST(Reference, EveryPromiseIsShownOrChecked) {
    std::string tests = tkz::Shell("cat " TKZ_SOURCE_DIR "/tests/*.cpp " TKZ_SOURCE_DIR "/tests/fuzz/*.cpp");
    auto exists = [&](const std::string& name) {  // Suite.Name, or a fuzz target: fuzz_uuid
        size_t dot = name.find('.');
        if (dot == std::string::npos) return !tkz::Slurp(TKZ_SOURCE_DIR "/tests/fuzz/" + name + ".cpp").empty();
        std::string pair = ("(" + name).replace(dot + 1, 1, ", ");
        return tests.find(pair + ")") != std::string::npos || tests.find(pair + ",") != std::string::npos;
    };
    int entries = 0, promises = 0, sentences = 0, shown = 0, checked = 0, neither = 0;
    for (const tkzhost::Section& e : tkzhost::ParseReference(tkz::Slurp(kReference))) {
        entries += !e.declarations.empty();
        for (const tkzhost::Promise& p : e.declarations.empty() ? std::vector<tkzhost::Promise>() : e.promises) {
            std::string where = "docs/reference.md:" + std::to_string(p.line) + " (" + e.heading + "): ", item;
            bool show = false, test = false;
            EXPECT_FALSE(p.mark.empty()) << where << "neither shown nor checked: " << p.text;
            for (std::istringstream marks(p.mark); std::getline(marks >> std::ws, item, ';');)
                if (item == "shown") {
                    show = true;
                    EXPECT_FALSE(e.examples.empty()) << where << "shown, by no example";
                } else if (item.rfind("test: ", 0) == 0) {
                    test = true;
                    std::istringstream names(item.substr(6));
                    for (std::string n; std::getline(names >> std::ws, n, ',');)
                        EXPECT_TRUE(exists(n)) << where << "no test " << n;
                } else {
                    ADD_FAILURE() << where << "a mark neither shown nor test: Suite.Name, ...: " << item;
                }
            ++promises, shown += show, checked += test, neither += !show && !test;
            for (size_t at = 0; (at = p.text.find_first_of(".!?", at) + 1) != 0;)
                sentences += at == p.text.size() || isspace((unsigned char)p.text[at]);
        }
    }
    std::printf("%d entries, %d promises (%d sentences): %d shown by an example, %d checked by a test, %d neither\n",
                entries, promises, sentences, shown, checked, neither);
}

// Each example of the reference and of the README, run as a reader runs it,
// prints its output block exactly and exits 0.
TEST(Reference, EveryExamplePrintsItsOutput) {
    std::string dir = testing::TempDir() + "tkz-reference";
    tkz::Shell("rm -rf " + dir + " && mkdir -p " + dir);
    std::ofstream(dir + "/asound.conf") << "ctl_type.tkztest { lib \"" TKZ_BUILD_DIR
                                           "/tests/libasound_module_ctl_tkztest.so\" }\n"
                                        << "ctl.default { type tkztest max 31 initial 7 log \"" << dir
                                        << "/writes\" }\n";
    int run = 0;
    for (const char* file : {"docs/reference.md", "README.md"})
        for (const tkzhost::Section& s : tkzhost::ParseReference(tkz::Slurp(TKZ_SOURCE_DIR "/" + std::string(file))))
            for (const tkzhost::Example& x : s.examples) {
                std::string got = RunExample(x.code, dir), diff = FirstDifference(x.output, got);
                if (!diff.empty())
                    ADD_FAILURE() << file << ":" << x.line << " (" << s.heading << "): " << diff
                                  << "\nthe whole output:\n"
                                  << got;
                ++run;
            }
    EXPECT_GE(run, 90);
    EXPECT_FALSE(tkz::Slurp(dir + "/writes").empty()) << "the volume example never reached the ALSA control double";
}

// help NAME prints the entry built into tkzhost, help alone the members by
// group and the shared sections by name, help "words" the entries that
// mention them; another plugin's members, which have no entry, show their
// declaration. Entries are set for a terminal: no Markdown marks, prose and
// tables within 80 columns.
PLUGIN_TEST(Reference, HelpPrintsTheEntries) {
    for (const tkzhost::Section& e : tkzhost::BuiltInReference()) {
        std::istringstream text(tkzhost::Render(e));
        for (std::string l; std::getline(text, l);)  // code, indented, as it is
            EXPECT_TRUE(l.rfind("    ", 0) == 0 ||
                        (l.find_first_of("`|") == std::string::npos && l.find("](") == std::string::npos &&
                         l.size() - std::count_if(l.begin(), l.end(), [](char c) { return (c & 0xC0) == 0x80; }) <= 80))
                << e.heading << ": " << l;
    }
    tkzhost::Interpreter run(s.host);
    run.help = tkzhost::Help;
    std::string out;
    tkzhost::ParseError error;
    ASSERT_EQ(run.Run("help GetHash32TKZ", &out, &error), tkzhost::Interpreter::Done) << error.message;
    EXPECT_EQ(out.rfind("GetHash32TKZ(s as string) as integer\n", 0), 0u) << out;
    EXPECT_NE(out.find("Example:\n    print GetHash32TKZ("), std::string::npos) << out;
    out.clear();
    ASSERT_EQ(run.Run("help", &out, &error), tkzhost::Interpreter::Done);
    EXPECT_NE(out.find("  Strings and memory blocks:\n    GetHash32TKZ,"), std::string::npos) << out;
    EXPECT_EQ(out.find("Not in the reference"), std::string::npos) << out;
    EXPECT_NE(out.find("\n  help layouts    The Mac style-table layout, The Windows style-table layout\n"),
              std::string::npos);
    EXPECT_EQ(out.find("  help \"", out.find("The reference's shared sections")), std::string::npos)
        << "a section without a name";
    for (auto [asked, shown] :
         {std::pair<const char*, const char*>{"help \"in use\"", "\n  IsFileDataForkOpenReadWriteTKZ\n    ..."},
          {"help layouts", "\nThe Windows style-table layout\n------"},
          {"help ValidateUUIDTKZ", "\n  Mode  Form accepted                           Length\n  ----  ----"}}) {
        out.clear();
        ASSERT_EQ(run.Run(asked, &out, &error), tkzhost::Interpreter::Done) << error.message;
        EXPECT_NE(out.find(shown), std::string::npos) << out;
    }
    std::string other =
        tkz::Shell(TKZ_BUILD_DIR "/tkzhost " TKZ_BUILD_DIR "/tests/libleaky_plugin.so -e 'help FineTKZ' 2>&1");
    EXPECT_EQ(other, "FineTKZ(x as integer) as integer  (global method)\n");
}
