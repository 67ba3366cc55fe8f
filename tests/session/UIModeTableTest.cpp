#include <gtest/gtest.h>

#include "doc/DocumentState.h"
#include "i18n/LanguageFile.h"
#include "i18n/StatusBarText.h"
#include "session/UIModeTable.h"
#include "platform/IniFile.h"
#include "support/TestFiles.h"

using namespace torvane;

namespace {
UIModeInputs inputs(std::uint32_t mode, bool modified = false) {
    UIModeInputs in;
    in.mode = mode;
    in.modified = modified;
    in.zoom10Checked = true;
    in.zoom1Checked = false;
    in.playColumn = 5;
    in.startMarker = 0;
    in.finishMarker = 9;
    return in;
}
}  // namespace

TEST(UIModeTable, ModeZeroEnablesOnlyOpen) {
    UIModeStates expected;
    expected.open = true;
    EXPECT_EQ(uiModeStates(inputs(0, true)), expected);
}

TEST(UIModeTable, RowsPerModeAsTheCommandTableGives) {
    // Columns: open close saveAs selectAll cut effects zoomItems play playFromHere pause stop.
    struct Row { std::uint32_t mode; bool play, pause, stop; };
    for (Row r : {Row{1, true, false, false}, Row{2, false, true, true}, Row{3, true, false, true}}) {
        for (bool modified : {false, true}) {
            const UIModeStates s = uiModeStates(inputs(r.mode, modified));
            SCOPED_TRACE(testing::Message() << "mode " << r.mode << " modified " << modified);
            EXPECT_FALSE(s.open);
            EXPECT_TRUE(s.close);
            EXPECT_EQ(s.save, modified);
            EXPECT_TRUE(s.saveAs);
            EXPECT_TRUE(s.selectAll);
            EXPECT_TRUE(s.cut);
            EXPECT_TRUE(s.effects);
            EXPECT_TRUE(s.zoomItems);
            EXPECT_EQ(s.play, r.play);
            EXPECT_EQ(s.playFromHere, r.play);
            EXPECT_EQ(s.pause, r.pause);
            EXPECT_EQ(s.stop, r.stop);
            EXPECT_TRUE(s.setStart);   // column 5 < finish 9
            EXPECT_TRUE(s.setFinish);  // column 5 > start 0
        }
    }
}

TEST(UIModeTable, ZoomButtonsFollowTheExtremeZoomChecks) {
    for (std::uint32_t mode : {1u, 2u, 3u}) {
        UIModeInputs in = inputs(mode);
        in.zoom10Checked = true;
        in.zoom1Checked = false;
        auto s = uiModeStates(in);
        EXPECT_TRUE(s.zoomIn);
        EXPECT_FALSE(s.zoomOut);
        in.zoom10Checked = false;
        in.zoom1Checked = true;
        s = uiModeStates(in);
        EXPECT_FALSE(s.zoomIn);
        EXPECT_TRUE(s.zoomOut);
        in.zoom1Checked = false;  // 4 : 1, say
        s = uiModeStates(in);
        EXPECT_TRUE(s.zoomIn);
        EXPECT_TRUE(s.zoomOut);
        EXPECT_TRUE(s.zoomItems);
    }
}

TEST(UIModeTable, MarkerRulesCompareThePlayColumnUnsigned) {
    UIModeInputs in = inputs(1);
    in.startMarker = 0;
    in.finishMarker = 99;
    in.playColumn = 0;  // right after an open
    EXPECT_TRUE(uiModeStates(in).setStart);
    EXPECT_FALSE(uiModeStates(in).setFinish);
    in.playColumn = 99;  // on the finish marker
    EXPECT_FALSE(uiModeStates(in).setStart);
    EXPECT_TRUE(uiModeStates(in).setFinish);
    in.startMarker = 40;
    in.playColumn = 40;  // on the start marker
    EXPECT_TRUE(uiModeStates(in).setStart);
    EXPECT_FALSE(uiModeStates(in).setFinish);
    in.startMarker = in.finishMarker = in.playColumn = 0;  // one column
    EXPECT_FALSE(uiModeStates(in).setStart);
    EXPECT_FALSE(uiModeStates(in).setFinish);
}

TEST(StatusBarText, FormatDurationAndPathWithTheLanguageWords) {
    test::TempDir dir;
    const std::string lang = dir.file("English.ini");
    const std::string body = "[StatusBar]\nMono=Mono\nStereo=Stereo\nBits=Bits\n";
    test::writeFile(lang, {body.begin(), body.end()});
    LanguageFile words(lang);

    DocumentState doc;
    doc.format.sampleRate = 44100;
    doc.format.channels = 2;
    doc.format.bitsPerSample = 16;
    doc.format.duration = 3725;
    doc.documentPath = "/music/a b.mp3";
    auto t = statusBarTexts(doc, &words);
    EXPECT_EQ(t[0], "44100 Hz   Stereo   16Bits");
    EXPECT_EQ(t[1], "01:02:05");
    EXPECT_EQ(t[2], "/music/a b.mp3");

    doc.format.sampleRate = 8000;
    doc.format.channels = 1;
    doc.format.bitsPerSample = 8;
    doc.format.duration = 360000;
    t = statusBarTexts(doc, &words);
    EXPECT_EQ(t[0], "8000 Hz   Mono   8Bits");
    EXPECT_EQ(t[1], "100:00:00");

    // Missing words leave their place empty; numbers and separators stay.
    LanguageFile none(dir.file("missing.ini"));
    EXPECT_EQ(statusBarTexts(doc, &none)[0], "8000 Hz      8");
    EXPECT_EQ(statusBarTexts(doc, nullptr)[0], "8000 Hz      8");
}
