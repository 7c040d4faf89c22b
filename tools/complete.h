// Tab completion at the prompt (complete.cpp).
#pragma once

#include "script.h"

#include <string>
#include <vector>

namespace tkzhost {

// The names that may complete the word that ends `before` at the prompt
// (statements, methods, classes, variables, built-ins, and after `x.` the
// members of x's class), and in *start where that word begins.
std::vector<std::string> Completions(host::Host& host, const Interpreter& run, const std::string& before,
                                     size_t* start);

}  // namespace tkzhost
