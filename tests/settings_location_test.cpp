#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "settings/settings_location.h"
#include "tests/file_test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using test::fileBytes;
using test::writeFileBytes;

class SettingsLocationTest : public ::testing::Test {
protected:
    SettingsLocationTest() {
        fs::create_directories(programFolder);
        fs::create_directories(folder / "work" / "cfg");
        fs::create_directories(configHome);
        fs::permissions(configHome, fs::perms::all);
        inputs.programPath = programFolder / "tessaly-monitor";
        inputs.currentFolder = folder / "work";
        inputs.configHome = configHome;
    }

    fs::path located(std::vector<std::string> arguments) {
        inputs.arguments = std::move(arguments);
        return locateSettingsFile(inputs);
    }

    // Locating as a user who cannot write into the program folder.
    std::string locatedFromReadOnlyFolder() {
        fs::permissions(programFolder, fs::perms::owner_write | fs::perms::group_write |
                                           fs::perms::others_write,
                        fs::perm_options::remove);
        return test::runUnprivileged([&] { return locateSettingsFile(inputs).string(); });
    }

    void makeNewer(const fs::path& file) {
        fs::last_write_time(file, fs::file_time_type::clock::now() + std::chrono::hours(1));
    }

    test::TempFolder folder;
    fs::path programFolder = folder / "program";
    fs::path configHome = folder / "config";
    fs::path perUserFolder = configHome / "tessaly-monitor";
    SettingsLocationInputs inputs;
};

TEST_F(SettingsLocationTest, WritableProgramFolderHoldsTheFileAndNoProbeIsLeft) {
    EXPECT_EQ(located({}), programFolder / "tessaly-monitor.ini");
    EXPECT_TRUE(fs::is_empty(programFolder));
    EXPECT_FALSE(fs::exists(perUserFolder));
}

TEST_F(SettingsLocationTest, FirstArgumentEndingInIniChoosesTheFile) {
    const struct {
        std::vector<std::string> arguments;
        fs::path expected;
    } cases[] = {
        {{"my.INI"}, programFolder / "my.INI"},
        {{"a.ini.bak"}, programFolder / "tessaly-monitor.ini"},
        {{"x.ini.ini"}, programFolder / "tessaly-monitor.ini"},
        {{".ini"}, programFolder / "tessaly-monitor.ini"},
        {{"-v", ".INI", "second.ini", "third.ini"}, programFolder / "second.ini"},
        {{"sub/../cfg/rel.ini"}, folder / "work" / "cfg" / "rel.ini"},
        {{(folder / "work" / "abs.ini").string()}, folder / "work" / "abs.ini"},
    };
    for (const auto& entry : cases) {
        EXPECT_EQ(located(entry.arguments), entry.expected) << entry.arguments.back();
    }
}

TEST_F(SettingsLocationTest, MissingProgramFolderFallsBackToThePerUserFolder) {
    inputs.programPath = folder / "missing" / "tessaly-monitor";
    EXPECT_EQ(located({"my.ini"}), perUserFolder / "my.ini");
    EXPECT_TRUE(fs::is_directory(perUserFolder));
    EXPECT_FALSE(fs::exists(perUserFolder / "my.ini"));
}

TEST_F(SettingsLocationTest, NewerFileInAReadOnlyProgramFolderIsCopied) {
    writeFileBytes(programFolder / "tessaly-monitor.ini", "program");
    makeNewer(programFolder / "tessaly-monitor.ini");
    fs::create_directories(perUserFolder);
    fs::permissions(perUserFolder, fs::perms::all);
    writeFileBytes(perUserFolder / "tessaly-monitor.ini", "per-user");
    fs::permissions(perUserFolder / "tessaly-monitor.ini", fs::perms::all);
    EXPECT_EQ(locatedFromReadOnlyFolder(), (perUserFolder / "tessaly-monitor.ini").string());
    EXPECT_EQ(fileBytes(perUserFolder / "tessaly-monitor.ini"), "program");
}

