// What tkzhost.cpp, the command's own file, lends the modes kept in files of
// their own (stress.h).
#pragma once

#include "host.h"

#include <string>

namespace tkzhost {

// Says a usage error on standard error, with the usage; answers the exit
// status for it.
int UsageError(const std::string& message);

// Loads PLUGIN as a command line names it: a name without a slash is a file
// in the current folder before dlopen's search path. False, having said why
// on standard error, when it does not load.
bool LoadPlugin(emu::Host& host, const std::string& path);

}  // namespace tkzhost
