// "StdinTKZ" (shared methods over stdin) and "StdoutTKZ" (writes stdout).
#pragma once

#include "../frame/records.h"
