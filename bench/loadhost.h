// The benchmarks' emulated host: records really freed (large inputs must not
// exhaust the 32-bit address space) and the plugin named on the command line
// (build/tkz.so by default) loaded into it as the host loads it.
#pragma once

#include "host.h"

#include <cstdio>
#include <string>
#include <vector>

inline host::Config BenchConfig() {
    host::Config config;
    config.reallyFree = true;
    return config;
}

// Every reference fault the host saw, on standard error; true for none.
inline bool Balanced(const host::Host& host) {
    std::vector<host::Violation> faults = host.Faults();
    for (const host::Violation& f : faults) fprintf(stderr, "reference fault: %s\n", f.Message().c_str());
    return faults.empty();
}

inline bool LoadBenchPlugin(host::Host& host, int argc, char** argv) {
    std::string error;
    if (host.Load(argc > 1 ? argv[1] : "build/tkz.so", &error)) return true;
    fprintf(stderr, "%s\n", error.c_str());
    return false;
}
