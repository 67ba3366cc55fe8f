#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "support/TestFiles.h"

using namespace torvane::test;
namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

struct ShellRun {
    int exitCode = -1;
    std::string out;
};

// Runs a shell command with its output (both streams) captured.
ShellRun shell(const std::string& command, const std::string& log) {
    const int status = std::system((command + " >" + quote(log) + " 2>&1 </dev/null").c_str());
    ShellRun r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Bytes b = readFile(log);
    r.out.assign(b.begin(), b.end());
    return r;
}

bool haveProgram(const std::string& name) { return run("command -v " + quote(name)); }

std::string textOf(const std::string& path) {
    const Bytes b = readFile(path);
    return std::string(b.begin(), b.end());
}

// Every path under folder, relative to it; folders end in "/".
std::set<std::string> tree(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        // Lexically: the links in bin/ must not be followed.
        std::string rel = e.path().lexically_relative(folder).string();
        if (e.is_directory() && !e.is_symlink()) rel += "/";
        names.insert(rel);
    }
    return names;
}

// One second of a 440 Hz stereo tone, 16-bit at 44100 Hz.
Bytes toneWav() {
    std::vector<std::int16_t> s;
    for (int i = 0; i < 44100; ++i) {
        const auto v = std::int16_t(12000 * std::sin(2 * M_PI * 440 * i / 44100.0));
        s.push_back(v);
        s.push_back(v);
    }
    return makeWav(44100, 2, 16, samples16(s));
}

// One installation shared by the tests: installing takes a few seconds.
class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch = new TempDir;
        // Reachable by nobody, for the run without privileges.
        ::chmod(scratch->path().c_str(), 0755);
        prefix = scratch->file("prefix");
        const ShellRun r = shell(quote(TORVANE_CMAKE_COMMAND) + " --install " + quote(TORVANE_BUILD_DIR) + " --prefix " +
                                quote(prefix),
                            scratch->file("install.log"));
        installed = r.exitCode == 0;
        installLog = r.out;
    }
    static void TearDownTestSuite() {
        delete scratch;
        scratch = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(installed) << installLog; }

    static std::string programFolder() { return prefix + "/lib/torvane"; }
    static std::string at(const std::string& rel) { return prefix + "/" + rel; }

    static inline TempDir* scratch = nullptr;
    static inline std::string prefix;
    static inline bool installed = false;
    static inline std::string installLog;
};

TEST_F(InstallTest, ProgramFolderHoldsTheProgramsLibrariesLanguagesAndHelp) {
    for (const char* rel : {"lib/torvane/torvane-cli", "lib/torvane/lame_enc.so", "lib/torvane/wmaudsdk.so",
                            "lib/torvane/help/index.html"})
        EXPECT_TRUE(fs::is_regular_file(at(rel))) << rel;
    EXPECT_TRUE(::access(at("lib/torvane/torvane-cli").c_str(), X_OK) == 0);
    if (TORVANE_WITH_GUI) {
        EXPECT_TRUE(::access(at("lib/torvane/torvane").c_str(), X_OK) == 0);
    }

    // Every language file and every help page of the sources, and nothing else of those kinds.
    std::size_t languages = 0;
    for (const auto& e : fs::directory_iterator(std::string(TORVANE_SOURCE_DIR) + "/VKLanguage")) {
        if (e.path().extension() != ".ini") continue;
        ++languages;
        EXPECT_EQ(readFile(at("lib/torvane/VKLanguage/" + e.path().filename().string())), readFile(e.path().string()))
            << e.path();
    }
    EXPECT_GT(languages, 0u);
    for (const auto& e : fs::directory_iterator(at("lib/torvane/VKLanguage")))
        EXPECT_EQ(e.path().extension(), ".ini") << e.path();
    for (const auto& e : fs::directory_iterator(std::string(TORVANE_SOURCE_DIR) + "/help"))
        if (e.path().extension() == ".html" || e.path().extension() == ".css") {
            EXPECT_TRUE(fs::is_regular_file(at("lib/torvane/help/" + e.path().filename().string()))) << e.path();
        }
    // The compiler's log and the help project stay in the build.
    for (const auto& e : fs::directory_iterator(at("lib/torvane/help"))) {
        const std::string ext = e.path().extension().string();
        EXPECT_TRUE(ext == ".html" || ext == ".css" || ext == ".png" || ext == ".svg" || ext == ".gif") << e.path();
    }

    // The compiled help goes along whenever the build made it.
    const bool chmBuilt = fs::exists(std::string(TORVANE_BUILD_DIR) + "/bin/Velkora.chm");
    EXPECT_EQ(fs::is_regular_file(at("lib/torvane/Velkora.chm")), chmBuilt);
}

