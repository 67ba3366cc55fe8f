#include <gtest/gtest.h>

#include <filesystem>

#include "app/Startup.h"
#include "i18n/LanguageFiles.h"
#include "codec/OpenDocument.h"
#include "platform/IniFile.h"
#include "platform/UserLanguage.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

TEST(Startup, CommandLineIsJoinedWithSingleBlanks) {
    EXPECT_EQ(joinCommandLine({}), "");
    EXPECT_EQ(joinCommandLine({"C:\\My", "Music\\a", "b.mp3"}), "C:\\My Music\\a b.mp3");
    EXPECT_EQ(joinCommandLine({"/x/a b.wav"}), "/x/a b.wav");
    EXPECT_EQ(joinCommandLine({"a", "", "b"}), "a  b");
}

TEST(Startup, OpenableExtensionsIgnoreCase) {
    for (const char* ok : {"a.mp3", "/x/A.WAV", "b.Wma", "c.d.wav", "C:\\m\\x.MP3", "a.FLAC", "a.ogg", "a.opus", "a.aiff", "a.m4a", "a.rf64", "a.wave"}) EXPECT_TRUE(isOpenableSource(ok)) << ok;
    for (const char* no : {"a.txt", "wav", "/x.wav/file", "a.flac/x", "a.mp3 ", "C:\\x.wav\\y"})
        EXPECT_FALSE(isOpenableSource(no)) << no;
}

TEST(Startup, EmptyLanguageSettingTakesTheDefaultAndWritesIt) {
    TempDir dir;
    const std::string path = dir.file("Velkora.ini");
    {
        IniFile settings(path);  // missing file
        EXPECT_EQ(chooseLanguageFile(settings, languageIdFromLocale("zh_HK")), "ChineseBig5.ini");
    }
    EXPECT_EQ(IniFile(path).readString("General", "Language"), "ChineseBig5.ini");

    const std::string blank = "[General]\r\nAd=1\r\nLanguage=   \r\n";
    writeFile(path, {blank.begin(), blank.end()});
    IniFile settings(path);
    EXPECT_EQ(chooseLanguageFile(settings, 0x0804), "ChineseGB.ini");
    EXPECT_EQ(IniFile(path).readString("General", "Language"), "ChineseGB.ini");
    EXPECT_EQ(IniFile(path).readString("General", "Ad"), "1");
}

TEST(Startup, StoredLanguageIsTrimmedAndNotWritten) {
    TempDir dir;
    const std::string path = dir.file("Velkora.ini");
    const std::string stored = "[General]\r\nLanguage= English.ini \r\n";
    writeFile(path, {stored.begin(), stored.end()});
    IniFile settings(path);
    EXPECT_EQ(chooseLanguageFile(settings, languageIdFromLocale("zh_HK")), "English.ini");
    auto after = readFile(path);
    EXPECT_EQ(std::string(after.begin(), after.end()), stored);
}

TEST(Startup, LanguageFolderListsIniFilesSorted) {
    TempDir dir;
    for (const char* name : {"English.ini", "ChineseGB.ini", "b.INI", "notes.txt", "ini"}) writeFile(dir.file(name), {});
    std::filesystem::create_directory(dir.file("folder.ini"));
    EXPECT_EQ(listLanguageFiles(dir.path() + "/"),
              (std::vector<std::string>{"b.INI", "ChineseGB.ini", "English.ini"}));
    EXPECT_TRUE(listLanguageFiles(dir.file("missing") + "/").empty());
}

TEST(Startup, WaveformStaysCentredInItsScrollBox) {
    EXPECT_EQ(waveformTop(100), 0);
    EXPECT_EQ(waveformTop(251), 0);
    EXPECT_EQ(waveformTop(252), 0);
    EXPECT_EQ(waveformTop(253), 1);
    EXPECT_EQ(waveformTop(300), 24);
}
