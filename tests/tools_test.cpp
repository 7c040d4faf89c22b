// tkzhost as a newcomer runs it: the listing of what the plugin registers,
// and one clear line with a non-zero exit when a file is no plugin.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Result {
    std::string out;
    int status;
};

Result Tool(const std::string& args) {
    Result r;
    FILE* p = popen((std::string(TKZ_BUILD_DIR "/tkzhost ") + args + " 2>&1").c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    r.status = WEXITSTATUS(pclose(p));
    return r;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(Tkzhost, ListsWhatThePluginRegisters) {
    Result r = Tool(TKZ_PLUGIN);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("classes (5):"), std::string::npos);
    EXPECT_NE(r.out.find("extension methods (12):"), std::string::npos);
    EXPECT_NE(r.out.find("global methods (39):"), std::string::npos);
    EXPECT_NE(r.out.find("  StyleDataTKZ  data 96 bytes\n"), std::string::npos);
    EXPECT_NE(r.out.find("    property TextLength as Integer  (read-only)\n"), std::string::npos);
    EXPECT_NE(r.out.find("    method Style(index as integer) as StyleDataTKZ\n"), std::string::npos);
    EXPECT_NE(r.out.find("    shared method ReadString(byref value as string) as integer\n"), std::string::npos);
    EXPECT_NE(r.out.find("  folderitem.DisplayPathTKZ(delimiter as string = \"/\") as string\n"), std::string::npos);
    EXPECT_NE(r.out.find("  1. ValidateUUIDTKZ(UUID as string, mode as integer = 0) as string\n"), std::string::npos);
    EXPECT_NE(r.out.find("  39. NewFolderItemFSRefNameTKZ(fsref as memoryblock,name as string) as FolderItem\n"),
              std::string::npos);
    EXPECT_EQ(Count(r.out, "    property "), 21 + 1 + 6);
}

TEST(Tkzhost, RefusesWhatIsNoPlugin) {
    Result missing = Tool("/no/such/plugin.so");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(Count(missing.out, "\n"), 1) << missing.out;
    EXPECT_EQ(missing.out.rfind("tkzhost: cannot load /no/such/plugin.so", 0), 0u) << missing.out;

    Result notPlugin = Tool(TKZ_BUILD_DIR "/tests/libclash.so");
    EXPECT_EQ(notPlugin.status, 1);
    EXPECT_NE(notPlugin.out.find("has no REALPluginMain"), std::string::npos) << notPlugin.out;
    EXPECT_EQ(Count(notPlugin.out, "\n"), 1);

    Result usage = Tool("");
    EXPECT_EQ(usage.status, 2);
}
