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

#include <filesystem>
#include <fstream>
#include <regex>
#include <unistd.h>

using emu::Value;

namespace {

// Every allocating line of src/ ("#2" for the second of two equal lines in a
// file), with what reaches it or, for none, why nothing registered does.
const std::map<std::string, const char*> kSites = {
    {"functions/bytes.cpp: unsigned char* buf = (unsigned char*)malloc((size_t)n);", "XOR"},
    {"text/strings.cpp: units = (unsigned short*)calloc(1, 4 * (size_t)count + 4);", "UTF-32 clone"},
    {"text/builders.cpp: void* block = capacity >= 0 ? calloc(1, (size_t)capacity + 4) : nullptr;", "path"},
    {"text/builders.cpp: char* block = (char*)realloc(b.data, (size_t)grown + 4);", "path"},
    {"folderitem/extension.cpp: REALobjectStruct** more = (REALobjectStruct**)realloc(chain, grown * sizeof *chain);",
     "path"},
    {"folderitem/extension.cpp: char* copy = (char*)calloc(1, (size_t)StringLength(path) + 4);", "working directory"},
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
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// The allocating lines of src/, by "file:line" -> key of kSites.
std::map<std::string, std::string> SourceSites() {
    std::map<std::string, std::string> out;
    std::regex call(R"(\b(malloc|calloc|realloc|strn?dup)\s*\()");
    std::string src = TKZ_SOURCE_DIR "/src/";
    for (auto& f : std::filesystem::recursive_directory_iterator(src)) {
        std::string rel = f.path().string().substr(src.size());
        std::ifstream in(f.path());
        std::map<std::string, int> seen;
        std::string line;
        for (int n = 1; std::getline(in, line); ++n) {
            std::string t = Trim(line);
            if (t.rfind("//", 0) == 0 || !std::regex_search(t, call)) continue;
            std::string key = rel + ": " + t;
            if (++seen[key] > 1) key += " #" + std::to_string(seen[key]);
            out[rel + ":" + std::to_string(n)] = key;
        }
    }
    return out;
}

// "file:line" of each return address of a plugin allocation (the innermost
// inlined frame), relative to src/.
std::set<std::string> ReachedLines() {
    std::string cmd = "addr2line -a -i -e " TKZ_PLUGIN;
    char hex[16];
    for (auto& [caller, n] : allochook::Callers())
        snprintf(hex, sizeof hex, " %lx", (unsigned long)(caller - allochook::Base() - 1)), cmd += hex;
    std::set<std::string> out;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    bool first = false;
    while (p && fgets(buf, sizeof buf, p)) {
        std::string l = Trim(std::string(buf, strcspn(buf, " \n")));
        if (l.rfind("0x", 0) == 0) {
            first = true;
        } else if (first) {
            first = false;
            size_t at = l.find("/src/");
            if (at != std::string::npos) out.insert(l.substr(at + 5));
        }
    }
    if (p) pclose(p);
    return out;
}

struct Case {
    const char* what;
    std::function<Value(tkz::Session&)> call;
    // The failure value, given the result of a call in which one allocation was refused.
    std::function<bool(tkz::Session&, const Value&)> refused;
};

bool Nil(tkz::Session&, const Value& v) { return v.h == nullptr; }

}  // namespace

PLUGIN_TEST(AllocFail, EveryAllocationOfThePluginFailsCleanly) {
    ASSERT_TRUE(allochook::Watch("/tkz.so"));
    char path[] = "/tmp/tkz-stdin-XXXXXX";  // Read's input: "hello" for each call that completes
    int fd = mkstemp(path);
    ASSERT_EQ(write(fd, "hello hello", 11), 11);
    lseek(fd, 0, SEEK_SET);
    dup2(fd, 0);
    unlink(path);
    std::string utf32;
    for (uint32_t i = 0; i < 200; ++i) {  // 200 units: narrowed in a block of the heap
        uint32_t u = i % 3 ? 0x41 + i : 0x1F600 + i;
        utf32.append((const char*)&u, 4);
    }
    void* chain = nullptr;  // 130 parents with names of 10 bytes: the path outgrows its first 1000 bytes
    for (int i = 0; i <= 130; ++i) chain = s.host.SyntheticItem("n", "0123456789", chain);
    s.Own(chain);
    std::string mac = std::string("\x02\x00", 2) + std::string(20, '\0') + "\x02" + std::string(19, '\0');
    auto listOfOne = [](tkz::Session& s, const Value& v) { return v.h && s.host.GetProp(v.h, "Count").i == 1; };
    const Case cases[] = {
        {"XOR", [](tkz::Session& s) { return s.Call("BitwiseXORStringBytesTKZ", {Value::H(s.Str("abcdef")), Value::I(32)}); }, Nil},
        {"UTF-32 clone", [&](tkz::Session& s) { return s.Call("CloneStringTKZ", {Value::H(s.Str(utf32, emu::kUTF32))}); }, Nil},
        {"path", [&](tkz::Session& s) { return s.Method(chain, "FolderItem", "DisplayPathTKZ", {Value::H(s.Str("/"))}); }, Nil},
        {"Mac decoder", [&](tkz::Session& s) { return s.Call("DecompileMacStyleDataTKZ", {Value::H(s.Str("abc")), Value::H(s.Str(mac, emu::kRaw))}); }, listOfOne},
        {"Windows decoder", [](tkz::Session& s) { return s.Call("DecompileWinStyleDataTKZ", {Value::H(s.Str("ab")), Value::H(s.Str("\x01\x05\x02\x06"))}); }, listOfOne},
        {"Read", [](tkz::Session& s) { return s.Method(nullptr, "StdinTKZ", "Read", {Value::I(5)}); }, Nil},
        {"working directory", [](tkz::Session& s) { return s.Call("SetCurrentWorkingDirectoryTKZ", {Value::H(s.Own(s.host.FolderItem(TKZ_BUILD_DIR)))}); },
         [](tkz::Session&, const Value& v) { return !v.b; }},
    };
    int runs = 0;
    for (const Case& c : cases) {
        for (long k = 1;; ++k, ++runs) {
            SCOPED_TRACE(std::string(c.what) + ", allocation " + std::to_string(k) + " refused");
            auto before = allochook::Live();
            uint64_t mark = s.host.Mark();
            size_t owned = s.owned.size();
            allochook::Reset(k);
            Value v = c.call(s);
            bool failed = allochook::Failed();
            allochook::Reset();
            EXPECT_EQ(c.refused(s, v), failed) << "the answer must be the failure value exactly when one was refused";
            for (size_t i = owned; i < s.owned.size(); ++i) s.host.Unlock(s.owned[i]);
            s.owned.resize(owned);
            for (const emu::Leak& l : s.host.LiveSince(mark)) ADD_FAILURE() << "still alive: " << l.what;
            for (const std::string& f : s.host.violations) ADD_FAILURE() << "reference fault: " << f;
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
