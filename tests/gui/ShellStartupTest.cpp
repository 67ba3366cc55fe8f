#include <gtest/gtest.h>

#include <QAction>
#include <QScrollArea>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include "app/TOpenForm.h"

#include "i18n/LanguageFile.h"
#include "i18n/Messages.h"
#include "session/Session.h"
#include "platform/IniFile.h"
#include "support/ShellFixture.h"

using namespace torvane;
using namespace torvane::test;

namespace {
void touch(const std::string& path) { writeFile(path, {}); }
std::string fileText(const std::string& path) {
    auto b = readFile(path);
    return std::string(b.begin(), b.end());
}
}  // namespace

TEST(ShellStartup, CommandLineArgumentsAreRejoinedIntoAnExistingPath) {
    Shell shell;
    std::filesystem::create_directories(shell.temp.file("My Music"));
    const std::string file = shell.temp.file("My Music/a b.mp3");
    const std::string wav = shell.temp.file("source.wav");
    ASSERT_TRUE(makeSignalWav(wav, 22050, 1, 0.5));
    ASSERT_TRUE(run("lame --quiet " + quote(wav) + " " + quote(file)));
    TMainForm& f = shell.start({shell.temp.file("My"), "Music/a", "b.mp3"}, "en_US", false);
    EXPECT_TRUE(f.settings().openAtShow);
    EXPECT_EQ(f.doc().documentPath, file);
    f.show();
    f.runFirstShow();
    EXPECT_FALSE(f.settings().openAtShow);             // cleared by the first showing
    EXPECT_TRUE(shell.prompts.messages().empty());  // handed to the open
    EXPECT_EQ(f.doc().uiMode, 1u);
}

// One engine per process: each window below is gone before the next starts. A name that is
// not a file gets the message Open gives for it; of several files the first is opened, and said so.
TEST(ShellStartup, CommandLineFilesOpenAsOpenWould) {
    TempDir scratch;
    writeFile(scratch.file("a  b.wav"), {});  // two blanks: not rebuilt by single-blank joining
    const std::string x = scratch.file("x.wav");
    writeFile(x, makeWav(8000, 1, 16, samples16(std::vector<std::int16_t>(800, 100))));
    writeFile(scratch.file("y.wav"), readFile(x));
    const struct {
        std::vector<std::string> args;
        std::string opens;  // the file open, else the name refused
        bool loaded;
    } cases[] = {
        {{scratch.file("nothing.mp3")}, scratch.file("nothing.mp3"), false},
        {{scratch.file("a"), "b.wav"}, scratch.file("a b.wav"), false},
        {{x, scratch.file("y.wav")}, x, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opens);
        Shell shell;
        TMainForm& f = shell.start(c.args, "en_US", false);
        // A failed open keeps its dialog up until Cancel, as Open does.
        auto* cancel = new QTimer(&f);
        QObject::connect(cancel, &QTimer::timeout, cancel, [&] {
            if (f.OpenForm->isVisible() && !shell.prompts.messages().empty()) f.OpenForm->cancelButton()->click();
        });
        cancel->start(5);
        f.show();
        f.runFirstShow();
        pumpEvents();
        ASSERT_EQ(shell.prompts.messages().size(), 1u);
        EXPECT_EQ(f.doc().loaded, c.loaded);
        std::string expected = messageText(MessageId::OneFileAtATime, {x});
        if (!c.loaded) {
            Session open;
            ASSERT_TRUE(open.createFolder(shell.temp.path()));
            NoProgress none;
            expected = messageText(open.open(c.opens, none).message);
        }
        EXPECT_EQ(shell.prompts.messages()[0].text, expected);
    }
}

// --help and --version are answered without a display: a window would need the platform named.
TEST(ShellStartup, HelpAndVersionPrintWithoutAWindow) {
    const std::string program = "QT_QPA_PLATFORM=no-such-platform " + quote(std::string(TORVANE_BIN_DIR) + "/torvane");
    const Bytes version = capture(program + " --version");
    EXPECT_EQ(std::string(version.begin(), version.end()).substr(0, 8), "torvane ");
    for (const char* option : {"-h", "--help", "-V"}) EXPECT_TRUE(run(program + " " + option)) << option;
    const Bytes usage = capture(program + " --help");
    EXPECT_EQ(std::string(usage.begin(), usage.end()), messageText(MessageId::AppUsage));
    EXPECT_FALSE(run(program + " -- --help"));  // a file named --help needs the window
}

