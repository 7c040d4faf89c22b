// "StdinTKZ" (shared methods over stdin) and "StdoutTKZ" (writes stdout).
#pragma once

#include "../hostapi/records.h"

extern "C" {
extern REALclassDefinition WriterClass;  // "StdoutTKZ"
extern REALclassDefinition ReaderClass;  // "StdinTKZ"
}
