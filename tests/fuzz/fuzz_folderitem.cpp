// Folder-item name splitting and display paths over random chains of
// synthetic items (random names, display names, depth and delimiter), against
// the last-dot rule and the path's definition: every ancestor's display name
// from the topmost down, each followed by the delimiter, then the item's own;
// names are appended as zero-terminated text.
#include "fuzz.h"

using namespace fuzz;

namespace {

std::string Cut(const std::string& s) { return s.substr(0, s.find('\0')); }
std::string UTF8(const std::string& s) { return Built(s, host::kUTF8); }

}  // namespace

FUZZ_TARGET(Names) {
    static const host::MethodDef *path = Member("FolderItem", "DisplayPathTKZ", false),
                                 *extension = Member("FolderItem", "NameExtensionTKZ", false),
                                 *base = Member("FolderItem", "NameWithoutExtensionTKZ", false);
    int depth = in.ConsumeIntegralInRange(0, 150);
    bool nilDelimiter = in.ConsumeIntegralInRange(0, 7) == 0;
    uint32_t delimiterTag = in.ConsumeBool() ? host::kUTF8 : host::kRaw;  // both reach UTF-8 unchanged
    std::string delimiter = in.ConsumeRandomLengthString(8);
    void* item = nullptr;
    std::string name, wantPath;
    for (int level = 0; level <= depth; ++level) {
        name = in.ConsumeRandomLengthString(24);
        std::string display = in.ConsumeRandomLengthString(24);
        wantPath += Cut(display);
        if (level < depth && !nilDelimiter) wantPath += Cut(delimiter);
        item = Host().SyntheticItem(name, display, item);  // takes over the parent's reference
    }
    s.Own(item);
    void* delim = nilDelimiter ? nullptr : s.Str(delimiter, delimiterTag);
    auto what = [&] { return "name " + Hex(name) + " depth " + std::to_string(depth) + " delimiter " + s.Text(delim); };

    std::string got = s.Text(s.Call(path, {Value::H(delim)}, item).h);
    FUZZ_CHECK(got == UTF8(wantPath), what() + " gave " + got + " for " + Hex(wantPath));
    size_t dot = name.rfind('.');
    got = s.Text(s.Call(extension, {}, item).h);
    FUZZ_CHECK(got == (dot == std::string::npos ? "nil" : UTF8(name.substr(dot + 1))), what() + " gave " + got);
    // Without a dot the whole name comes back as converted: empty, not nil.
    got = s.Text(s.Call(base, {}, item).h);
    FUZZ_CHECK(got == (dot == std::string::npos ? Hex(name) + "tag " + std::to_string(host::kUTF8)
                                                : UTF8(name.substr(0, dot))),
               what() + " gave " + got);
}
