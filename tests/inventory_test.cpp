// The registered global methods are wired to their own behaviour: each,
// called by its place in the registration with real input, gives its own
// answer, not a failure value standing in for it. (Each behaviour in full is
// in its subsystem's suite; tkzhost --stress calls every member with
// boundary values and checks references.)
#include "support.h"

#include <cstring>
#include <unistd.h>

using emu::Value;

namespace {
Value H(const void* p) { return Value::H(p); }

// An answer as text: a number (true is 1), a string's bytes in quotes, a
// memory block's in brackets, an object's class.
std::string Shown(tkz::Session& s, const Value& v) {
    if (v.kind != Value::Handle) return v.kind == Value::Double ? std::to_string(v.d) : std::to_string(v.kind == Value::Bool ? v.b : v.i);
    emu::HostClass* c = v.h ? s.host.ClassOf(v.h) : nullptr;
    if (c == nullptr) return v.h ? "'" + s.Bytes(v.h) + "'" : "nil";
    return c->kind == emu::kMemoryBlock ? "[" + s.host.BlockBytes(v.h) + "]" : c->name;
}
}  // namespace

PLUGIN_TEST(Inventory, GlobalMethodsAnswerByTheirPlace) {
    s.host.DefineClass("Animal");
    void* animal = s.New("Animal");
    void* animals = s.Own(s.host.NewArray(9, 1));
    s.host.SetElement(animals, 0, H(animal));
    void* mb = s.Own(s.host.NewMemoryBlock(5));
    memcpy(s.host.BlockData(mb), "hello", 5);
    char dir[] = "/tmp/tkz-inventory-XXXXXX", cwd[4096];
    void* folder = s.Own(s.host.FolderItem(mkdtemp(dir)));
    std::string uuid = "{0123ABCD-4567-89ab-CDEF-0123456789ab}", mac = std::string("\x01\x00", 2) + std::string(20, '\0');
    void* retag = s.Str("abc");
    const std::vector<emu::MethodDef*>& methods = s.host.registry().methods;
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const struct { int n; std::vector<Value> args; std::string answer; } rows[] = {
        {1, {H(s.Str(uuid)), Value::I(0)}, "'" + uuid + "'"},
        {2, {H(animals), H(s.Str("Animal"))}, "1"}, {3, {H(animal), H(s.Str("Animal"))}, "1"},
        {4, {H(folder)}, "1"},
        {5, {H(s.Str("Hi")), H(s.Str(mac, emu::kRaw))}, "StyleDataListTKZ"},
        {6, {H(s.Str("Hi")), H(s.Str("\x01\x05", emu::kRaw))}, "StyleDataListTKZ"},
        {7, {H(s.Str("abc"))}, "4915"}, {8, {H(s.Str("abc"))}, std::to_string(0x08000100)},
        {9, {H(retag), Value::I(0x600)}, "0"}, {12, {H(s.Str("hello"))}, "[hello]"},
        {10, {Value::I(0x54455854)}, "'TEXT'"}, {11, {H(s.Str("TEXT"))}, std::to_string(0x54455854)},
        {13, {H(mb)}, "'hello'"}, {14, {H(mb), Value::I(2)}, "'he'"},
        {16, {H(mb)}, "[hello]"}, {17, {H(mb), Value::I(3)}, "[hel]"},
        {15, {H(s.Str("x"))}, "'x'"}, {21, {H(s.Str("abcd")), Value::I(32)}, "'ABCD'"},
        {28, {}, "0.000000"}, {30, {}, "0.000000"}, {32, {}, "0"},
        {37, {H(mb)}, "nil"}, {38, {H(mb)}, "nil"}, {39, {H(mb), H(s.Str("n"))}, "nil"},
    };
    for (const auto& r : rows) {
        Value v = s.host.Call(methods[r.n - 1], r.args);
        EXPECT_EQ(Shown(s, v.kind == Value::Handle ? H(s.Own(v.h)) : v), r.answer) << methods[r.n - 1]->declaration;
    }
    EXPECT_EQ(s.Enc(retag), emu::kASCII);
    EXPECT_EQ(chdir(cwd), 0);
    // The console callbacks' addresses.
    for (int n : {18, 19, 20}) EXPECT_NE(s.host.Call(methods[n - 1], {}).i, 0);
}
