// The registered members across the hosts they may meet: an entry point
// missing (the answers of the README's table of what the host must provide),
// a conversion or a build refused after some calls, strings in every tag a
// host may hand over, memory blocks of known, zero and unknown size, folder
// items whose names are nil and items without a parent. A row is a host, a
// member, its arguments and the answer, shown as a string: "bytes tagged
// encoding", "nil", a number, "block BYTES", a list's runs as "[text font]";
// a member without a result shows its first argument as it is afterwards,
// and anything written to standard output follows as " wrote BYTES".
#include "support.h"

#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using host::Value;
using tkz::Tagged;

namespace {

// An argument, made in the test's host: a string, nil, an integer, a block
// of those bytes, a block over them of unknown size, an object of a class,
// an array of objects (a variant), a synthetic chain of folder items
// (topmost first, each name its display name too), a real item (a relative
// path made in the scratch folder, a folder when it ends in "/").
struct Arg {
    char kind;
    std::string text = "";
    uint32_t enc = host::kUTF8;
    std::vector<std::string> names = {};
};
Arg Str(const std::string& bytes, uint32_t enc = host::kUTF8) { return {'s', bytes, enc}; }
Arg Nil() { return {'n'}; }
Arg I(int32_t v) { return {'i', std::to_string(v)}; }
Arg Block(const std::string& bytes) { return {'b', bytes}; }
const char kTen[] = "0123456789";
Arg Over() { return {'o'}; }
Arg Obj(const std::string& cls) { return {'c', cls}; }
Arg Objects(std::vector<std::string> classes) { return {'a', "", 0, classes}; }
Arg Item(std::vector<std::string> names) { return {'f', "", 0, names}; }
Arg Path(const std::string& path) { return {'p', path}; }

Value Make(tkz::Session& s, const Arg& a) {
    void* h = nullptr;
    std::string path = a.text[0] == '/' ? a.text : testing::TempDir() + a.text;
    switch (a.kind) {
        case 's': return Value::H(s.Str(a.text, a.enc));
        case 'i': return Value::I(std::stoi(a.text));
        case 'b':
            h = s.Own(s.host.NewMemoryBlock((int)a.text.size()));
            return memcpy(s.host.BlockData(h), a.text.data(), a.text.size()), Value::H(h);
        case 'o': return Value::H(s.Own(s.host.MemoryBlockOver((void*)kTen)));
        case 'c': return Value::H(s.New(a.text));
        case 'a':
            h = s.Own(s.host.NewArray(9, (int)a.names.size()));
            for (size_t i = 0; i < a.names.size(); ++i) s.host.SetElement(h, (int)i, Value::H(s.New(a.names[i])));
            return Value::H(h);
        case 'f':
            for (const std::string& n : a.names) h = s.host.SyntheticItem(n, n, h);
            return Value::H(s.Own(h));
        case 'p':
            if (path.back() == '/') mkdir(path.c_str(), 0755);
            else if (path != a.text) fclose(fopen(path.c_str(), "a"));
            return Value::H(s.Own(s.host.FolderItem(path)));
    }
    return Value::H(nullptr);
}
std::string U16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += {c, '\0'};
    return out;
}
std::string N(int64_t v) { return std::to_string(v); }
std::string MB(const std::string& bytes) { return "block " + bytes; }
std::string U8(const std::string& bytes) { return Tagged(bytes, host::kUTF8); }

struct Row {
    std::string host;    // "-Entry" lacks an entry point, "Entry<k" refuses after k calls, "nil-names"
    std::string member;  // a global method, ".M" of a folder item (the item first), "StdoutTKZ.M"
    std::vector<Arg> args;
    std::string want;
};

host::Config HostOf(const std::string& setting) {
    host::Config c;
    std::istringstream words(setting);
    for (std::string w; words >> w;) {
        if (w == "nil-names") c.nilEmptyNames = true;
        else if (w[0] == '-') c.missing.insert(w.substr(1));
        else c.failAfter[w.substr(0, w.find('<'))] = std::stoi(w.substr(w.find('<') + 1));
    }
    return c;
}