TEST_F(InstallTest, NothingBeyondTheListedFilesIsInstalled) {
    std::set<std::string> expected = {"bin/", "bin/torvane-cli", "lib/", "lib/torvane/", "lib/torvane/torvane-cli",
                                      "lib/torvane/lame_enc.so", "lib/torvane/wmaudsdk.so",
                                      "lib/torvane/VKLanguage/", "lib/torvane/help/"};
    if (TORVANE_WITH_GUI)
        expected.insert({"bin/torvane", "lib/torvane/torvane", "share/", "share/applications/",
                         "share/applications/torvane.desktop", "share/icons/", "share/icons/hicolor/",
                         "share/icons/hicolor/scalable/", "share/icons/hicolor/scalable/apps/",
                         "share/icons/hicolor/scalable/apps/torvane.svg"});
    if (fs::exists(std::string(TORVANE_BUILD_DIR) + "/bin/Velkora.chm")) expected.insert("lib/torvane/Velkora.chm");

    std::set<std::string> found;
    for (const std::string& rel : tree(prefix))
        if (rel.rfind("lib/torvane/VKLanguage/", 0) != 0 && rel.rfind("lib/torvane/help/", 0) != 0) found.insert(rel);
    found.insert({"lib/torvane/VKLanguage/", "lib/torvane/help/"});
    EXPECT_EQ(found, expected);
    // None of the test builds of the encoder libraries, anywhere.
    for (const std::string& rel : tree(prefix)) {
        EXPECT_EQ(rel.find("testlibs"), std::string::npos) << rel;
        EXPECT_EQ(fs::path(rel).filename().string().rfind("test_", 0), std::string::npos) << rel;
    }
}

TEST_F(InstallTest, BinHoldsLinksToTheProgramFolder) {
    std::vector<std::string> programs = {"torvane-cli"};
    if (TORVANE_WITH_GUI) programs.push_back("torvane");
    for (const std::string& p : programs) {
        EXPECT_TRUE(fs::is_symlink(at("bin/" + p))) << p;
        EXPECT_EQ(fs::canonical(at("bin/" + p)), fs::canonical(at("lib/torvane/" + p))) << p;
        // Relative, so the installation can be moved or staged.
        EXPECT_TRUE(fs::read_symlink(at("bin/" + p)).is_relative()) << p;
    }
}

TEST_F(InstallTest, DesktopEntryAndIcon) {
    if (!TORVANE_WITH_GUI) GTEST_SKIP() << "built without the editor window";
    const std::string entry = at("share/applications/torvane.desktop");
    const std::string text = "\n" + textOf(entry);
    for (const char* line : {"[Desktop Entry]", "Type=Application", "Name=Torvane Audio Editor",
                             "GenericName=Audio Editor", "Exec=torvane %f", "Icon=torvane", "Terminal=false",
                             "Categories=AudioVideo;Audio;AudioVideoEditing;",
                             "MimeType=audio/x-wav;audio/wav;audio/vnd.wave;audio/mpeg;audio/x-ms-wma;"})
        EXPECT_NE(text.find(std::string("\n") + line + "\n"), std::string::npos) << line;
    EXPECT_NE(text.find("\nComment="), std::string::npos);
    if (haveProgram("desktop-file-validate")) {
        const ShellRun v = shell("desktop-file-validate " + quote(entry), scratch->file("validate.log"));
        EXPECT_EQ(v.exitCode, 0) << v.out;
        EXPECT_EQ(v.out, "");
    }
    // The window's own icon.
    EXPECT_EQ(readFile(at("share/icons/hicolor/scalable/apps/torvane.svg")),
              readFile(std::string(TORVANE_SOURCE_DIR) + "/app/icons/app.svg"));
}

