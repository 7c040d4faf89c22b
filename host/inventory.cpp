// What a plugin registered, as a readable listing (tkzhost --list).
#include "host.h"

#include <cstring>
#include <map>

namespace host {

namespace {

// The listing's lines; {name} and the like are filled in by Fill.
struct InventoryStyle {
    const char *globals, *global, *extensions, *extensionMethod;
    const char *classes, *cls, *property, *method, *sharedMethod, *destructor;
};
const InventoryStyle kListing = {
    "global methods ({count}):\n",
    "  {n}. {decl}\n",
    "extension methods ({count}):\n",
    "  {name}.{decl}\n",
    "classes ({count}):\n",
    "  {name}  data {size} bytes\n",
    "    property {name} as {type}  ({access}{detail})\n",
    "    method {decl}\n",
    "    shared method {decl}\n",
    "    destructor\n",
};

std::string Fill(const char* text, const std::map<std::string, std::string>& fields) {
    std::string out;
    for (const char* p = text; *p;) {
        const char* close = *p == '{' ? strchr(p, '}') : nullptr;
        auto it = close ? fields.find(std::string(p + 1, close)) : fields.end();
        if (it == fields.end()) {
            out += *p++;
            continue;
        }
        out += it->second;
        p = close + 1;
    }
    return out;
}

}  // namespace

std::string DescribeRegistry(Host& host) {
    const InventoryStyle& st = kListing;
    Registry& r = host.registry();
    std::string out = Fill(st.globals, {{"count", std::to_string(r.methods.size())}});
    for (size_t i = 0; i < r.methods.size(); ++i)
        out += Fill(st.global, {{"n", std::to_string(i + 1)}, {"decl", r.methods[i]->declaration}});
    size_t ext = 0;
    for (ClassDef* e : r.extensions) ext += e->methodCount;
    out += Fill(st.extensions, {{"count", std::to_string(ext)}});
    for (ClassDef* e : r.extensions) {
        for (uint32_t i = 0; i < e->methodCount; ++i)
            out += Fill(st.extensionMethod, {{"name", e->name}, {"decl", e->methods[i].declaration}});
    }
    out += Fill(st.classes, {{"count", std::to_string(r.classes.size())}});
    for (ClassDef* c : r.classes) {
        out += Fill(st.cls, {{"name", c->name}, {"size", std::to_string(c->dataSize)}});
        for (uint32_t i = 0; i < c->propertyCount; ++i) {
            const PropertyDef& p = c->properties[i];
            std::string detail = p.setter != nullptr && p.setter != kDirect ? ", custom setter" : "";
            if (p.getter != kDirect) detail += ", custom getter";
            out += Fill(st.property, {{"name", p.name},
                                      {"type", p.type},
                                      {"access", p.setter == nullptr ? "read-only" : "read/write"},
                                      {"detail", detail}});
        }
        for (uint32_t i = 0; i < c->methodCount; ++i) out += Fill(st.method, {{"decl", c->methods[i].declaration}});
        for (uint32_t i = 0; i < c->sharedMethodCount; ++i)
            out += Fill(st.sharedMethod, {{"decl", c->sharedMethods[i].declaration}});
        if (c->destructor) out += st.destructor;
    }
    return out;
}

}  // namespace host
