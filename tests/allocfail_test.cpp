// Allocations of the plugin's own refused one at a time. Each registered
// method that allocates runs with its k-th allocation refused, for k = 1, 2,
// ... until a call completes without a refusal; every time the answer must be
// the method's failure value, every reference balanced and no block of the
// plugin's left behind. The inputs reach every allocation in src/, and the
// list below must name each of them (a new one fails the test until it is
// listed and reached). The mixer methods are left out: alsa-lib itself does
// not survive refused allocations inside its configuration loader.
#include "allochook.h"
#include "support.h"

#include <set>
#include <sys/mman.h>
#include <unistd.h>

using emu::Value;

namespace {

// Every allocating line of src/ ("#2" for the second of two equal lines in a
// file), with what reaches it or, for none, why nothing registered does.
const std::map<std::string, const char*> kSites = {
    {"bytes/bytes.cpp: unsigned char* buf = (unsigned char*)malloc((size_t)n);", "XOR"},
    {"text/strings.cpp: units = (unsigned short*)calloc(1, 4 * (size_t)count + 4);", "UTF-32 clone"},
    {"text/builders.cpp: void* block = capacity >= 0 ? calloc(1, (size_t)capacity + 4) : nullptr;", "path"},
    {"text/builders.cpp: char* block = (char*)realloc(b.data, (size_t)grown + 4);", "path"},
    {"folderitem/extension.cpp: REALobjectStruct** more = (REALobjectStruct**)realloc(chain, grown * sizeof *chain);",
     "path"},
    {"folderitem/paths.cpp: char* copy = (char*)calloc(1, (size_t)StringLength(path) + 4);", "working directory"},
    {"styledata/classes.cpp: MyListData* node = (MyListData*)calloc(1, sizeof(MyListData));", nullptr},  // MyListAppend: the decoders append after their tail
    {"styledata/classes.cpp: MyListData* node = (MyListData*)calloc(1, sizeof(MyListData)); #2", "decoders"},
    {"console/streams.cpp: char* buf = (char*)calloc(1, count > 0 ? (size_t)count : 1);", "Read"},
    // rbText's UTF-16, UTF-32 and array forms: no registered method asks for them.
    {"text/rbtext.cpp: unsigned short* block = (unsigned short*)calloc(1, (size_t)n + 4);", nullptr},
    {"text/rbtext.cpp: unsigned int* block = (unsigned int*)calloc(1, 2 * (size_t)n + 4);", nullptr},
    {"text/rbtext.cpp: unsigned short* block = (unsigned short*)calloc(1, 2 * (size_t)arrayCount + 2);", nullptr},
    {"text/rbtext.cpp: unsigned char* block = (unsigned char*)calloc(1, (size_t)arrayCount + 1);", nullptr},
};

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t\n");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// The allocating lines of src/, by "file:line" -> key of kSites.
std::map<std::string, std::string> SourceSites() {
    std::map<std::string, std::string> out;
    std::map<std::string, int> seen;
    FILE* p = popen("cd " TKZ_SOURCE_DIR "/src && grep -rnE '\\<(malloc|calloc|realloc|strn?dup)[[:space:]]*\\(' *", "r");
    for (char buf[4096]; p && fgets(buf, sizeof buf, p);) {
        std::string l = buf, file = l.substr(0, l.find(':')), n = l.substr(file.size() + 1, l.find(':', file.size() + 1) - file.size() - 1);
        std::string t = Trim(l.substr(file.size() + n.size() + 2)), key = file + ": " + t;
        if (t.rfind("//", 0) == 0) continue;
        if (++seen[key] > 1) key += " #" + std::to_string(seen[key]);
        out[file + ":" + n] = key;
    }
    if (p) pclose(p);
    return out;
}

// "file:line" of each return address of a plugin allocation (the innermost
// inlined frame, which addr2line -i names first), relative to src/.
std::set<std::string> ReachedLines() {
    std::set<std::string> out;
    for (auto& [caller, n] : allochook::Callers()) {
        char cmd[512];
        snprintf(cmd, sizeof cmd, "addr2line -i -e %s %lx", TKZ_PLUGIN, (unsigned long)(caller - allochook::Base() - 1));
        std::string l = tkz::Shell(cmd);
        l.resize(l.find('\n') + 1);
        if (size_t at = l.find("/src/"); at != std::string::npos) out.insert(l.substr(at + 5, l.find_first_of(" \n", at) - at - 5));
    }
    return out;
}

// A call, and whether its answer was the method's failure value.
struct Case { const char* what; std::function<bool(tkz::Session&)> failedAnswer; };

}  // namespace

