#include <gtest/gtest.h>

#include "platform/IniFile.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

namespace {
std::string text(const std::string& path) {
    auto b = readFile(path);
    return std::string(b.begin(), b.end());
}
void writeText(const std::string& path, const std::string& s) { writeFile(path, {s.begin(), s.end()}); }
}  // namespace

TEST(IniFile, ReadsWithProfileSemantics) {
    TempDir dir;
    const std::string path = dir.file("a.ini");
    writeText(path,
              "; comment=not a key\r\n"
              "[General]\r\n"
              "Language = English.ini \r\n"
              "LANGUAGE=second\r\n"
              "Quoted=\"  spaced  \"\r\n"
              "Empty=\r\n"
              "[general]\r\n"
              "Ad=later section ignored\r\n"
              "[StatusBar]\r\n"
              "Mono=\xB5\xA5\xC9\xF9\r\n");
    IniFile ini(path);
    EXPECT_EQ(ini.readString("general", "language", "x"), "English.ini");  // case, trim, first key wins
    EXPECT_EQ(ini.readString("GENERAL", "Quoted", "x"), "  spaced  ");
    EXPECT_EQ(ini.readString("General", "Empty", "x"), "");                 // present but empty: not the default
    EXPECT_EQ(ini.readString("General", "Ad", "dflt"), "dflt");               // first section wins
    EXPECT_EQ(ini.readString("General", "; comment", "dflt"), "dflt");
    EXPECT_EQ(ini.readString("Missing", "Mono", "dflt"), "dflt");
    EXPECT_EQ(ini.readString("StatusBar", "Mono"), "\xB5\xA5\xC9\xF9");       // 8-bit bytes untouched
}

TEST(IniFile, MissingFileReadsEmptyAndIsCreatedByAWrite) {
    TempDir dir;
    const std::string path = dir.file("new.ini");
    IniFile ini(path);
    EXPECT_EQ(ini.readString("General", "Language", "d"), "d");
    ASSERT_TRUE(ini.writeString("General", "Language", "ChineseBig5.ini"));
    EXPECT_EQ(text(path), "[General]\r\nLanguage=ChineseBig5.ini\r\n");
    EXPECT_EQ(IniFile(path).readString("general", "LANGUAGE"), "ChineseBig5.ini");
}

TEST(IniFile, WritesKeepTheRestOfTheFile) {
    TempDir dir;
    const std::string path = dir.file("keep.ini");
    writeText(path,
              "; settings\n"
              "[General]\n"
              "Ad=0\n"
              "Language=\n"
              "\n"
              "[Other]\n"
              "Key=\xE9t\xE9\n");
    IniFile ini(path);
    ASSERT_TRUE(ini.writeString("general", "language", "English.ini"));  // replaces the existing line in place
    EXPECT_EQ(text(path),
              "; settings\n[General]\nAd=0\nlanguage=English.ini\n\n[Other]\nKey=\xE9t\xE9\n");

    ASSERT_TRUE(ini.writeString("Other", "New", "1"));  // appended inside its section
    ASSERT_TRUE(ini.writeString("General", "Extra", "2"));  // before the blank separator line
    ASSERT_TRUE(ini.writeString("Third", "K", "v"));        // new section at the end
    EXPECT_EQ(text(path),
              "; settings\n[General]\nAd=0\nlanguage=English.ini\nExtra=2\n\n[Other]\nKey=\xE9t\xE9\nNew=1\n"
              "\n[Third]\nK=v\n");
    IniFile again(path);
    EXPECT_EQ(again.readString("OTHER", "new"), "1");
    EXPECT_EQ(again.readString("third", "k"), "v");
}

TEST(IniFile, WriteFailsOnAnUnwritablePath) {
    TempDir dir;
    IniFile ini(dir.file("no/such/folder/x.ini"));
    EXPECT_FALSE(ini.writeString("A", "B", "C"));
}
