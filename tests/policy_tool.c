// An executable within the policy of the tkzhost the release ships: it needs
// the C library and libm at their first versions and nothing else. Debian
// 12's start files would ask for GLIBC_2.34, so it starts itself.
#include <math.h>
#include <unistd.h>

double tool_volume = 8;

void _start(void) {
    tool_volume = cbrt(tool_volume);
    _exit(write(1, "2\n", 2) == 2 && tool_volume == 2 ? 0 : 1);
}
