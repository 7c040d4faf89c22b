// The benchmarks' emulated host: records really freed (large inputs must not
// exhaust the 32-bit address space) and the plugin named on the command line
// (build/tkz.so by default) loaded into it as the host loads it.
#pragma once

#include "host.h"

#include <cstdio>
#include <string>

inline host::Config BenchConfig() {
    host::Config config;
    config.reallyFree = true;
    return config;
}

inline bool LoadBenchPlugin(host::Host& host, int argc, char** argv) {
    std::string error;
    if (host.Load(argc > 1 ? argv[1] : "build/tkz.so", &error)) return true;
    fprintf(stderr, "%s\n", error.c_str());
    return false;
}
