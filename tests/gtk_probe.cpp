// Plays a GUI host that has initialised GTK 2 before loading plugins: loads
// the plugin, initialises GTK on the display of the environment and prints
// what "GetDoubleClickIntervalTKZ" answers.
#include "host.h"

#include <cstdio>
#include <dlfcn.h>

int main(int argc, char** argv) {
    host::Host host;
    std::string error;
    if (argc < 2 || !host.Load(argv[1], &error)) return fprintf(stderr, "%s\n", error.c_str()), 2;
    void* gtk = dlopen("libgtk-x11-2.0.so.0", RTLD_NOW | RTLD_GLOBAL);
    if (gtk == nullptr) return fprintf(stderr, "no GTK 2: %s\n", dlerror()), 3;
    typedef int (*InitCheck)(int*, char***);
    InitCheck init = (InitCheck)dlsym(gtk, "gtk_init_check");
    if (init == nullptr || !init(nullptr, nullptr)) return fprintf(stderr, "gtk_init_check failed\n"), 4;
    printf("%d\n", host.CallGlobal("GetDoubleClickIntervalTKZ", {}).i);
    return host.Faults().empty() ? 0 : 5;
}
