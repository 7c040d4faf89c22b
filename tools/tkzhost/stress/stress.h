// tkzhost --stress PLUGIN [--expect FILE] [--all]: every registered member
// of a plugin of this interface called with boundary values of its declared
// types, each call in a child of its own, and a report of every crash,
// time-out and reference fault.
#pragma once

#include <string>
#include <vector>

namespace host {
class Host;
}

namespace tkzhost {

// What the command lends the mode, as it serves its other modes: its usage
// error (said on standard error with the usage; answers the exit status)
// and its loading of PLUGIN (false, having said why, when it does not load).
struct Command {
    int (*usageError)(const std::string& message);
    bool (*load)(host::Host& host, std::string path);
};

// The mode, given what follows --stress; answers the exit status.
int Stress(const std::vector<std::string>& rest, const Command& command);

}  // namespace tkzhost
