// Allocations of the plugin's own refused one at a time. Each registered
// method that allocates runs with its k-th allocation refused, for k = 1, 2,
// ... until a call completes without a refusal; every time the answer must be
// the method's failure value, every reference balanced and no block of the
// plugin's left behind. The inputs reach every allocation in tkz.so, and the
// list below must name the function of each (a new one fails the test until
// it is listed and reached). The mixer methods are left out: alsa-lib itself does
// not survive refused allocations inside its configuration loader.
#include "allochook.h"
#include "support.h"

#include <set>
#include <sstream>
#include <sys/mman.h>
#include <unistd.h>

using host::Value;

namespace {

// Every function of tkz.so that calls the allocator (the function its code
// was compiled into: an inlined helper counts for its caller), with what
// reaches it; then those nothing registered reaches: MyListAppend (the
// decoders append after their tail), the other builders, and rbText's UTF-16,
// UTF-32 and array forms, which no registered method asks for.
const std::map<std::string, const char*> kReached = {{"BitwiseXORStringBytes", "XOR"},
                                                     {"BuildFromUTF32", "UTF-32 clone"},
                                                     {"InitUTF8", "path"},
                                                     {"AppendBytes", "path"},
                                                     {"DisplayPathTKZ", "path"},
                                                     {"UnixFilePath", "working directory"},
                                                     {"MyListAppendAfter", "decoders"},
                                                     {"Read", "Read"}};
const std::set<std::string> kUnreached = {
    "MyListAppend",         "InitASCII",          "InitBinary",        "Init", "Add", "Reserve", "rbText::ConvertUTF16",
    "rbText::ConvertUTF32", "rbText::GetWValues", "rbText::GetCValues"};

// The functions of tkz.so holding these addresses, by the debugging
// information: each name without its parameters, template arguments or
// unnamed namespace.
std::vector<std::string> Functions(const std::vector<uintptr_t>& addresses) {
    std::string cmd = "addr2line -f -C -e " TKZ_PLUGIN;
    char hex[16];
    for (uintptr_t a : addresses) snprintf(hex, sizeof hex, " %lx", (unsigned long)a), cmd += hex;
    std::istringstream out(tkz::Shell(cmd));
    std::vector<std::string> names;
    for (std::string name, where; std::getline(out, name) && std::getline(out, where);) {
        for (size_t at; (at = name.find("(anonymous namespace)::")) != std::string::npos;) name.erase(at, 23);
        name = name.substr(0, name.find_first_of("(<"));
        names.push_back(name.substr(name.rfind(' ') + 1));
    }
    return names;
}

// The function of each call of the allocator in tkz.so's code.
std::vector<std::string> AllocatingFunctions() {
    std::istringstream code(tkz::Shell("objdump -d --no-show-raw-insn " TKZ_PLUGIN));
    std::vector<uintptr_t> calls;
    for (std::string l; std::getline(code, l);)
        for (const char* callee : {"<malloc@plt>", "<calloc@plt>", "<realloc@plt>", "<strdup@plt>", "<strndup@plt>"})
            if (l.find("\tcall ") != std::string::npos && l.find(callee) != std::string::npos)
                calls.push_back(std::stoul(l, nullptr, 16));
    return Functions(calls);
}

// A call, and whether its answer was the method's failure value.
struct Case {
    const char* what;
    std::function<bool(tkz::Session&)> failedAnswer;
};

// What reaches the allocations: UTF-32 text of 200 units (narrowed in a block
// of the heap), 130 parents with names of 10 bytes (the path outgrows its
// first 1000 bytes) and a Mac style table of two runs.
struct Inputs {
    std::string utf32, mac;
    void* chain = nullptr;
};

Inputs MakeInputs(tkz::Session& s) {
    Inputs in;
    for (uint32_t i = 0, u; i < 200; ++i) u = i % 3 ? 0x41 + i : 0x1F600 + i, in.utf32.append((const char*)&u, 4);
    for (int i = 0; i <= 130; ++i) in.chain = s.host.SyntheticItem("n", "0123456789", in.chain);
    s.Own(in.chain);
    in.mac = std::string("\x02\x00", 2) + std::string(20, '\0') + "\x02" + std::string(19, '\0');
    return in;
}

std::vector<Case> Cases(const Inputs& in) {
    // A decoder that loses an entry answers a list of one run of the two.
    auto one = [](tkz::Session& s, const Value& v) { return v.h && s.host.GetProp(v.h, "Count").i == 1; };
    return {
        {"XOR",
         [](tkz::Session& s) {
             return !s.Call("BitwiseXORStringBytesTKZ", {Value::H(s.Str("abcdef")), Value::I(32)}).h;
         }},
        {"UTF-32 clone",
         [&](tkz::Session& s) { return !s.Call("CloneStringTKZ", {Value::H(s.Str(in.utf32, host::kUTF32))}).h; }},
        {"path",
         [&](tkz::Session& s) {
             return !s.Method(in.chain, "FolderItem", "DisplayPathTKZ", {Value::H(s.Str("/"))}).h;
         }},
        {"Mac decoder",
         [&](tkz::Session& s) {
             return one(
                 s, s.Call("DecompileMacStyleDataTKZ", {Value::H(s.Str("abc")), Value::H(s.Str(in.mac, host::kRaw))}));
         }},
        {"Windows decoder",
         [&](tkz::Session& s) {
             return one(
                 s, s.Call("DecompileWinStyleDataTKZ", {Value::H(s.Str("ab")), Value::H(s.Str("\x01\x05\x02\x06"))}));
         }},
        {"Read", [](tkz::Session& s) { return !s.Method(nullptr, "StdinTKZ", "Read", {Value::I(5)}).h; }},
        {"working directory",
         [](tkz::Session& s) {
             return !s.Call("SetCurrentWorkingDirectoryTKZ", {Value::H(s.Own(s.host.FolderItem(TKZ_BUILD_DIR)))}).b;
         }},
    };
}

// The case with its k-th allocation refused, for k = 1, 2, ... until a call
// completes without a refusal or a check fails; the number of calls made
// with one refused.
int RefuseEachInTurn(tkz::Session& s, const Case& c) {
    for (long k = 1;; ++k) {
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
        for (const host::Violation& f : s.host.Faults(mark)) ADD_FAILURE() << f.Message();
        s.host.violations.clear();
        for (auto& [block, b] : allochook::Live())
            if (!before.count(block)) ADD_FAILURE() << "a block of " << b << " bytes of the plugin left behind";
        if (!failed || ::testing::Test::HasFailure()) return (int)k - 1;
    }
}

// Every allocating function is listed, and the listed ones are reached.
void ExpectEveryAllocationListedAndReached() {
    std::vector<uintptr_t> callers;
    for (auto& [caller, n] : allochook::Callers()) callers.push_back(caller - allochook::Base() - 1);
    std::vector<std::string> reached = Functions(callers), sites = AllocatingFunctions();
    for (const std::string& f : sites) {
        if (!kReached.count(f) && !kUnreached.count(f)) ADD_FAILURE() << "an allocation not listed here, in " << f;
        else if (kReached.count(f) && std::count(reached.begin(), reached.end(), f) == 0)
            ADD_FAILURE() << "never reached (by " << kReached.at(f) << "): the allocation in " << f;
    }
    auto gone = [&](const std::string& f) {
        if (std::count(sites.begin(), sites.end(), f) == 0) ADD_FAILURE() << "listed but allocates no longer: " << f;
    };
    for (auto& [f, by] : kReached) gone(f);
    for (const std::string& f : kUnreached) gone(f);
}

}  // namespace

PLUGIN_TEST(AllocFail, EveryAllocationOfThePluginFailsCleanly) {
    ASSERT_TRUE(allochook::Watch("/tkz.so"));
    int fd = memfd_create("stdin", 0);  // Read's input: "hello" for each call that completes
    ASSERT_EQ(write(fd, "hello hello", 11), 11);
    ASSERT_EQ(lseek(fd, 0, SEEK_SET) + dup2(fd, 0), 0);
    Inputs in = MakeInputs(s);
    int runs = 0;
    for (const Case& c : Cases(in)) runs += RefuseEachInTurn(s, c);
    printf("%d calls with one allocation refused\n", runs);
    ExpectEveryAllocationListedAndReached();
}
