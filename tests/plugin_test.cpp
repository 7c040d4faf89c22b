// The plugin's entry as the host sees it: what is registered and in which
// order, byte for byte, and what is asked first.
// The declarations themselves are docs/reference.md's, which reference_test
// holds to what is registered.
#include "support.h"

#include "hostapi/wrappers.h"
#include "plugin/plugin.h"

namespace {

bool AllZero(const uint32_t* w, int n) { return std::count(w, w + n, 0u) == n; }

// A method entry as every one is made: a function, the reserved word zero.
void ExpectEntry(const host::MethodDef& d) {
    EXPECT_NE(d.function, nullptr) << d.declaration;
    EXPECT_EQ(d.reserved, 0u) << d.declaration;
}

}  // namespace

// Sizes and offsets of the records are asserted where they are declared;
// here their order and what they carry.
PLUGIN_TEST(Registration, ClassesThenExtensionThenMethodsInExactRecords) {
    host::Registry& r = s.host.registry();
    EXPECT_EQ(r.versions, std::vector<long>{9});
    ASSERT_EQ(r.classes.size(), tkz::kClasses);
    ASSERT_EQ(r.extensions.size(), 1u);
    std::vector<std::string> order;
    for (host::ClassDef* c : r.classes) order.push_back(std::string("class ") + c->name);
    order.push_back("extension folderitem");
    for (host::MethodDef* m : r.methods) order.push_back(std::string("method ") + m->declaration);
    EXPECT_EQ(r.order, order);
    std::vector<host::ClassDef*> defs = r.classes;
    defs.push_back(r.extensions[0]);
    for (const host::ClassDef* c : defs) {
        EXPECT_EQ(c->version, 9u) << c->name;
        EXPECT_EQ(c->flags, 4u) << c->name;
        EXPECT_EQ(c->constructor, nullptr) << c->name;
        EXPECT_EQ(c->reserved0, 0u) << c->name;
        EXPECT_TRUE(AllZero(c->reserved1, 9)) << c->name;
        EXPECT_TRUE(AllZero(c->reserved2, 2)) << c->name;
        for (const host::PropertyDef& p : std::vector(c->properties, c->properties + c->propertyCount)) {
            EXPECT_EQ(p.flags, 6u) << p.name;
            EXPECT_EQ(p.reserved0, 0u) << p.name;
            EXPECT_TRUE(AllZero(p.reserved1, 3)) << p.name;
        }
        for (uint32_t m = 0; m < c->methodCount + c->sharedMethodCount; ++m) {
            const host::MethodDef& d = m < c->methodCount ? c->methods[m] : c->sharedMethods[m - c->methodCount];
            // Every method entry carries flags 4 but the list's Style, which carries 0.
            bool style = std::string(d.declaration) == "Style(index as integer) as StyleDataTKZ";
            EXPECT_EQ(d.flags, style ? 0u : 4u) << d.declaration;
            ExpectEntry(d);
        }
    }
    for (const host::MethodDef* m : r.methods) {
        EXPECT_EQ(m->flags, 4u) << m->declaration;
        ExpectEntry(*m);
    }
}

PLUGIN_TEST_CFG(Registration, AnnouncesVersionFirstAndReadsHostVersion, host::Config{.logCalls = true}) {
    const std::vector<std::string>& calls = s.host.calls;
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 3),
              (std::vector<std::string>{"RegisterPluginVersion", "REALGetRBVersion", "REALinRuntime"}));
    EXPECT_EQ(s.Calls("REALinRuntime"), 1);
    EXPECT_EQ(*TKZ_DATA(rbversion_rbversion), 2019.031);
    EXPECT_EQ(*TKZ_DATA(gHasControls), 0);
    EXPECT_EQ(*TKZ_DATA(gResolver), &host::Host::Resolver);
}
