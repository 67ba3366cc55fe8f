#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/IniFile.h"
#include "platform/SettingsFile.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

std::string slash(const std::string& folder) { return folder + "/"; }

std::size_t entriesIn(const std::string& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++n;
    return n;
}

// A folder made read-only for real: mode 0555 and, when the test runs as root (whom the mode
// does not stop), the effective user switched to nobody for as long as the object lives.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string folder) : m_folder(std::move(folder)) {
        ::chmod(m_folder.c_str(), 0555);
        if (::geteuid() == 0) m_switched = ::seteuid(kNobody) == 0;
    }
    ~ReadOnlyFolder() {
        if (m_switched) (void)::seteuid(0);
        ::chmod(m_folder.c_str(), 0755);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

private:
    std::string m_folder;
    bool m_switched = false;
};

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"XDG_CONFIG_HOME", "HOME"})
            if (const char* v = std::getenv(name)) m_saved.emplace_back(name, v);
            else m_saved.emplace_back(name, std::nullopt);
        // Reachable and writable by nobody too, for the read-only cases run as root.
        ::chmod(root.path().c_str(), 0755);
        fs::create_directories(config());
        fs::create_directories(program());
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(config().c_str(), kNobody, kNobody), 0);
        }
        ::setenv("XDG_CONFIG_HOME", config().c_str(), 1);
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved)
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
    }

    std::string config() const { return root.file("config"); }
    std::string program() const { return root.file("program"); }
    std::string userFile() const { return config() + "/torvane/Velkora.ini"; }
    std::string programFile() const { return program() + "/Velkora.ini"; }

    TempDir root;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(SettingsFileTest, WritableProgramFolderKeepsItsOwnFile) {
    EXPECT_EQ(settingsFilePath(slash(program())), programFile());
    EXPECT_EQ(writableSettingsFilePath(slash(program())), programFile());
    // The folder without a trailing separator names the same file.
    EXPECT_EQ(settingsFilePath(program()), programFile());

    IniFile written(writableSettingsFilePath(slash(program())));
    ASSERT_TRUE(written.writeString("General", "Language", "Deutsch.ini"));
    EXPECT_EQ(IniFile(settingsFilePath(slash(program()))).readString("General", "Language"), "Deutsch.ini");
    EXPECT_TRUE(fs::is_regular_file(programFile()));
    // The user's folder is left alone, and the probe leaves nothing behind.
    EXPECT_FALSE(fs::exists(config() + "/torvane"));
    EXPECT_EQ(entriesIn(program()), 1u);
}

TEST_F(SettingsFileTest, FolderUnderAFileIsUnwritableAndTheUserFolderIsUsed) {
    writeFile(root.file("a-file"), Bytes{'x'});
    const std::string underFile = root.file("a-file") + "/sub/";
    EXPECT_FALSE(folderIsWritable(underFile));
    EXPECT_EQ(settingsFilePath(underFile), userFile());
    EXPECT_EQ(writableSettingsFilePath(underFile), userFile());
    // Looking the file up makes its folder; only a write makes the file.
    EXPECT_FALSE(fs::exists(userFile()));

    IniFile written(writableSettingsFilePath(underFile));
    ASSERT_TRUE(written.writeString("General", "Language", "Francais.ini"));
    EXPECT_TRUE(fs::is_regular_file(userFile()));
    EXPECT_EQ(IniFile(settingsFilePath(underFile)).readString("General", "Language"), "Francais.ini");
}

TEST_F(SettingsFileTest, StartUpProfileCanBeWrittenOnTheFirstRun) {
    // Start-up reads and writes (the language it chose) through one profile.
    const std::string missing = root.file("gone") + "/";
    ASSERT_FALSE(fs::exists(config() + "/torvane"));
    IniFile startUp(settingsFilePath(missing));
    EXPECT_EQ(startUp.readString("General", "Language"), "");
    ASSERT_TRUE(startUp.writeString("General", "Language", "English.ini"));
    EXPECT_EQ(IniFile(userFile()).readString("General", "Language"), "English.ini");
}

