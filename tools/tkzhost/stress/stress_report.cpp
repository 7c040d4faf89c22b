// The expect file and the report (stress_report.h).
#include "stress_report.h"

#include "../language/language.h"

#include <cstdio>
#include <fstream>
#include <map>

namespace tkzhost::stress {

namespace {

// '*' stands for any text.
bool Matches(const char* pattern, const char* text) {
    if (*pattern == '*') return Matches(pattern + 1, text) || (*text && Matches(pattern, text + 1));
    if (*pattern == 0) return *text == 0;
    return *pattern == *text && Matches(pattern + 1, text + 1);
}

}  // namespace

bool ReadExpect(const std::string& path, std::vector<Expectation>* out, std::string* error) {
    std::ifstream f(path);
    if (!f) {
        *error = "cannot read " + Escape(path);
        return false;
    }
    int n = 0;
    for (std::string line; std::getline(f, line);) {
        std::string where = Escape(path) + ":" + std::to_string(++n);
        size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == '#') continue;
        size_t space = line.find(' ', start), dashes = line.find(" -- ");
        std::string outcome = line.substr(start, space == std::string::npos ? space : space - start);
        if (outcome != "timeout" && outcome != "skip") {
            *error = where + ": only a time-out may be expected (or a member skipped), not " + Escape(outcome) +
                     ": a crash or a reference fault is always a fault";
            return false;
        }
        size_t end = line.find_last_not_of(" \t\r");
        if (space == std::string::npos || dashes == std::string::npos || dashes <= space || dashes + 4 > end) {
            *error = where + ": expected \"" + outcome + (outcome == "skip" ? " MEMBER" : " CALL") +
                     " -- REASON\": each known outcome says why";
            return false;
        }
        std::string pattern = line.substr(space + 1, dashes - space - 1);
        size_t a = pattern.find_first_not_of(' '), b = pattern.find_last_not_of(' ');
        if (a == std::string::npos) {
            *error = where + ": no CALL before --";
            return false;
        }
        pattern = pattern.substr(a, b - a + 1);
        out->push_back({outcome == "skip", pattern, line.substr(dashes + 4, end - dashes - 3), where});
    }
    return true;
}

void LeaveOut(std::vector<Member>& members, std::vector<Expectation>& expected, bool all) {
    for (Member& m : members)
        for (Expectation& e : expected)
            if (e.skip && Matches(e.pattern.c_str(), m.Qualified().c_str())) {
                e.seen = true;
                if (!all) m.skipped = e.reason, m.calls.clear();
            }
}

bool KnownTimeOut(const std::vector<Expectation>& expected, const std::string& label) {
    for (const Expectation& e : expected)
        if (!e.skip && Matches(e.pattern.c_str(), label.c_str())) return true;
    return false;
}

void MarkExpected(Findings& found, const std::string& label, std::vector<Expectation>& expected) {
    for (Finding& f : found)
        for (Expectation& e : expected)
            if (f.TimedOut() && Matches(e.pattern.c_str(), label.c_str())) {
                f.expected = e.reason;
                e.seen = true;
                break;
            }
}

