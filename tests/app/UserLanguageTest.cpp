#include <gtest/gtest.h>

#include "platform/Folders.h"
#include "platform/UserLanguage.h"

using namespace torvane;

TEST(UserLanguage, ChineseLocalesMapToTheirIdentifiersEverythingElseToUsEnglish) {
    EXPECT_EQ(languageIdFromLocale("zh_CN"), 0x0804);
    EXPECT_EQ(languageIdFromLocale("zh_SG.UTF-8"), 0x1004);
    EXPECT_EQ(languageIdFromLocale("zh-TW"), 0x0404);
    EXPECT_EQ(languageIdFromLocale("ZH_hk@stroke"), 0x0C04);
    for (const char* other : {"en_US", "en_GB.UTF-8", "zh", "zh_MO", "de_DE", "C", "", "zh_HKX"})
        EXPECT_EQ(languageIdFromLocale(other), 0x0409) << other;
}

TEST(UserLanguage, DefaultLanguageFiles) {
    EXPECT_EQ(defaultLanguageFileName(0x0804), "ChineseGB.ini");
    EXPECT_EQ(defaultLanguageFileName(0x1004), "ChineseGB.ini");
    EXPECT_EQ(defaultLanguageFileName(0x0404), "ChineseBig5.ini");
    EXPECT_EQ(defaultLanguageFileName(0x0C04), "ChineseBig5.ini");
    EXPECT_EQ(defaultLanguageFileName(0x0409), "English.ini");
    EXPECT_EQ(defaultLanguageFileName(0x0407), "English.ini");
}

TEST(Folders, TrailingSeparatorIsAddedOnlyWhenMissing) {
    const std::string sep(1, folderSeparator());
    EXPECT_EQ(withTrailingSeparator("/tmp"), "/tmp" + sep);
    EXPECT_EQ(withTrailingSeparator("/tmp/"), "/tmp/");
    EXPECT_EQ(withTrailingSeparator("C:\\Temp\\"), "C:\\Temp\\");
    const std::string temp = systemTempFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(temp.back() == '/' || temp.back() == '\\');
}
