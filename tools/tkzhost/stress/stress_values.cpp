// The boundary values of each declared type (stress_values.h).
#include "stress_values.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tkzhost::stress {

using host::Value;

bool Places::Make() {
    char tmpl[] = "/tmp/tkzhost-stress-XXXXXX";
    if (!mkdtemp(tmpl)) return false;
    dir = tmpl;
    file = dir + "/file.txt";
    folder = dir + "/folder";
    missing = dir + "/missing.txt";
    std::ofstream(file) << "a file\n";
    return mkdir(folder.c_str(), 0755) == 0;
}

void Places::Remove() const {
    unlink(file.c_str());
    rmdir(folder.c_str());
    rmdir(dir.c_str());
}

void Child::Release() {
    for (host::ByrefSlot& slot : slots) slot.Release();  // with the reference it holds
    slots.clear();
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) host.Unlock(*it);
    for (void* e : host.raised) host.Unlock(e);
    host.raised.clear();
    for (void* b : buffers) free(b);
}

namespace {

Sample Fixed(const std::string& label, Value v, Role role = Role::Plain) {
    return {label, [v](Child&) { return v; }, role};
}

Sample Nil() { return Fixed("nil", Value::H(nullptr)); }
Sample Str(const std::string& label, const std::string& bytes, uint32_t encoding) {
    return {label, [bytes, encoding](Child& c) { return c.Own(c.host.NewString(bytes, encoding)); }};
}

// An array of the host's element type `code` holding what each item makes;
// as an address, it goes on the stack as such whatever the declared element.
Sample ArrayOf(const std::string& label, host::TypeCode code, std::vector<std::function<Value(Child&)>> items,
               bool address = false) {
    return {label, [code, items, address](Child& c) {
                void* a = c.Own(c.host.NewArray(code, (int)items.size())).h;
                for (size_t i = 0; i < items.size(); ++i) c.host.SetElement(a, (int)i, items[i](c));
                return address ? Value::R(a) : Value::H(a);
            }};
}

// Strings of every length, tag and kind of bytes the host hands out.
Samples Strings() {
    std::string all(256, 0);
    for (int i = 0; i < 256; ++i) all[i] = (char)i;
    return {Nil(),
            Str("\"\"", "", host::kUTF8),
            Str("\"A\"", "A", host::kUTF8),
            Str("4KiB", std::string(4096, 'x'), host::kUTF8),
            Str("bad-UTF-8", "\xC3\x28\xA0\xFF", host::kUTF8),
            Str("U+E9@MacRoman", "\x8E", host::kMacRoman),
            Str("U+E9@Windows-1252", "\xE9", host::kWindows),
            Str("U+E9@UTF-8", "\xC3\xA9", host::kUTF8),
            Str("U+E9@UTF-16", std::string("\xE9\0", 2), host::kUTF16),
            Str("U+E9@UTF-32", std::string("\xE9\0\0\0", 4), host::kUTF32),
            Str("\"A\"@ASCII", "A", host::kASCII),
            Str("1byte@UTF-16", "A", host::kUTF16),
            Str("00..FF@raw", all, host::kRaw)};
}

// The numbers and booleans, by type.
Samples Numbers(host::Type type) {
    using host::Type;
    switch (type) {
        case Type::Color:
            return {Fixed("&h000000", Value::I(0)), Fixed("&hFFFFFF", Value::I(0xFFFFFF)),
                    Fixed("&hFF000000", Value::I((int32_t)0xFF000000u)), Fixed("&hFFFFFFFF", Value::I(-1))};
        case Type::Integer:
        case Type::UInt32:
            return {Fixed("0", Value::I(0)),
                    Fixed("1", Value::I(1)),
                    Fixed("-1", Value::I(-1)),
                    Fixed("2147483647", Value::I(INT32_MAX), Role::Huge),
                    Fixed("-2147483648", Value::I(INT32_MIN)),
                    Fixed(std::to_string(kBacking), Value::I(kBacking), Role::Backing)};
        case Type::Int64:
        case Type::UInt64:
            return {Fixed("0", Value::L(0)), Fixed("1", Value::L(1)), Fixed("-1", Value::L(-1)),
                    Fixed("9223372036854775807", Value::L(INT64_MAX)),
                    Fixed("-9223372036854775808", Value::L(INT64_MIN))};
        case Type::Double:
        case Type::Single:
            return {Fixed("0", Value::D(0.0)),
                    Fixed("-0", Value::D(-0.0)),
                    Fixed("nan", Value::D(NAN)),
                    Fixed("inf", Value::D(INFINITY)),
                    Fixed("-inf", Value::D(-INFINITY)),
                    Fixed("1e300", Value::D(1e300)),
                    Fixed("2147483647", Value::D(2147483647.0))};
        default:  // Boolean
            return {Fixed("false", Value::B(false)), Fixed("true", Value::B(true))};
    }
}

// Blocks empty, of one byte, and of a size the host does not know.
Samples Blocks() {
    return {Nil(),
            {"block(0)", [](Child& c) { return c.Own(c.host.NewMemoryBlock(0)); }},
            {"block(1)",
             [](Child& c) {
                 Value v = c.Own(c.host.NewMemoryBlock(1));
                 c.host.BlockData(v.h)[0] = (char)0xFF;
                 return v;
             }},
            {"block(?)",
             [](Child& c) {
                 char* bytes = (char*)malloc(kBacking);
                 memset(bytes, 'x', kBacking);
                 c.buffers.push_back(bytes);
                 return c.Own(c.host.MemoryBlockOver(bytes));
             },
             Role::Unsized}};
}

// Folder items of a file, a folder and a path that is neither.
Samples Items(const Places& places) {
    auto item = [](const std::string& label, const std::string& path) {
        return Sample{label, [path](Child& c) { return c.Own(c.host.FolderItem(path)); }};
    };
    return {Nil(), item("file", places.file), item("folder", places.folder), item("missing", places.missing)};
}

// Variants of each kind a variant holds, arrays among them.
Samples Variants() {
    auto variant = [](const std::string& label, host::TypeCode type, std::function<Value(Child&)> inner) {
        return Sample{label, [type, inner](Child& c) { return c.Own(c.host.NewVariant(type, inner(c))); }};
    };
    auto object = New("Object").make;
    auto text = Str("", "A", host::kUTF8).make;
    return {Nil(),
            variant("variant(0)", host::kIntegerType, [](Child&) { return Value::I(0); }),
            variant("variant(nan)", host::kDoubleType, [](Child&) { return Value::D(NAN); }),
            variant("variant(\"A\")", host::kStringType, text),
            variant("variant(new Object)", host::kObjectType, object),
            ArrayOf("array(0 objects)", host::kObjectType, {}),
            ArrayOf("array(1 object)", host::kObjectType, {object}),
            ArrayOf("array(2 integers)", host::kIntegerType,
                    {[](Child&) { return Value::I(0); }, [](Child&) { return Value::I(-1); }}),
            ArrayOf("array(1 string)", host::kStringType, {text}),
            New("Object")};
}

}  // namespace

