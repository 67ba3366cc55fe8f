// Languages in the main window, offscreen: the menu built from the sorted files, a choice
// applied at once and remembered, captions and dialog texts from the file, English where a key
// is missing, the status bar words at the next stopped-mode update, and message boxes and the
// toolkit's own texts in the window's language.

#include <gtest/gtest.h>

#include <QAction>
#include <QDate>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include "app/TAboutForm.h"
#include "app/TVolumeForm.h"
#include "platform/IniFile.h"
#include "support/ShellFixture.h"

using namespace torvane;
using namespace torvane::test;

namespace {


// A language file of a few keys, 8-bit Western text.
void writeLanguage(const std::string& path, const std::string& name, const std::string& body) {
    const std::string all = "[LanguageProperty]\r\nName=" + name + "\r\nFontSize=abc\r\n" + body;
    writeFile(path, Bytes(all.begin(), all.end()));
}

}  // namespace

TEST(Languages, MenuFollowsFileNamesAndAChoiceIsAppliedAndRemembered) {
    Shell shell;
    const std::string folder = shell.program.file("VKLanguage/");
    for (const char* f : {"ChineseGB.ini", "ChineseBig5.ini"})
        std::filesystem::copy_file(std::string(TORVANE_SOURCE_DIR) + "/VKLanguage/" + f, folder + f);
    // "Zulu" sorts last by file name though its display name sorts first.
    writeLanguage(folder + "Zulu.ini", "Aaa", "[Menu]\r\nFile=Zzz\r\n[StatusBar]\r\nStereo=Two\r\n");
    TMainForm& f = shell.start();
    ASSERT_EQ(f.languageItems.size(), 4u);
    EXPECT_EQ(f.languageItems[0]->objectName(), "MLanguage0");
    EXPECT_EQ(f.languageItems[0]->text(), QString::fromUtf8(u8"\u7E41\u9AD4\u4E2D\u6587"));  // ChineseBig5.ini
    EXPECT_EQ(f.languageItems[1]->text(), QString::fromUtf8(u8"\u7B80\u4F53\u4E2D\u6587"));  // ChineseGB.ini
    EXPECT_EQ(f.languageItems[2]->text(), "English");
    EXPECT_EQ(f.languageItems[3]->text(), "Aaa");
    EXPECT_TRUE(f.languageItems[2]->isChecked());
    EXPECT_EQ(f.ButtonDelete->text(), "Delete");

    // Simplified Chinese: captions, hints, dialogs change at once; the choice is written.
    f.languageItems[1]->trigger();
    EXPECT_TRUE(f.languageItems[1]->isChecked());
    EXPECT_FALSE(f.languageItems[2]->isChecked());
    EXPECT_EQ(IniFile(shell.settingsFile()).readString("General", "Language"), "ChineseGB.ini");
    EXPECT_EQ(f.ButtonDelete->text(), QString::fromUtf8(u8"\u5220\u9664"));
    EXPECT_EQ(f.CButtonPlay->toolTip(), QString::fromUtf8(u8"\u64AD\u653E"));
    EXPECT_EQ(f.VolumeForm->CheckBoxMute->text(), QString::fromUtf8(u8"\u9759\u97F3"));
    EXPECT_EQ(f.font().pointSize(), 9);

    // A file without most keys: its captions are English, not the previous language's nor
    // blank; a FontSize that is no number gives 8.
    f.languageItems[3]->trigger();
    EXPECT_EQ(f.ButtonDelete->text(), "Delete");
    EXPECT_EQ(f.MUndo->text(), "Undo");
    EXPECT_EQ(f.MenuFile->title(), "Zzz");
    EXPECT_EQ(f.VolumeForm->findChild<QPushButton*>("ButtonOk")->text(), "OK");
    EXPECT_EQ(f.font().pointSize(), 8);
    EXPECT_EQ(IniFile(shell.settingsFile()).readString("General", "Language"), "Zulu.ini");

    // The status bar words change at the next update of the stopped mode.
    fakeDocument(f, 10, 0, 9);
    f.SetUIMode(ModeStopped);
    EXPECT_EQ(f.StatusPanels[0]->text(), "44100 Hz   Two   16");
}

// Under the Chinese window a message box speaks Chinese, and so do the toolkit's own buttons
// (where its translations are installed); back in English both are English again.
TEST(Languages, MessagesAndTheToolkitFollowTheLanguage) {
    Shell shell;
    std::filesystem::copy_file(std::string(TORVANE_SOURCE_DIR) + "/VKLanguage/ChineseGB.ini",
                               shell.program.file("VKLanguage/ChineseGB.ini"));
    TMainForm& f = shell.start();
    ASSERT_EQ(f.languageItems.size(), 2u);
    const bool toolkitTranslated =
        QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_zh_CN.qm");
    auto askToClose = [&] {
        fakeDocument(f, 10, 0, 9);
        f.session().stateForTests().modified = true;
        f.SetUIMode(ModeStopped);
        shell.prompts.clear();
        f.ButtonClose->click();  // the question is cancelled: the document stays
        return shell.prompts.messageTexts();
    };
    f.languageItems[0]->trigger();
    EXPECT_EQ(askToClose(), std::vector<std::string>{reinterpret_cast<const char*>(
                                u8"\u6587\u4EF6\u5DF2\u88AB\u4FEE\u6539\u3002\n\u662F\u5426\u4FDD\u5B58\u66F4\u6539\uFF1F")});
    if (toolkitTranslated)
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8(u8"\u53D6\u6D88"));
    f.languageItems[1]->trigger();
    EXPECT_EQ(askToClose(), std::vector<std::string>{"File has been modified.\nDo you want to save the changes?"});
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
}

