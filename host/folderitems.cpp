// Folder items: real ones over absolute paths and synthetic chains (tests of
// deep chains), and the properties an item shows the plugin: its name and
// display name, its parent, its path and whether it exists. A real item
// answers from its path; a synthetic item from what it was made with.
#include "host.h"
#include "internals.h"

#include <sys/stat.h>

namespace host {

namespace {

std::string BaseName(const std::string& path) {
    if (path == "/") return "/";
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

}  // namespace

void* Host::FolderItem(const std::string& path) {
    ObjectHeader* o = (ObjectHeader*)NewObject("FolderItem");
    FolderPayload* p = new FolderPayload;
    p->path = path;
    o->payload = p;
    return o;
}

void* Host::SyntheticItem(const std::string& name, const std::string& displayName, void* parent) {
    ObjectHeader* o = (ObjectHeader*)NewObject("FolderItem");
    FolderPayload* p = new FolderPayload;
    p->synthetic = true;
    p->name = name;
    p->displayName = displayName;
    p->parent = parent;  // takes over the caller's reference
    o->payload = p;
    return o;
}

std::string Host::PathOf(void* item) {
    if (item == nullptr || Check(item, "path of") == nullptr) return "";
    FolderPayload* p = PayloadOf<FolderPayload>(item);
    if (!p->synthetic) return p->path;
    // A synthetic item's path is its chain of names, topmost first.
    std::vector<std::string> names;
    for (void* i = item; i; i = PayloadOf<FolderPayload>(i)->parent) names.push_back(PayloadOf<FolderPayload>(i)->name);
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) path += "/" + *it;
    return path;
}

Value FolderItemProperty(Host& host, void* item, const std::string& lowerName) {
    const std::string& n = lowerName;
    FolderPayload* p = PayloadOf<FolderPayload>(item);
    if (n == "name" || n == "displayname") {
        std::string s = p->synthetic ? (n == "name" ? p->name : p->displayName) : BaseName(p->path);
        // The root folder has no display name, so display paths read /home/x.
        if (!p->synthetic && n == "displayname" && p->path == "/") s = "";
        // A host whose empty strings are nil hands these names over as nil.
        if (s.empty() && host.config().nilEmptyNames) return Value::H(nullptr);
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

}  // namespace host
