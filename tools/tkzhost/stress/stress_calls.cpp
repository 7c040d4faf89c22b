// What to call, and with which values (stress_calls.h).
#include "stress_calls.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace tkzhost::stress {

std::string Member::Qualified() const {
    if (kind == Extension) return title.substr(0, title.find('.') + 1) + name;
    return kind == Method || kind == Property ? group.substr(6) + "." + name : name;  // past "class "
}

namespace {

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

// How many values of a dimension a call may take (the bytes behind a block
// of unknown size only replace one).
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
    for (std::vector<int> pick : pairwise&& given > 2 ? Pairwise(counts) : AllOf(counts)) {
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
                    const host::MethodDef& def, const Samples* self) {
    Member m{kind, group, prefix + def.declaration, "", &def};
    host::Decl d = host::ParseDecl(def.declaration);
    m.name = d.name;
    if (!d.ok) {
        m.refused = "its declaration is not understood: " + d.error;
        return m;
    }
    if (self) m.dims.push_back(*self);
    size_t required = 0;
    for (size_t i = 0; i < d.params.size(); ++i) {
        const host::Param& p = d.params[i];
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

// The call as a programmer would write it.
std::string Label(const Member& m, const std::vector<int>& pick) {
    std::vector<std::string> a;
    for (size_t i = 0; i < pick.size(); ++i) a.push_back(m.dims[i][pick[i]].label);
    if (m.kind == Member::Property) return "(" + a[0] + ")." + m.name + (m.dims[1][pick[1]].make ? " = " + a[1] : "");
    std::string out = m.kind == Member::Extension ? a[0] + "." + m.name
                      : m.kind == Member::Method  ? "(" + a[0] + ")." + m.name
                                                  : m.name;
    size_t first = m.kind == Member::Extension || m.kind == Member::Method ? 1 : 0;
    for (size_t i = first; i < a.size(); ++i) out += (i == first ? "(" : ", ") + a[i];
    return a.size() > first ? out + ")" : out;
}

}  // namespace

std::vector<Member> Members(host::Host& host, Catalog& cat) {
    std::vector<Member> out;
    host::Registry& r = host.registry();
    for (host::MethodDef* m : r.methods)
        out.push_back(MethodMember(cat, Member::Global, "global methods", "", *m, nullptr));
    for (host::ClassDef* e : r.extensions) {
        Samples self = cat.Of(e->name);
        self.erase(self.begin());  // the host never calls a method on nil
        for (uint32_t i = 0; i < e->methodCount; ++i) {
            out.push_back(MethodMember(cat, Member::Extension, "extension methods", std::string(e->name) + ".",
                                       e->methods[i], &self));
            if (self.empty()) out.back().refused = std::string("this host makes no ") + e->name + " to call it on";
        }
    }
    for (host::ClassDef* c : r.classes) {
        std::string group = std::string("class ") + c->name;
        Samples self = {New(c->name)};
        for (uint32_t i = 0; i < c->propertyCount; ++i) {
            const host::PropertyDef& p = c->properties[i];
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

std::vector<Call> Calls(const std::vector<Member>& members) {
    std::vector<Call> out;
    for (size_t m = 0; m < members.size(); ++m)
        for (size_t c = 0; c < members[m].calls.size(); ++c)
            out.push_back({m, c, Label(members[m], members[m].calls[c])});
    return out;
}

}  // namespace tkzhost::stress
