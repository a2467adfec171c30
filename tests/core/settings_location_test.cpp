#include "settings/settings_location.h"
#include "settings/model_resolution.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

TEST(SettingsLocation, ExtensionOfTheFileNameBecomesIni) {
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/velkor/velkor-tool", "/opt/velkor/velkor-tool.ini"},
        {"/opt/velkor/tool.exe", "/opt/velkor/tool.ini"},
        {"/opt/v1.2/tool", "/opt/v1.2/tool.ini"},
        {"/opt/tool.a.b", "/opt/tool.a.ini"},
        {"/opt/tool.", "/opt/tool.ini"},
        {"tool", "tool.ini"},
    };
    for (const auto& [executable, settings] : cases) {
        EXPECT_EQ(SettingsFilePath(executable), fs::path(settings)) << executable;
    }
    const std::string long_path = "/" + std::string(300, 'd') + "/tool";
    EXPECT_EQ(SettingsFilePath(long_path), fs::path(long_path + ".ini"));
}

TEST(SettingsLocation, ProgramDirectoryEndsBeforeTheLastSlash) {
    EXPECT_EQ(ProgramDirectory("/opt/velkor/tool.ini"), fs::path("/opt/velkor"));
    EXPECT_EQ(ProgramDirectory("/tool.ini"), fs::path());
    EXPECT_EQ(ProgramDirectory("tool.ini"), fs::path());
}

TEST(SettingsLocation, RunningExecutableFollowsTheSelfLink) {
    const testing::TempDir dir;
    fs::create_symlink("/usr/bin/velkor-tool", dir.path() / "exe");
    EXPECT_EQ(RunningExecutablePath(dir.path() / "exe"), fs::path("/usr/bin/velkor-tool"));
    EXPECT_EQ(RunningExecutablePath(dir.path() / "missing"), fs::path());
    EXPECT_FALSE(RunningExecutablePath().empty());
}

TEST(ModelResolution, FolderOfTheManagerDecidesFirst) {
    const testing::TempDir empty_root;
    const std::pair<const char*, int> cases[] = {
        {"/StaticStore/J5/Manager.exe", kAppTypeJ5},
        {"/x/j5/m", kAppTypeJ5},
        {"J5/Manager.exe", kAppTypeJ5},
        {"/a/R3360/Manager.exe", kAppTypeR3360},
        {"/a/r3360/m", kAppTypeR3360},
        {"/a/J5X/m", 0},
        {"/a/j5/", kAppTypeJ5},
        {"/J5", 0},
        {"Manager.exe", 0},
        {"/a/R3360.d/m", 0},
        {"", 0},
    };
    for (const auto& [manager, expected] : cases) {
        EXPECT_EQ(ResolveModel(manager, empty_root.path()), expected) << manager;
    }
}

TEST(ModelResolution, StaticStoreManagersDecideWhenTheFolderDoesNot) {
    const std::tuple<bool, bool, int> cases[] = {{true, false, kAppTypeJ5},
                                                 {false, true, kAppTypeR3360},
                                                 {true, true, 0},
                                                 {false, false, 0}};
    for (const auto& [j5, r3360, expected] : cases) {
        const testing::TempDir root;
        if (j5) {  // a dangling link counts as present
            fs::create_directories(root.path() / "StaticStore/J5");
            fs::create_symlink("gone", root.path() / "StaticStore/J5/Manager.exe");
        }
        if (r3360) {
            root.Write("StaticStore/R3360/Manager.exe", "");
        }
        EXPECT_EQ(ResolveModel("/a/J5X/Manager.exe", root.path()), expected) << j5 << r3360;
        if (r3360) {
            EXPECT_EQ(ResolveModel("/StaticStore/J5/Manager.exe", root.path()), kAppTypeJ5);
        }
    }
}

}  // namespace
}  // namespace velkor
