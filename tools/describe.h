// How tkzhost shows a value to a programmer: print, the prompt's echo of a
// bare expression and the interpreter's messages all use this one form.
#pragma once

#include "host.h"

#include <string>

namespace tkzhost {

// One form for every value, wherever it comes from: a string as a literal
// that gives it back ("" for a quote) with its byte count and encoding, a
// memory block with its first bytes, an object of the plugin with every
// property; `color`: an integer of type Color, shown as &hRRGGBB, alone or
// inside an object.
std::string Describe(host::Host& host, const host::Value& v, int indent = 0, bool color = false);

// Whether the values of a declared type are colors.
bool IsColor(const std::string& type);

}  // namespace tkzhost