std::string Show(tkz::Session& s, const Value& v) {
    if (v.kind == Value::Bool) return v.b ? "true" : "false";
    if (v.kind == Value::Int || v.kind == Value::Int64) return N(v.kind == Value::Int ? v.i : v.l);
    if (v.kind != Value::Handle || v.h == nullptr) return "nil";
    if (!s.host.ledger.at(v.h).object) return tkz::Got(s, v.h);
    std::string cls = s.host.ClassOf(v.h)->name, runs;
    if (cls == "MemoryBlock") return MB(s.host.BlockBytes(v.h));
    for (int i = 1; cls == "StyleDataListTKZ"; ++i) {
        Value run = s.Method(v.h, cls, "Style", {Value::I(i)});
        if (run.h == nullptr) return runs;
        runs += "[" + tkz::Got(s, s.Prop(run.h, "Text").h) + " font " + tkz::Got(s, s.Prop(run.h, "FontName").h) + "]";
    }
    return cls;
}

// Calls the member with standard output in a file; its answer as shown.
std::string Answer(tkz::Session& s, const std::string& member, const std::vector<Arg>& given) {
    if (member == "registered") {  // what the host saw registered: methods, classes, extensions
        host::Registry& g = s.host.registry();
        return N(g.methods.size()) + " " + N(g.classes.size()) + " " + N(g.extensions.size());
    }
    std::vector<Value> args;
    for (const Arg& a : given) args.push_back(Make(s, a));
    size_t dot = member.find('.');
    FILE* out = tmpfile();
    int saved = dup(1);
    fflush(stdout), dup2(fileno(out), 1);
    Value v;
    if (dot == std::string::npos) v = s.Call(member, args);
    else if (dot == 0) v = s.Method(args[0].h, "folderitem", member.substr(dot + 1), {args.begin() + 1, args.end()});
    else v = s.Method(s.Own(s.host.NewInstance("StdoutTKZ")), "StdoutTKZ", member.substr(dot + 1), args);
    fflush(stdout), dup2(saved, 1), close(saved);
    std::string wrote(64, '\0');
    wrote.resize((size_t)std::max<ssize_t>(0, pread(fileno(out), wrote.data(), wrote.size(), 0)));
    fclose(out);
    std::string shown = v.kind == Value::None && !args.empty() ? Show(s, args[0]) : Show(s, v);
    return wrote.empty() ? shown : shown + " wrote " + wrote;
}

// The alternatives of a row's host or member, split at '|'.
std::vector<std::string> Each(const std::string& words) {
    std::vector<std::string> out(1);
    for (char c : words) c == '|' ? out.push_back("") : out.back().push_back(c);
    return out;
}

// The rows of each host run in one fresh host process; a row with
// alternatives is one row for each host and member among them.
void RunRows(const std::vector<Row>& rows) {
    std::map<std::string, std::vector<std::pair<std::string, const Row*>>> byHost;
    for (const Row& r : rows)
        for (const std::string& setting : Each(r.host))
            for (const std::string& m : Each(r.member)) byHost[setting].push_back({m, &r});
    for (auto& [setting, group] : byHost)
        tkz::RunFresh(HostOf(setting), [&](tkz::Session& s) {
            s.host.DefineClass("Animal"), s.host.DefineClass("Dog", "Animal"), s.host.DefineClass("Caf\xC3\xA9");
            for (auto& [m, r] : group) EXPECT_EQ(Answer(s, m, r->args), r->want) << m << " on a host " << setting;
        });
}

const std::string kUuid = "{0123ABCD-4567-89ab-CDEF-0123456789ab}", kAsciiUuid = Tagged(kUuid, host::kASCII);
const std::string kStyles = "\x08\x01\x41\x01";  // one run: font name "A", size 1
const char kPathUsers[] = ".IsFileDataForkOpenReadWriteTKZ|SetCurrentWorkingDirectoryTKZ";
const Arg xyz = Item({"x", "y", "z"}), slash = Str("/"), dog = Obj("Dog"), dogName = Str("Dog");

}  // namespace

