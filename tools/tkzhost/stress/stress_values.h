// tkzhost --stress, the values: the boundary values of each declared type
// (the host's classifier says which type a declaration names), each made in
// the child for one call and given back after it.
#pragma once

#include "host.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tkzhost::stress {

const int kBacking = 4096;  // the bytes behind a block of unknown size

// What the folder items point to: a file, a folder and a path that is
// neither, in a folder made for the run.
struct Places {
    std::string dir, file, folder, missing;
    bool Make();  // false when /tmp takes no folder
    void Remove() const;
};

// What one call's values hold, given back after it.
struct Child {
    host::Host& host;
    std::vector<void*> owned;           // the caller's references
    std::deque<host::ByrefSlot> slots;  // byref slots, each where its call was given it
    std::vector<void*> buffers;         // bytes behind blocks of unknown size

    host::Value Own(void* h) {
        if (h) owned.push_back(h);
        return host::Value::H(h);
    }
    void Release();
};

// A length beside a block of unknown size is the caller's word (the plugin
// may trust it), so a call given such a block gets the bytes behind it
// (Backing) where it would get 2147483647 (Huge).
enum class Role { Plain, Huge, Unsized, Backing };

struct Sample {
    std::string label;
    std::function<host::Value(Child&)> make;  // in the child; none: a property read, not written
    Role role = Role::Plain;
};
using Samples = std::vector<Sample>;

// A fresh instance of a class, as "new X" makes one.
Sample New(const std::string& cls);

// The value a variable holds, passed through a slot of the parameter's
// type (host::ByrefSlot): what a byref parameter of `type` is given.
Sample Byref(Sample s, const std::string& type);

// The boundary values of each declared type, and which were used.
class Catalog {
  public:
    Catalog(host::Host& host, const Places& places) : host_(host), places_(places) {}

    Samples Of(const std::string& type);
    // "type  values" for every type used, in order.
    std::string Legend() const;

  private:
    Samples Make(const std::string& type);
    Samples Arrays(const std::string& element);

    host::Host& host_;
    const Places& places_;
    std::map<std::string, std::string> used_;
    std::vector<std::string> order_;
};

}  // namespace tkzhost::stress
