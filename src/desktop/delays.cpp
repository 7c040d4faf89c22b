// "SleepTKZ" and the two "DelayTKZ" overloads: blocking delays in seconds.
// A delay that is not a positive number of seconds that fits 32 bits
// (negative, zero, NaN, infinite, 2^31 s or more) returns at once; a delay cut
// short by a signal is not resumed. The host is given no control while the
// calling thread sleeps; the mode of the second overload changes nothing.
#include "desktop.h"

#include <math.h>
#include <time.h>

void RBSleep(double time) {
    // Also false for NaN; the upper bound keeps the seconds in 32 bits, so
    // no conversion below is out of range.
    if (!(time > 0) || !(time < 2147483648.0)) return;
    double whole = floor(time);
    struct timespec ts;
    ts.tv_sec = (time_t)whole;
    ts.tv_nsec = (long)((time - whole) * 1000000000.0);
    nanosleep(&ts, nullptr);
}
void RBDelay(double time) { RBSleep(time); }
void RBDelay2(double time, long) { RBSleep(time); }
