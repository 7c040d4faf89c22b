// "StdinTKZ" and "StdoutTKZ": class definitions and their methods.
// The stream methods are not built yet and answer the failure values (nil,
// 0, false, -1 at end of input); the "StdoutTKZ" destructor flushes stdout.
#include "console.h"

#include "../frame/plugin.h"

#include <stdio.h>

extern "C" unsigned char Buffer[4096];
unsigned char Buffer[4096];

void Flush() {}
bool IsReady() { return false; }
REALstringStruct* Read(long) { return nullptr; }
long GetCharacter() { return -1; }
long ReadInteger(long* value) { *value = 0; return -1; }
long ReadDouble(double* value) { *value = 0.0; return -1; }
long ReadString(REALstringStruct**) { return -1; }

void Write(REALobjectStruct*, REALstringStruct*) {}
void Flush(REALobjectStruct*) { fflush(stdout); }
void CloseStdout(REALobjectStruct*) { fflush(stdout); }

static constinit REALmethodDefinition ReaderMethods[7] = {
    TKZ_METHOD((void (*)())Flush, "Flush"),
    TKZ_METHOD(IsReady, "IsReady as boolean"),
    TKZ_METHOD(Read, "Read(count as integer) as string"),
    TKZ_METHOD(GetCharacter, "GetCharacter as integer"),
    TKZ_METHOD(ReadInteger, "ReadInteger(byref value as integer) as integer"),
    TKZ_METHOD(ReadDouble, "ReadDouble(byref value as double) as integer"),
    TKZ_METHOD(ReadString, "ReadString(byref value as string) as integer"),
};
static constinit REALmethodDefinition WriterMethods[2] = {
    TKZ_METHOD((void (*)(REALobjectStruct*))Flush, "Flush"),
    TKZ_METHOD(Write, "Write(data as string)"),
};

extern "C" {
constinit REALclassDefinition WriterClass =
    TKZ_CLASS("StdoutTKZ", 0, nullptr, CloseStdout, nullptr, 0, WriterMethods, 2, nullptr, 0);
constinit REALclassDefinition ReaderClass =
    TKZ_CLASS("StdinTKZ", 0, nullptr, nullptr, nullptr, 0, nullptr, 0, ReaderMethods, 7);
}