PLUGIN_TEST(AllocFail, EveryAllocationOfThePluginFailsCleanly) {
    ASSERT_TRUE(allochook::Watch("/tkz.so"));
    int fd = memfd_create("stdin", 0);  // Read's input: "hello" for each call that completes
    ASSERT_EQ(write(fd, "hello hello", 11), 11);
    ASSERT_EQ(lseek(fd, 0, SEEK_SET) + dup2(fd, 0), 0);
    std::string utf32;
    for (uint32_t i = 0, u; i < 200; ++i)  // 200 units: narrowed in a block of the heap
        u = i % 3 ? 0x41 + i : 0x1F600 + i, utf32.append((const char*)&u, 4);
    void* chain = nullptr;  // 130 parents with names of 10 bytes: the path outgrows its first 1000 bytes
    for (int i = 0; i <= 130; ++i) chain = s.host.SyntheticItem("n", "0123456789", chain);
    s.Own(chain);
    std::string mac = std::string("\x02\x00", 2) + std::string(20, '\0') + "\x02" + std::string(19, '\0');
    // A decoder that loses an entry answers a list of one run of the two.
    auto one = [](tkz::Session& s, const Value& v) { return v.h && s.host.GetProp(v.h, "Count").i == 1; };
    const Case cases[] = {
        {"XOR", [](tkz::Session& s) { return !s.Call("BitwiseXORStringBytesTKZ", {Value::H(s.Str("abcdef")), Value::I(32)}).h; }},
        {"UTF-32 clone", [&](tkz::Session& s) { return !s.Call("CloneStringTKZ", {Value::H(s.Str(utf32, emu::kUTF32))}).h; }},
        {"path", [&](tkz::Session& s) { return !s.Method(chain, "FolderItem", "DisplayPathTKZ", {Value::H(s.Str("/"))}).h; }},
        {"Mac decoder", [&](tkz::Session& s) { return one(s, s.Call("DecompileMacStyleDataTKZ", {Value::H(s.Str("abc")), Value::H(s.Str(mac, emu::kRaw))})); }},
        {"Windows decoder", [&](tkz::Session& s) { return one(s, s.Call("DecompileWinStyleDataTKZ", {Value::H(s.Str("ab")), Value::H(s.Str("\x01\x05\x02\x06"))})); }},
        {"Read", [](tkz::Session& s) { return !s.Method(nullptr, "StdinTKZ", "Read", {Value::I(5)}).h; }},
        {"working directory", [](tkz::Session& s) { return !s.Call("SetCurrentWorkingDirectoryTKZ", {Value::H(s.Own(s.host.FolderItem(TKZ_BUILD_DIR)))}).b; }},
    };
    int runs = 0;
    for (const Case& c : cases) {
        for (long k = 1;; ++k, ++runs) {
            SCOPED_TRACE(std::string(c.what) + ", allocation " + std::to_string(k) + " refused");
            auto before = allochook::Live();
            uint64_t mark = s.host.Mark();
            size_t owned = s.owned.size();
            allochook::Reset(k);
            bool failedAnswer = c.failedAnswer(s), failed = allochook::Failed();
            allochook::Reset();
            EXPECT_EQ(failedAnswer, failed) << "the answer must be the failure value exactly when one was refused";
            for (size_t i = owned; i < s.owned.size(); ++i) s.host.Unlock(s.owned[i]);
            s.owned.resize(owned);
            for (const emu::Leak& l : s.host.LiveSince(mark)) ADD_FAILURE() << "still alive: " << l.what;
            for (const emu::Violation& f : s.host.violations) ADD_FAILURE() << "reference fault: " << f.Message();
            s.host.violations.clear();
            for (auto& [block, b] : allochook::Live())
                if (!before.count(block)) ADD_FAILURE() << "a block of " << b.size << " bytes of the plugin left behind";
            if (!failed || ::testing::Test::HasFailure()) break;
        }
    }
    printf("%d calls with one allocation refused\n", runs);
    // Every allocating line of src/ is listed, and the listed ones are reached.
    std::set<std::string> reached = ReachedLines();
    std::set<std::string> keys;
    for (auto& [line, key] : SourceSites()) {
        keys.insert(key);
        auto it = kSites.find(key);
        if (it == kSites.end()) ADD_FAILURE() << "an allocation not listed here: " << line << " " << key;
        else if (it->second != nullptr && !reached.count(line)) ADD_FAILURE() << "never reached (by " << it->second << "): " << line << " " << key;
    }
    for (auto& [key, by] : kSites)
        if (!keys.count(key)) ADD_FAILURE() << "listed but no longer in src/: " << key;
}
