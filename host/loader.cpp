// Loading a plugin as the host does: dlopen, then REALPluginMain with the
// resolver, which is where the plugin registers everything it has.
#include "host.h"

#include <dlfcn.h>

namespace host {

bool Host::Load(const std::string& path, std::string* error) {
    dl_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (dl_ == nullptr) {
        if (error) *error = std::string("cannot load ") + path + ": " + dlerror();
        return false;
    }
    path_ = path;
    typedef void (*Main)(void* (*)(const char*));
    Main main = (Main)dlsym(dl_, "REALPluginMain");
    if (main == nullptr) {
        if (error) *error = path + " is not a plugin: it has no REALPluginMain";
        return false;
    }
    main(&Host::Resolver);
    return true;
}

}  // namespace host