// Two users of one program folder that either could write, with the administrator's Velkora.ini
// (no language, no banner): each one's choices stay in their own file, with the defaults.
TEST(Languages, OneUsersChoiceReachesNeitherAnotherUserNorTheProgramFolder) {
    Shell shell;
    std::filesystem::copy_file(std::string(TORVANE_SOURCE_DIR) + "/VKLanguage/ChineseGB.ini",
                               shell.program.file("VKLanguage/ChineseGB.ini"));
    const std::string shipped = "[General]\r\nLanguage=\r\nAd=0\r\n";
    writeFile(shell.program.file("Velkora.ini"), Bytes(shipped.begin(), shipped.end()));
    TempDir otherUser;
    const std::string otherFile = otherUser.file("torvane/Velkora.ini");

    TMainForm& a = shell.start();
    ASSERT_EQ(a.languageItems.size(), 2u);
    a.languageItems[0]->trigger();  // ChineseGB.ini
    EXPECT_EQ(IniFile(shell.settingsFile()).readString("General", "Language"), "ChineseGB.ini");
    EXPECT_EQ(IniFile(shell.settingsFile()).readString("General", "Ad"), "0");
    shell.form.reset();

    ::setenv("XDG_CONFIG_HOME", otherUser.path().c_str(), 1);
    TMainForm& b = shell.start();
    EXPECT_EQ(b.settings().languageFileName, "English.ini");
    EXPECT_EQ(b.ButtonDelete->text(), "Delete");
    EXPECT_FALSE(b.bannerOn());
    EXPECT_EQ(IniFile(otherFile).readString("General", "Language"), "English.ini");  // start-up's choice
    EXPECT_EQ(IniFile(shell.settingsFile()).readString("General", "Language"), "ChineseGB.ini");
    EXPECT_TRUE(readFile(shell.program.file("Velkora.ini")) == Bytes(shipped.begin(), shipped.end()));
}

// Two files with the same name: a click marks both and the first by file name is taken.
TEST(Languages, TwoFilesOfTheSameNameSelectTheFirst) {
    Shell shell;
    const std::string folder = shell.program.file("VKLanguage/");
    writeLanguage(folder + "b.ini", "Same", "[ToolBar]\r\nDelete=From B\r\n");
    writeLanguage(folder + "a.ini", "Same", "[ToolBar]\r\nDelete=From A\r\n");
    TMainForm& f = shell.start();
    ASSERT_EQ(f.languageItems.size(), 3u);  // a.ini, b.ini, English.ini
    f.languageItems[1]->trigger();          // b.ini's item
    EXPECT_TRUE(f.languageItems[0]->isChecked() && f.languageItems[1]->isChecked());
    EXPECT_FALSE(f.languageItems[2]->isChecked());
    EXPECT_EQ(f.ButtonDelete->text(), "From A");
    EXPECT_EQ(IniFile(shell.settingsFile()).readString("General", "Language"), "a.ini");
}

// The About box: its link opens the home page, its notice line ends with this year.
TEST(Languages, AboutBoxNoticeEndsWithThisYearAndItsLinkOpensTheHomePage) {
    Shell shell;
    TMainForm& f = shell.start();
    const QString year = QString::number(QDate::currentDate().year());
    EXPECT_TRUE(f.AboutForm->noticeLine(QDate::currentDate().year()).endsWith(year));
    EXPECT_TRUE(f.AboutForm->noticeLine(QDate::currentDate().year()).startsWith("Copyright"));
    EXPECT_TRUE(f.AboutForm->noticeLine(2031).endsWith("2026-2031"));
    f.ButtonUpdate->click();
    f.MHome->trigger();
    ASSERT_EQ(shell.prompts.opened().size(), 2u);
    EXPECT_EQ(shell.prompts.opened()[0], kHomePageAddress);
    EXPECT_EQ(shell.prompts.opened()[1], kHomePageAddress);
    f.MHelp->trigger();
    ASSERT_EQ(shell.prompts.opened().size(), 3u);
    const std::string help = shell.prompts.opened()[2];
    EXPECT_TRUE(help == f.settings().programFolder + "Velkora.chm" || help == f.settings().programFolder + "help/index.html")
        << help;
}

// With nothing on the desktop to show a link, each command names what it tried in a message
// box, in the window's language; Help opens the pages of the chosen language.
TEST(Languages, LinksNothingCanShowAreNamedInAMessage) {
    Shell shell;
    std::filesystem::copy_file(std::string(TORVANE_SOURCE_DIR) + "/VKLanguage/ChineseGB.ini",
                               shell.program.file("VKLanguage/ChineseGB.ini"));
    std::filesystem::create_directories(shell.program.file("help/ChineseGB"));
    writeFile(shell.program.file("help/ChineseGB/index.html"), Bytes{'<', 'p', '>'});
    shell.prompts.setCanOpen(false);
    TMainForm& f = shell.start();
    f.ButtonUpdate->click();
    f.MHelp->trigger();
    f.languageItems[0]->trigger();  // ChineseGB.ini
    f.MHelp->trigger();
    const std::vector<std::string>& opened = shell.prompts.opened();
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[2], shell.program.file("help/ChineseGB/index.html"));
    const std::vector<std::string> texts = shell.prompts.messageTexts();
    ASSERT_EQ(texts.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NE(texts[i].find("\n" + opened[i]), std::string::npos) << texts[i];
    EXPECT_EQ(texts[0].rfind("No program to show this was found", 0), 0u) << texts[0];
    EXPECT_EQ(texts[2].rfind("找不到能显示它的程序", 0), 0u) << texts[2];
}