TEST(ShellStartup, CommandLineFileWithAnotherExtensionIsRefused) {
  {
    Shell shell;
    touch(shell.temp.file("song.txt"));
    TMainForm& f = shell.start({shell.temp.file("song.txt")});
    ASSERT_EQ(shell.prompts.messages().size(), 1u);
    EXPECT_EQ(shell.prompts.messages()[0].text, "Can not open the file.");
    EXPECT_EQ(shell.prompts.messages()[0].buttons, PromptButtons::Ok);
    EXPECT_EQ(f.doc().uiMode, 0u);
    EXPECT_FALSE(f.doc().loaded);
  }
    Shell upper;
    writeFile(upper.temp.file("SONG.WAV"), makeWav(8000, 1, 16, samples16(std::vector<std::int16_t>(800, 100))));
    TMainForm& g = upper.start({upper.temp.file("SONG.WAV")});
    EXPECT_TRUE(upper.prompts.messages().empty());  // the extension test ignores case
    EXPECT_EQ(g.doc().uiMode, 1u);
}

TEST(ShellStartup, SettingsFileChoosesAndStoresTheLanguage) {
    {
        Shell shell;
        TMainForm& f = shell.start({}, "zh_HK");
        EXPECT_EQ(f.settings().languageFileName, "ChineseBig5.ini");
        EXPECT_EQ(IniFile(shell.settingsFile()).readString("General", "Language"), "ChineseBig5.ini");
        // The chosen file is not in the folder: no language item is checked.
        ASSERT_EQ(f.languageItems.size(), 1u);
        EXPECT_FALSE(f.languageItems[0]->isChecked());
    }
    {
        Shell shell;
        const std::string stored = "[General]\r\nLanguage= English.ini \r\nAd=0\r\n";
        writeFile(shell.program.file("Velkora.ini"), {stored.begin(), stored.end()});
        TMainForm& f = shell.start({}, "zh_HK");
        EXPECT_EQ(f.settings().languageFileName, "English.ini");
        EXPECT_EQ(fileText(shell.program.file("Velkora.ini")), stored);
        EXPECT_EQ(f.adSetting(), "0");
        EXPECT_FALSE(f.bannerOn());
        EXPECT_TRUE(f.languageItems.at(0)->isChecked());
        ASSERT_NE(f.languageFile(), nullptr);  // the status bar words come from it
        EXPECT_EQ(f.languageFile()->text("StatusBar", "Stereo"), "Stereo");
    }
}

TEST(ShellStartup, LanguageMenuListsTheFolderSorted) {
    Shell shell;
    const std::string gb = "[LanguageProperty]\r\nName=Chinese\r\n";
    writeFile(shell.program.file("VKLanguage/ChineseGB.ini"), {gb.begin(), gb.end()});
    touch(shell.program.file("VKLanguage/readme.txt"));
    std::filesystem::create_directory(shell.program.file("VKLanguage/old.ini"));
    const std::string stored = "[general]\nlanguage=chinesegb.INI\n";
    writeFile(shell.program.file("Velkora.ini"), {stored.begin(), stored.end()});
    TMainForm& f = shell.start();
    EXPECT_EQ(f.languageFiles(), (std::vector<std::string>{"ChineseGB.ini", "English.ini"}));
    ASSERT_EQ(f.languageItems.size(), 2u);
    EXPECT_EQ(f.languageItems[0]->objectName(), "MLanguage0");
    EXPECT_EQ(f.languageItems[0]->text(), "Chinese");
    EXPECT_TRUE(f.languageItems[0]->isChecked());  // matched without regard to case
    EXPECT_EQ(f.languageItems[1]->text(), "English");
    EXPECT_FALSE(f.languageItems[1]->isChecked());
}

TEST(ShellStartup, EachInstanceWorksInItsOwnTempFolder) {
    for (bool trailing : {false, true}) {
        Shell shell;
        StartupOptions o = shell.options();
        o.tempBase = shell.temp.path() + (trailing ? "/" : "");
        shell.form = std::make_unique<TMainForm>(o);
        const std::string folder = shell.form->doc().tempFolder;
        SCOPED_TRACE(folder);
        EXPECT_EQ(folder.rfind(shell.temp.path() + "/torvane-", 0), 0u);
        EXPECT_EQ(folder.back(), '/');
        EXPECT_EQ(folder.find("//"), std::string::npos);
        EXPECT_TRUE(std::filesystem::is_directory(folder));
        EXPECT_EQ(shell.form->settings().bannerFilePath, folder + "_VelkoraAd.swf");
        touch(folder + "AudioTemp.wav");  // left behind by a cancelled save question
        shell.form.reset();
        EXPECT_FALSE(std::filesystem::exists(folder));  // removed at exit
    }
}

TEST(ShellStartup, NoDocumentStateAfterStartUp) {
    Shell shell;
    TMainForm& f = shell.start();
    const DocumentState& d = f.doc();
    EXPECT_TRUE(f.engineReady());
    EXPECT_EQ(d.uiMode, 0u);
    EXPECT_EQ(d.view.framesPerColumn, 10000);
    EXPECT_TRUE(f.MZoom10->isChecked());
    EXPECT_FALSE(d.modified || d.loaded || f.settings().openAtShow);
    EXPECT_TRUE(d.workingFilePath.empty() && d.documentPath.empty());
    EXPECT_EQ(f.settings().programFolder, shell.program.path() + "/");
    EXPECT_EQ(f.waveBitmap().size(), QSize(10, 221));
    EXPECT_EQ(f.PaintBox1->width(), 10);
    EXPECT_TRUE(shell.prompts.messages().empty());
}