TEST_F(SettingsFileTest, MissingProgramFolderUsesTheUserFolder) {
    const std::string missing = root.file("gone") + "/";
    EXPECT_FALSE(folderIsWritable(missing));
    EXPECT_EQ(writableSettingsFilePath(missing), userFile());
    ASSERT_TRUE(IniFile(writableSettingsFilePath(missing)).writeString("General", "Ad", "0"));
    EXPECT_FALSE(fs::exists(root.file("gone")));
    EXPECT_EQ(IniFile(userFile()).readString("General", "Ad"), "0");
}

TEST_F(SettingsFileTest, KernelFolderIsUnwritableEvenForRoot) {
    EXPECT_FALSE(folderIsWritable("/proc/self/"));
    EXPECT_EQ(settingsFilePath("/proc/self/"), userFile());
}

TEST_F(SettingsFileTest, DefaultUserFolderIsUnderHomeConfig) {
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", root.path().c_str(), 1);
    EXPECT_EQ(settingsFilePath(root.file("gone") + "/"), root.path() + "/.config/torvane/Velkora.ini");
}

TEST_F(SettingsFileTest, ReadOnlyProgramFolderWithoutDefaultsUsesTheUserFolder) {
    ReadOnlyFolder readOnly(program());
    EXPECT_FALSE(folderIsWritable(slash(program())));
    EXPECT_EQ(settingsFilePath(slash(program())), userFile());
    ASSERT_TRUE(IniFile(writableSettingsFilePath(slash(program()))).writeString("General", "Language", "x.ini"));
    EXPECT_EQ(IniFile(settingsFilePath(slash(program()))).readString("General", "Language"), "x.ini");
    EXPECT_EQ(entriesIn(program()), 0u);
}

TEST_F(SettingsFileTest, AdministratorDefaultsAreReadUntilTheUserWritesTheirOwn) {
    const std::string shipped = "[General]\r\nLanguage=Chinese.ini\r\nAd=0\r\n";
    writeFile(programFile(), Bytes(shipped.begin(), shipped.end()));
    ::chmod(programFile().c_str(), 0644);
    ReadOnlyFolder readOnly(program());

    // Nothing of the user's yet: the administrator's file is read.
    EXPECT_EQ(settingsFilePath(slash(program())), programFile());
    EXPECT_EQ(IniFile(settingsFilePath(slash(program()))).readString("General", "Language"), "Chinese.ini");

    // A setting saved goes to the user's copy, which keeps the other defaults.
    const std::string target = writableSettingsFilePath(slash(program()));
    EXPECT_EQ(target, userFile());
    ASSERT_TRUE(IniFile(target).writeString("General", "Language", "English.ini"));

    const IniFile now(settingsFilePath(slash(program())));
    EXPECT_EQ(now.path(), userFile());
    EXPECT_EQ(now.readString("General", "Language"), "English.ini");
    EXPECT_EQ(now.readString("General", "Ad"), "0");
    // The administrator's file is as it was.
    const Bytes left = readFile(programFile());
    EXPECT_EQ(std::string(left.begin(), left.end()), shipped);
    EXPECT_EQ(entriesIn(program()), 1u);
}

TEST_F(SettingsFileTest, ReadOnlySettingsFileInAWritableFolderIsNotWritten) {
    // Only an ordinary user is held back by a read-only file; root writes it anyway.
    if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
    const std::string shipped = "[General]\r\nAd=0\r\n";
    writeFile(programFile(), Bytes(shipped.begin(), shipped.end()));
    ::chmod(programFile().c_str(), 0444);
    EXPECT_EQ(settingsFilePath(slash(program())), programFile());
    EXPECT_EQ(writableSettingsFilePath(slash(program())), userFile());
    EXPECT_EQ(IniFile(userFile()).readString("General", "Ad"), "0");
}

}  // namespace
