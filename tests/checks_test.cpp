// UUID validation and the class tests by name, called through the
// registered table as the host calls them.
#include "support.h"

using host::Value;
using tkz::Got;
using tkz::H;
using tkz::Tagged;

namespace {
void DefineAnimals(tkz::Session& s) {
    s.host.DefineClass("Animal");
    s.host.DefineClass("Dog", "Animal");
    s.host.DefineClass("Cat", "Animal");
}

}  // namespace

// ---- UUID -----------------------------------------------------------------------

// Digits are 0-9, a-f and A-F: each end of those ranges, and the character
// just beyond it, stands in for the last digit (the forms of every mode are
// fuzz_uuid's, whose random text seldom lands on these).
PLUGIN_TEST(Uuid, TheEndsOfTheDigits) {
    const std::string bare = "0123ABCD-4567-89ab-CDEF-0123456789ab";
    for (char c : std::string("/09:@AFG`afg")) {
        void* got = s.Call("ValidateUUIDTKZ", {H(s.Str(bare.substr(0, 35) + c)), Value::I(1)}).h;
        EXPECT_EQ(Got(s, got), isxdigit(c) ? Tagged(bare.substr(0, 35) + c, host::kASCII) : "nil") << c;
    }
}

// ---- class tests ----------------------------------------------------------------

PLUGIN_TEST(ClassTests, ObjectIsA) {
    DefineAnimals(s);
    void* dog = s.New("Dog");
    void* run = s.Own(s.host.NewInstance("StyleDataTKZ"));
    std::tuple<void*, void*, bool> rows[] = {
        {dog, s.Str("Animal"), true},
        {dog, s.Str("Dog"), true},
        {dog, s.Str("Cat"), false},
        {dog, s.Str(""), false},
        {dog, nullptr, false},
        {nullptr, s.Str("Dog"), false},
        {run, s.Str("StyleDataTKZ"), true},
        {run, s.Str("Object"), true},
    };
    int row = 0;
    for (auto& [o, name, is] : rows) EXPECT_EQ(s.Call("ObjectIsATKZ", {H(o), H(name)}).b, is) << "row " << row++;
}

// Only element 0 counts. Not an array of objects: false without looking at
// the name (a name that would need converting is never converted).
PLUGIN_TEST(ClassTests, ArrayIsA) {
    DefineAnimals(s);
    void *dog = s.New("Dog"), *cat = s.New("Cat");
    auto objects = [&](std::vector<void*> items) {
        void* a = s.Own(s.host.NewArray(9, (int)items.size()));
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i]) s.host.SetElement(a, (int)i, H(items[i]));
        return a;
    };
    void* windowsName = s.Str("Dog", host::kWindows);
    int conversions = s.Calls("REALConvertString");
    std::tuple<void*, void*, bool> rows[] = {
        {objects({dog, cat}), s.Str("Dog"), true},
        {objects({cat, dog}), s.Str("Dog"), false},
        {objects({cat, dog}), s.Str("Animal"), true},
        {objects({}), s.Str("Dog"), false},
        {objects({nullptr, dog}), s.Str("Dog"), false},
        {nullptr, s.Str("Dog"), false},
        {objects({dog}), s.Str("Dog"), true},
        {s.Own(s.host.NewArray(2, 3)), windowsName, false},
        {s.Own(s.host.NewArray(8, 1)), windowsName, false},
        {dog, windowsName, false},
        {s.Own(s.host.NewVariant(9, H(dog))), windowsName, false},
    };
    int row = 0;
    for (auto& [v, name, is] : rows) EXPECT_EQ(s.Call("ArrayIsATKZ", {H(v), H(name)}).b, is) << "row " << row++;
    EXPECT_EQ(s.Calls("REALConvertString"), conversions);
    // A name the host knows no class by is false without its class test,
    // which a nil class would crash.
    int tests = s.Calls("RuntimeObjectIsa");
    for (void* name : {s.Str("Wolf"), s.Str(""), (void*)nullptr}) {
        EXPECT_FALSE(s.Call("ObjectIsATKZ", {H(dog), H(name)}).b);
        EXPECT_FALSE(s.Call("ArrayIsATKZ", {H(objects({dog})), H(name)}).b);
    }
    EXPECT_EQ(s.Calls("RuntimeObjectIsa"), tests);
}
