#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include "support/ShellFixture.h"

using namespace torvane;
using namespace torvane::test;

namespace {

bool enabled(TMainForm& f, const QString& name) {
    if (auto* a = f.findChild<QAction*>(name)) return a->isEnabled();
    if (auto* w = f.findChild<QWidget*>(name)) return w->isEnabled();
    ADD_FAILURE() << "no component " << name.toStdString();
    return false;
}

// The command table: per mode 0..3 a fixed state or a rule letter.
// M modified flag, S start rule, F finish rule, I not MZoom1, O not MZoom10.
struct Row {
    QStringList items;
    const char* modes;
};
const Row kTable[] = {
    {{"MOpen", "ButtonOpen"}, "1000"},
    {{"MClose", "ButtonClose"}, "0111"},
    {{"MSave", "ButtonSave"}, "0MMM"},
    {{"MSaveAs", "ButtonSaveAs"}, "0111"},
    {{"MSelectAll", "MPopSelectAll"}, "0111"},
    {{"MDelete", "ButtonDelete", "MCutOut", "ButtonCutOut"}, "0111"},
    {{"MVolume", "ButtonVolume", "MFadeIn", "ButtonFadeIn", "MFadeOut", "ButtonFadeOut"}, "0111"},
    {{"MZoom10", "MZoom8", "MZoom6", "MZoom4", "MZoom2", "MZoom1"}, "0111"},
    {{"ButtonZoomIn"}, "0III"},
    {{"ButtonZoomOut"}, "0OOO"},
    {{"MPlay", "CButtonPlay"}, "0101"},
    {{"MPlayFromHere", "CButtonPlayFromHere", "MPopPlayFromHere"}, "0101"},
    {{"MPause", "CButtonPause"}, "0010"},
    {{"MStop", "CButtonStop"}, "0011"},
    {{"MSetStart", "CButtonSetStart", "MPopSetStart"}, "0SSS"},
    {{"MSetFinish", "CButtonSetFinish", "MPopSetFinish"}, "0FFF"},
};

void expectTable(TMainForm& f, std::uint32_t mode, std::uint32_t playColumn) {
    const DocumentState& d = f.doc();
    for (const Row& row : kTable) {
        bool want = false;
        switch (row.modes[mode]) {
        case '1': want = true; break;
        case '0': want = false; break;
        case 'M': want = d.modified; break;
        case 'S': want = playColumn < d.selection.finishMarker; break;
        case 'F': want = playColumn > d.selection.startMarker; break;
        case 'I': want = !f.MZoom1->isChecked(); break;
        case 'O': want = !f.MZoom10->isChecked(); break;
        }
        for (const QString& item : row.items)
            EXPECT_EQ(enabled(f, item), want) << item.toStdString() << " in mode " << mode;
    }
}

const QStringList kAlwaysEnabled = {"MExit", "MHelp", "MHome", "MAbout", "ButtonHelp", "ButtonUpdate", "MLanguage0"};

}  // namespace

TEST(ShellModes, EveryRowOfTheEnablingTableInEveryMode) {
    Shell shell;
    TMainForm& f = shell.start();
    expectTable(f, 0, 0);
    fakeDocument(f, 10, 0, 9);
    for (std::uint32_t mode : {1u, 2u, 3u, 0u}) {
        for (bool modified : {false, true}) {
            f.session().stateForTests().modified = modified;
            f.SetUIMode(mode);
            EXPECT_EQ(f.doc().uiMode, mode);
            expectTable(f, mode, 0);  // no stream: play column 0
            for (const QString& item : kAlwaysEnabled) EXPECT_TRUE(enabled(f, item)) << item.toStdString();
        }
    }
}

TEST(ShellModes, ZoomButtonsAtOneToOneAndTenToOne) {
    Shell shell;
    TMainForm& f = shell.start();
    fakeDocument(f, 10, 0, 9);
    f.MZoom10->setChecked(false);
    f.MZoom1->setChecked(true);
    for (std::uint32_t mode : {1u, 2u, 3u}) {
        f.SetUIMode(mode);
        EXPECT_FALSE(f.ButtonZoomIn->isEnabled());
        EXPECT_TRUE(f.ButtonZoomOut->isEnabled());
        EXPECT_FALSE(f.KeyZoomIn->isEnabled());
        EXPECT_TRUE(f.MZoom1->isEnabled() && f.MZoom10->isEnabled());
    }
    f.MZoom1->setChecked(false);
    f.MZoom10->setChecked(true);
    for (std::uint32_t mode : {1u, 2u, 3u}) {
        f.SetUIMode(mode);
        EXPECT_TRUE(f.ButtonZoomIn->isEnabled());
        EXPECT_FALSE(f.ButtonZoomOut->isEnabled());
        EXPECT_FALSE(f.KeyZoomOut->isEnabled());
    }
}

