// The handler may run with the heap or stdio half-changed by the plugin, so
// it only calls write(2) on text prepared before: the message for the place
// is composed by CrashPlace in one of two buffers and published by switching
// an index, so a signal never sees a half-written one.
#include "crash.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace tkzhost {

namespace {

struct Fatal {
    int signal;
    const char* text;  // written after the place
};
const Fatal kFatal[] = {
    {SIGSEGV, ": the plugin crashed: SIGSEGV (segmentation fault)\n"},
    {SIGBUS, ": the plugin crashed: SIGBUS (bus error)\n"},
    {SIGFPE, ": the plugin crashed: SIGFPE (arithmetic exception)\n"},
    {SIGILL, ": the plugin crashed: SIGILL (illegal instruction)\n"},
    {SIGABRT, ": the plugin crashed: SIGABRT (aborted)\n"},
    {SIGTRAP, ": the plugin crashed: SIGTRAP (trap)\n"},
    {SIGSYS, ": the plugin crashed: SIGSYS (bad system call)\n"},
};

char gPlace[2][512] = {"tkzhost: loading the plugin", "tkzhost: loading the plugin"};
volatile sig_atomic_t gCurrent = 0;
// A stack of its own, so that a plugin that overflows its stack is reported too.
alignas(16) char gAltStack[64 * 1024];

void Write(const char* s) {
    size_t n = strlen(s);
    while (n > 0) {
        ssize_t w = write(2, s, n);
        if (w <= 0) return;
        s += w;
        n -= (size_t)w;
    }
}

void OnFatal(int sig) {
    Write(gPlace[gCurrent]);
    for (const Fatal& f : kFatal)
        if (f.signal == sig) Write(f.text);
    // The handler was reset on entry (SA_RESETHAND): this kills the process.
    raise(sig);
}

}  // namespace

void InstallCrashHandler() {
    stack_t ss{};
    ss.ss_sp = gAltStack;
    ss.ss_size = sizeof gAltStack;
    sigaltstack(&ss, nullptr);
    struct sigaction sa {};
    sa.sa_handler = OnFatal;
    sa.sa_flags = SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (const Fatal& f : kFatal) sigaction(f.signal, &sa, nullptr);
}

void CrashPlace(const std::string& place) {
    int next = 1 - gCurrent;
    std::string text = "tkzhost: " + place;
    size_t n = std::min(text.size(), sizeof gPlace[0] - 1);
    memcpy(gPlace[next], text.data(), n);
    gPlace[next][n] = 0;
    gCurrent = next;
}

}  // namespace tkzhost
