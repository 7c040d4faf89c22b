// tkzhost --stress: every registered global method, extension method, class
// method, shared method and property of a plugin, called with boundary values
// chosen from its declared types. A member of up to two parameters gets every
// combination of their values (and of the instance it is called on), a longer
// one every pair of values of any two parameters.
//
// The plugin is loaded once; each call runs in a child forked from there, so
// a crash or a hang costs one call and no call sees what another left behind.
// The child has empty standard input and a time limit; it gives back every
// reference the call's values held and tells the parent, through a pipe, what
// the ledger still holds and every release too many or use after release.
// A child that ends without saying so crashed (a sanitizer report ends it with
// a status; its first line is kept). The expect file (--expect FILE, or
// PLUGIN.stress beside the plugin, which ships with it) names known time-outs
// and members left out (those that change the machine), each with its
// reason; anything else found is unexpected and makes the status 4.
#include "stress.h"

#include "crash.h"
#include "host.h"
#include "parse.h"
#include "tkzhost.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace tkzhost {

namespace {

using emu::Value;
using Clock = std::chrono::steady_clock;

const int kLimitMs = 1000;   // per call: short, so the sleeps that never end cost little
const int kKnownMs = 200;    // for a call the expect file says never returns
// A time-out not expected is tried once more, longer, so that a busy machine
// makes none; a plugin that hangs often is not tried again past the first few.
const int kRetryMs = 5000;
const size_t kRetries = 16;
const int kBacking = 4096;   // the bytes behind a block of unknown size

struct Places {
    std::string dir, file, folder, missing;
};

// What one call's values hold, given back after it.
struct Child {
    emu::Host& host;
    std::vector<void*> owned;                   // the caller's references
    std::vector<std::pair<char*, bool>> slots;  // byref slots; true: the slot holds a handle
    std::vector<void*> buffers;                 // bytes behind blocks of unknown size

    Value Own(void* h) {
        if (h) owned.push_back(h);
        return Value::H(h);
    }
    void Release() {
        for (auto& [slot, handle] : slots) {
            void* h = nullptr;
            if (handle) memcpy(&h, slot, 4);
            if (h) host.Unlock(h);  // the slot's own reference
            free(slot);
        }
        for (auto it = owned.rbegin(); it != owned.rend(); ++it) host.Unlock(*it);
        for (void* e : host.raised) host.Unlock(e);
        host.raised.clear();
        for (void* b : buffers) free(b);
    }
};

// A length beside a block of unknown size is the caller's word (the plugin
// may trust it), so a call given such a block gets the bytes behind it
// (Backing) where it would get 2147483647 (Huge).
enum class Role { Plain, Huge, Unsized, Backing };

struct Sample {
    std::string label;
    std::function<Value(Child&)> make;  // in the child; none: a property read, not written
    Role role = Role::Plain;
};
using Samples = std::vector<Sample>;

Sample Fixed(const std::string& label, Value v, Role role = Role::Plain) {
    return {label, [v](Child&) { return v; }, role};
}
Sample Nil() { return Fixed("nil", Value::H(nullptr)); }
Sample Str(const std::string& label, const std::string& bytes, uint32_t encoding) {
    return {label, [bytes, encoding](Child& c) { return c.Own(c.host.NewString(bytes, encoding)); }};
}
Sample New(const std::string& cls) {
    return {"new " + cls, [cls](Child& c) { return c.Own(c.host.NewInstance(cls)); }};
}

// An array of the host's element type `code` holding what each item makes;
// as an address, it goes on the stack as such whatever the declared element.
Sample ArrayOf(const std::string& label, emu::TypeCode code, std::vector<std::function<Value(Child&)>> items,
               bool address = false) {
    return {label, [code, items, address](Child& c) {
        void* a = c.Own(c.host.NewArray(code, (int)items.size())).h;
        for (size_t i = 0; i < items.size(); ++i) c.host.SetElement(a, (int)i, items[i](c));
        return address ? Value::R(a) : Value::H(a);
    }};
}

// The boundary values of each declared type, and which were used.
class Catalog {
public:
    Catalog(emu::Host& host, const Places& places) : host_(host), places_(places) {}

