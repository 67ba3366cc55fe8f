// The five edits through the real buttons of the main window, offscreen: the process dialog,
// the volume dialog, the flag, the markers, the player, and failures that leave no dialog up.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/TProcessForm.h"
#include "app/TVolumeForm.h"
#include "edit/Edits.h"
#include "platform/FileIo.h"
#include "support/ManualClock.h"
#include "support/ShellFixture.h"
#include "i18n/Messages.h"
#include "view/WaveView.h"

using namespace torvane;
using namespace torvane::test;

namespace {

class EditCommands : public ::testing::Test {
protected:
    void SetUp() override {
        StartupOptions o = shell.options();
        o.audioOutput = clock;
        f = &shell.startWith(o);
        f->Timer1->stop();  // the test drives the clock itself
    }

    // Opens a 16-bit stereo WAV of `frames` frames through the Open button.
    void open(std::uint32_t frames) {
        std::vector<std::int16_t> s;
        for (std::uint32_t i = 0; i < frames; ++i) {
            s.push_back(std::int16_t(20000 - int(i % 40000)));
            s.push_back(std::int16_t(-1000));
        }
        const std::string path = media.file("song.wav");
        writeFile(path, makeWav(44100, 2, 16, samples16(s)));
        shell.prompts.answerFile(path);
        f->ButtonOpen->click();
        ASSERT_TRUE(f->doc().loaded);
    }
    std::int16_t sample(std::size_t frame, int channel) const {
        const Bytes b = readFile(f->doc().workingFilePath);
        const std::size_t at = 44 + frame * 4 + std::size_t(channel) * 2;
        return std::int16_t(std::uint16_t(b[at] | (b[at + 1] << 8)));
    }
    void expectBarsFull() const {
        EXPECT_EQ(f->ProcessForm->bar(0)->value(), 100);
        EXPECT_EQ(f->ProcessForm->bar(1)->value(), 100);
        EXPECT_FALSE(f->ProcessForm->isVisible());
    }
    // Answers the volume dialog once it is up: the list index, mute, then OK or Cancel.
    void answerVolume(int index, bool mute, bool ok) {
        QTimer::singleShot(0, f, [this, index, mute, ok] {
            ASSERT_TRUE(f->VolumeForm->isVisible());
            // Each showing starts from 100 % without Mute.
            EXPECT_EQ(f->VolumeForm->ComboBox1->currentIndex(), 3);
            EXPECT_FALSE(f->VolumeForm->CheckBoxMute->isChecked());
            f->VolumeForm->ComboBox1->setCurrentIndex(index);
            f->VolumeForm->CheckBoxMute->setChecked(mute);
            f->VolumeForm->findChild<QPushButton*>(ok ? "ButtonOk" : "ButtonCancel")->click();
        });
    }

    std::shared_ptr<ManualClockOutput> clock = manualClock();
    Shell shell;
    TempDir media;
    TMainForm* f = nullptr;
};

}  // namespace

TEST_F(EditCommands, DeleteStopsPlaybackRewritesAndMarksTheDocument) {
    open(100000);  // 10 columns at 10 : 1
    f->session().stateForTests().selection = {2, 5};
    f->CButtonPlay->click();
    clock->advance(4410);
    ASSERT_EQ(f->session().playerState(), PlayerState::Playing);
    EXPECT_FALSE(f->ButtonSave->isEnabled());

    f->ButtonDelete->click();
    expectBarsFull();
    const DocumentState& d = f->doc();
    EXPECT_EQ(d.format.frameCount, 70000u);
    EXPECT_EQ(d.view.columnCount, 7u);
    EXPECT_EQ(f->PaintBox1->width(), kMinWaveWidth);  // seven columns, widened for the labels
    EXPECT_EQ(d.selection.startMarker, 2u);
    EXPECT_EQ(d.selection.finishMarker, 3u);
    EXPECT_TRUE(d.modified);
    EXPECT_TRUE(f->ButtonSave->isEnabled());
    EXPECT_EQ(d.uiMode, ModeStopped);
    // A new stream on the shorter file, stopped at its start.
    EXPECT_EQ(d.streamLength, 70000u * 4);
    EXPECT_EQ(f->session().playerState(), PlayerState::Stopped);
    EXPECT_EQ(f->session().playPosition(), 0u);
    // Frame 20000 is now what frame 50000 was.
    EXPECT_EQ(sample(20000, 0), std::int16_t(20000 - 10000));
    EXPECT_EQ(sample(19999, 0), std::int16_t(20000 - 19999));

    // Cut Out from the menu keeps only the selection, selected whole.
    f->MCutOut->trigger();
    EXPECT_EQ(d.format.frameCount, 10000u);
    EXPECT_EQ(d.selection.startMarker, 0u);
    EXPECT_EQ(d.selection.finishMarker, 0u);
}

