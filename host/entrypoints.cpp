// The entry points as the plugin finds and calls them, made from the rows of
// entrypoints.def: the resolver's table, the procedure each row hands out
// (which counts the call, refuses it when the configuration says so, then
// calls the row's implementation), the counters and the call log.
#include "entrypoints.h"

#include <algorithm>
#include <string_view>
#include <type_traits>
#include <utility>

namespace host {

namespace {

using entries::H;
using entries::Who;

const char* const kNames[] = {
#define ENTRY(name, implementation) #name,
#define FALLIBLE(name, implementation) #name,
#define RECORDING(name, words) #name,
#define METHOD(name, implementation) #name,
#include "entrypoints.def"
#undef ENTRY
#undef FALLIBLE
#undef RECORDING
#undef METHOD
};
const int kRows = (int)std::size(kNames);

// The procedure of a row: the plugin calls it with the entry point's own
// parameters (cdecl), so it has exactly the implementation's signature, less
// the Who an implementation may take first.
template <CallId Id, auto Implementation, bool Fallible, class R, class... A>
R Call(A... a) {
    if (!H().CountCall((int)Id) && Fallible) return R();
    if constexpr (std::is_same_v<decltype(Implementation), R (*)(Who, A...)>)
        return Implementation(Who{kNames[(int)Id]}, a...);
    else return Implementation(a...);
}
template <CallId Id, auto Implementation, bool Fallible, class R, class... A>
void* ProcedureFor(R (*)(A...)) {
    return (void*)&Call<Id, Implementation, Fallible, R, A...>;
}
template <CallId Id, auto Implementation, bool Fallible, class R, class... A>
void* ProcedureFor(R (*)(Who, A...)) {
    return (void*)&Call<Id, Implementation, Fallible, R, A...>;
}
template <CallId Id, auto Implementation, bool Fallible>
void* RowProcedure() {
    return ProcedureFor<Id, Implementation, Fallible>(Implementation);
}

// The recording rows in order: each answers 0x7E57nn11, nn its place here.
enum class RecordingId : int {
#define ENTRY(name, implementation)
#define FALLIBLE(name, implementation)
#define RECORDING(name, words) name,
#define METHOD(name, implementation)
#include "entrypoints.def"
#undef ENTRY
#undef FALLIBLE
#undef RECORDING
#undef METHOD
};
template <CallId Id, int Words, RecordingId Place>
uint32_t Record(uint32_t a0, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4) {
    H().CountCall((int)Id);
    uint32_t w[5] = {a0, a1, a2, a3, a4};
    H().recorded[kNames[(int)Id]].assign(w, w + Words);
    return 0x7E570000u + 0x100u * (uint32_t)Place + 0x11u;
}

struct Row {
    void* procedure;
    bool resolvable;  // handed out by the resolver (not a host-language method)
};
const Row* Table() {
    static const Row table[] = {
#define ENTRY(name, implementation) {RowProcedure<CallId::name, &entries::implementation, false>(), true},
#define FALLIBLE(name, implementation) {RowProcedure<CallId::name, &entries::implementation, true>(), true},
#define RECORDING(name, words) {(void*)&Record<CallId::name, words, RecordingId::name>, true},
#define METHOD(name, implementation) {RowProcedure<CallId::name, &entries::implementation, false>(), false},
#include "entrypoints.def"
#undef ENTRY
#undef FALLIBLE
#undef RECORDING
#undef METHOD
    };
    static_assert(std::size(table) == std::size(kNames));
    return table;
}

// A row's place by its name, -1 for a name not there. Built once; a look-up
// compares views and allocates nothing.
int IndexOf(const char* name) {
    static const std::vector<std::pair<std::string_view, int>> sorted = [] {
        std::vector<std::pair<std::string_view, int>> t;
        for (int i = 0; i < kRows; ++i) t.emplace_back(kNames[i], i);
        std::sort(t.begin(), t.end());
        return t;
    }();
    std::string_view key(name);
    auto it =
        std::lower_bound(sorted.begin(), sorted.end(), key,
                         [](const std::pair<std::string_view, int>& e, std::string_view k) { return e.first < k; });
    return it != sorted.end() && it->first == key ? it->second : -1;
}

}  // namespace

void* ProcedureOf(CallId id) { return Table()[(int)id].procedure; }

int CountedCalls() { return kRows; }

void* Host::Resolver(const char* name) { return Current().Resolve(name); }

void* Host::Resolve(const char* name) {
    if (name == nullptr) return nullptr;
    ++lookups_[name];
    if (config_.missing.count(name)) return nullptr;
    int i = IndexOf(name);
    return i >= 0 && Table()[i].resolvable ? Table()[i].procedure : nullptr;
}

int Host::Lookups(const std::string& name) const {
    auto it = lookups_.find(name);
    return it == lookups_.end() ? 0 : it->second;
}

std::vector<std::string> Host::EntryPointNames() {
    std::vector<std::string> names;
    for (int i = 0; i < kRows; ++i)
        if (Table()[i].resolvable) names.push_back(kNames[i]);
    return names;
}

bool Host::CountCall(int index) {
    int n = ++callCounts_[index];
    if (config_.logCalls) calls.push_back(kNames[index]);
    if (config_.failAfter.empty()) return true;
    auto it = config_.failAfter.find(kNames[index]);
    return it == config_.failAfter.end() || n <= it->second;
}

int Host::CallCount(const std::string& name) const {
    int i = IndexOf(name.c_str());
    return i < 0 ? 0 : callCounts_[i];
}

}  // namespace host
