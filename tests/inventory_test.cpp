// The whole registered interface answers: every global method, extension
// method and class member is called once with real input and gives the
// answer of its own behaviour, not a failure value standing in for it.
#include "support.h"

#include <fcntl.h>
#include <unistd.h>

using emu::Value;

namespace {
Value H(const void* p) { return Value::H(p); }
}  // namespace

PLUGIN_TEST(Inventory, EveryGlobalMethodAnswers) {
    s.host.DefineClass("Animal");
    void* animal = s.New("Animal");
    void* animals = s.Own(s.host.NewArray(9, 1));
    s.host.SetElement(animals, 0, H(animal));
    void* block = s.Own(s.host.NewMemoryBlock(4));
    char dir[] = "/tmp/tkz-inventory-XXXXXX";
    void* folder = s.Own(s.host.FolderItem(mkdtemp(dir)));
    std::string uuid = "{0123ABCD-4567-89ab-CDEF-0123456789ab}";

    std::set<std::string> called;
    auto call = [&](const std::string& decl, std::vector<Value> args) {
        called.insert(decl);
        const emu::MethodDef* m = s.host.GlobalMethod(decl);
        EXPECT_NE(m, nullptr) << decl;
        Value v = s.host.Call(m, args);
        if (v.kind == Value::Handle) s.Own(v.h);
        return v;
    };
    const auto& r = s.host.registry().methods;
    auto decl = [&](int i) { return std::string(r[i - 1]->declaration); };

    EXPECT_EQ(s.Bytes(call(decl(1), {H(s.Str(uuid)), Value::I(0)}).h), uuid);
    EXPECT_TRUE(call(decl(2), {H(animals), H(s.Str("Animal"))}).b);
    EXPECT_TRUE(call(decl(3), {H(animal), H(s.Str("Animal"))}).b);
    char cwd[4096];
    std::string before = getcwd(cwd, sizeof cwd);
    EXPECT_TRUE(call(decl(4), {H(folder)}).b);
    EXPECT_EQ(chdir(before.c_str()), 0);
    std::string mac = std::string("\x01\x00", 2) + std::string(20, '\0');
    EXPECT_NE(call(decl(5), {H(s.Str("Hi")), H(s.Str(mac, emu::kRaw))}).h, nullptr);
    EXPECT_NE(call(decl(6), {H(s.Str("Hi")), H(s.Str("\x01\x05", emu::kRaw))}).h, nullptr);
    EXPECT_EQ(call(decl(7), {H(s.Str("abc"))}).i, 4915);
    EXPECT_EQ(call(decl(8), {H(s.Str("abc"))}).i, 0x08000100);
    void* retag = s.Str("abc");
    call(decl(9), {H(retag), Value::I(0x600)});
    EXPECT_EQ(s.Enc(retag), emu::kASCII);
    EXPECT_EQ(s.Bytes(call(decl(10), {Value::I(0x54455854)}).h), "TEXT");
    EXPECT_EQ(call(decl(11), {H(s.Str("TEXT"))}).i, 0x54455854);
    Value mb = call(decl(12), {H(s.Str("hello"))});
    EXPECT_EQ(s.host.BlockBytes(mb.h), "hello");
    EXPECT_EQ(s.Bytes(call(decl(13), {mb}).h), "hello");
    EXPECT_EQ(s.Bytes(call(decl(14), {mb, Value::I(2)}).h), "he");
    EXPECT_EQ(s.Bytes(call(decl(15), {H(s.Str("x"))}).h), "x");
    EXPECT_EQ(s.host.BlockBytes(call(decl(16), {mb}).h), "hello");
    EXPECT_EQ(s.host.BlockBytes(call(decl(17), {mb, Value::I(3)}).h), "hel");
    for (int i : {18, 19, 20}) EXPECT_NE(call(decl(i), {}).i, 0) << decl(i);
    EXPECT_EQ(s.Bytes(call(decl(21), {H(s.Str("abcd")), Value::I(32)}).h), "ABCD");
    for (int i : {22, 23}) call(decl(i), {Value::D(0.01)});
    call(decl(24), {Value::D(0.01), Value::I(1)});
    call(decl(25), {Value::D(0.5)});  // whatever this machine's sound card does
    for (int i : {26, 28, 30}) EXPECT_EQ(call(decl(i), {}).d, 0.0) << decl(i);
    for (int i : {27, 29}) call(decl(i), {Value::D(0.5)});
    call(decl(31), {Value::B(true)});
    EXPECT_FALSE(call(decl(32), {}).b);
    for (int i : {33, 34, 35}) call(decl(i), {});
    EXPECT_GE(call(decl(36), {}).i, 0);
    EXPECT_EQ(call(decl(37), {H(block)}).h, nullptr);
    EXPECT_EQ(call(decl(38), {H(block)}).h, nullptr);
    EXPECT_EQ(call(decl(39), {H(block), H(s.Str("n"))}).h, nullptr);
    EXPECT_EQ(called.size(), 39u) << "every declaration, both DelayTKZ overloads included";
}

