// tkzhost --stress, each call in a child: the plugin is loaded once, and
// each call runs in a child forked from there (the host's child runner), so
// that a crash or a hang costs one call and no call sees what another left
// behind. The child has empty standard input and a time limit; it gives back
// every reference the call's values held and tells the parent, through a
// pipe, what the ledger still holds and every release too many or use after
// release. A child that ends without saying so crashed (a sanitizer report
// ends it with a status; its first line is kept).
#pragma once

#include "stress_calls.h"

#include <functional>
#include <string>
#include <vector>

namespace tkzhost::stress {

const int kLimitMs = 1000;  // per call: short, so the sleeps that never end cost little
const int kKnownMs = 200;   // for a call the expect file says never returns
// A time-out not expected is tried once more, longer, so that a busy machine
// makes none; a plugin that hangs often is not tried again past the first few.
const int kRetryMs = 5000;
const size_t kRetries = 16;

// One thing a call came to: "time-out", "crash", "not called", or what the
// ledger saw ("leaked", "over-released", "used after release", "reference
// fault").
struct Finding {
    std::string kind, detail;
    std::string expected;  // the reason the expect file gives for it
    bool TimedOut() const { return kind == "time-out"; }
};
using Findings = std::vector<Finding>;

// Runs calls[i] for every i of `which`, each in a child of its own, for
// limitMs(i) at most; results[i] gets what it came to.
void RunCalls(host::Host& host, const std::vector<Member>& members, const std::vector<Call>& calls,
              const std::vector<size_t>& which, const std::function<int(size_t)>& limitMs,
              std::vector<Findings>& results);

}  // namespace tkzhost::stress