namespace {

void PrintOpening(const Run& run) {
    std::printf(
        "tkzhost --stress %s: every registered member, each call in a child of its own\n"
        "with empty standard input, %d s at most (%.1f s for the time-outs the expect file\n"
        "names; the first time-outs not expected are tried again with %d s).\n"
        "Expect file: %s\n"
        "Values by declared type (beside a block of unknown size, whose length is the\n"
        "caller's word, 2147483647 becomes %d, the bytes behind it):\n%s",
        Escape(run.plugin).c_str(), kLimitMs / 1000, kKnownMs / 1000.0, kRetryMs / 1000,
        run.expectFile.empty() ? "none (no --expect FILE, no PLUGIN.stress)" : Escape(run.expectFile).c_str(), kBacking,
        run.legend.c_str());
}

// How many of each kind, expected or not.
using Counts = std::map<std::pair<std::string, bool>, int>;

// "3 crashes, 7 time-outs (expected)".
std::string Tally(const Counts& counts) {
    static const std::map<std::string, std::pair<const char*, const char*>> kNouns = {
        {"crash", {"crash", "crashes"}},
        {"time-out", {"time-out", "time-outs"}},
        {"leaked", {"leak", "leaks"}},
        {"over-released", {"release too many", "releases too many"}},
        {"used after release", {"use after release", "uses after release"}},
        {"reference fault", {"reference fault", "reference faults"}},
        {"not called", {"call not made", "calls not made"}}};
    std::string tally;
    for (auto& [kind, n] : counts) {
        auto noun = kNouns.find(kind.first);
        std::string word = noun == kNouns.end() ? kind.first : n > 1 ? noun->second.second : noun->second.first;
        tally += (tally.empty() ? "" : ", ") + std::to_string(n) + " " + word + (kind.second ? " (expected)" : "");
    }
    return tally;
}

}  // namespace

int Report(const Run& run, const std::vector<Member>& members, const std::vector<Call>& calls,
           const std::vector<Findings>& results, const std::vector<Expectation>& expected) {
    PrintOpening(run);
    Counts counts;
    int unexpected = 0;
    std::string knownList;  // what the expect file knew of, for the summary
    std::string group;
    for (size_t m = 0, i = 0; m < members.size(); ++m) {
        const Member& mem = members[m];
        if (mem.group != group) std::printf("%s:\n", (group = mem.group).c_str());
        if (!mem.skipped.empty()) std::printf("  %s: not called: %s\n", mem.title.c_str(), Escape(mem.skipped).c_str());
        else
            std::printf("  %s: %zu call%s%s\n", mem.title.c_str(), mem.calls.size(), mem.calls.size() == 1 ? "" : "s",
                        mem.pairwise ? " (every pair of values)" : "");
        if (!mem.refused.empty()) {
            std::printf("    not called: %s\n", Escape(mem.refused).c_str());
            ++unexpected;
        }
        if (!mem.skipped.empty()) knownList += "  not called: " + mem.Qualified() + " -- " + Escape(mem.skipped) + "\n";
        int shown = 0, more = 0;
        for (size_t c = 0; c < mem.calls.size(); ++c, ++i) {
            for (const Finding& f : results[i]) {
                ++counts[{f.kind, !f.expected.empty()}];
                unexpected += f.expected.empty();
                if (++shown > 20) {
                    ++more;
                    continue;
                }
                if (!f.expected.empty())
                    knownList += "  " + f.kind + ": " + calls[i].label + " -- " + f.expected + "\n";
                std::printf("    %s%s: %s%s\n", f.kind.c_str(),
                            f.expected.empty() ? "" : (" (expected: " + f.expected + ")").c_str(),
                            calls[i].label.c_str(), f.detail.empty() ? "" : (": " + f.detail).c_str());
            }
        }
        if (more) std::printf("    ... and %d more\n", more);
    }
    if (!knownList.empty())
        std::printf("Known outcomes, as %s says%s:\n%s", Escape(run.expectFile).c_str(),
                    run.all ? "" : " (--all calls the members not called)", knownList.c_str());
    for (const Expectation& e : expected)
        if (!e.seen)
            std::printf("%s: expected, not seen: %s %s\n", e.where.c_str(), e.skip ? "skip" : "timeout",
                        e.pattern.c_str());
    std::string tally = Tally(counts);
    std::printf("%zu calls to %zu members in %.1f s: %s; %s\n", calls.size(), members.size(), run.seconds,
                tally.empty() ? "no crash, time-out or reference fault" : tally.c_str(),
                unexpected ? (std::to_string(unexpected) + " unexpected").c_str() : "nothing unexpected");
    return unexpected;
}

}  // namespace tkzhost::stress