TEST(Variations, EntryPointsMissing) {
    const std::string mac(2, '\0');  // no runs
    RunRows({
        // Each answer as the README's table gives it.
        {"-RegisterPluginVersion", "registered", {}, "0 0 0"},
        {"-PluginRegisterClass", "registered", {}, "39 0 1"},
        {"-PluginRegisterMethod", "registered", {}, "0 5 1"},
        {"-PluginRegisterClassExtension", "registered", {}, "39 5 0"},
        {"-REALGetRBVersion -REALinRuntime", "registered", {}, "39 5 1"},
        {"-REALBuildString", "CloneStringTKZ", {Str("abc")}, "nil"},
        {"-REALBuildString", "StringFromOSTypeTKZ", {I(0x54455854)}, "nil"},
        {"-REALBuildString", "ValidateUUIDTKZ", {Str(kUuid, host::kASCII), I(0)}, "nil"},
        {"-REALBuildString|-REALConvertString", ".DisplayPathTKZ", {xyz, slash}, "nil"},
        {"-REALBuildString", "DecompileWinStyleDataTKZ", {Str("ab"), Str(kStyles)}, "[nil font nil]"},
        {"-REALSetStringEncoding", "StringFromOSTypeTKZ", {I(0x54455854)}, Tagged("TEXT", host::kRaw)},
        {"-REALSetStringEncoding", "CloneStringTKZ", {Str("Caf\xE9", host::kWindows)}, Tagged("Caf\xE9", host::kRaw)},
        {"-REALSetStringEncoding", "SetEncodingOfStringTKZ", {Str("a"), I(0x600)}, U8("a")},
        {"-REALConvertString", "OSTypeFromStringTKZ", {Str("Caf\xC3\xA9")}, N(0x436166C3)},
        {"-REALConvertString", "ValidateUUIDTKZ", {Str(kUuid), I(0)}, "nil"},
        {"-REALConvertString", "ValidateUUIDTKZ", {Str(kUuid, host::kASCII), I(0)}, kAsciiUuid},
        {"-REALConvertString", "ObjectIsATKZ", {dog, Str("Animal")}, "true"},
        {"-REALConvertString", "ObjectIsATKZ", {dog, Str("Animal", host::kWindows)}, "false"},
        {"-REALConvertString", "ArrayIsATKZ", {Objects({"Dog"}), Str("Dog", host::kMacRoman)}, "false"},
        {"-REALConvertString", ".NameWithoutExtensionTKZ", {Item({"a.b"})}, "nil"},
        {"-REALConvertString|-REALpathFromFolderItem", kPathUsers, {Path("/")}, "false"},
        {"-pluginObjectType|-REALLoadGlobalMethod", "ArrayIsATKZ", {Objects({"Dog"}), Str("Dog")}, "false"},
        {"-RuntimeObjectIsa", "ObjectIsATKZ", {dog, Str("Dog")}, "false"},
        {"-RuntimeUBound|-RuntimeArrayDirectGetGetProc", "ArrayIsATKZ", {Objects({"Dog", "Animal"}), dogName}, "true"},
        {"-RuntimeArrayDirectGetGetProc", "ArrayIsATKZ", {Objects({"Animal", "Dog"}), dogName}, "false"},
        {"-PluginNewInstance", "DecompileWinStyleDataTKZ", {Str("ab"), Str(kStyles)}, "nil"},
        {"-PluginNewInstance", "DecompileMacStyleDataTKZ", {Str("ab"), Str(mac)}, "nil"},
        {"-newMemoryBlock|-memoryBlockGetPtr", "StringToMemoryBlockTKZ", {Str("hi")}, "nil"},
        {"-newMemoryBlock|-memoryBlockGetPtr", "CloneMemoryBlockTKZ", {Block("hi")}, "nil"},
        {"-newMemoryBlock", "CloneMemoryBlockWithLengthTKZ", {Block("hi"), I(1)}, "nil"},
        {"-memoryBlockGetPtr", "StringToMemoryBlockTKZ", {Str("")}, MB("")},
        {"-REALBuildString|-memoryBlockGetPtr|-memoryBlockGetSize", "MemoryBlockToStringTKZ", {Block("hi")}, "nil"},
        {"-memoryBlockGetSize", "MemoryBlockToStringWithLengthTKZ", {Block("hi"), I(1)}, "nil"},
        {"-memoryBlockGetSize", "CloneMemoryBlockTKZ", {Block("hi")}, MB("")},
        {"-memoryBlockGetSize", "CloneMemoryBlockWithLengthTKZ", {Block("hi"), I(1)}, MB("")},
        {"-REALGetPropValueString", ".DisplayPathTKZ", {xyz, slash}, U8("//")},
        {"-REALGetPropValueString", ".NameExtensionTKZ", {Item({"a.b"})}, "nil"},
        {"-REALGetPropValueObject", ".DisplayPathTKZ", {xyz, slash}, U8("z")},
        // Paths in Mac OS Roman: US-ASCII ones are still found, others not.
        {"-REALGetFontEncoding", "SetCurrentWorkingDirectoryTKZ", {Path("plain/")}, "true"},
        {"-REALGetFontEncoding", "SetCurrentWorkingDirectoryTKZ", {Path("caf\xC3\xA9/")}, "false"},
        {"-REALGetFontEncoding", ".IsFileDataForkOpenReadWriteTKZ", {Path("plain.txt")}, "false"},
        {"-REALGetFontEncoding", ".IsFileDataForkOpenReadWriteTKZ", {Path("caf\xC3\xA9.txt")}, "true"},
    });
}

