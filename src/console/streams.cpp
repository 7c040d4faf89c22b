// "StdinTKZ" and "StdoutTKZ": the process's standard input and output for
// BASIC programs. Neither opens, owns or closes anything. Input comes as raw
// bytes (tagged 65535); output is written as the string's bytes, unconverted.
// Every failure shows in the result: nil, 0, -1 at end of input.
#include "console.h"

#include "../hostapi/registration.h"
#include "../text/strings.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <unistd.h>

// ReadString's word buffer; it keeps the last word read until the next call.
extern "C" unsigned char Buffer[4096];
unsigned char Buffer[4096];

namespace {

// True when the standard-input descriptor is readable (end of input counts).
bool DescriptorReadable() {
    int fd = fileno(stdin);
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    struct timeval timeout = {0, 1};
    return select(fd + 1, &set, nullptr, nullptr, &timeout) == 1;
}

}  // namespace

// Drains what waits on the descriptor (not what the stream has buffered).
// A descriptor at end of input stays readable while read() answers 0 (or
// fails): that ends the drain instead of polling for ever.
void Flush() {
    int fd = fileno(stdin);
    char scratch[1024];
    while (DescriptorReadable()) {
        if (read(fd, scratch, sizeof scratch) <= 0) break;
    }
}

bool IsReady() { return DescriptorReadable(); }

REALstringStruct* Read(long count) {
    if (count < 0) return nullptr;
    char* buf = (char*)calloc(1, count > 0 ? (size_t)count : 1);
    if (buf == nullptr) return nullptr;
    size_t n = count > 0 ? fread(buf, 1, (size_t)count, stdin) : 0;
    REALstringStruct* s = n > 0 ? REALBuildUnicodeString(buf, (int)n, kEncRaw) : nullptr;
    free(buf);
    return s;
}

long GetCharacter() { return fgetc(stdin); }

long ReadInteger(long* value) {
    *value = 0;
    return fscanf(stdin, "%ld", value);
}

long ReadDouble(double* value) {
    *value = 0.0;
    return fscanf(stdin, "%lf", value);
}

long ReadString(REALstringStruct** value) {
    if (*value != nullptr) {
        REALUnlockString(*value);
        *value = nullptr;
    }
    memset(Buffer, 0, sizeof Buffer);
    int r = fscanf(stdin, "%4095s", (char*)Buffer);
    *value = REALBuildUnicodeString(Buffer, (int)strlen((const char*)Buffer), kEncRaw);
    return r;
}

void Write(REALobjectStruct*, REALstringStruct* data) {
    if (data == nullptr) return;
    if (StringLength(data) > 0) fwrite(StringText(data), (size_t)StringLength(data), 1, stdout);
}
void Flush(REALobjectStruct*) { fflush(stdout); }
void CloseStdout(REALobjectStruct*) { fflush(stdout); }

static constinit REALmethodDefinition ReaderMethods[] = {
    TKZ_METHOD((void (*)())Flush, "Flush"),
    TKZ_METHOD(IsReady, "IsReady as boolean"),
    TKZ_METHOD(Read, "Read(count as integer) as string"),
    TKZ_METHOD(GetCharacter, "GetCharacter as integer"),
    TKZ_METHOD(ReadInteger, "ReadInteger(byref value as integer) as integer"),
    TKZ_METHOD(ReadDouble, "ReadDouble(byref value as double) as integer"),
    TKZ_METHOD(ReadString, "ReadString(byref value as string) as integer"),
};
static_assert(CountOf(ReaderMethods) == 7, "StdinTKZ has seven shared methods");
static constinit REALmethodDefinition WriterMethods[] = {
    TKZ_METHOD((void (*)(REALobjectStruct*))Flush, "Flush"),
    TKZ_METHOD(Write, "Write(data as string)"),
};
static_assert(CountOf(WriterMethods) == 2, "StdoutTKZ has two instance methods");

extern "C" {
constinit REALclassDefinition WriterClass =
    TKZ_CLASS("StdoutTKZ", 0, nullptr, CloseStdout, nullptr, 0, WriterMethods, CountOf(WriterMethods), nullptr, 0);
constinit REALclassDefinition ReaderClass =
    TKZ_CLASS("StdinTKZ", 0, nullptr, nullptr, nullptr, 0, nullptr, 0, ReaderMethods, CountOf(ReaderMethods));
}
