// The "folderitem" extension over real files and synthetic chains, and the
// working directory set from a folder item.
#include "support.h"

#include "folderitem/folderitem.h"

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

// The path's definition and the last-dot rule of the names are
// fuzz_folderitem's, delimiters in every tag variations_test's; here a real
// item and any depth: a chain of a million items too.
PLUGIN_TEST(FolderItems, DisplayPathJoinsTheChain) {
    std::tuple<void*, void*, std::string> rows[] = {{s.Own(s.host.FolderItem("/home/x")), s.Str("/"), "/home/x"},
                                                    {s.DeepChain("d"), s.Str(""), std::string(tkz::kDeepChain, 'd')}};
    for (auto& [item, delimiter, want] : rows)
        EXPECT_EQ(tkz::Got(s, Ext(s, item, "DisplayPathTKZ", {Value::H(delimiter)}).h), tkz::Tagged(want, host::kUTF8));
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

// ---- working directory -----------------------------------------------------------

PLUGIN_TEST(WorkingDirectory, FollowsAFolderAndStaysOnFailure) {
    std::string dir = TempDir(), file = MakeFile(dir, "here.txt");
    auto change = [&](void* item) { return s.Call("SetCurrentWorkingDirectoryTKZ", {Value::H(item)}).b; };
    EXPECT_TRUE(change(s.Own(s.host.FolderItem(dir))));
    EXPECT_TRUE(std::ifstream("here.txt").good()) << "relative paths now resolve from the folder";
    for (std::string bad : {file, dir + "/none"}) EXPECT_FALSE(change(s.Own(s.host.FolderItem(bad)))) << bad;
    EXPECT_FALSE(change(nullptr));
    char cwd[4096];
    EXPECT_EQ(std::string(getcwd(cwd, sizeof cwd)), dir) << "a failed change leaves it";
}