    Samples Of(const std::string& type) {
        std::string t = emu::Lower(type);
        Samples s = Make(type);
        std::string shown;
        for (const Sample& x : s)
            if (x.role != Role::Backing) shown += (shown.empty() ? "" : ", ") + x.label;
        if (!used_.count(t)) order_.push_back(t);
        used_[t] = shown;
        return s;
    }
    // "type  values" for every type used, in order.
    std::string Legend() const {
        std::string out;
        for (const std::string& t : order_) out += "  " + t + std::string(t.size() < 14 ? 14 - t.size() : 1, ' ') + used_.at(t) + "\n";
        return out;
    }

private:
    Samples Make(const std::string& type) {
        using emu::Type;
        emu::DeclaredType d = emu::Classify(type);
        if (d.array) return Arrays(d.name);
        switch (d.type) {
        case Type::String: {
            std::string all(256, 0);
            for (int i = 0; i < 256; ++i) all[i] = (char)i;
            return {Nil(), Str("\"\"", "", emu::kUTF8), Str("\"A\"", "A", emu::kUTF8),
                    Str("4KiB", std::string(4096, 'x'), emu::kUTF8), Str("bad-UTF-8", "\xC3\x28\xA0\xFF", emu::kUTF8),
                    Str("U+E9@MacRoman", "\x8E", emu::kMacRoman), Str("U+E9@Windows-1252", "\xE9", emu::kWindows),
                    Str("U+E9@UTF-8", "\xC3\xA9", emu::kUTF8), Str("U+E9@UTF-16", std::string("\xE9\0", 2), emu::kUTF16),
                    Str("U+E9@UTF-32", std::string("\xE9\0\0\0", 4), emu::kUTF32), Str("\"A\"@ASCII", "A", emu::kASCII),
                    Str("1byte@UTF-16", "A", emu::kUTF16), Str("00..FF@raw", all, emu::kRaw)};
        }
        case Type::Color:
            return {Fixed("&h000000", Value::I(0)), Fixed("&hFFFFFF", Value::I(0xFFFFFF)),
                    Fixed("&hFF000000", Value::I((int32_t)0xFF000000u)), Fixed("&hFFFFFFFF", Value::I(-1))};
        case Type::Integer:
        case Type::UInt32:
            return {Fixed("0", Value::I(0)), Fixed("1", Value::I(1)), Fixed("-1", Value::I(-1)),
                    Fixed("2147483647", Value::I(INT32_MAX), Role::Huge), Fixed("-2147483648", Value::I(INT32_MIN)),
                    Fixed(std::to_string(kBacking), Value::I(kBacking), Role::Backing)};
        case Type::Int64:
        case Type::UInt64:
            return {Fixed("0", Value::L(0)), Fixed("1", Value::L(1)), Fixed("-1", Value::L(-1)),
                    Fixed("9223372036854775807", Value::L(INT64_MAX)), Fixed("-9223372036854775808", Value::L(INT64_MIN))};
        case Type::Double:
        case Type::Single:
            return {Fixed("0", Value::D(0.0)), Fixed("-0", Value::D(-0.0)), Fixed("nan", Value::D(NAN)),
                    Fixed("inf", Value::D(INFINITY)), Fixed("-inf", Value::D(-INFINITY)), Fixed("1e300", Value::D(1e300)),
                    Fixed("2147483647", Value::D(2147483647.0))};
        case Type::Boolean: return {Fixed("false", Value::B(false)), Fixed("true", Value::B(true))};
        case Type::MemoryBlock:
            return {Nil(), {"block(0)", [](Child& c) { return c.Own(c.host.NewMemoryBlock(0)); }},
                    {"block(1)", [](Child& c) {
                         Value v = c.Own(c.host.NewMemoryBlock(1));
                         c.host.BlockData(v.h)[0] = (char)0xFF;
                         return v;
                     }},
                    {"block(?)", [](Child& c) {
                         char* bytes = (char*)malloc(kBacking);
                         memset(bytes, 'x', kBacking);
                         c.buffers.push_back(bytes);
                         return c.Own(c.host.MemoryBlockOver(bytes));
                     }, Role::Unsized}};
        case Type::FolderItem: {
            auto item = [](const std::string& label, const std::string& path) {
                return Sample{label, [path](Child& c) { return c.Own(c.host.FolderItem(path)); }};
            };
            return {Nil(), item("file", places_.file), item("folder", places_.folder), item("missing", places_.missing)};
        }
        case Type::Variant: {
            auto variant = [](const std::string& label, emu::TypeCode type, std::function<Value(Child&)> inner) {
                return Sample{label, [type, inner](Child& c) { return c.Own(c.host.NewVariant(type, inner(c))); }};
            };
            auto object = New("Object").make;
            auto text = Str("", "A", emu::kUTF8).make;
            return {Nil(), variant("variant(0)", emu::kIntegerType, [](Child&) { return Value::I(0); }),
                    variant("variant(nan)", emu::kDoubleType, [](Child&) { return Value::D(NAN); }),
                    variant("variant(\"A\")", emu::kStringType, text),
                    variant("variant(new Object)", emu::kObjectType, object),
                    ArrayOf("array(0 objects)", emu::kObjectType, {}), ArrayOf("array(1 object)", emu::kObjectType, {object}),
                    ArrayOf("array(2 integers)", emu::kIntegerType,
                            {[](Child&) { return Value::I(0); }, [](Child&) { return Value::I(-1); }}),
                    ArrayOf("array(1 string)", emu::kStringType, {text}), New("Object")};
        }
        case Type::Object: {
            Samples s = {Nil(), New("Object")};
            for (emu::ClassDef* c : host_.registry().classes) s.push_back(New(c->name));
            return s;
        }
        case Type::Class:
        case Type::None: break;
        }
        if (emu::HostClass* c = host_.FindClass(d.name)) return {Nil(), New(c->name)};
        return {Nil()};  // a type this host does not know: a zero word
    }

