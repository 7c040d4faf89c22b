// The "folderitem" extension over real files and synthetic chains, the time
// zone class, and the desktop methods: working directory, delays, console
// callbacks and the fixed answers of this platform.
#include "support.h"

#include "folderitem/folderitem.h"
#include "console/console.h"
#include "desktop/gtk.h"

#include <chrono>
#include <cmath>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using host::Value;

namespace {

Value Ext(tkz::Session& s, void* item, const char* m, std::vector<Value> args = {}) {
    return s.Method(item, "folderitem", m, args);
}
std::string Text(tkz::Session& s, const Value& v) { return v.h ? s.Bytes(v.h) : "nil"; }

// Open to every user: the lock test looks at a file as one.
std::string TempDir() {
    char t[] = "/tmp/tkz-items-XXXXXX";
    return chmod(mkdtemp(t), 0755), t;
}
std::string MakeFile(const std::string& dir, const std::string& name, mode_t mode = 0644) {
    std::string path = dir + "/" + name;
    return std::ofstream(path) << "data", chmod(path.c_str(), mode), path;
}

}  // namespace

// ---- display path and names --------------------------------------------------------

// The path's definition is fuzz_folderitem's; here a delimiter that must be
// converted, a real item and any depth: a chain of a million items too.
PLUGIN_TEST(FolderItems, DisplayPathJoinsTheChain) {
    void* z =
        s.Own(s.host.SyntheticItem("z", "z", s.host.SyntheticItem("y", "y", s.host.SyntheticItem("x", "x", nullptr))));
    std::tuple<void*, void*, std::string> rows[] = {{z, s.Str("\xA7", host::kWindows), "x\xC2\xA7y\xC2\xA7z"},
                                                    {s.Own(s.host.FolderItem("/home/x")), s.Str("/"), "/home/x"},
                                                    {s.DeepChain("d"), s.Str(""), std::string(tkz::kDeepChain, 'd')}};
    for (auto& [item, delimiter, want] : rows)
        EXPECT_EQ(tkz::Got(s, Ext(s, item, "DisplayPathTKZ", {Value::H(delimiter)}).h), tkz::Tagged(want, host::kUTF8));
}

// The last-dot rule is fuzz_folderitem's; empty results are nil.
PLUGIN_TEST(FolderItems, NameSplitsAtTheLastDot) {
    for (auto [name, ext, base] : {std::tuple{"a.b.c", "c", "a.b"}, {".a", "a", ""}, {"a.", "nil", "a"}}) {
        void* item = s.Own(s.host.SyntheticItem(name, name, nullptr));
        EXPECT_EQ(Text(s, Ext(s, item, "NameExtensionTKZ")), ext) << name;
        EXPECT_EQ(s.Bytes(Ext(s, item, "NameWithoutExtensionTKZ").h), base) << name;
    }
}

// A name the host cannot read, or cannot convert to UTF-8, gives nil.
TEST(FolderItems, UnreadableNameGivesNil) {
    for (const char* lacking : {"REALGetPropValueString", "REALConvertString"})
        tkz::RunFresh(host::Config{.missing = {lacking}}, [&](tkz::Session& s) {
            void* item = s.Own(s.host.SyntheticItem("a.b", "a.b", nullptr));
            for (const char* m : {"NameExtensionTKZ", "NameWithoutExtensionTKZ", "DisplayPathTKZ"})
                EXPECT_EQ(Ext(s, item, m).h, nullptr) << m << " without " << lacking;
        });
}

// ---- the lock test ------------------------------------------------------------------

