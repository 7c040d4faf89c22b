// Each call in a child of its own (stress_children.h).
#include "stress_children.h"

#include "../crash/crash.h"
#include "../language/language.h"

#include <csignal>
#include <map>
#include <unistd.h>

namespace tkzhost::stress {

namespace {

using host::Value;

// In the child: the call, then every reference given back, then what the
// ledger says, one "kind\tdetail" line each, and "done".
void CallInChild(host::Host& host, const Member& m, const std::vector<int>& pick, int fd) {
    uint64_t mark = host.Mark();
    size_t seen = host.violations.size();
    Child c{host, {}, {}, {}};
    std::vector<Value> v;
    for (size_t i = 0; i < pick.size(); ++i) {
        const Sample& s = m.dims[i][pick[i]];
        v.push_back(s.make ? s.make(c) : Value());
    }
    std::string report;
    Value r;
    bool self = m.kind == Member::Extension || m.kind == Member::Method || m.kind == Member::Property;
    if (self && !v[0].h) {
        report += "not called\tthe host made no instance\n";
    } else if (m.kind == Member::Property) {
        if (m.dims[1][pick[1]].make) host.SetProp(v[0].h, m.name, v[1]);
        r = host.GetProp(v[0].h, m.name);
    } else if (self) {
        r = host.Call(m.method, std::vector<Value>(v.begin() + 1, v.end()), v[0].h);
    } else {
        r = host.Call(m.method, v);
    }
    if (r.kind == Value::Handle && r.h) host.Unlock(r.h);
    size_t during = host.violations.size();
    c.Release();
    std::vector<host::Violation> faults = host.Faults(mark, seen);
    // Leaks come first, so the faults seen while the caller's references
    // were given back are the last ones.
    size_t givingBack = faults.size() - (host.violations.size() - during);
    for (size_t i = 0; i < faults.size(); ++i) {
        const host::Violation& fault = faults[i];
        // A reference of the caller's found released when the caller gives
        // it back: the plugin released it once too often.
        bool late = fault.kind == host::Violation::UsedAfterRelease;
        bool given = late && i >= givingBack;
        const char* kind = fault.kind == host::Violation::Leaked                  ? "leaked"
                           : fault.kind == host::Violation::OverReleased || given ? "over-released"
                           : late                                                 ? "used after release"
                                                                                  : "reference fault";
        bool plain = given || fault.kind == host::Violation::Leaked;
        report += std::string(kind) + "\t" + (plain ? fault.what : fault.Message()) + "\n";
    }
    report += "done\n";
    for (size_t at = 0; at < report.size();) {
        ssize_t n = write(fd, report.data() + at, report.size() - at);
        if (n <= 0) break;
        at += (size_t)n;
    }
}

// The first line of a sanitizer's report, if the child's output holds one.
std::string SanitizerLine(const std::string& out) {
    for (size_t at = 0, nl; at < out.size(); at = nl + 1) {
        nl = out.find('\n', at);
        if (nl == std::string::npos) nl = out.size();
        std::string line = out.substr(at, nl - at);
        if (line.find("Sanitizer") != std::string::npos || line.find("runtime error:") != std::string::npos) {
            size_t error = line.find("ERROR: ");  // past "==pid==" and the word
            return ": " + Escape(line.substr(error == std::string::npos ? 0 : error + 7, 160));
        }
    }
    return "";
}

// A signal's name as the headers spell it. The C library's own table
// (sigabbrev_np) is too recent for the older systems tkzhost is built on.
std::string SignalName(int sig) {
    static const std::pair<int, const char*> kNames[] = {
        {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"},   {SIGFPE, "SIGFPE"},   {SIGILL, "SIGILL"},   {SIGABRT, "SIGABRT"},
        {SIGTRAP, "SIGTRAP"}, {SIGSYS, "SIGSYS"},   {SIGKILL, "SIGKILL"}, {SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"},
        {SIGQUIT, "SIGQUIT"}, {SIGHUP, "SIGHUP"},   {SIGPIPE, "SIGPIPE"}, {SIGALRM, "SIGALRM"}, {SIGXCPU, "SIGXCPU"},
        {SIGXFSZ, "SIGXFSZ"}, {SIGUSR1, "SIGUSR1"}, {SIGUSR2, "SIGUSR2"},
    };
    for (const auto& [number, name] : kNames)
        if (number == sig) return name;
    return "signal " + std::to_string(sig);
}

// What a child's end says: a time-out, a crash, or the report it wrote.
Findings Outcome(const host::ChildEnd& end) {
    if (!end.error.empty()) return {{"not called", end.error, ""}};  // no child: a pipe or fork failed
    if (end.timedOut) return {{"time-out", "", ""}};
    if (end.signal) return {{"crash", SignalName(end.signal) + SanitizerLine(end.output), ""}};
    const std::string& r = end.report;
    if (r.size() < 5 || r.compare(r.size() - 5, 5, "done\n") != 0)
        return {{"crash",
                 "ended with status " + std::to_string(end.status) + " in the call" + SanitizerLine(end.output), ""}};
    Findings out;
    for (size_t at = 0, nl; (nl = r.find('\n', at)) != std::string::npos; at = nl + 1) {
        std::string line = r.substr(at, nl - at);
        size_t tab = line.find('\t');
        if (tab != std::string::npos) out.push_back({line.substr(0, tab), Escape(line.substr(tab + 1, 100)), ""});
    }
    return out;
}

}  // namespace

// The children of one time limit run together, four a processor: most calls
// take far less than a fork, and a child that sleeps uses none.
void RunCalls(host::Host& host, const std::vector<Member>& members, const std::vector<Call>& calls,
              const std::vector<size_t>& which, const std::function<int(size_t)>& limitMs,
              std::vector<Findings>& results) {
    std::map<int, std::vector<size_t>> byLimit;
    for (size_t i : which) byLimit[limitMs(i)].push_back(i);
    long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    host::ChildOptions o;
    o.emptyInput = true;
    o.keepBytes = 256 * 1024;
    o.parallel = 4 * (cpus > 0 ? (int)cpus : 1);
    for (auto& [limit, group] : byLimit) {
        o.limitMs = limit;
        auto child = [&](size_t k, int fd) {
            const Call& call = calls[group[k]];
            const Member& m = members[call.member];
            CrashPlace("--stress: " + call.label);
            CallInChild(host, m, m.calls[call.call], fd);
            return 0;
        };
        host::RunChildren(
            group.size(), child, [&](size_t k, host::ChildEnd& end) { results[group[k]] = Outcome(end); }, o);
    }
}

}  // namespace tkzhost::stress
