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
    const int status = std::system(("{ " + command + "; } >" + quote(log) + " 2>&1 </dev/null").c_str());
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

// One installation shared by the tests, staged as a packager does: into DESTDIR, for a prefix
// that is not the default; the staged copy must run where it is.
class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch = new TempDir;
        // Reachable by nobody, for the run without privileges.
        ::chmod(scratch->path().c_str(), 0755);
        prefix = scratch->file("stage") + kPrefix;
        const ShellRun r = shell("DESTDIR=" + quote(scratch->file("stage")) + " " + quote(TORVANE_CMAKE_COMMAND) +
                                     " --install " + quote(TORVANE_BUILD_DIR) + " --prefix " + kPrefix,
                                 scratch->file("install.log"));
        installed = r.exitCode == 0;
        installLog = r.out;
    }
    static void TearDownTestSuite() {
        delete scratch;
        scratch = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(installed) << installLog; }

    static std::string at(const std::string& rel) { return prefix + "/" + rel; }

    static constexpr const char* kPrefix = "/opt/torvane-test";
    static inline TempDir* scratch = nullptr;
    static inline std::string prefix;
    static inline bool installed = false;
    static inline std::string installLog;
};

TEST_F(InstallTest, LayoutIsTheUsualOneAndNothingElse) {
    std::set<std::string> expected = {"bin/", "bin/torvane-cli", "lib/", "lib/torvane/", "lib/torvane/lame_enc.so",
                                      "lib/torvane/wmaudsdk.so", "share/", "share/torvane/",
                                      "share/torvane/VKLanguage/", "share/torvane/help/", "share/doc/",
                                      "share/doc/torvane/", "share/doc/torvane/LICENSE", "share/man/",
                                      "share/man/man1/", "share/man/man1/torvane-cli.1"};
    if (TORVANE_WITH_GUI) {
        expected.insert({"bin/torvane", "share/man/man1/torvane.1", "share/applications/",
                         "share/applications/org.torvane.Editor.desktop", "share/metainfo/",
                         "share/metainfo/org.torvane.Editor.metainfo.xml", "share/icons/", "share/icons/hicolor/",
                         "share/icons/hicolor/scalable/", "share/icons/hicolor/scalable/apps/",
                         "share/icons/hicolor/scalable/apps/org.torvane.Editor.svg"});
        for (const char* size : {"16", "24", "32", "48", "64", "128", "256"}) {
            const std::string folder = std::string("share/icons/hicolor/") + size + "x" + size + "/";
            expected.insert({folder, folder + "apps/", folder + "apps/org.torvane.Editor.png"});
        }
    }
    if (fs::exists(std::string(TORVANE_BUILD_DIR) + "/bin/Velkora.chm")) expected.insert("share/torvane/Velkora.chm");
    std::set<std::string> found;
    for (const std::string& rel : tree(prefix))
        if (rel.rfind("share/torvane/VKLanguage/", 0) != 0 && rel.rfind("share/torvane/help/", 0) != 0)
            found.insert(rel);
    found.insert({"share/torvane/VKLanguage/", "share/torvane/help/"});
    EXPECT_EQ(found, expected);
    for (const std::string& rel : expected)
        if (rel.rfind("bin/", 0) == 0 && rel.back() != '/') EXPECT_EQ(::access(at(rel).c_str(), X_OK), 0) << rel;

    // Every language file and help page of the sources, and nothing of the help project.
    for (const auto& e : fs::directory_iterator(std::string(TORVANE_SOURCE_DIR) + "/VKLanguage"))
        EXPECT_EQ(readFile(at("share/torvane/VKLanguage/" + e.path().filename().string())), readFile(e.path().string()))
            << e.path();
    const std::string helpSource = std::string(TORVANE_SOURCE_DIR) + "/help";
    for (const auto& e : fs::recursive_directory_iterator(helpSource)) {
        const std::string rel = "share/torvane/help/" + e.path().lexically_relative(helpSource).string();
        const std::string ext = e.path().extension().string();
        EXPECT_EQ(fs::exists(at(rel)), ext == ".html" || ext == ".css" || e.is_directory()) << rel;
    }
}

