// The "folderitem" extension over real files and synthetic chains, the time
// zone class, and the desktop methods: working directory, delays, console
// callbacks and the fixed answers of this platform.
#include "support.h"

#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using emu::Value;
using tkz::W;

namespace {

Value H(const void* p) { return Value::H(p); }

Value Ext(tkz::Session& s, void* item, const char* method, std::vector<Value> args = {}) {
    return s.Method(item, "folderitem", method, args);
}

std::string TempDir() {
    char tmpl[] = "/tmp/tkz-items-XXXXXX";
    std::string d = mkdtemp(tmpl);
    chmod(d.c_str(), 0755);
    return d;
}

std::string MakeFile(const std::string& dir, const std::string& name, mode_t mode = 0644) {
    std::string path = dir + "/" + name;
    std::ofstream(path) << "data";
    chmod(path.c_str(), mode);
    return path;
}

// x (topmost) / y / z
void* Chain(tkz::Session& s) {
    void* x = s.host.SyntheticItem("x", "x", nullptr);
    void* y = s.host.SyntheticItem("y", "y", x);
    return s.Own(s.host.SyntheticItem("z", "z", y));
}

}  // namespace

// ---- display path and names --------------------------------------------------------

PLUGIN_TEST(FolderItems, DisplayPathJoinsTheChain) {
    void* z = Chain(s);
    EXPECT_EQ(s.Bytes(Ext(s, z, "DisplayPathTKZ").h), "x/y/z") << "the declared default delimiter";
    EXPECT_EQ(s.Bytes(Ext(s, z, "DisplayPathTKZ", {H(s.Str(" > "))}).h), "x > y > z");
    EXPECT_EQ(s.Bytes(Ext(s, z, "DisplayPathTKZ", {H(s.Str(""))}).h), "xyz");
    EXPECT_EQ(s.Bytes(Ext(s, z, "DisplayPathTKZ", {H(nullptr)}).h), "xyz");
    Value path = Ext(s, z, "DisplayPathTKZ", {H(s.Str("\xA7", emu::kWindows))});
    EXPECT_EQ(s.Bytes(path.h), "x\xC2\xA7y\xC2\xA7z") << "the delimiter is converted to UTF-8";
    EXPECT_EQ(s.Enc(path.h), emu::kUTF8);
    void* alone = s.Own(s.host.SyntheticItem("solo", "Solo", nullptr));
    EXPECT_EQ(s.Bytes(Ext(s, alone, "DisplayPathTKZ").h), "Solo");
    void* real = s.Own(s.host.FolderItem("/home/x"));
    EXPECT_EQ(s.Bytes(Ext(s, real, "DisplayPathTKZ").h), "/home/x") << "the root's display name is empty";
    void* nameless = s.Own(s.host.SyntheticItem("n", "", nullptr));
    EXPECT_EQ(Ext(s, nameless, "DisplayPathTKZ").h, nullptr);
}

PLUGIN_TEST(FolderItems, DisplayPathHasNoDepthLimit) {
    void* item = s.DeepChain("d");
    std::string path = s.Bytes(Ext(s, item, "DisplayPathTKZ", {H(s.Str(""))}).h);
    EXPECT_EQ(path.size(), (size_t)tkz::kDeepChain);
    EXPECT_EQ(path.find_first_not_of('d'), std::string::npos);
}

PLUGIN_TEST(FolderItems, NameSplitsAtTheLastDot) {
    struct Row { const char* name; const char* ext; const char* base; } rows[] = {
        {"a.b.c", "c", "a.b"}, {"a.", "", "a"}, {".", "", ""}, {".a", "a", ""}, {"abc", "", "abc"},
        {"archive.tar.gz", "gz", "archive.tar"}, {".profile", "profile", ""}, {"file.", "", "file"},
        {"caf\xC3\xA9.r\xC3\xA9sum\xC3\xA9", "r\xC3\xA9sum\xC3\xA9", "caf\xC3\xA9"},
    };
    for (const Row& r : rows) {
        void* item = s.Own(s.host.SyntheticItem(r.name, r.name, nullptr));
        Value ext = Ext(s, item, "NameExtensionTKZ");
        Value base = Ext(s, item, "NameWithoutExtensionTKZ");
        EXPECT_EQ(s.Bytes(ext.h), r.ext) << r.name;
        EXPECT_EQ(s.Bytes(base.h), r.base) << r.name;
        if (*r.ext == 0) EXPECT_EQ(ext.h, nullptr) << "empty results are nil";
        if (ext.h) EXPECT_EQ(s.Enc(ext.h), emu::kUTF8);
    }
    void* real = s.Own(s.host.FolderItem("/tmp/notes.txt"));
    EXPECT_EQ(s.Bytes(Ext(s, real, "NameExtensionTKZ").h), "txt");
}

