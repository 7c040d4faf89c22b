// The properties a folder item shows the plugin: its name and display name,
// its parent, its path and whether it exists. A real item answers from its
// absolute path; a synthetic item (tests of deep chains) from what it was
// made with.
#include "host.h"
#include "internals.h"

#include <sys/stat.h>

namespace emu {

namespace {

std::string BaseName(const std::string& path) {
    if (path == "/") return "/";
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

}  // namespace

Value FolderItemProperty(Host& host, void* item, const std::string& lowerName) {
    const std::string& n = lowerName;
    FolderPayload* p = PayloadOf<FolderPayload>(item);
    if (n == "name" || n == "displayname") {
        std::string s = p->synthetic ? (n == "name" ? p->name : p->displayName) : BaseName(p->path);
        // The root folder has no display name, so display paths read /home/x.
        if (!p->synthetic && n == "displayname" && p->path == "/") s = "";
        return Value::H(host.NewString(s, kUTF8));
    }
    if (n == "parent") {
        if (p->synthetic) {
            if (p->parent) host.Lock(p->parent);
            return Value::H(p->parent);
        }
        if (p->path == "/" || p->path.empty()) return Value::H(nullptr);
        std::string copy = p->path;
        while (copy.size() > 1 && copy.back() == '/') copy.pop_back();
        size_t slash = copy.rfind('/');
        std::string parent = slash == 0 || slash == std::string::npos ? "/" : copy.substr(0, slash);
        return Value::H(host.FolderItem(parent));
    }
    if (n == "nativepath" || n == "path") return Value::H(host.NewString(host.PathOf(item), kUTF8));
    if (n == "exists") {
        struct stat st;
        return Value::B(stat(host.PathOf(item).c_str(), &st) == 0);
    }
    return Value();
}

}  // namespace emu