Sample New(const std::string& cls) {
    return {"new " + cls, [cls](Child& c) { return c.Own(c.host.NewInstance(cls)); }};
}

Samples Catalog::Of(const std::string& type) {
    std::string t = host::Lower(type);
    Samples s = Make(type);
    std::string shown;
    for (const Sample& x : s)
        if (x.role != Role::Backing) shown += (shown.empty() ? "" : ", ") + x.label;
    if (!used_.count(t)) order_.push_back(t);
    used_[t] = shown;
    return s;
}

std::string Catalog::Legend() const {
    std::string out;
    for (const std::string& t : order_)
        out += "  " + t + std::string(t.size() < 14 ? 14 - t.size() : 1, ' ') + used_.at(t) + "\n";
    return out;
}

Samples Catalog::Make(const std::string& type) {
    using host::Type;
    host::DeclaredType d = host::Classify(type);
    if (d.array) return Arrays(d.name);
    switch (d.type) {
        case Type::String: return Strings();
        case Type::Color:
        case Type::Integer:
        case Type::UInt32:
        case Type::Int64:
        case Type::UInt64:
        case Type::Double:
        case Type::Single:
        case Type::Boolean: return Numbers(d.type);
        case Type::MemoryBlock: return Blocks();
        case Type::FolderItem: return Items(places_);
        case Type::Variant: return Variants();
        case Type::Object: {
            Samples s = {Nil(), New("Object")};
            for (host::ClassDef* c : host_.registry().classes) s.push_back(New(c->name));
            return s;
        }
        case Type::Class:
        case Type::None: break;
    }
    if (host::HostClass* c = host_.FindClass(d.name)) return {Nil(), New(c->name)};
    return {Nil()};  // a type this host does not know: a zero word
}

// nil, an empty array and one holding every value of its element type.
Samples Catalog::Arrays(const std::string& element) {
    std::vector<std::function<Value(Child&)>> each;
    for (const Sample& x : Make(element))
        if (x.role != Role::Backing) each.push_back(x.make);
    host::TypeCode code = host::ElementCode(host::Classify(element).type);
    return {Fixed("nil", Value::R(nullptr)), ArrayOf("array(0)", code, {}, true),
            ArrayOf("array(" + std::to_string(each.size()) + ")", code, each, true)};
}

Sample Byref(Sample s, const std::string& type) {
    s.make = [inner = s.make, type](Child& c) {
        Value v = inner(c);
        return c.slots.emplace_back(c.host, type, v).Address();
    };
    return s;
}

}  // namespace tkzhost::stress