// The first k calls succeed: what was converted or built stays.
TEST(Variations, ConversionsAndBuildsRefused) {
    RunRows({
        {"REALConvertString<1", ".DisplayPathTKZ", {xyz, slash}, U8("//")},
        {"REALConvertString<3", ".DisplayPathTKZ", {xyz, slash}, U8("x/y/")},
        {"REALConvertString<0", "OSTypeFromStringTKZ", {Str("Caf\x8E", host::kMacRoman)}, N(0x4361668E)},
        {"REALConvertString<0", "ObjectIsATKZ", {dog, Str(U16("Dog"), host::kUTF16)}, "false"},
        {"REALConvertString<0", "ValidateUUIDTKZ", {Str(U16(kUuid), host::kUTF16), I(0)}, "nil"},
        {"REALConvertString<0", ".NameExtensionTKZ", {Item({"a.b"})}, "nil"},
        {"REALConvertString<0|REALpathFromFolderItem<0", kPathUsers, {Path("/")}, "false"},
        {"REALBuildString<0", "BitwiseXORStringBytesTKZ", {Str("abcd"), I(32)}, "nil"},
        {"REALBuildString<1",
         "DecompileWinStyleDataTKZ",
         {Str("ab"), Str(kStyles + kStyles)},
         "[nil font A tagged 0][nil font nil]"},
        // The whole name is the converted string itself: nothing to build.
        {"REALBuildString<0", ".NameWithoutExtensionTKZ", {Item({"abc"})}, U8("abc")},
    });
}

// Strings in every tag the host may hand over: the text "Café" in each
// encoding that holds it, "Cafe" in US-ASCII, its Latin-1 bytes untagged,
// the empty string and nil. The members that take bytes as they are keep
// them; the ones that read text convert it.
TEST(Variations, StringTags) {
    struct {
        uint32_t enc;
        std::string bytes;
        uint32_t osType;
        std::string isCafe, utf8;  // whether it names the class Café; its UTF-8 form
        bool nil = false;
    } tags[] = {
        {host::kUTF8, "Caf\xC3\xA9", 0x4361668E, "true", "Caf\xC3\xA9"},
        {host::kUTF16, U16("Caf") + std::string("\xE9\0", 2), 0x4361668E, "true", "Caf\xC3\xA9"},
        {host::kWindows, "Caf\xE9", 0x4361668E, "true", "Caf\xC3\xA9"},
        {host::kMacRoman, "Caf\x8E", 0x4361668E, "true", "Caf\xC3\xA9"},
        {host::kASCII, "Cafe", 0x43616665, "false", "Cafe"},
        {host::kRaw, "Caf\xE9", 0x436166E9, "false", "Caf\xE9"},
        {host::kUTF8, "", 0x20202020, "false", ""},
        {0, "", 0x20202020, "false", "", true},
    };
    std::vector<Row> rows;
    for (auto& t : tags) {
        Arg str = t.nil ? Nil() : Str(t.bytes, t.enc);
        auto add = [&](const char* m, std::vector<Arg> a, std::string want) { rows.push_back({"", m, a, want}); };
        auto tagged = [&](const std::string& bytes, uint32_t enc) { return t.nil ? "nil" : Tagged(bytes, enc); };
        std::string some = t.bytes.empty() ? "nil" : Tagged(t.bytes, t.enc), u = t.utf8, uuid = kUuid;
        std::string first = t.bytes.empty() ? "nil" : Tagged(t.bytes.substr(0, 1), t.enc);
        uint32_t hash = (uint32_t)t.bytes.size() + 1;
        for (unsigned char b : t.bytes) hash = (uint32_t)tolower(b) ^ (hash << 3 | hash >> 29);
        if (t.enc == host::kUTF16) uuid = U16(kUuid);
        add("GetHash32TKZ", {str}, N((int32_t)hash));
        add("GetEncodingOfStringTKZ", {str}, N((int32_t)t.enc));
        add("SetEncodingOfStringTKZ", {str, I(0x600)}, tagged(t.bytes, host::kASCII));
        add("CloneStringTKZ", {str}, some);
        add("BitwiseXORStringBytesTKZ", {str, I(0x100)}, t.bytes.empty() ? "nil" : Tagged(t.bytes, host::kRaw));
        add("StringToMemoryBlockTKZ", {str}, t.nil ? "nil" : MB(t.bytes));
        add("StdoutTKZ.Write", {str}, tagged(t.bytes, t.enc) + (t.bytes.empty() ? "" : " wrote " + t.bytes));
        add("OSTypeFromStringTKZ", {str}, N((int32_t)t.osType));
        add("ObjectIsATKZ", {Obj("Caf\xC3\xA9"), str}, t.isCafe);
        add(".DisplayPathTKZ", {xyz, str}, U8("x" + u + "y" + u + "z"));
        add("DecompileWinStyleDataTKZ", {str, Str(kStyles)}, "[" + first + " font A tagged 0]");
        add("ValidateUUIDTKZ", {t.nil ? Nil() : Str(t.bytes.empty() ? "" : uuid, t.enc), I(0)},
            t.bytes.empty() ? "nil" : kAsciiUuid);
    }
    RunRows(rows);
}