// A lock held through another open of the file (as another process would
// hold it) is seen, and the test leaves no lock behind.
PLUGIN_TEST(FolderItems, LockTestSeesOtherHoldersLocks) {
    std::string dir = TempDir(), file = MakeFile(dir, "data.bin");
    auto locked = [&](std::string path) {
        return Ext(s, s.Own(s.host.FolderItem(path)), "IsFileDataForkOpenReadWriteTKZ").b;
    };
    EXPECT_FALSE(locked(file));
    for (int how : {LOCK_EX, LOCK_SH}) {
        int fd = open(file.c_str(), O_RDONLY);
        EXPECT_EQ(flock(fd, how | LOCK_NB), 0) << "no lock was left behind";
        EXPECT_TRUE(locked(file));
        close(fd);
    }
    EXPECT_FALSE(locked(file));
    EXPECT_TRUE(locked(dir)) << "a folder cannot be opened for writing";

    // Root may open a read-only file for writing; a user may not.
    void* item = s.Own(s.host.FolderItem(MakeFile(dir, "read-only", 0444)));
    pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        _exit(s.host.Call(s.host.ExtensionMethod("IsFileDataForkOpenReadWriteTKZ"), {}, item).b ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(status, 0) << "a read-only file counts as locked (exit 3: could not drop to a user)";
}

// ---- desktop ------------------------------------------------------------------------

PLUGIN_TEST(Desktop, WorkingDirectory) {
    std::string dir = TempDir(), file = MakeFile(dir, "here.txt");
    auto change = [&](void* item) { return s.Call("SetCurrentWorkingDirectoryTKZ", {Value::H(item)}).b; };
    EXPECT_TRUE(change(s.Own(s.host.FolderItem(dir))));
    EXPECT_TRUE(std::ifstream("here.txt").good()) << "relative paths now resolve from the folder";
    for (std::string bad : {file, dir + "/none"}) EXPECT_FALSE(change(s.Own(s.host.FolderItem(bad)))) << bad;
    EXPECT_FALSE(change(nullptr));
    char cwd[4096];
    EXPECT_EQ(std::string(getcwd(cwd, sizeof cwd)), dir) << "a failed change leaves it";
}

// Not a positive count of seconds that fits 32 bits: back at once.
PLUGIN_TEST(Desktop, DelaysBlockForTheirTime) {
    auto t0 = std::chrono::steady_clock::now();
    auto since = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
    for (double t : {0.0, -1.0, (double)NAN, (double)INFINITY, -(double)INFINITY, 2147483648.0, 1e300})
        s.Call("SleepTKZ", {Value::D(t)});
    EXPECT_LT(since(), 0.2);
    s.Call("SleepTKZ", {Value::D(0.3)});
    EXPECT_GE(since(), 0.29);
    s.Call("DelayTKZ", {Value::D(0.25), Value::I(7)});
    EXPECT_GE(since(), 0.54);
}

// The console callbacks: writers take every byte, the reader none.
PLUGIN_TEST(Desktop, ConsoleCallbacks) {
    auto callback = [&](const char* m) { return (int (*)(void*, const char*, int))(uintptr_t)s.Call(m).i; };
    EXPECT_EQ((void*)callback("ReturnOutPtrTKZ"), (void*)TKZ_FN(gsdll_stdout).f);
    EXPECT_EQ(callback("ReturnOutPtrTKZ")(nullptr, "ignored", 17), 17);
    EXPECT_EQ(callback("ReturnErrPtrTKZ")(nullptr, "x", 5), 5);
    char buf[4] = "abc";
    EXPECT_EQ(((int (*)(void*, char*, int))callback("ReturnInPtrTKZ"))(nullptr, buf, 3), 0);
    EXPECT_EQ(std::string(buf), "abc");
}

// Each library loader tries once per process: its second call asks dlopen
// for nothing, whatever the first found (here no i386 GTK 2 or Cairo, so the
// interval is 0 every time). The names asked for are seen by this process's
// own dlopen, which the plugin's calls reach.
std::vector<std::string> gOpened;
extern "C" void* dlopen(const char* file, int mode) {
    static auto real = (void* (*)(const char*, int))dlsym(RTLD_NEXT, "dlopen");
    if (file != nullptr) gOpened.push_back(file);
    return real(file, mode);
}
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
