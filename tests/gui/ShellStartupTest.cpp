#include <gtest/gtest.h>

#include <QAction>
#include <QScrollArea>

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
    EXPECT_TRUE(f.doc().openAtShow);
    EXPECT_EQ(f.doc().documentPath, file);
    f.show();
    f.runFirstShow();
    EXPECT_FALSE(f.doc().openAtShow);             // cleared by the first showing
    EXPECT_TRUE(shell.prompts.messages().empty());  // handed to the open
    EXPECT_EQ(f.doc().uiMode, 1u);
}

// One engine per process: each window below is gone before the next starts.
TEST(ShellStartup, CommandLineThatNamesNoFileIsIgnored) {
  {
    Shell shell;
    touch(shell.temp.file("a  b.wav"));  // two blanks: not rebuilt by single-blank joining
    TMainForm& f = shell.start({shell.temp.file("a"), "b.wav"});
    EXPECT_FALSE(f.doc().openAtShow);
    EXPECT_TRUE(f.doc().documentPath.empty());
    EXPECT_TRUE(shell.prompts.messages().empty());
  }
    Shell missing;
    TMainForm& g = missing.start({missing.temp.file("nothing.mp3")});
    EXPECT_TRUE(g.doc().documentPath.empty());
    EXPECT_TRUE(missing.prompts.messages().empty());
    EXPECT_EQ(g.doc().uiMode, 0u);
}

TEST(ShellStartup, CommandLineFileWithAnotherExtensionIsRefused) {
  {
    Shell shell;
    touch(shell.temp.file("song.ogg"));
    TMainForm& f = shell.start({shell.temp.file("song.ogg")});
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
        EXPECT_EQ(f.doc().languageFileName, "ChineseBig5.ini");
        EXPECT_EQ(IniFile(shell.program.file("Velkora.ini")).readString("General", "Language"), "ChineseBig5.ini");
        // The chosen file is not in the folder: no language item is checked.
        ASSERT_EQ(f.languageItems.size(), 1u);
        EXPECT_FALSE(f.languageItems[0]->isChecked());
    }
    {
        Shell shell;
        const std::string stored = "[General]\r\nLanguage= English.ini \r\nAd=0\r\n";
        writeFile(shell.program.file("Velkora.ini"), {stored.begin(), stored.end()});
        TMainForm& f = shell.start({}, "zh_HK");
        EXPECT_EQ(f.doc().languageFileName, "English.ini");
        EXPECT_EQ(fileText(shell.program.file("Velkora.ini")), stored);
        EXPECT_EQ(f.adSetting(), "0");
        EXPECT_FALSE(f.bannerOn());
        EXPECT_TRUE(f.languageItems.at(0)->isChecked());
        ASSERT_NE(f.languageFile(), nullptr);  // the status bar words come from it
        EXPECT_EQ(f.languageFile()->readString("StatusBar", "Stereo"), "Stereo");
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
        EXPECT_EQ(shell.form->doc().bannerFilePath, folder + "_VelkoraAd.swf");
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
    EXPECT_FALSE(d.modified || d.loaded || d.openAtShow);
    EXPECT_TRUE(d.workingFilePath.empty() && d.documentPath.empty());
    EXPECT_EQ(d.programFolder, shell.program.path() + "/");
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