TEST(ShellModes, MarkerCommandsFollowThePlayColumnOfTheEngine) {
    Shell shell;
    TMainForm& f = shell.start();
    // A real working file and a player on it, so the play column comes from the engine.
    const std::string wav = f.doc().tempFolder + "AudioTemp.wav";
    writeFile(wav, makeWav(44100, 2, 16, std::vector<std::uint8_t>(100000 * 4u, 0)));
    fakeDocument(f, 10, 0, 9);
    f.session().adoptWorkingFile(wav);
    ASSERT_TRUE(f.session().startPlayer().ok());
    ASSERT_EQ(f.doc().streamLength, 100000u * 4);

    auto markers = [&](bool start, bool finish) {
        for (QObject* o : std::initializer_list<QObject*>{f.MSetStart, f.CButtonSetStart, f.MPopSetStart})
            EXPECT_EQ(o->property("enabled").toBool(), start) << o->objectName().toStdString();
        for (QObject* o : std::initializer_list<QObject*>{f.MSetFinish, f.CButtonSetFinish, f.MPopSetFinish})
            EXPECT_EQ(o->property("enabled").toBool(), finish) << o->objectName().toStdString();
    };

    // Right after an open: player at 0, selection 0..9.
    f.SetUIMode(1);
    EXPECT_EQ(f.session().playColumn(), 0u);
    markers(true, false);

    f.session().placeAt(9);  // on the finish marker
    for (std::uint32_t mode : {1u, 3u}) {
        f.SetUIMode(mode);
        EXPECT_EQ(f.session().playColumn(), 9u);
        markers(false, true);
    }

    f.session().stateForTests().selection.startMarker = 4;
    f.session().placeAt(4);  // on the start marker
    f.SetUIMode(1);
    EXPECT_EQ(f.session().playColumn(), 4u);
    markers(true, false);

    f.session().placeAt(6);  // inside the selection
    f.SetUIMode(3);
    markers(true, true);

    // A document of one column: both markers at 0, both commands off wherever the player is.
    f.session().stateForTests().view.columnCount = 1;
    f.session().stateForTests().selection.startMarker = f.session().stateForTests().selection.finishMarker = 0;
    f.SetUIMode(1);
    markers(false, false);

    // An empty stream: the play column stays defined.
    f.session().stateForTests().view.columnCount = 10;
    f.session().stateForTests().streamLength = 0;
    f.session().stateForTests().selection.finishMarker = 9;
    f.SetUIMode(1);
    EXPECT_EQ(f.session().playColumn(), 0u);
    markers(true, false);
}

TEST(ShellModes, StatusBarTexts) {
    Shell shell;
    TMainForm& f = shell.start();
    auto panels = [&] {
        return f.StatusPanels[0]->text() + "|" + f.StatusPanels[1]->text() + "|" + f.StatusPanels[2]->text();
    };
    EXPECT_EQ(panels(), "||");
    fakeDocument(f, 10, 0, 9);
    f.session().stateForTests().format.duration = 3725;
    f.SetUIMode(1);
    EXPECT_EQ(panels(), "44100 Hz   Stereo   16Bits|01:02:05|/music/song.wav");

    // Playing and paused keep the last stopped text.
    f.session().stateForTests().format.duration = 360000;
    f.session().stateForTests().format.channels = 1;
    f.SetUIMode(2);
    f.SetUIMode(3);
    EXPECT_EQ(panels(), "44100 Hz   Stereo   16Bits|01:02:05|/music/song.wav");
    f.SetUIMode(1);
    EXPECT_EQ(panels(), "44100 Hz   Mono   16Bits|100:00:00|/music/song.wav");
    f.SetUIMode(0);
    EXPECT_EQ(panels(), "||");
}

TEST(ShellModes, ShortcutsRunTheirCommandOnlyWhileEnabled) {
    Shell shell;
    TMainForm& f = shell.start();
    f.activateWindow();
    if (!QTest::qWaitForWindowActive(&f)) GTEST_SKIP() << "the platform gives no active window";

    fakeDocument(f, 10, 0, 9);
    f.session().stateForTests().modified = true;
    f.SetUIMode(0);  // Close disabled: Ctrl+W does nothing
    QTest::keyClick(&f, Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(shell.prompts.messages().empty());

    f.SetUIMode(1);
    shell.prompts.answerMessage(IDNO);
    QTest::keyClick(&f, Qt::Key_W, Qt::ControlModifier);
    ASSERT_EQ(shell.prompts.messages().size(), 1u);
    EXPECT_TRUE(f.doc().documentPath.empty());
    EXPECT_EQ(f.doc().uiMode, 0u);
}
