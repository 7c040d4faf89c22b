// tkzhost --stress: the mode's steps. What to call is in stress_calls.h, the
// values in stress_values.h, each call's child in stress_children.h and the
// expect file with the report in stress_report.h.
#include "stress.h"

#include "../language/language.h"
#include "stress_report.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace tkzhost {

namespace {

struct Options {
    std::string plugin, expectFile;
    bool all = false;
};

// 0, or the exit status of a usage error.
int ReadOptions(const std::vector<std::string>& rest, const Command& command, Options* o) {
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "--expect") {
            if (++i >= rest.size()) return command.usageError("--expect needs a FILE");
            o->expectFile = rest[i];
        } else if (rest[i] == "--all") {
            o->all = true;
        } else if (o->plugin.empty() && (rest[i].empty() || rest[i][0] != '-')) {
            o->plugin = rest[i];
        } else {
            return command.usageError("--stress takes one PLUGIN, --expect FILE and --all, not " + Escape(rest[i]));
        }
    }
    if (o->plugin.empty()) return command.usageError("--stress takes one PLUGIN");
    // The plugin's own known outcomes, beside it, unless a file is named.
    if (o->expectFile.empty() && access((o->plugin + ".stress").c_str(), R_OK) == 0)
        o->expectFile = o->plugin + ".stress";
    return 0;
}

}  // namespace

int Stress(const std::vector<std::string>& rest, const Command& command) {
    using namespace stress;
    using Clock = std::chrono::steady_clock;
    Options o;
    if (int status = ReadOptions(rest, command, &o)) return status;
    std::vector<Expectation> expected;
    std::string error;
    if (!o.expectFile.empty() && !ReadExpect(o.expectFile, &expected, &error)) return command.usageError(error);

    // Kept for the life of the process, as the plugin is.
    static host::Host* host = new host::Host;
    if (!command.load(*host, o.plugin)) return 1;
    Places places;
    if (!places.Make()) {
        std::fprintf(stderr, "tkzhost: cannot make a folder in /tmp for the folder items\n");
        return 1;
    }
    Catalog catalog(*host, places);
    std::vector<Member> members = Members(*host, catalog);
    LeaveOut(members, expected, o.all);
    std::vector<Call> calls = Calls(members);

    Clock::time_point start = Clock::now();
    std::vector<Findings> results(calls.size());
    std::vector<size_t> every, again;
    for (size_t i = 0; i < calls.size(); ++i) every.push_back(i);
    // A call the expect file says never returns is not waited for as long.
    RunCalls(
        *host, members, calls, every,
        [&](size_t i) { return KnownTimeOut(expected, calls[i].label) ? kKnownMs : kLimitMs; }, results);
    for (size_t i : every) {
        MarkExpected(results[i], calls[i].label, expected);
        if (!results[i].empty() && results[i][0].TimedOut() && results[i][0].expected.empty() &&
            again.size() < kRetries)
            again.push_back(i);
    }
    RunCalls(
        *host, members, calls, again, [](size_t) { return kRetryMs; }, results);
    for (size_t i : again) MarkExpected(results[i], calls[i].label, expected);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    places.Remove();

    int unexpected =
        Report({o.plugin, o.expectFile, o.all, catalog.Legend(), seconds}, members, calls, results, expected);
    std::fflush(stdout);
    return unexpected ? 4 : 0;
}

}  // namespace tkzhost