PLUGIN_TEST_CFG(FolderItems, UnreadableNameGivesNil, [] {
    emu::Config c;
    c.missing = {"REALGetPropValueString"};
    return c;
}()) {
    void* item = s.Own(s.host.SyntheticItem("a.b", "a.b", nullptr));
    EXPECT_EQ(Ext(s, item, "NameExtensionTKZ").h, nullptr);
    EXPECT_EQ(Ext(s, item, "NameWithoutExtensionTKZ").h, nullptr);
    EXPECT_EQ(Ext(s, item, "DisplayPathTKZ").h, nullptr);
}

// ---- the lock test ------------------------------------------------------------------

namespace {
// A process that holds a flock lock on `path` until told to let go.
struct Holder {
    pid_t pid = -1;
    int release[2];
    Holder(const std::string& path, int how) {
        int ready[2];
        if (pipe(ready) != 0 || pipe(release) != 0) return;
        pid = fork();
        if (pid == 0) {
            int fd = open(path.c_str(), O_RDONLY);
            flock(fd, how);
            char c = 1;
            (void)!write(ready[1], &c, 1);
            (void)!read(release[0], &c, 1);
            _exit(0);
        }
        char c;
        (void)!read(ready[0], &c, 1);
        close(ready[0]);
        close(ready[1]);
    }
    ~Holder() {
        char c = 1;
        (void)!write(release[1], &c, 1);
        waitpid(pid, nullptr, 0);
    }
};
bool Locked(tkz::Session& s, const std::string& path) {
    void* item = s.Own(s.host.FolderItem(path));
    return Ext(s, item, "IsFileDataForkOpenReadWriteTKZ").b;
}
}  // namespace

PLUGIN_TEST(FolderItems, LockTestSeesOtherProcessesLocks) {
    std::string dir = TempDir();
    std::string file = MakeFile(dir, "data.bin");
    EXPECT_FALSE(Locked(s, file));
    int fd = open(file.c_str(), O_RDWR);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << "no lock was left behind";
    close(fd);
    {
        Holder h(file, LOCK_EX);
        EXPECT_TRUE(Locked(s, file));
    }
    {
        Holder h(file, LOCK_SH);
        EXPECT_TRUE(Locked(s, file));
    }
    EXPECT_FALSE(Locked(s, file));
    EXPECT_TRUE(Locked(s, dir + "/missing"));
    EXPECT_TRUE(Locked(s, dir)) << "a folder cannot be opened for writing";
    EXPECT_FALSE(Ext(s, s.Own(s.host.FolderItem(file)), "IsFileResourceForkOpenReadWriteTKZ").b);
    EXPECT_FALSE(s.Words("FileDataForkOpenReadWrite(REALfolderItemStruct*)", {0}, "boolean").b);

    // Root may open a read-only file for writing; a user may not.
    std::string readOnly = MakeFile(dir, "read-only", 0444);
    void* item = s.Own(s.host.FolderItem(readOnly));
    const emu::MethodDef* m = s.host.ExtensionMethod("IsFileDataForkOpenReadWriteTKZ");
    pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        _exit(s.host.Call(m, {}, item).b ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a read-only file counts as locked (3: could not drop to a user)";
}

// ---- fixed answers, paths and streams -------------------------------------------------

PLUGIN_TEST(FolderItems, FixedAnswers) {
    void* item = s.Own(s.host.FolderItem("/tmp"));
    for (const char* m : {"VolumeSizeKBTKZ", "VolumeSizeTKZ", "VolumeFreeSizeKBTKZ", "VolumeFreeSizeTKZ"})
        EXPECT_EQ(Ext(s, item, m).l, -1) << m;
    EXPECT_EQ(Ext(s, item, "FSSpecTKZ").h, nullptr);
    EXPECT_EQ(Ext(s, item, "FSRefTKZ").h, nullptr);
    void* name = s.Str("kept");
    void* byref = name;
    EXPECT_EQ(Ext(s, item, "FSRefNameTKZ", {Value::R(&byref)}).h, nullptr);
    EXPECT_EQ(byref, name);
    EXPECT_EQ(s.host.RefCount(name), 1);
}

PLUGIN_TEST(FolderItems, PathsAndStreams) {
    std::string dir = TempDir();
    std::string file = MakeFile(dir, "caf\xC3\xA9.txt");
    void* item = s.Own(s.host.FolderItem(file));
    char* path = (char*)s.Words("UnixFilePath(REALfolderItemStruct*)", {W(item)}, "object").h;
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path), file);
    free(path);
    EXPECT_EQ(s.Words("UnixFilePath(REALfolderItemStruct*)", {0}, "object").h, nullptr);

    FILE* in = (FILE*)s.Words("OpenCFILEread(REALfolderItemStruct*, long)", {W(item), 0}, "object").h;
    ASSERT_NE(in, nullptr);
    char buf[8] = {};
    EXPECT_EQ(fread(buf, 1, 8, in), 4u);
    EXPECT_EQ(std::string(buf), "data");
    fclose(in);
    void* out = s.Own(s.host.FolderItem(dir + "/new.bin"));
    FILE* w = (FILE*)s.Words("OpenCFILEwrite(REALfolderItemStruct*, long)", {W(out), 16}, "object").h;
    ASSERT_NE(w, nullptr);
    fputs("written", w);
    fclose(w);
    std::ifstream check(dir + "/new.bin");
    std::string got;
    check >> got;
    EXPECT_EQ(got, "written");
    void* missing = s.Own(s.host.FolderItem(dir + "/none/x"));
    EXPECT_EQ(s.Words("OpenCFILEread(REALfolderItemStruct*, long)", {W(missing), (uint32_t)-1}, "object").h, nullptr);
    EXPECT_EQ(s.Words("OpenCFILEwrite(REALfolderItemStruct*, long)", {0, 0}, "object").h, nullptr);
}

