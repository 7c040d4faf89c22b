// The three console callbacks whose addresses BASIC programs hand to
// libraries that want standard-stream procedures ("ReturnInPtrTKZ",
// "ReturnOutPtrTKZ", "ReturnErrPtrTKZ" answer them as integers): input
// through them is always empty, output is accepted in full and dropped.
#include "console.h"

extern "C" {
int gsdll_stdin(void*, char*, int) { return 0; }
int gsdll_stdout(void*, const char*, int length) { return length; }
int gsdll_stderr(void*, const char*, int length) { return length; }
}

long ReturnErrPtr() { return (long)&gsdll_stderr; }
long ReturnOutPtr() { return (long)&gsdll_stdout; }
long ReturnInPtr() { return (long)&gsdll_stdin; }
