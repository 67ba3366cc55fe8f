#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/SettingsFile.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;
namespace fs = std::filesystem;

namespace {

unsigned modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
}

// Each test sets the variables it reads; none is ever the real home's.
class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(program());
        ::setenv("XDG_CONFIG_HOME", config().c_str(), 1);
    }

    std::string config() const { return root.file("config"); }
    std::string program() const { return root.file("program"); }
    std::string userFile() const { return config() + "/torvane/Velkora.ini"; }
    std::string programFile() const { return program() + "/Velkora.ini"; }

    TempDir root;
};

TEST_F(SettingsFileTest, BaseFoldersFollowTheEnvironmentAndAreMadePrivate) {
    ::setenv("HOME", root.path().c_str(), 1);
    struct Folder {
        const char* variable;
        std::string (*folder)();
        const char* underHome;
    };
    for (const Folder& f : {Folder{"XDG_CONFIG_HOME", userConfigFolder, "/.config/torvane/"},
                            Folder{"XDG_STATE_HOME", userStateFolder, "/.local/state/torvane/"}}) {
        SCOPED_TRACE(f.variable);
        ::setenv(f.variable, root.file("set").c_str(), 1);
        EXPECT_EQ(f.folder(), root.file("set") + "/torvane/");
        // Unset, empty or relative (which the rules say to ignore): the default under home.
        for (const char* value : {static_cast<const char*>(nullptr), "", "relative/dir"}) {
            if (value) ::setenv(f.variable, value, 1);
            else ::unsetenv(f.variable);
            EXPECT_EQ(f.folder(), root.path() + f.underHome) << (value ? value : "(unset)");
        }
    }
    // Each missing folder on the way is made 0700.
    ASSERT_TRUE(makePrivateFolder(root.file("a/b/c/")));
    for (const char* made : {"a", "a/b", "a/b/c"}) EXPECT_EQ(modeOf(root.file(made)), 0700u) << made;
}

// The program folder is writable (root, or an unpacked copy) and holds the administrator's file.
// (Two users of one program folder: tests/gui/LanguageTest.)
TEST_F(SettingsFileTest, ProgramFolderGivesDefaultsUntilTheUserWrites) {
    const std::string shipped = "[General]\r\nLanguage=Chinese.ini\r\nAd=0\r\n";
    writeFile(programFile(), Bytes(shipped.begin(), shipped.end()));
    IniFile first = openSettings(program());
    EXPECT_EQ(first.readString("General", "Language"), "Chinese.ini");
    EXPECT_FALSE(fs::exists(userFile()));
    EXPECT_EQ(modeOf(config() + "/torvane"), 0700u);  // made, for the first write

    ASSERT_TRUE(first.writeString("General", "Language", "English.ini"));
    EXPECT_TRUE(readFile(programFile()) == Bytes(shipped.begin(), shipped.end()));
    // From then on the user's file alone counts, with the defaults it was made from.
    const std::string changed = "[General]\r\nAd=1\r\n";
    writeFile(programFile(), Bytes(changed.begin(), changed.end()));
    const IniFile now = openSettings(program() + "/");
    EXPECT_EQ(now.readString("General", "Language"), "English.ini");
    EXPECT_EQ(now.readString("General", "Ad"), "0");
}

}  // namespace