// Blocks of ten bytes, of none, over ten bytes of unknown size, and nil.
TEST(Variations, MemoryBlocks) {
    struct {
        const char* member;
        int len;  // -99: no length argument
        std::string known, empty, unknown, nil = "nil";
    } blocks[] = {
        {"MemoryBlockToStringTKZ", -99, Tagged(kTen, host::kRaw), "nil", "nil"},
        {"MemoryBlockToStringWithLengthTKZ", 4, Tagged("0123", host::kRaw), "nil", Tagged("0123", host::kRaw)},
        {"MemoryBlockToStringWithLengthTKZ", 0, "nil", "nil", "nil"},
        {"MemoryBlockToStringWithLengthTKZ", -1, "nil", "nil", "nil"},
        {"CloneMemoryBlockTKZ", -99, MB(kTen), MB(""), "nil"},
        {"CloneMemoryBlockWithLengthTKZ", 4, MB("0123"), MB(""), MB("0123")},
        {"CloneMemoryBlockWithLengthTKZ", 0, MB(""), MB(""), MB("")},
        {"CloneMemoryBlockWithLengthTKZ", -5, "nil", "nil", "nil"},
        {"NewFolderItemFSSpecTKZ|NewFolderItemFSRefTKZ", -99, "nil", "nil", "nil"},
    };
    std::vector<Row> rows;
    for (auto& b : blocks)
        for (auto [block, want] :
             {std::pair{Block(kTen), b.known}, {Block(""), b.empty}, {Over(), b.unknown}, {Nil(), b.nil}})
            rows.push_back({"", b.member, b.len == -99 ? std::vector{block} : std::vector{block, I(b.len)}, want});
    RunRows(rows);
}

// Empty names as the host hands them over, as empty strings or as nil: an
// ancestor without a display name still gives its delimiter; the topmost
// item has no parent.
TEST(Variations, FolderItemsWithoutNamesOrParent) {
    std::vector<Row> rows;
    for (std::string setting : {"", "nil-names"}) {
        auto add = [&](const char* m, Arg item, std::string want) {
            rows.push_back({setting, m, {item, slash}, want});
        };
        add(".DisplayPathTKZ", Item({"x", "", "z"}), U8("x//z"));
        add(".DisplayPathTKZ", Item({"", "y", ""}), U8("/y/"));
        add(".DisplayPathTKZ", Item({""}), "nil");
        add(".DisplayPathTKZ", Path("/"), "nil");
        add(".DisplayPathTKZ", Path("/tmp"), U8("/tmp"));
        rows.push_back({setting, ".NameExtensionTKZ", {Item({""})}, "nil"});
        rows.push_back({setting, ".NameWithoutExtensionTKZ", {Item({"."})}, "nil"});
        // The whole name, empty, is handed back as the host gave it.
        rows.push_back({setting, ".NameWithoutExtensionTKZ", {Item({""})}, setting.empty() ? U8("") : "nil"});
    }
    RunRows(rows);
}
