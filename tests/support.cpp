#include "support.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

#include <dlfcn.h>
#include <stdio_ext.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tkz {

bool InCI() {
    const char* ci = getenv("CI");
    return ci != nullptr && *ci != 0 && std::string(ci) != "false" && std::string(ci) != "0";
}

// What a member's entry promises beyond its answer: StdoutTKZ's Write is
// the one member that writes (to standard output; nothing writes to standard
// error); a member named in firstCallCaches may keep descriptors for a
// library's cache after its first call in a process (none needs it today).
// Delays last their time, and less than 2 s more.
static const std::set<std::string> kWriters = {"StdoutTKZ.Write"};
static std::set<std::string> firstCallCaches = {};
static std::vector<std::string> unpromised;  // reported at the end: the test may hold standard output
static int Descriptors() { return (int)std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

// Calls the member with standard output and error in files of their own, so
// that what it writes, buffered or not, is counted; then passes it on.
static host::Value Watched(const host::MethodDef* m, std::string cls, const std::vector<host::Value>& args,
                           const std::function<host::Value()>& call) {
    if (m == nullptr) return call();
    std::string decl = m->declaration, name = cls + decl.substr(0, decl.find_first_of("( "));
    int fds = Descriptors(), saved[3];
    FILE *streams[3] = {nullptr, stdout, stderr}, *files[3] = {};
    size_t pending[3];
    for (int fd : {1, 2}) {
        pending[fd] = __fpending(streams[fd]);
        saved[fd] = (files[fd] = tmpfile()) != nullptr ? dup(fd) : -1;  // none when the test closed it
        if (saved[fd] >= 0) dup2(fileno(files[fd]), fd);
    }
    auto t0 = std::chrono::steady_clock::now();
    host::Value v = call();
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    for (int fd : {1, 2}) {
        if (saved[fd] < 0) {
            if (files[fd] != nullptr) fclose(files[fd]);
            continue;
        }
        std::string out((size_t)lseek(fd, 0, SEEK_CUR), '\0');
        out.resize(std::max<ssize_t>(0, pread(fd, out.data(), out.size(), 0)));
        dup2(saved[fd], fd), close(saved[fd]), fclose(files[fd]);
        if (!out.empty()) EXPECT_EQ(write(fd, out.data(), out.size()), (ssize_t)out.size());
        long wrote = (long)(out.size() + __fpending(streams[fd])) - (long)pending[fd];
        if (wrote != 0 && (fd == 2 || !kWriters.count(name)))
            unpromised.push_back(name + " wrote " + std::to_string(wrote) + " bytes to standard " +
                                 (fd == 1 ? "output" : "error"));
    }
    if (int more = Descriptors() - fds; more > 0 && firstCallCaches.erase(name) == 0)
        unpromised.push_back(name + " left " + std::to_string(more) + " more descriptor(s) open");
    if ((name == "SleepTKZ" || name == "DelayTKZ") && !args.empty() && args[0].kind == host::Value::Double) {
        double asked = args[0].d > 0 && args[0].d < 2147483648.0 ? args[0].d : 0;
        if (took < asked || took > asked + 2)
            unpromised.push_back(name + "(" + std::to_string(args[0].d) + ") took " + std::to_string(took) + " s");
    }
    return v;
}

host::Value Session::Call(const std::string& declOrName, const std::vector<host::Value>& args) {
    const host::MethodDef* m = host.GlobalMethod(declOrName, (int)args.size());
    EXPECT_NE(m, nullptr) << "no global method " << declOrName;
    return Owned(Watched(m, "", args, [&] { return host.Call(m, args); }));
}

host::Value Session::Method(void* self, const std::string& cls, const std::string& declOrName,
                            const std::vector<host::Value>& args) {
    const host::MethodDef* m = host.ClassMethod(cls, declOrName, self == nullptr, (int)args.size());
    if (m == nullptr) m = host.ExtensionMethod(declOrName, (int)args.size());
    EXPECT_NE(m, nullptr) << "no method " << cls << "." << declOrName;
    return Owned(Watched(m, cls + ".", args, [&] { return host.Call(m, args, self); }));
}

void* Exported(const std::string& symbol, const char* plain) {
    void* dl = host::Host::Current().PluginHandle();
    void* p = dl ? dlsym(dl, symbol.c_str()) : nullptr;
    if (p == nullptr && plain != nullptr && dl != nullptr) p = dlsym(dl, plain);
    if (p == nullptr) printf("the plugin exports no %s\n", symbol.c_str()), fflush(stdout), abort();
    return p;
}

std::string Slurp(const std::string& path) { return {std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}}; }

std::string Shell(const std::string& command, int* status) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    char buf[4096];
    for (size_t n; p != nullptr && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    int rc = p != nullptr ? pclose(p) : -1;
    if (status != nullptr) *status = WEXITSTATUS(rc);
    return out;
}

void* Session::DeepChain(const std::string& display) {
    host.config().reallyFree = true;
    void* item = nullptr;
    for (int i = 0; i < kDeepChain; ++i) item = host.SyntheticItem("n", display, item);
    return Own(item);
}

void RunFresh(const host::Config& config, const std::function<void(Session&)>& body) {
    std::string output;
    int rc = host::RunChild(
        [&] {
            host::Host host(config);
            std::string error;
            if (!host.Load(TKZ_PLUGIN, &error)) {
                ADD_FAILURE() << error;
                return 1;
            }
            {
                Session s{host, {}};
                body(s);
                for (void* h : s.owned) host.Unlock(h);
            }
            // Reported on standard output as well: the parent shows the
            // child's output with its verdict.
            for (const std::string& f : unpromised) ADD_FAILURE() << f;
            std::vector<host::Violation> faults = host.Faults();
            for (const host::Violation& f : faults) {
                printf("%s\n", f.Message().c_str());
                ADD_FAILURE() << f.Message();
            }
            return ::testing::Test::HasFailure() || !faults.empty() ? 1 : 0;
        },
        &output);
    if (rc != 0) ADD_FAILURE() << "in the test's host process (exit " << rc << "):\n" << output;
}

}  // namespace tkz
