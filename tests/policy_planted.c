// A library that breaks every rule of the loading policy at once, built
// without position-independent code and linked as the rules forbid (see
// tests/CMakeLists.txt): tests/policy.sh checks that each of its faults is named.
#define _GNU_SOURCE
#include <alsa/asoundlib.h>
#include <math.h>
#include <unistd.h>

double planted_volume;

// C library 2.34 and alsa-lib 1.1.6; the data reference from code built
// without PIC is a text relocation.
void planted_calls(void) {
    closefrom(3);
    snd_dlopen("libplanted.so", 0, 0, 0);
    planted_volume = cbrt(planted_volume);
}

// Each does something: the compiler drops empty ones.
void planted_init(void) { planted_volume = 1; }
__attribute__((constructor)) static void planted_initialiser(void) { planted_volume = 2; }
__attribute__((destructor)) static void planted_finaliser(void) { planted_volume = 3; }
