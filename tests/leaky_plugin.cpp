// A deliberately faulty plugin of this interface, for tkzhost's report: one
// method leaks a string, one releases its argument, which is the caller's,
// one crashes.
#include "layout.h"

typedef void* (*Resolver)(const char*);
static Resolver gHost;

typedef void* (*BuildString)(const char*, int);
typedef void (*Unlock)(void*);

static void* LeakTKZ() {
    BuildString build = (BuildString)gHost("REALBuildString");
    build("forgotten", 9);  // never released
    return build("returned", 8);
}
static void OverReleaseTKZ(void* s) { ((Unlock)gHost("REALUnlockString"))(s); }
// Wraps at the 32-bit limit as the host's integers do, rather than overflow.
static long FineTKZ(long x) { return (long)((unsigned long)x + 1); }
// An address no process maps, read afresh so that the compiler cannot know
// it (and not null, which the sanitizers would report before the fault).
static int* volatile gNowhere = (int*)16;
static void CrashTKZ() { *gNowhere = 1; }

static host::MethodDef gMethods[] = {
    {(void*)LeakTKZ, 0, "LeakTKZ as string", 4},
    {(void*)OverReleaseTKZ, 0, "OverReleaseTKZ(s as string)", 4},
    {(void*)FineTKZ, 0, "FineTKZ(x as integer) as integer", 4},
    {(void*)CrashTKZ, 0, "CrashTKZ", 4},
};

extern "C" void REALPluginMain(Resolver resolver) {
    gHost = resolver;
    ((void (*)(long))resolver("RegisterPluginVersion"))(9);
    typedef long (*Register)(host::MethodDef*);
    Register reg = (Register)resolver("PluginRegisterMethod");
    for (host::MethodDef& m : gMethods) reg(&m);
}