TEST_F(SettingsLocationTest, OlderFileInAReadOnlyProgramFolderIsNotCopied) {
    writeFileBytes(programFolder / "tessaly-monitor.ini", "program");
    fs::create_directories(perUserFolder);
    fs::permissions(perUserFolder, fs::perms::all);
    writeFileBytes(perUserFolder / "tessaly-monitor.ini", "per-user");
    makeNewer(perUserFolder / "tessaly-monitor.ini");
    EXPECT_EQ(locatedFromReadOnlyFolder(), (perUserFolder / "tessaly-monitor.ini").string());
    EXPECT_EQ(fileBytes(perUserFolder / "tessaly-monitor.ini"), "per-user");
}

TEST_F(SettingsLocationTest, FileOnlyInAReadOnlyProgramFolderIsCopiedIntoANewPerUserFolder) {
    writeFileBytes(programFolder / "tessaly-monitor.ini", "program");
    EXPECT_EQ(locatedFromReadOnlyFolder(), (perUserFolder / "tessaly-monitor.ini").string());
    EXPECT_EQ(fileBytes(perUserFolder / "tessaly-monitor.ini"), "program");
}

TEST_F(SettingsLocationTest, PerUserFolderThatCannotBeCreatedIsReported) {
    inputs.programPath = folder / "missing" / "tessaly-monitor";
    fs::remove(configHome);
    writeFileBytes(configHome, "a file where the folder should be");
    try {
        located({});
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create : " + perUserFolder.string() + "/");
    }
}

TEST_F(SettingsLocationTest, FailedCopyIsReported) {
    fs::create_directories(perUserFolder / "tessaly-monitor.ini");  // a folder: no copy over it
    writeFileBytes(programFolder / "tessaly-monitor.ini", "program");
    makeNewer(programFolder / "tessaly-monitor.ini");
    fs::permissions(perUserFolder, fs::perms::all);
    EXPECT_EQ(locatedFromReadOnlyFolder(),
              "exception: Cannot Copy : " + (perUserFolder / "tessaly-monitor.ini").string());
}

// Installed by the package and started as root: nothing is written beside the program, which a
// purge would leave behind; a file that names itself by its path is still used where it is.
TEST_F(SettingsLocationTest, AProgramInASystemFolderKeepsItsSettingsInThePerUserFolder) {
    for (const char* program : {"/usr/bin/tessaly-monitor", "/opt/tessaly/bin/tessaly-monitor", "/usr/../usr/bin/x"}) {
        inputs.programPath = program;
        const fs::path expected = perUserFolder / fs::path(program).filename().replace_extension(".ini");
        EXPECT_EQ(located({}), expected) << program;
        EXPECT_EQ(located({"station.ini"}), perUserFolder / "station.ini") << program;
        EXPECT_FALSE(fs::exists(fs::path(program).parent_path() / "station.ini"));
    }
    inputs.programPath = "/usr/bin/tessaly-monitor";
    EXPECT_EQ(located({(folder / "work" / "mine.ini").string()}), folder / "work" / "mine.ini");
    inputs.programPath = programFolder / "tessaly-monitor";
    EXPECT_EQ(located({}), programFolder / "tessaly-monitor.ini") << "a folder of the user's own is used";
}

TEST(DefaultConfigHome, FollowsXdgConfigHomeOnlyWhenAbsolute) {
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string restoreXdg = savedXdg ? savedXdg : "";
    const char* home = std::getenv("HOME");
    ::setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    EXPECT_EQ(defaultConfigHome(), fs::path("/somewhere/config"));
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    if (home && *home) {
        EXPECT_EQ(defaultConfigHome(), fs::path(home) / ".config");
    }
    EXPECT_TRUE(defaultConfigHome().is_absolute());
    if (savedXdg) {
        ::setenv("XDG_CONFIG_HOME", restoreXdg.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace tessaly
