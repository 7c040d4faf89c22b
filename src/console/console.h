// "StdinTKZ" (shared methods over stdin) and "StdoutTKZ" (writes stdout),
// and the console callbacks with the three global methods that answer their
// addresses.
#pragma once

#include "../hostapi/records.h"

extern "C" {
extern REALclassDefinition WriterClass;  // "StdoutTKZ"
extern REALclassDefinition ReaderClass;  // "StdinTKZ"

int gsdll_stdin(void* instance, char* buffer, int length);
int gsdll_stdout(void* instance, const char* text, int length);
int gsdll_stderr(void* instance, const char* text, int length);
}

long ReturnErrPtr();
long ReturnOutPtr();
long ReturnInPtr();