PLUGIN_TEST(Inventory, EveryClassMemberAnswers) {
    // StdinTKZ over a prepared input, StdoutTKZ into /dev/null.
    char path[] = "/tmp/tkz-inventory-in-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_EQ(write(fd, "7 2.5 word xyz", 14), 14);
    lseek(fd, 0, SEEK_SET);
    dup2(fd, 0);
    close(fd);
    unlink(path);
    long n = 0;
    double d = 0;
    void* word = nullptr;
    EXPECT_TRUE(s.Method(nullptr, "StdinTKZ", "IsReady").b);
    EXPECT_EQ(s.Method(nullptr, "StdinTKZ", "ReadInteger", {Value::R(&n)}).i, 1);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(s.Method(nullptr, "StdinTKZ", "ReadDouble", {Value::R(&d)}).i, 1);
    EXPECT_EQ(s.Method(nullptr, "StdinTKZ", "ReadString", {Value::R(&word)}).i, 1);
    s.Own(word);
    EXPECT_EQ(s.Bytes(word), "word");
    EXPECT_EQ(s.Method(nullptr, "StdinTKZ", "GetCharacter").i, ' ');
    EXPECT_EQ(s.Bytes(s.Method(nullptr, "StdinTKZ", "Read", {Value::I(2)}).h), "xy");
    s.Method(nullptr, "StdinTKZ", "Flush");
    int saved = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    void* out = s.New("StdoutTKZ");
    s.Method(out, "StdoutTKZ", "Write", {H(s.Str("x"))});
    s.Method(out, "StdoutTKZ", "Flush");
    fflush(stdout);
    dup2(saved, 1);
    close(null);
    close(saved);

    void* list = s.Call("DecompileWinStyleDataTKZ", {H(s.Str("ab")), H(s.Str("\x01\x05\x02\x06", emu::kRaw))}).h;
    EXPECT_EQ(s.Prop(list, "Count").i, 2);
    void* run = s.Method(list, "StyleDataListTKZ", "Style", {Value::I(2)}).h;
    EXPECT_EQ(s.Bytes(s.Prop(run, "Text").h), "b");
    EXPECT_TRUE(s.Prop(run, "Italic").b);

    void* tz = s.New("TimeZoneTKZ");
    EXPECT_EQ(s.Prop(tz, "Latitude").d, 0.0);
    EXPECT_EQ(s.Prop(tz, "GmtDeltaHours").i, 0);

    void* item = s.Own(s.host.SyntheticItem("a.txt", "a.txt", nullptr));
    EXPECT_EQ(s.Bytes(s.Method(item, "folderitem", "DisplayPathTKZ").h), "a.txt");
    EXPECT_EQ(s.Bytes(s.Method(item, "folderitem", "NameExtensionTKZ").h), "txt");
    EXPECT_EQ(s.Bytes(s.Method(item, "folderitem", "NameWithoutExtensionTKZ").h), "a");
    EXPECT_EQ(s.Method(item, "folderitem", "VolumeSizeTKZ").l, -1);
    EXPECT_TRUE(s.Method(item, "folderitem", "IsFileDataForkOpenReadWriteTKZ").b) << "no such file";
}
