// When the plugin under test crashes, tkzhost says where: a handler for the
// fatal signals writes "tkzhost: PLACE: the plugin crashed: SIGSEGV
// (segmentation fault)" to standard error and dies of the same signal, so
// the exit status is 128 + the signal's number.
#pragma once

#include <string>

namespace tkzhost {

void InstallCrashHandler();
// The place named if a crash comes now ("tour.bas:12:7").
void CrashPlace(const std::string& place);

}  // namespace tkzhost
