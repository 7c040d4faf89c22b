// tkzhost --stress PLUGIN [--expect FILE]: every registered member of a
// plugin of this interface called with boundary values of its declared
// types, each call in a child of its own (stress.cpp says how).
#pragma once

#include "host.h"

#include <string>
#include <vector>

namespace tkzhost {

int Stress(const std::vector<std::string>& rest);

// tkzhost's own, shared with the modes kept in files of their own
// (tkzhost.cpp): a usage error on standard error, answering its exit status;
// loading PLUGIN as a command line names it, saying why it does not load.
int UsageError(const std::string& message);
bool LoadPlugin(emu::Host& host, const std::string& path);

}  // namespace tkzhost
