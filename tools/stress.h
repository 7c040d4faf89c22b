// tkzhost --stress PLUGIN [--expect FILE] [--all]: every registered member
// of a plugin of this interface called with boundary values of its declared
// types, each call in a child of its own, and a report of every crash,
// time-out and reference fault.
#pragma once

#include <string>
#include <vector>

namespace tkzhost {

// The mode, given what follows --stress; answers the exit status.
int Stress(const std::vector<std::string>& rest);

}  // namespace tkzhost
