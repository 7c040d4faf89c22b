// tkzhost --stress PLUGIN [--expect FILE]: every registered member of a
// plugin of this interface called with boundary values of its declared
// types, each call in a child of its own (stress.cpp says how).
#pragma once

#include <string>
#include <vector>

namespace tkzhost {

int Stress(const std::vector<std::string>& rest);

}  // namespace tkzhost