// The PNG icons are drawn at their sizes; the desktop entry, the software centre's record and the
// manual pages pass their validators (where installed).
TEST_F(InstallTest, DesktopFilesAreValid) {
    if (!TORVANE_WITH_GUI) GTEST_SKIP() << "built without the editor window";
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const std::string n = std::to_string(size);
        const Bytes png = readFile(at("share/icons/hicolor/" + n + "x" + n + "/apps/org.torvane.Editor.png"));
        ASSERT_GT(png.size(), 24u) << n;
        EXPECT_EQ(png[1], 'P');
        EXPECT_EQ(png[19] | png[18] << 8, size);  // IHDR width
        EXPECT_EQ(png[23] | png[22] << 8, size);  // IHDR height
    }
    const std::string entry = textOf(at("share/applications/org.torvane.Editor.desktop"));
    for (const char* line : {"\nIcon=org.torvane.Editor\n", "\nExec=torvane %f\n", "\nKeywords=", "\nName[zh_CN]=",
                             "\nName[zh_TW]=", "\nGenericName[zh_CN]=", "\nComment[zh_TW]="})
        EXPECT_NE(entry.find(line), std::string::npos) << line;
    const struct {
        const char* tool;
        std::string command;
    } checks[] = {
        {"desktop-file-validate", "desktop-file-validate " + quote(at("share/applications/org.torvane.Editor.desktop"))},
        {"appstreamcli", "appstreamcli validate --no-net " + quote(at("share/metainfo/org.torvane.Editor.metainfo.xml"))},
        {"man", "LC_ALL=C.UTF-8 man --warnings -l " + quote(at("share/man/man1/torvane.1")) + " " +
                    quote(at("share/man/man1/torvane-cli.1")) + " | grep -c SYNOPSIS | grep -qx 2"},
    };
    for (const auto& c : checks) {
        if (!haveProgram(c.tool)) continue;
        const ShellRun v = shell(c.command, scratch->file("validate.log"));
        EXPECT_EQ(v.exitCode, 0) << c.command << "\n" << v.out;
        EXPECT_EQ(v.out.find("E:"), std::string::npos) << v.out;
        EXPECT_EQ(v.out.find("warning"), std::string::npos) << v.out;
    }
}

TEST_F(InstallTest, InstalledEditorPrintsItsVersion) {
    if (!TORVANE_WITH_GUI) GTEST_SKIP() << "built without the editor window";
    // No display at all: the version is printed before any window could be made.
    const ShellRun r = shell("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 " +
                                 quote(at("bin/torvane")) + " --version",
                             scratch->file("editor-version.log"));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.rfind("torvane ", 0), 0u) << r.out;
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
    // the installed program loads its libraries from lib/torvane beside its own folder.
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
    EXPECT_NE(shell(asNobody + "touch " + quote(at("lib/torvane/probe")), home + "/touch.log").exitCode, 0);

    const std::set<std::string> before = tree(at(""));
    const ShellRun c = shell(asNobody + quote(at("bin/torvane-cli")) + " convert " + quote(home + "/tone.wav") + " " +
                            quote(home + "/tone.mp3"),
                        scratch->file("nobody.log"));
    EXPECT_EQ(c.exitCode, 0) << c.out;
    EXPECT_GT(fs::file_size(home + "/tone.mp3"), 1000u);
    EXPECT_EQ(tree(at("")), before);
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
    const std::set<std::string> before = tree(at(""));
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
    EXPECT_EQ(tree(at("")), before);
    // It worked in the user's state folder, made private, and its folder there went with it.
    const std::string state = home + "/.local/state/torvane";
    ASSERT_EQ(::stat(state.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_TRUE(fs::is_empty(state));
}

}  // namespace