TEST_F(InstallTest, InstalledCliConvertsWithItsOwnEncoders) {
    TempDir work;
    const std::string cli = at("bin/torvane-cli");
    const ShellRun version = shell(quote(cli) + " --version", work.file("version.log"));
    EXPECT_EQ(version.exitCode, 0) << version.out;
    EXPECT_EQ(version.out.rfind("torvane-cli ", 0), 0u) << version.out;

    writeFile(work.file("tone.wav"), toneWav());
    const std::string env = "TMPDIR=" + quote(work.path()) + " ";
    for (const char* ext : {"mp3", "wma"}) {
        const std::string out = work.file(std::string("tone.") + ext);
        const ShellRun c = shell(env + quote(cli) + " convert " + quote(work.file("tone.wav")) + " " + quote(out),
                            work.file("convert.log"));
        ASSERT_EQ(c.exitCode, 0) << ext << ": " << c.out;
        const ShellRun info = shell(env + quote(cli) + " info " + quote(out), work.file("info.log"));
        ASSERT_EQ(info.exitCode, 0) << info.out;
        EXPECT_NE(info.out.find("sample_rate=44100\n"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("channels=2\n"), std::string::npos) << info.out;
        EXPECT_EQ(info.out.find("frame_count=0\n"), std::string::npos) << info.out;
    }

    // Without the installed MP3 encoder the save fails, though the build's is still there:
    // the installed program loads its libraries from its own folder, reached through the link.
    ASSERT_TRUE(fs::exists(std::string(TORVANE_BUILD_DIR) + "/bin/lame_enc.so"));
    fs::rename(at("lib/torvane/lame_enc.so"), work.file("lame_enc.so"));
    const ShellRun missing = shell(env + quote(cli) + " convert " + quote(work.file("tone.wav")) + " " +
                                  quote(work.file("again.mp3")),
                              work.file("missing.log"));
    fs::rename(work.file("lame_enc.so"), at("lib/torvane/lame_enc.so"));
    EXPECT_NE(missing.exitCode, 0) << missing.out;
    EXPECT_FALSE(fs::exists(work.file("again.mp3")));
}

TEST_F(InstallTest, InstalledCliRunsForAUserWhoCannotWriteTheProgramFolder) {
    if (::geteuid() != 0) GTEST_SKIP() << "switching to nobody needs root";
    if (!haveProgram("setpriv")) GTEST_SKIP() << "setpriv (util-linux) is missing";
    const std::string home = scratch->file("nobody");
    fs::create_directories(home);
    ASSERT_EQ(::chown(home.c_str(), kNobody, kNobody), 0);
    writeFile(home + "/tone.wav", toneWav());
    ASSERT_EQ(::chown((home + "/tone.wav").c_str(), kNobody, kNobody), 0);

    const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=" + quote(home) +
                                 " XDG_CONFIG_HOME=" + quote(home + "/.config") + " XDG_STATE_HOME=" +
                                 quote(home + "/.local/state") + " TMPDIR=" + quote(home) + " ";
    // The folder really is closed to that user.
    EXPECT_NE(shell(asNobody + "touch " + quote(programFolder() + "/probe"), home + "/touch.log").exitCode, 0);

    const std::set<std::string> before = tree(programFolder());
    const ShellRun c = shell(asNobody + quote(at("bin/torvane-cli")) + " convert " + quote(home + "/tone.wav") + " " +
                            quote(home + "/tone.mp3"),
                        scratch->file("nobody.log"));
    EXPECT_EQ(c.exitCode, 0) << c.out;
    EXPECT_GT(fs::file_size(home + "/tone.mp3"), 1000u);
    EXPECT_EQ(tree(programFolder()), before);
}

TEST_F(InstallTest, InstalledEditorKeepsItsSettingsInTheUsersFolder) {
    if (!TORVANE_WITH_GUI) GTEST_SKIP() << "built without the editor window";
    if (::geteuid() != 0) GTEST_SKIP() << "switching to nobody needs root";
    if (!haveProgram("setpriv")) GTEST_SKIP() << "setpriv (util-linux) is missing";
    const std::string home = scratch->file("editor-home");
    fs::create_directories(home);
    ASSERT_EQ(::chown(home.c_str(), kNobody, kNobody), 0);
    const std::string settings = home + "/.config/torvane/Velkora.ini";

    // The editor writes the language it chose at start; wait for that, then close it.
    const std::set<std::string> before = tree(programFolder());
    const std::string command =
        "setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=" + quote(home) + " XDG_CONFIG_HOME=" +
        quote(home + "/.config") + " XDG_STATE_HOME=" + quote(home + "/.local/state") + " XDG_RUNTIME_DIR=" +
        quote(home) + " TMPDIR=" + quote(home) +
        " QT_QPA_PLATFORM=offscreen TORVANE_AUDIO=null " + quote(at("bin/torvane")) + " & pid=$!; " +
        "for i in $(seq 600); do [ -s " + quote(settings) + " ] && break; sleep 0.1; done; " +
        "sleep 0.2; kill $pid; wait $pid; true";
    const ShellRun r = shell("sh -c " + quote(command), scratch->file("editor.log"));
    ASSERT_TRUE(fs::is_regular_file(settings)) << r.out;
    EXPECT_NE(textOf(settings).find("Language="), std::string::npos) << textOf(settings);
    struct stat st {};
    ASSERT_EQ(::stat(settings.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(tree(programFolder()), before);
    // It worked in the user's state folder, made private, and its folder there went with it.
    const std::string state = home + "/.local/state/torvane";
    ASSERT_EQ(::stat(state.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_TRUE(fs::is_empty(state));
}

}  // namespace
