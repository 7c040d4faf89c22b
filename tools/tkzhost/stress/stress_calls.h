// tkzhost --stress, what to call: every registered global method, extension
// method, class method, shared method and property, and the values it is
// called with. A member of up to two parameters gets every combination of
// their values (and of the instance it is called on), a longer one every
// pair of values of any two parameters.
#pragma once

#include "stress_values.h"

#include <string>
#include <vector>

namespace tkzhost::stress {

struct Member {
    enum Kind { Global, Extension, Method, Shared, Property } kind;
    std::string group, title, name;
    const host::MethodDef* method = nullptr;
    std::vector<Samples> dims;            // the instance first, if any; then each parameter
    std::vector<std::vector<int>> calls;  // each call: a value of each dimension given
    bool pairwise = false;
    std::string refused;  // why it is not called at all
    std::string skipped;  // why the expect file leaves it out
    // As the expect file names it: SetSoundVolumeTKZ, folderitem.DisplayPathTKZ,
    // StdinTKZ.Read (the name of a shared method holds its class already).
    std::string Qualified() const;
};

// Every member the plugin registered, in the order registered.
std::vector<Member> Members(host::Host& host, Catalog& cat);

// One call of one member, as the report names it.
struct Call {
    size_t member, call;  // members[member].calls[call]
    std::string label;    // as a programmer would write it: SleepTKZ(2147483647),
                          // file.DisplayPathTKZ("A"), (new StyleDataTKZ).Red = -1
};

// Every call of every member, in order.
std::vector<Call> Calls(const std::vector<Member>& members);

}  // namespace tkzhost::stress