    // nil, an empty array and one holding every value of its element type.
    Samples Arrays(const std::string& element) {
        std::vector<std::function<Value(Child&)>> each;
        for (const Sample& x : Make(element))
            if (x.role != Role::Backing) each.push_back(x.make);
        emu::TypeCode code = emu::ElementCode(emu::Classify(element).type);
        return {Fixed("nil", Value::R(nullptr)), ArrayOf("array(0)", code, {}, true),
                ArrayOf("array(" + std::to_string(each.size()) + ")", code, each, true)};
    }

    emu::Host& host_;
    const Places& places_;
    std::map<std::string, std::string> used_;
    std::vector<std::string> order_;
};

// The value a variable holds, passed through a slot of the parameter's size.
Sample Byref(Sample s, const std::string& type) {
    emu::DeclaredType d = emu::Classify(type);
    emu::Type t = d.array ? emu::Type::Object : d.type;  // an array goes by its handle
    bool wide = emu::Is64(t) || t == emu::Type::Double, handle = emu::IsHandle(t);
    s.make = [inner = s.make, t, wide, handle](Child& c) {
        Value v = inner(c);
        char* slot = (char*)calloc(1, wide ? 8 : 4);
        if (handle) {
            memcpy(slot, &v.h, 4);
            if (v.h) c.host.Lock(v.h);  // the slot's own, which the callee may replace
        } else if (t == emu::Type::Double) {
            memcpy(slot, &v.d, 8);
        } else if (t == emu::Type::Single) {
            float f = (float)v.d;
            memcpy(slot, &f, 4);
        } else if (wide) {
            memcpy(slot, &v.l, 8);
        } else if (t == emu::Type::Boolean) {
            slot[0] = v.b;
        } else {
            memcpy(slot, &v.i, 4);
        }
        c.slots.push_back({slot, handle});
        return Value::R(slot);
    };
    return s;
}

// ---- the calls ---------------------------------------------------------------

// Every combination of one value per dimension.
std::vector<std::vector<int>> AllOf(const std::vector<int>& counts) {
    std::vector<std::vector<int>> out;
    std::vector<int> pick(counts.size(), 0);
    for (;;) {
        out.push_back(pick);
        size_t d = 0;
        while (d < counts.size() && ++pick[d] == counts[d]) pick[d++] = 0;
        if (d == counts.size()) return out;
    }
}

// Every pair of values of any two dimensions in some call: each call starts
// from a pair not yet covered and takes for each other dimension the value
// that covers most pairs not yet covered.
std::vector<std::vector<int>> Pairwise(const std::vector<int>& counts) {
    size_t n = counts.size();
    std::set<std::tuple<size_t, int, size_t, int>> open;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            for (int a = 0; a < counts[i]; ++a)
                for (int b = 0; b < counts[j]; ++b) open.insert({i, a, j, b});
    std::vector<std::vector<int>> out;
    while (!open.empty()) {
        auto [i0, a0, j0, b0] = *open.begin();
        std::vector<int> pick(n, -1);
        pick[i0] = a0, pick[j0] = b0;
        auto gain = [&](size_t d, int v) {
            int g = 0;
            for (size_t k = 0; k < n; ++k)
                if (k != d && pick[k] >= 0)
                    g += (int)open.count(k < d ? std::make_tuple(k, pick[k], d, v) : std::make_tuple(d, v, k, pick[k]));
            return g;
        };
        for (size_t d = 0; d < n; ++d) {
            if (pick[d] >= 0) continue;
            int best = 0;
            for (int v = 1; v < counts[d]; ++v)
                if (gain(d, v) > gain(d, best)) best = v;
            pick[d] = best;
        }
        for (size_t i = 0; i < n; ++i)
            for (size_t j = i + 1; j < n; ++j) open.erase({i, pick[i], j, pick[j]});
        out.push_back(pick);
    }
    return out;
}

struct Member {
    enum Kind { Global, Extension, Method, Shared, Property } kind;
    std::string group, title, name;
    const emu::MethodDef* method = nullptr;
    std::vector<Samples> dims;  // the instance first, if any; then each parameter
    std::vector<std::vector<int>> calls;
    bool pairwise = false;
    std::string refused;        // why it is not called at all
    std::string skipped;        // why the expect file leaves it out
    // As the expect file names it: SetSoundVolumeTKZ, folderitem.DisplayPathTKZ,
    // StdinTKZ.Read (the name of a shared method holds its class already).
    std::string Qualified() const {
        if (kind == Extension) return title.substr(0, title.find('.') + 1) + name;
        return kind == Method || kind == Property ? group.substr(6) + "." + name : name;  // past "class "
    }
};

int Plain(const Samples& s) {
    int n = 0;
    for (const Sample& x : s) n += x.role != Role::Backing;
    return n;
}

// The calls over the first `given` dimensions.
void AddCalls(Member& m, size_t given, bool pairwise) {
    std::vector<int> counts;
    for (size_t d = 0; d < given; ++d) counts.push_back(Plain(m.dims[d]));
    if (std::count(counts.begin(), counts.end(), 0)) return;
    for (std::vector<int> pick : pairwise && given > 2 ? Pairwise(counts) : AllOf(counts)) {
        bool unsized = false;
        for (size_t d = 0; d < given; ++d) unsized |= m.dims[d][pick[d]].role == Role::Unsized;
        for (size_t d = 0; unsized && d < given; ++d)
            if (m.dims[d][pick[d]].role == Role::Huge)
                for (size_t k = 0; k < m.dims[d].size(); ++k)
                    if (m.dims[d][k].role == Role::Backing) pick[d] = (int)k;
        m.calls.push_back(pick);
    }
}

Member MethodMember(Catalog& cat, Member::Kind kind, const std::string& group, const std::string& prefix,
                    const emu::MethodDef& def, const Samples* self) {
    Member m{kind, group, prefix + def.declaration, "", &def};
    emu::Decl d = emu::ParseDecl(def.declaration);
    m.name = d.name;
    if (!d.ok) {
        m.refused = "its declaration is not understood: " + d.error;
        return m;
    }
    if (self) m.dims.push_back(*self);
    size_t required = 0;
    for (size_t i = 0; i < d.params.size(); ++i) {
        const emu::Param& p = d.params[i];
        std::string type = p.array ? p.type + "()" : p.type;
        Samples s = cat.Of(type);
        if (p.byref)
            for (Sample& x : s) x = Byref(x, type);
        m.dims.push_back(s);
        if (p.defaultText.empty()) required = i + 1;
    }
    m.pairwise = d.params.size() > 2;
    // Defaults at the end may be left out, as the host's callers may.
    for (size_t given = required; given <= d.params.size(); ++given) AddCalls(m, (self ? 1 : 0) + given, m.pairwise);
    return m;
}

std::vector<Member> Members(emu::Host& host, Catalog& cat) {
    std::vector<Member> out;
    emu::Registry& r = host.registry();
    for (emu::MethodDef* m : r.methods) out.push_back(MethodMember(cat, Member::Global, "global methods", "", *m, nullptr));
    for (emu::ClassDef* e : r.extensions) {
        Samples self = cat.Of(e->name);
        self.erase(self.begin());  // the host never calls a method on nil
        for (uint32_t i = 0; i < e->methodCount; ++i) {
            out.push_back(MethodMember(cat, Member::Extension, "extension methods", std::string(e->name) + ".",
                                       e->methods[i], &self));
            if (self.empty()) out.back().refused = std::string("this host makes no ") + e->name + " to call it on";
        }
    }
    for (emu::ClassDef* c : r.classes) {
        std::string group = std::string("class ") + c->name;
        Samples self = {New(c->name)};
        for (uint32_t i = 0; i < c->propertyCount; ++i) {
            const emu::PropertyDef& p = c->properties[i];
            Member m{Member::Property, group, std::string("property ") + p.name + " as " + p.type, p.name};
            Samples values = {{"", nullptr}};
            if (p.setter) {
                Samples s = cat.Of(p.type);
                values.insert(values.end(), s.begin(), s.end());
            } else {
                m.title += " (read-only)";
            }
            m.dims = {self, values};
            AddCalls(m, 2, false);
            out.push_back(m);
        }
        for (uint32_t i = 0; i < c->methodCount; ++i)
            out.push_back(MethodMember(cat, Member::Method, group, "method ", c->methods[i], &self));
        for (uint32_t i = 0; i < c->sharedMethodCount; ++i) {
            out.push_back(MethodMember(cat, Member::Shared, group, "shared method ", c->sharedMethods[i], nullptr));
            out.back().name = std::string(c->name) + "." + out.back().name;
        }
    }
    return out;
}

// The call as a programmer would write it: SleepTKZ(2147483647),
// file.DisplayPathTKZ("A"), (new StyleDataTKZ).Red = -1.
std::string Label(const Member& m, const std::vector<int>& pick) {
    std::vector<std::string> a;
    for (size_t i = 0; i < pick.size(); ++i) a.push_back(m.dims[i][pick[i]].label);
    if (m.kind == Member::Property)
        return "(" + a[0] + ")." + m.name + (m.dims[1][pick[1]].make ? " = " + a[1] : "");
    std::string out = m.kind == Member::Extension ? a[0] + "." + m.name
                    : m.kind == Member::Method ? "(" + a[0] + ")." + m.name : m.name;
    size_t first = m.kind == Member::Extension || m.kind == Member::Method ? 1 : 0;
    for (size_t i = first; i < a.size(); ++i) out += (i == first ? "(" : ", ") + a[i];
    return a.size() > first ? out + ")" : out;
}

// In the child: the call, then every reference given back, then what the
// ledger says, one "kind\tdetail" line each, and "done".
void CallInChild(emu::Host& host, const Member& m, const std::vector<int>& pick, int fd) {
    uint64_t mark = host.Mark();
    size_t seen = host.violations.size();
    Child c{host, {}, {}, {}};
    std::vector<Value> v;
    for (size_t i = 0; i < pick.size(); ++i) {
        const Sample& s = m.dims[i][pick[i]];
        v.push_back(s.make ? s.make(c) : Value());
    }
    std::string report;
    Value r;
    bool self = m.kind == Member::Extension || m.kind == Member::Method || m.kind == Member::Property;
    if (self && !v[0].h) {
        report += "not called\tthe host made no instance\n";
    } else if (m.kind == Member::Property) {
        if (m.dims[1][pick[1]].make) host.SetProp(v[0].h, m.name, v[1]);
        r = host.GetProp(v[0].h, m.name);
    } else if (self) {
        r = host.Call(m.method, std::vector<Value>(v.begin() + 1, v.end()), v[0].h);
    } else {
        r = host.Call(m.method, v);
    }
    if (r.kind == Value::Handle && r.h) host.Unlock(r.h);
    size_t during = host.violations.size();
    c.Release();
    for (const emu::Leak& l : host.LiveSince(mark)) report += "leaked\t" + l.what + "\n";
    for (size_t i = seen; i < host.violations.size(); ++i) {
        const emu::Violation& v = host.violations[i];
        // A reference of the caller's found released when the caller gives
        // it back: the plugin released it once too often.
        bool late = v.kind == emu::Violation::UsedAfterRelease;
        bool given = late && i >= during;
        const char* kind = v.kind == emu::Violation::OverReleased || given ? "over-released"
                           : late                                          ? "used after release"
                                                                           : "reference fault";
        report += std::string(kind) + "\t" + (given ? v.what : v.Message()) + "\n";
    }
    report += "done\n";
    for (size_t at = 0; at < report.size();) {
        ssize_t n = write(fd, report.data() + at, report.size() - at);
        if (n <= 0) break;
        at += (size_t)n;
    }
}

// ---- running the children ------------------------------------------------------

struct Finding {
    std::string kind, detail;
    std::string expected;  // the reason --expect gives for it
};

// The first line of a sanitizer's report, if the child's output holds one.
std::string SanitizerLine(const std::string& out) {
    for (size_t at = 0, nl; at < out.size(); at = nl + 1) {
        nl = out.find('\n', at);
        if (nl == std::string::npos) nl = out.size();
        std::string line = out.substr(at, nl - at);
        if (line.find("Sanitizer") != std::string::npos || line.find("runtime error:") != std::string::npos) {
            size_t error = line.find("ERROR: ");  // past "==pid==" and the word
            return ": " + Escape(line.substr(error == std::string::npos ? 0 : error + 7, 160));
        }
    }
    return "";
}

// A signal's name as the headers spell it. The C library's own table
// (sigabbrev_np) is too recent for the older systems tkzhost is built on.
std::string SignalName(int sig) {
    static const std::pair<int, const char*> kNames[] = {
        {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"},   {SIGFPE, "SIGFPE"},   {SIGILL, "SIGILL"},
        {SIGABRT, "SIGABRT"}, {SIGTRAP, "SIGTRAP"}, {SIGSYS, "SIGSYS"},   {SIGKILL, "SIGKILL"},
        {SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"},   {SIGQUIT, "SIGQUIT"}, {SIGHUP, "SIGHUP"},
        {SIGPIPE, "SIGPIPE"}, {SIGALRM, "SIGALRM"}, {SIGXCPU, "SIGXCPU"}, {SIGXFSZ, "SIGXFSZ"},
        {SIGUSR1, "SIGUSR1"}, {SIGUSR2, "SIGUSR2"},
    };
    for (const auto& [number, name] : kNames)
        if (number == sig) return name;
    return "signal " + std::to_string(sig);
}

// What a child's end says: a time-out, a crash, or the report it wrote.
std::vector<Finding> Outcome(const emu::ChildEnd& end) {
    if (!end.error.empty()) return {{"not called", end.error, ""}};
    if (end.timedOut) return {{"time-out", "", ""}};
    if (end.signal) return {{"crash", SignalName(end.signal) + SanitizerLine(end.output), ""}};
    const std::string& r = end.report;
    if (r.size() < 5 || r.compare(r.size() - 5, 5, "done\n") != 0)
        return {{"crash", "ended with status " + std::to_string(end.status) + " in the call" + SanitizerLine(end.output),
                 ""}};
    std::vector<Finding> out;
    for (size_t at = 0, nl; (nl = r.find('\n', at)) != std::string::npos; at = nl + 1) {
        std::string line = r.substr(at, nl - at);
        size_t tab = line.find('\t');
        if (tab != std::string::npos) out.push_back({line.substr(0, tab), Escape(line.substr(tab + 1, 100)), ""});
    }
    return out;
}

// Runs child(i) for every i of `which` in a fresh child, each for limitMs(i)
// at most; its findings go to results[i]. The children of one limit run
// together, four a processor: most calls take far less than a fork, and a
// child that sleeps uses none.
void RunAll(const std::vector<size_t>& which, const std::function<int(size_t)>& limitMs,
            const std::function<void(size_t, int)>& child, std::vector<std::vector<Finding>>& results) {
    std::map<int, std::vector<size_t>> byLimit;
    for (size_t i : which) byLimit[limitMs(i)].push_back(i);
    long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    emu::ChildOptions o;
    o.emptyInput = true;
    o.keepBytes = 256 * 1024;
    o.parallel = 4 * (cpus > 0 ? (int)cpus : 1);
    for (auto& [limit, group] : byLimit) {
        o.limitMs = limit;
        emu::RunChildren(
            group.size(), [&](size_t k, int fd) { return child(group[k], fd), 0; },
            [&](size_t k, emu::ChildEnd& end) { results[group[k]] = Outcome(end); }, o);
    }
}

// ---- known outcomes ---------------------------------------------------------------

struct Expectation {
    bool skip;  // a member left out; else a call's time-out
    std::string pattern, reason, where;
    bool seen = false;
};

// '*' stands for any text.
bool Matches(const char* pattern, const char* text) {
    if (*pattern == '*') return Matches(pattern + 1, text) || (*text && Matches(pattern, text + 1));
    if (*pattern == 0) return *text == 0;
    return *pattern == *text && Matches(pattern + 1, text + 1);
}

// "timeout CALL -- REASON" per line, CALL as the report writes it, or "skip
// MEMBER -- REASON" for a member not to call (one that changes the machine),
// MEMBER its name, with its class for members of classes (StdinTKZ.Read,
// folderitem.DisplayPathTKZ); '*' stands for any text, '#' starts a comment
// line. A crash or a reference fault is never an outcome to expect.
bool ReadExpect(const std::string& path, std::vector<Expectation>* out, std::string* error) {
    std::ifstream f(path);
    if (!f) {
        *error = "cannot read " + Escape(path);
        return false;
    }
    int n = 0;
    for (std::string line; std::getline(f, line);) {
        std::string where = Escape(path) + ":" + std::to_string(++n);
        size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == '#') continue;
        size_t space = line.find(' ', start), dashes = line.find(" -- ");
        std::string outcome = line.substr(start, space == std::string::npos ? space : space - start);
        if (outcome != "timeout" && outcome != "skip") {
            *error = where + ": only a time-out may be expected (or a member skipped), not " + Escape(outcome) +
                     ": a crash or a reference fault is always a fault";
            return false;
        }
        size_t end = line.find_last_not_of(" \t\r");
        if (space == std::string::npos || dashes == std::string::npos || dashes <= space || dashes + 4 > end) {
            *error = where + ": expected \"" + outcome + (outcome == "skip" ? " MEMBER" : " CALL") +
                     " -- REASON\": each known outcome says why";
            return false;
        }
        std::string pattern = line.substr(space + 1, dashes - space - 1);
        size_t a = pattern.find_first_not_of(' '), b = pattern.find_last_not_of(' ');
        if (a == std::string::npos) {
            *error = where + ": no CALL before --";
            return false;
        }
        pattern = pattern.substr(a, b - a + 1);
        out->push_back({outcome == "skip", pattern, line.substr(dashes + 4, end - dashes - 3), where});
    }
    return true;
}

bool MakePlaces(Places* p) {
    char tmpl[] = "/tmp/tkzhost-stress-XXXXXX";
    if (!mkdtemp(tmpl)) return false;
    p->dir = tmpl;
    p->file = p->dir + "/file.txt";
    p->folder = p->dir + "/folder";
    p->missing = p->dir + "/missing.txt";
    std::ofstream(p->file) << "a file\n";
    return mkdir(p->folder.c_str(), 0755) == 0;
}

}  // namespace

int Stress(const std::vector<std::string>& rest) {
    std::string plugin, expectFile;
    bool all = false;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "--expect") {
            if (++i >= rest.size()) return UsageError("--expect needs a FILE");
            expectFile = rest[i];
        } else if (rest[i] == "--all") {
            all = true;
        } else if (plugin.empty() && (rest[i].empty() || rest[i][0] != '-')) {
            plugin = rest[i];
        } else {
            return UsageError("--stress takes one PLUGIN, --expect FILE and --all, not " + Escape(rest[i]));
        }
    }
    if (plugin.empty()) return UsageError("--stress takes one PLUGIN");
    // The plugin's own known outcomes, beside it, unless a file is named.
    if (expectFile.empty() && access((plugin + ".stress").c_str(), R_OK) == 0) expectFile = plugin + ".stress";
    std::vector<Expectation> expected;
    std::string error;
    if (!expectFile.empty() && !ReadExpect(expectFile, &expected, &error)) return UsageError(error);

    // Kept for the life of the process, as the plugin is.
    static emu::Host* host = new emu::Host;
    if (!LoadPlugin(*host, plugin)) return 1;
    Places places;
    if (!MakePlaces(&places)) {
        std::fprintf(stderr, "tkzhost: cannot make a folder in /tmp for the folder items\n");
        return 1;
    }
    Catalog catalog(*host, places);
    std::vector<Member> members = Members(*host, catalog);
    for (Member& m : members)
        for (Expectation& e : expected)
            if (e.skip && Matches(e.pattern.c_str(), m.Qualified().c_str())) {
                e.seen = true;
                if (!all) m.skipped = e.reason, m.calls.clear();
            }
    std::vector<std::pair<size_t, size_t>> calls;  // member, call
    std::vector<std::string> labels;
    std::vector<size_t> everyCall, again;
    for (size_t m = 0; m < members.size(); ++m)
        for (size_t c = 0; c < members[m].calls.size(); ++c) {
            everyCall.push_back(calls.size());
            calls.push_back({m, c});
            labels.push_back(Label(members[m], members[m].calls[c]));
        }

    Clock::time_point start = Clock::now();
    std::vector<std::vector<Finding>> results(calls.size());
    auto child = [&](size_t i, int fd) {
        CrashPlace("--stress: " + labels[i]);
        CallInChild(*host, members[calls[i].first], members[calls[i].first].calls[calls[i].second], fd);
    };
    auto known = [&](size_t i) {
        for (Finding& f : results[i])
            for (Expectation& e : expected)
                if (f.kind == "time-out" && Matches(e.pattern.c_str(), labels[i].c_str())) {
                    f.expected = e.reason;
                    e.seen = true;
                    break;
                }
    };
    // A call the expect file says never returns is not waited for as long.
    auto limit = [&](size_t i) {
        for (const Expectation& e : expected)
            if (!e.skip && Matches(e.pattern.c_str(), labels[i].c_str())) return kKnownMs;
        return kLimitMs;
    };
    RunAll(everyCall, limit, child, results);
    for (size_t i : everyCall) {
        known(i);
        if (!results[i].empty() && results[i][0].kind == "time-out" && results[i][0].expected.empty() &&
            again.size() < kRetries)
            again.push_back(i);
    }
    RunAll(again, [](size_t) { return kRetryMs; }, child, results);
    for (size_t i : again) known(i);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    unlink(places.file.c_str());
    rmdir(places.folder.c_str());
    rmdir(places.dir.c_str());

    std::printf("tkzhost --stress %s: every registered member, each call in a child of its own\n"
                "with empty standard input, %d s at most (%.1f s for the time-outs the expect file\n"
                "names; the first time-outs not expected are tried again with %d s).\n"
                "Expect file: %s\n"
                "Values by declared type (beside a block of unknown size, whose length is the\n"
                "caller's word, 2147483647 becomes %d, the bytes behind it):\n%s",
                Escape(plugin).c_str(), kLimitMs / 1000, kKnownMs / 1000.0, kRetryMs / 1000,
                expectFile.empty() ? "none (no --expect FILE, no PLUGIN.stress)" : Escape(expectFile).c_str(), kBacking,
                catalog.Legend().c_str());
    std::map<std::string, int> counts;
    int unexpected = 0;
    std::string knownList;  // what the expect file knew of, for the summary
    std::string group;
    for (size_t m = 0, i = 0; m < members.size(); ++m) {
        const Member& mem = members[m];
        if (mem.group != group) std::printf("%s:\n", (group = mem.group).c_str());
        if (!mem.skipped.empty())
            std::printf("  %s: not called: %s\n", mem.title.c_str(), Escape(mem.skipped).c_str());
        else
            std::printf("  %s: %zu call%s%s\n", mem.title.c_str(), mem.calls.size(), mem.calls.size() == 1 ? "" : "s",
                        mem.pairwise ? " (every pair of values)" : "");
        if (!mem.refused.empty()) {
            std::printf("    not called: %s\n", Escape(mem.refused).c_str());
            ++unexpected;
        }
        if (!mem.skipped.empty()) knownList += "  not called: " + mem.Qualified() + " -- " + Escape(mem.skipped) + "\n";
        int shown = 0, more = 0;
        for (size_t c = 0; c < mem.calls.size(); ++c, ++i) {
            for (const Finding& f : results[i]) {
                ++counts[f.kind + (f.expected.empty() ? "" : " (expected)")];
                unexpected += f.expected.empty();
                if (++shown > 20) {
                    ++more;
                    continue;
                }
                if (!f.expected.empty()) knownList += "  " + f.kind + ": " + labels[i] + " -- " + f.expected + "\n";
                std::printf("    %s%s: %s%s\n", f.kind.c_str(),
                            f.expected.empty() ? "" : (" (expected: " + f.expected + ")").c_str(), labels[i].c_str(),
                            f.detail.empty() ? "" : (": " + f.detail).c_str());
            }
        }
        if (more) std::printf("    ... and %d more\n", more);
    }
    if (!knownList.empty())
        std::printf("Known outcomes, as %s says%s:\n%s", Escape(expectFile).c_str(),
                    all ? "" : " (--all calls the members not called)", knownList.c_str());
    for (const Expectation& e : expected)
        if (!e.seen)
            std::printf("%s: expected, not seen: %s %s\n", e.where.c_str(), e.skip ? "skip" : "timeout", e.pattern.c_str());
    const std::map<std::string, std::pair<const char*, const char*>> nouns = {
        {"crash", {"crash", "crashes"}}, {"time-out", {"time-out", "time-outs"}}, {"leaked", {"leak", "leaks"}},
        {"over-released", {"release too many", "releases too many"}},
        {"used after release", {"use after release", "uses after release"}},
        {"reference fault", {"reference fault", "reference faults"}}, {"not called", {"call not made", "calls not made"}}};
    std::string tally;
    for (auto& [kind, n] : counts) {
        std::string word = kind.substr(0, kind.find(" ("));
        auto noun = nouns.find(word);
        if (noun != nouns.end()) word = (n > 1 ? noun->second.second : noun->second.first) + kind.substr(word.size());
        tally += (tally.empty() ? "" : ", ") + std::to_string(n) + " " + word;
    }
    std::printf("%zu calls to %zu members in %.1f s: %s; %s\n", calls.size(), members.size(), seconds,
                tally.empty() ? "no crash, time-out or reference fault" : tally.c_str(),
                unexpected ? (std::to_string(unexpected) + " unexpected").c_str() : "nothing unexpected");
    std::fflush(stdout);
    return unexpected ? 4 : 0;
}

}  // namespace tkzhost
