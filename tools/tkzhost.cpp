// tkzhost: loads a plugin of this interface into the emulated host and shows
// what it registered.
#include "host.h"

#include <cstdio>
#include <iostream>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tkzhost PLUGIN.so\n");
        return 2;
    }
    emu::Host host;
    std::string error;
    if (!host.Load(argv[1], &error)) {
        std::fprintf(stderr, "tkzhost: %s\n", error.c_str());
        return 1;
    }
    std::cout << emu::DescribeRegistry(host);
    return 0;
}
