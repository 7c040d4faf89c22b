// The desktop methods (delays, the double-click interval, the libraries
// looked for once) and the time zone class.
#include "support.h"

#include "desktop/desktop.h"
#include "desktop/gtk.h"

#include <chrono>
#include <csignal>
#include <cmath>
#include <dlfcn.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using host::Value;

namespace {

std::string TempDir() {
    char t[] = "/tmp/tkz-desktop-XXXXXX";
    return mkdtemp(t);
}

}  // namespace

// What the plugin asks of nanosleep, seen by this process's own nanosleep.
std::vector<std::pair<long, long>> gSlept;
extern "C" int nanosleep(const timespec* t, timespec* rest) {
    static auto real = (int (*)(const timespec*, timespec*))dlsym(RTLD_NEXT, "nanosleep");
    gSlept.push_back({t->tv_sec, t->tv_nsec});
    return real(t, rest);
}

// Not a positive count of seconds that fits 32 bits: back at once, asking
// for no sleep. Seconds and nanoseconds reach nanosleep as given; a signal
// ends the wait, which is not resumed (called directly: the suites' watch
// on member calls would take the short wait for a fault).
PLUGIN_TEST(Desktop, DelaysBlockForTheirTime) {
    auto t0 = std::chrono::steady_clock::now();
    auto since = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
    gSlept.clear();
    for (double t : {0.0, -1.0, (double)NAN, (double)INFINITY, -(double)INFINITY, 2147483648.0, 1e300})
        s.Call("SleepTKZ", {Value::D(t)});
    EXPECT_LT(since(), 0.2);
    s.Call("SleepTKZ", {Value::D(0.375)});  // a fraction a double holds exactly
    EXPECT_GE(since(), 0.37);
    s.Call("DelayTKZ", {Value::D(0.25), Value::I(7)});
    EXPECT_GE(since(), 0.62);
    signal(SIGALRM, [](int) {});
    ualarm(200000, 0);
    TKZ_FN(RBSleep)(30.5);
    EXPECT_LT(since(), 5) << "a signal ends the wait";
    EXPECT_EQ(gSlept, (std::vector<std::pair<long, long>>{{0, 375000000}, {0, 250000000}, {30, 500000000}}));
}

// Each library loader tries once per process: its second call asks dlopen
// for nothing, whatever the first found. The names asked for are seen by this
// process's own dlopen, which the plugin's calls reach. The GTK found is this
// process, which has g_object_get but not gtk_settings_get_default (a library
// found in part), and there is no i386 GDK or Cairo: the interval is 0.
std::vector<std::string> gOpened;
extern "C" void* dlopen(const char* file, int mode) {
    static auto real = (void* (*)(const char*, int))dlsym(RTLD_NEXT, "dlopen");
    if (file != nullptr) gOpened.push_back(file);
    return real(file != nullptr && strcmp(file, "libgtk-x11-2.0.so") == 0 ? nullptr : file, mode);
}
extern "C" void g_object_get(void*, const char*, ...) { ADD_FAILURE() << "g_object_get without settings"; }
PLUGIN_TEST(Desktop, LibrariesAreLookedForOncePerProcess) {
    auto tries = [](const char* lib) {
        return std::count_if(gOpened.begin(), gOpened.end(), [&](auto& f) { return f.find(lib) != f.npos; });
    };
    for (int call : {1, 2}) {
        gOpened.clear();
        EXPECT_EQ(s.Call("GetDoubleClickIntervalTKZ").i, 0);
        TKZ_FN(LoadCairo)();
        int asked = (tries("libgtk-x11-2.0") > 0) + (tries("libgdk-x11-2.0") > 0) + (tries("libcairo") > 0);
        EXPECT_EQ(asked, call == 1 ? 3 : 0) << "libraries looked for in call " << call;
    }
}

// With a real i386 GTK 2 (a private copy the bootstrap unpacks) on a virtual
// X server, in a process that initialised GTK as a GUI host does.
TEST(Desktop, DoubleClickIntervalFromGtk) {
    const std::string gtk = "/opt/tkz-gtk2-i386", home = TempDir();
    TKZ_REQUIRE(access((gtk + "/.complete").c_str(), F_OK) == 0, "an i386 GTK 2 in " + gtk + " (scripts/bootstrap)");
    TKZ_REQUIRE(access("/usr/bin/xvfb-run", X_OK) == 0, "xvfb-run (scripts/bootstrap)");
    std::ofstream(home + "/gtkrc") << "gtk-double-click-time = 333\n";
    auto probe = [&](const std::string& rc) {
        return tkz::Shell("xvfb-run -a env -u GTK2_RC_FILES HOME=" + home + " LD_LIBRARY_PATH=" + gtk +
                          "/usr/lib/i386-linux-gnu:" + gtk + "/lib/i386-linux-gnu " + rc +
                          " " TKZ_BUILD_DIR "/tests/gtk_probe " TKZ_PLUGIN " 2>/dev/null; echo exit $?");
    };
    EXPECT_EQ(probe(""), "15\nexit 0\n") << "GTK 2's default of 250 ms";
    EXPECT_EQ(probe("GTK2_RC_FILES=" + home + "/gtkrc"), "19\nexit 0\n") << "333 ms";
}

// ---- time zone ------------------------------------------------------------------------

// Each property reads its own field of the instance data the host filled:
// four 32-bit deltas, then the latitude and longitude as doubles.
PLUGIN_TEST(TimeZone, EachPropertyReadsItsOwnField) {
    void* a = s.Own(s.host.NewInstance("TimeZoneTKZ"));
    const int32_t deltas[4] = {-3600, 7, -60, -1};
    const double where[2] = {48.2, 16.37};
    memcpy(s.host.DataOf(a), deltas, 16), memcpy(s.host.DataOf(a) + 16, where, 16);
    const char* names[] = {"GmtDeltaTotalseconds", "GmtDeltaSeconds", "GmtDeltaMinutes", "GmtDeltaHours"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.Prop(a, names[i]).i, deltas[i]) << names[i];
    EXPECT_EQ(s.Prop(a, "Latitude").d, 48.2);
    EXPECT_EQ(s.Prop(a, "Longitude").d, 16.37);
}