TEST_F(EditCommands, VolumeDialogOkScalesAndCancelChangesOnlyThePlayer) {
    open(50000);
    f->session().stateForTests().selection = {0, 4};
    const Bytes before = readFile(f->doc().workingFilePath);

    f->CButtonPlay->click();
    clock->advance(4410);
    answerVolume(0, false, false);
    f->ButtonVolume->click();
    EXPECT_FALSE(f->VolumeForm->isVisible());
    EXPECT_TRUE(readFile(f->doc().workingFilePath) == before);
    EXPECT_FALSE(f->doc().modified);
    EXPECT_FALSE(f->ButtonSave->isEnabled());
    // Stopped, and a new player made: at the start.
    ASSERT_TRUE(f->session().hasPlayer());
    EXPECT_EQ(f->session().playerState(), PlayerState::Stopped);
    EXPECT_EQ(f->session().playPosition(), 0u);
    EXPECT_EQ(f->doc().uiMode, ModeStopped);

    answerVolume(5, false, true);  // 50 %
    f->MVolume->trigger();
    expectBarsFull();
    EXPECT_TRUE(f->doc().modified);
    EXPECT_EQ(sample(0, 0), 10000);
    EXPECT_EQ(sample(3, 0), 9998);    // 19997 / 2, truncated
    EXPECT_EQ(sample(3, 1), -500);
    EXPECT_EQ(sample(45000, 0), std::int16_t(20000 - 5000));  // the last column is outside
    EXPECT_EQ(f->doc().selection.finishMarker, 4u);

    answerVolume(2, true, true);  // Mute wins over any factor
    f->ButtonVolume->click();
    EXPECT_EQ(sample(1234, 0), 0);
    EXPECT_EQ(sample(1234, 1), 0);
}

TEST_F(EditCommands, FadesThroughTheButtons) {
    open(30000);
    f->session().stateForTests().selection = {1, 2};  // frames 10000 .. 19999: stairs of 100
    f->ButtonFadeIn->click();
    expectBarsFull();
    EXPECT_EQ(sample(10000, 0), 0);
    EXPECT_EQ(sample(10099, 1), 0);
    EXPECT_EQ(sample(19999, 1), -990);  // 99 % of -1000
    EXPECT_EQ(sample(20000, 1), -1000);
    f->MFadeOut->trigger();
    EXPECT_EQ(sample(19999, 1), -9);    // then 1 % of -990, truncated
    EXPECT_EQ(f->doc().selection.startMarker, 1u);
    EXPECT_EQ(f->doc().selection.finishMarker, 2u);
    EXPECT_TRUE(f->doc().modified);
}

// Ctrl+Z after Fade In gives back the file, the waveform's pixels, the markers and the flag;
// the items' enabling and tool tips follow each step, and Ctrl+Y does the fade again.
TEST_F(EditCommands, CtrlZUndoesAFadeInAndTheItemsFollow) {
    // The process dialog takes the focus while it is up: each key goes to the main window
    // once it is active again, as it is for the user.
    const auto press = [this](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        f->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == f && !QApplication::activeModalWidget(); }));
        QTest::keyClick(f, key, modifiers);
    };
    f->activateWindow();
    if (!QTest::qWaitForWindowActive(f)) GTEST_SKIP() << "the platform gives no active window";
    EXPECT_FALSE(f->MUndo->isEnabled());
    EXPECT_FALSE(f->MRedo->isEnabled());
    open(300000);  // 30 columns
    EXPECT_FALSE(f->MUndo->isEnabled());
    EXPECT_EQ(f->MUndo->toolTip(), "Undo");
    f->session().stateForTests().selection = {1, 20};
    const Bytes before = readFile(f->doc().workingFilePath);
    const QImage wave = f->PaintBox1->grab().toImage();
    const auto peaks = f->doc().peaks;

    f->ButtonFadeIn->click();
    const Bytes faded = readFile(f->doc().workingFilePath);
    ASSERT_FALSE(faded == before);
    EXPECT_TRUE(f->MUndo->isEnabled());
    EXPECT_FALSE(f->MRedo->isEnabled());
    EXPECT_EQ(f->MUndo->toolTip(), "Undo Fade In");
    EXPECT_NE(f->PaintBox1->grab().toImage(), wave);

    press(Qt::Key_Z, Qt::ControlModifier);
    expectBarsFull();
    EXPECT_TRUE(readFile(f->doc().workingFilePath) == before);
    EXPECT_TRUE(f->doc().peaks.left == peaks.left && f->doc().peaks.right == peaks.right);
    EXPECT_EQ(f->PaintBox1->grab().toImage(), wave);
    EXPECT_EQ(f->doc().selection.startMarker, 1u);
    EXPECT_EQ(f->doc().selection.finishMarker, 20u);
    EXPECT_FALSE(f->doc().modified);
    EXPECT_FALSE(f->ButtonSave->isEnabled());
    EXPECT_FALSE(f->MUndo->isEnabled());
    EXPECT_TRUE(f->MRedo->isEnabled());
    EXPECT_EQ(f->MRedo->toolTip(), "Redo Fade In");

    // While playing neither is enabled; paused they are.
    f->CButtonPlay->click();
    EXPECT_FALSE(f->MRedo->isEnabled());
    f->CButtonPause->click();
    EXPECT_TRUE(f->MRedo->isEnabled());

    press(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(readFile(f->doc().workingFilePath) == faded);
    EXPECT_TRUE(f->doc().modified);
    EXPECT_EQ(f->MUndo->toolTip(), "Undo Fade In");
    EXPECT_FALSE(f->MRedo->isEnabled());
    press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);  // nothing to redo
    EXPECT_TRUE(readFile(f->doc().workingFilePath) == faded);
    press(Qt::Key_Z, Qt::ControlModifier);
    press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(readFile(f->doc().workingFilePath) == faded);

    // After a zoom, Undo brings back the zoom the edit was made at, checked in the menu.
    f->MZoom1->trigger();
    ASSERT_EQ(f->doc().view.framesPerColumn, 1000);
    press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(readFile(f->doc().workingFilePath) == before);
    EXPECT_EQ(f->doc().view.framesPerColumn, 10000);
    EXPECT_TRUE(f->MZoom10->isChecked());
    EXPECT_FALSE(f->MZoom1->isChecked());
    EXPECT_EQ(f->PaintBox1->width(), kMinWaveWidth);
    EXPECT_TRUE(shell.prompts.messages().empty());
}