PLUGIN_TEST(Desktop, WorkingDirectory) {
    std::string dir = TempDir();
    std::string file = MakeFile(dir, "here.txt");
    EXPECT_TRUE(s.Call("SetCurrentWorkingDirectoryTKZ", {H(s.Own(s.host.FolderItem(dir)))}).b);
    std::ifstream relative("here.txt");
    EXPECT_TRUE(relative.good()) << "relative paths now resolve from the folder";
    EXPECT_FALSE(s.Call("SetCurrentWorkingDirectoryTKZ", {H(s.Own(s.host.FolderItem(file)))}).b);
    EXPECT_FALSE(s.Call("SetCurrentWorkingDirectoryTKZ", {H(s.Own(s.host.FolderItem(dir + "/none")))}).b);
    EXPECT_FALSE(s.Call("SetCurrentWorkingDirectoryTKZ", {H(nullptr)}).b);
    char cwd[4096];
    EXPECT_EQ(std::string(getcwd(cwd, sizeof cwd)), dir) << "a failed change leaves it";
}

// ---- desktop ------------------------------------------------------------------------

PLUGIN_TEST(Desktop, DelaysBlockForTheirTime) {
    using Clock = std::chrono::steady_clock;
    auto seconds = [&](const std::function<void()>& f) {
        auto t0 = Clock::now();
        f();
        return std::chrono::duration<double>(Clock::now() - t0).count();
    };
    EXPECT_GE(seconds([&] { s.Call("SleepTKZ", {Value::D(0.3)}); }), 0.29);
    EXPECT_GE(seconds([&] { s.Call("DelayTKZ", {Value::D(0.25)}); }), 0.24);
    EXPECT_GE(seconds([&] { s.Call("DelayTKZ", {Value::D(0.25), Value::I(7)}); }), 0.24);
    // Not a positive count of seconds that fits 32 bits: back at once.
    double instant = seconds([&] {
        for (double t : {0.0, -1.0, (double)NAN, (double)INFINITY, -(double)INFINITY, 2147483648.0, 1e300})
            s.Call("SleepTKZ", {Value::D(t)});
    });
    EXPECT_LT(instant, 0.2);
}

PLUGIN_TEST(Desktop, FixedAnswersAndCallbacks) {
    for (const char* m : {"ShowCursorTKZ", "HideCursorTKZ", "ObscureCursorTKZ"}) s.Call(m);
    void* block = s.Own(s.host.NewMemoryBlock(8));
    EXPECT_EQ(s.Call("NewFolderItemFSSpecTKZ", {H(block)}).h, nullptr);
    EXPECT_EQ(s.Call("NewFolderItemFSRefTKZ", {H(block)}).h, nullptr);
    EXPECT_EQ(s.Call("NewFolderItemFSRefNameTKZ", {H(block), H(s.Str("n"))}).h, nullptr);
    int32_t out = s.Call("ReturnOutPtrTKZ").i;
    EXPECT_NE(out, 0);
    EXPECT_EQ(s.Call("ReturnOutPtrTKZ").i, out);
    EXPECT_EQ((void*)(uintptr_t)out, s.Sym("gsdll_stdout"));
    EXPECT_EQ(emu::CallWords((void*)(uintptr_t)out, {0, W("ignored"), 17}, "integer").i, 17);
    int32_t err = s.Call("ReturnErrPtrTKZ").i;
    EXPECT_EQ(emu::CallWords((void*)(uintptr_t)err, {0, W("x"), 5}, "integer").i, 5);
    char buf[4] = "abc";
    int32_t in = s.Call("ReturnInPtrTKZ").i;
    EXPECT_EQ(emu::CallWords((void*)(uintptr_t)in, {0, W(buf), 3}, "integer").i, 0);
    EXPECT_EQ(std::string(buf), "abc");
}

