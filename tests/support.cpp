#include "support.h"

#include <fstream>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tkz {

bool InCI() {
    const char* ci = getenv("CI");
    return ci != nullptr && *ci != 0 && std::string(ci) != "false" && std::string(ci) != "0";
}

host::Value Session::Call(const std::string& declOrName, const std::vector<host::Value>& args) {
    const host::MethodDef* m = host.GlobalMethod(declOrName, (int)args.size());
    EXPECT_NE(m, nullptr) << "no global method " << declOrName;
    return Owned(host.Call(m, args));
}

host::Value Session::Method(void* self, const std::string& cls, const std::string& declOrName,
                            const std::vector<host::Value>& args) {
    const host::MethodDef* m = host.ClassMethod(cls, declOrName, self == nullptr, (int)args.size());
    if (m == nullptr) m = host.ExtensionMethod(declOrName, (int)args.size());
    EXPECT_NE(m, nullptr) << "no method " << cls << "." << declOrName;
    return Owned(host.Call(m, args, self));
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