TEST(ShellStartup, ResizeKeepsTheWaveformCentred) {
    Shell shell;
    TMainForm& f = shell.start();
    for (auto [height, top] : {std::pair{251, 0}, std::pair{300, 24}, std::pair{252, 0}, std::pair{400, 74}}) {
        f.resize(f.width(), f.height() + (height - f.ScrollBox1->height()));
        pumpEvents();
        ASSERT_EQ(f.ScrollBox1->height(), height);
        EXPECT_EQ(f.PaintBox1->y(), top) << height;
        EXPECT_EQ(f.PaintBox1->x(), 0);
    }
}

namespace {
// Every AudioTemp.wav below `folder`.
std::vector<std::string> workingFilesUnder(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->path().filename() == "AudioTemp.wav") found.push_back(it->path().string());
    return found;
}

void expectEveryDocumentCommandOff(TMainForm& f) {
    for (QAction* a : {f.MOpen, f.MClose, f.MSave, f.MSaveAs, f.MSelectAll, f.MDelete, f.MZoom10, f.MPlay,
                       f.MSetStart, f.KeySpace, f.KeyZoomIn})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    for (QToolButton* b : {f.ButtonOpen, f.ButtonClose, f.ButtonVolume, f.CButtonPlay, f.CButtonPlayFromHere})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    // What needs no document stays on.
    EXPECT_TRUE(f.MExit->isEnabled() && f.MAbout->isEnabled() && f.ButtonHelp->isEnabled());
}
}  // namespace

// The engine cannot start: its own box, no owner, no caption of the program's, the error icon;
// then nothing can be opened by any door, and no working file is written anywhere (before,
// an open wrote AudioTemp.wav into the current folder).
TEST(ShellStartup, EngineThatCannotStartLeavesEveryDocumentCommandOff) {
    Shell shell;
    TempDir media, cwd;
    const std::string wav = media.file("song.wav");
    ASSERT_TRUE(makeSignalWav(wav, 22050, 1, 0.5));
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(cwd.path());

    StartupOptions o = shell.options({wav});
    o.audioDevice = 9;  // no such device
    TMainForm& f = shell.startWith(o);
    ASSERT_EQ(shell.prompts.messages().size(), 1u);
    const MessageRequest& box = shell.prompts.messages()[0];
    EXPECT_EQ(box.text, "Can not start default recording device!");
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.icon, PromptIcon::Error);
    EXPECT_TRUE(box.ownerless);
    EXPECT_FALSE(f.engineReady());
    EXPECT_FALSE(f.doc().loaded);  // the command-line file was not opened
    EXPECT_EQ(f.doc().uiMode, 0u);
    expectEveryDocumentCommandOff(f);

    // Handlers reached some other way refuse too.
    shell.prompts.answerFile(wav);
    f.ButtonOpenClick();
    f.openFile(wav);
    EXPECT_TRUE(shell.prompts.fileDialogs().empty());
    EXPECT_FALSE(f.doc().loaded);
    EXPECT_EQ(shell.prompts.messages().size(), 1u);

    std::filesystem::current_path(previous);
    for (const std::string& folder : {cwd.path(), shell.temp.path(), shell.program.path(), media.path()})
        EXPECT_TRUE(workingFilesUnder(folder).empty()) << folder;
}

// The instance folder cannot be made (a temp folder that does not exist): the program says
// so and opens nothing, rather than falling back to a folder other instances share.
TEST(ShellStartup, NoInstanceFolderNoDocument) {
    Shell shell;
    TempDir media;
    const std::string wav = media.file("song.wav");
    ASSERT_TRUE(makeSignalWav(wav, 22050, 1, 0.5));
    // A temp base that does not exist, or a user's state folder that cannot be made.
    touch(shell.home.file("a-file"));
    for (bool stateFolder : {false, true}) {
        StartupOptions o = shell.options({wav});
        o.tempBase = stateFolder ? std::string() : shell.temp.file("missing/deeper");
        ::setenv("XDG_STATE_HOME", shell.home.file("a-file/state").c_str(), 1);
        shell.form.reset();  // one engine at a time
        shell.prompts = ScriptedPrompts();
        TMainForm& f = shell.startWith(o);
        EXPECT_EQ(shell.prompts.messageTexts(), std::vector<std::string>{"Cannot create a temporary folder."});
        EXPECT_TRUE(f.engineReady());
        EXPECT_FALSE(f.session().hasFolder());
        EXPECT_FALSE(f.doc().loaded);
        expectEveryDocumentCommandOff(f);
        for (const std::string& folder : {shell.temp.path(), media.path(), shell.home.path()})
            EXPECT_TRUE(workingFilesUnder(folder).empty()) << folder;
    }
}