// Without an i386 GTK 2 the interval is 0, on every call.
PLUGIN_TEST(Desktop, DoubleClickIntervalWithoutGtk) {
    EXPECT_EQ(s.Call("GetDoubleClickIntervalTKZ").i, 0);
    EXPECT_EQ(s.Call("GetDoubleClickIntervalTKZ").i, 0);
    EXPECT_EQ(*(unsigned char*)s.Sym("gtkLoadTried"), 1);
    EXPECT_EQ(*(unsigned char*)s.Sym("gtkLoaded"), 0);
    EXPECT_EQ(*(void**)s.Sym("_gtk_settings_get_default"), nullptr);
}

// With a real i386 GTK 2 (a private copy the bootstrap unpacks) on a virtual
// X server, in a process that initialised GTK as a GUI host does.
namespace {
const char* kGtkDir = "/opt/tkz-gtk2-i386";

std::string Probe(const std::string& display, const std::string& rcFile, const std::string& home) {
    std::string gtk = kGtkDir;
    std::string cmd = "env -u GTK2_RC_FILES HOME=" + home + " DISPLAY=" + display + " LD_LIBRARY_PATH=" + gtk +
                      "/usr/lib/i386-linux-gnu:" + gtk + "/lib/i386-linux-gnu" +
                      (rcFile.empty() ? "" : " GTK2_RC_FILES=" + rcFile) + " " TKZ_BUILD_DIR "/tests/gtk_probe " TKZ_PLUGIN
                      " 2>/dev/null";
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    int status = pclose(p);
    return WEXITSTATUS(status) == 0 ? out : "exit " + std::to_string(WEXITSTATUS(status));
}
}  // namespace

TEST(Desktop, DoubleClickIntervalFromGtk) {
    std::string complete = std::string(kGtkDir) + "/.complete";
    TKZ_REQUIRE(access(complete.c_str(), F_OK) == 0, "an i386 GTK 2 in /opt/tkz-gtk2-i386 (scripts/bootstrap)");
    TKZ_REQUIRE(access("/usr/bin/Xvfb", X_OK) == 0, "Xvfb (scripts/bootstrap)");
    int n = 70 + getpid() % 100;
    std::string display = ":" + std::to_string(n);
    pid_t x = fork();
    if (x == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execl("/usr/bin/Xvfb", "Xvfb", display.c_str(), "-nolisten", "tcp", (char*)nullptr);
        _exit(127);
    }
    std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
    for (int i = 0; i < 100 && access(socket.c_str(), F_OK) != 0; ++i) usleep(100000);
    std::string home = TempDir();
    std::string rc = home + "/gtkrc";
    std::ofstream(rc) << "gtk-double-click-time = 333\n";
    EXPECT_EQ(Probe(display, "", home), "15\n") << "GTK 2's default of 250 ms";
    EXPECT_EQ(Probe(display, rc, home), "19\n") << "333 ms";
    kill(x, SIGTERM);
    waitpid(x, nullptr, 0);
}

// ---- time zone ------------------------------------------------------------------------

PLUGIN_TEST(TimeZone, ReportsTheInstanceDataReadOnly) {
    void* a = s.Own(s.Words("REALnewInstance(char const*)", {W("TimeZoneTKZ")}, "object").h);
    for (const char* p : {"GmtDeltaTotalseconds", "GmtDeltaSeconds", "GmtDeltaMinutes", "GmtDeltaHours"})
        EXPECT_EQ(s.Prop(a, p).i, 0) << p;
    EXPECT_EQ(s.Prop(a, "Latitude").d, 0.0);
    EXPECT_EQ(s.Prop(a, "Longitude").d, 0.0);
    // The getters read the doubles at offsets 16 and 24 of the instance data.
    double lat = 48.2, lon = 16.37;
    memcpy(s.host.DataOf(a) + 16, &lat, 8);
    memcpy(s.host.DataOf(a) + 24, &lon, 8);
    EXPECT_EQ(s.Prop(a, "Latitude").d, 48.2);
    EXPECT_EQ(s.Prop(a, "Longitude").d, 16.37);
    for (const char* p : {"GmtDeltaTotalseconds", "GmtDeltaHours", "Latitude", "Longitude"})
        EXPECT_EQ(s.host.Property("TimeZoneTKZ", p)->setter, nullptr) << p << " has no setter";
    EXPECT_EQ(s.host.registry().classes[4]->constructor, nullptr);
}