// An edit larger than the undo limit asks first, as a Yes/No question: No leaves the file, the
// flag and Undo as they were and shows nothing more; Yes edits, and nothing is left to undo.
TEST_F(EditCommands, AnEditTooLargeForUndoAsksFirst) {
    open(100000);
    f->session().stateForTests().selection = {1, 2};
    f->ButtonFadeOut->click();
    ASSERT_TRUE(f->MUndo->isEnabled());
    f->session().setUndoLimit(1000);
    f->session().stateForTests().selection = {2, 8};
    const Bytes before = readFile(f->doc().workingFilePath);
    shell.prompts.answerMessage(IDNO);
    f->ButtonFadeIn->click();
    ASSERT_EQ(shell.prompts.messages().size(), 1u);
    EXPECT_EQ(shell.prompts.messages()[0].text, "This edit changes more audio than can be kept for Undo.\nGo on without Undo? "
                                                "The edits before it can no longer be undone either.");
    EXPECT_EQ(shell.prompts.messages()[0].buttons, PromptButtons::YesNo);
    EXPECT_FALSE(f->ProcessForm->isVisible());
    EXPECT_TRUE(readFile(f->doc().workingFilePath) == before);
    EXPECT_TRUE(f->MUndo->isEnabled());
    EXPECT_EQ(f->MUndo->toolTip(), "Undo Fade Out");

    shell.prompts.answerMessage(IDYES);
    f->ButtonFadeIn->click();
    EXPECT_EQ(shell.prompts.messages().size(), 2u);
    EXPECT_FALSE(readFile(f->doc().workingFilePath) == before);
    EXPECT_FALSE(f->MUndo->isEnabled());
    EXPECT_TRUE(f->doc().modified);
}

// Failures end the process dialog and say why once it is gone; nothing is changed.
TEST_F(EditCommands, FailuresLeaveNoDialogUpAndChangeNothing) {
    open(50000);
    f->session().stateForTests().selection = {3, 3};
    f->ButtonCutOut->click();
    EXPECT_EQ(shell.prompts.messageTexts(), std::vector<std::string>{messageText(MessageId::NothingToKeep)});
    EXPECT_EQ(f->doc().format.frameCount, 50000u);
    EXPECT_FALSE(f->doc().modified);

    f->session().stateForTests().selection = {1, 3};
    removeFile(f->doc().workingFilePath);
    shell.prompts.clear();
    f->ButtonFadeOut->click();
    EXPECT_EQ(shell.prompts.messageTexts(), std::vector<std::string>{"Cannot open the temporary file."});
    EXPECT_FALSE(f->ProcessForm->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(f->doc().modified);
    EXPECT_EQ(f->doc().uiMode, ModeStopped);
    EXPECT_EQ(f->doc().selection.finishMarker, 3u);
}
