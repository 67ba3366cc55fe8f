// The waveform view, transport, zoom and meters of the real main window, offscreen, on a
// real working file and playback stream, under the engine's manual clock: each tick
// consumes exactly 100 ms of sound.

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <numbers>

#include "support/ManualClock.h"
#include "support/ShellFixture.h"
#include "app/TReloadForm.h"
#include "doc/WorkingFile.h"
#include "platform/AudioOutput.h"
#include "platform/FileIo.h"
#include "doc/PeakScan.h"
#include "view/Spectrum.h"
#include "view/Volume.h"
#include "view/WaveView.h"

using namespace torvane;
using namespace torvane::test;

namespace {

constexpr std::uint32_t kRate = 44100;

// A stereo tone whose loudness rises and falls, so that the peaks differ from column to column.
std::vector<std::int16_t> tone(double seconds, double amplitude = 30000) {
    const auto frames = std::uint32_t(seconds * kRate);
    std::vector<std::int16_t> s;
    s.reserve(frames * 2u);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double envelope = 0.55 + 0.45 * std::sin(2 * std::numbers::pi * i / (3.0 * kRate));
        const double v = amplitude * envelope * std::sin(2 * std::numbers::pi * 1000.0 * i / kRate);
        s.push_back(std::int16_t(v));
        s.push_back(std::int16_t(v * 0.5));
    }
    return s;
}

struct ViewWindow {
    std::shared_ptr<ManualClockOutput> clock = manualClock();
    Shell shell;
    TMainForm* f = nullptr;

    ViewWindow() {
        StartupOptions o = shell.options();
        o.audioOutput = clock;
        f = &shell.startWith(o);
        // The test drives the ticks itself, in step with the clock.
        f->Timer1->stop();
    }

    // Loads a working file as the open leaves it: header values, peak table at 10 : 1,
    // stream, view width, whole selection, mode 1.
    void load(const std::vector<std::int16_t>& samples) {
        const std::string path = workingFilePathIn(f->doc().tempFolder);
        writeFile(path, makeWav(kRate, 2, 16, samples16(samples)));
        loadFile(path);
    }
    void loadFile(const std::string& path) {
        DocumentState& d = f->session().stateForTests();
        f->session().adoptWorkingFile(path);
        d.documentPath = "/music/song.wav";
        d.view.framesPerColumn = 10000;
        File file;
        ASSERT_EQ(readWorkingHeader(d, &file), WaveHeaderError::None);
        replacePeakArrays(d);
        NoProgress progress;
        scanPeaks(file, d, progress, 0);
        ASSERT_TRUE(f->session().startPlayer().ok());
        f->setWaveWidth(waveWidthFor(d));
        d.selection.startMarker = 0;
        d.selection.finishMarker = d.view.columnCount - 1;
        d.loaded = true;
        f->PaintBox1->update();
        f->SetUIMode(ModeStopped);
        pumpEvents();
    }

    void tick() {
        clock->advance(kRate / 10);
        f->Timer1Timer();
    }
    void click(QToolButton* b) {
        ASSERT_TRUE(b->isEnabled()) << b->objectName().toStdString();
        QTest::mouseClick(b, Qt::LeftButton);
    }
    std::uint32_t position() const { return std::uint32_t(f->session().playPosition()); }
    std::uint32_t column() const { return f->session().playColumn(); }

    // The part of PaintBox1 that the scroll box shows.
    QRect visiblePart() const {
        const int left = f->ScrollBox1->horizontalScrollBar()->value();
        const int width = std::min(f->ScrollBox1->viewport()->width(), f->PaintBox1->width() - left);
        return {left, 0, width, kWaveBitmapHeight};
    }
};

QImage rgb(const QImage& i) { return i.convertToFormat(QImage::Format_RGB32); }

bool allBlack(const QImage& i) {
    const QImage c = rgb(i);
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x)
            if ((c.pixel(x, y) & 0xFFFFFF) != 0) return false;
    return true;
}

// How many pixels of the meter's left bar row are green-to-red bar colour (not black or peak).
int leftBarLength(TMainForm& f) {
    const QImage c = rgb(f.PaintBox3->grab().toImage());
    int n = 0;
    while (n < c.width() && (c.pixel(n, 3) & 0xFFFFFF) != 0 && c.pixel(n, 3) != 0xFFFFFF00) ++n;
    return n;
}

TEST(View, ButtonsPlayPauseResumeAndStop) {
    ViewWindow w;
    TMainForm& f = *w.f;
    w.load(tone(5));
    ASSERT_EQ(f.doc().view.columnCount, 23u);
    EXPECT_EQ(f.PaintBox1->width(), kMinWaveWidth);

    w.click(f.CButtonPlay);
    EXPECT_EQ(f.doc().uiMode, ModePlaying);
    EXPECT_FALSE(f.CButtonPlay->isEnabled());
    EXPECT_TRUE(f.CButtonPause->isEnabled() && f.CButtonStop->isEnabled());
    for (int i = 0; i < 10; ++i) w.tick();
    EXPECT_EQ(w.position(), 10u * (kRate / 10) * 4u);

    w.click(f.CButtonPause);
    EXPECT_EQ(f.doc().uiMode, ModePaused);
    EXPECT_EQ(f.session().playerState(), PlayerState::Paused);
    EXPECT_TRUE(f.CButtonPlay->isEnabled() && f.CButtonPlayFromHere->isEnabled());
    EXPECT_FALSE(f.CButtonPause->isEnabled());
    const std::uint32_t paused = w.position();
    w.tick();
    EXPECT_EQ(w.position(), paused);

    w.click(f.CButtonPlayFromHere);
    EXPECT_EQ(f.doc().uiMode, ModePlaying);
    w.tick();
    EXPECT_GT(w.position(), paused);

    w.click(f.CButtonStop);
    EXPECT_EQ(f.doc().uiMode, ModeStopped);
    EXPECT_EQ(w.position(), 0u);
    EXPECT_FALSE(f.CButtonStop->isEnabled() || f.CButtonPause->isEnabled());
    EXPECT_TRUE(f.CButtonPlay->isEnabled());
}

TEST(View, PlayHaltsAtTheMarkersAndRunsToTheEndOfAWholeSelection) {
    ViewWindow w;
    TMainForm& f = *w.f;
    w.load(tone(5));
    f.session().stateForTests().selection.startMarker = 5;
    f.session().stateForTests().selection.finishMarker = 15;
    w.click(f.CButtonPlay);
    int ticks = 0;
    while (f.doc().uiMode == ModePlaying && ticks++ < 100) w.tick();
    EXPECT_EQ(f.doc().uiMode, ModePaused);
    EXPECT_EQ(w.column(), 5u);

    w.click(f.CButtonPlayFromHere);
    EXPECT_EQ(w.column(), 8u);  // three columns past the marker
    ticks = 0;
    while (f.doc().uiMode == ModePlaying && ticks++ < 100) w.tick();
    EXPECT_EQ(f.doc().uiMode, ModePaused);
    EXPECT_EQ(w.column(), 15u);

    // Select All from the menu: the whole document plays to its end, where the tick stops.
    f.MSelectAll->trigger();
    EXPECT_EQ(f.doc().selection.startMarker, 0u);
    EXPECT_EQ(f.doc().selection.finishMarker, 22u);
    w.click(f.CButtonPlay);
    ticks = 0;
    while (f.doc().uiMode == ModePlaying && ticks++ < 100) w.tick();
    EXPECT_EQ(f.doc().uiMode, ModeStopped);
    EXPECT_GE(ticks, 50);
    EXPECT_EQ(w.position(), 0u);
}

TEST(View, MouseOnTheWaveformAndTheMarkerButtons) {
    ViewWindow w;
    TMainForm& f = *w.f;
    w.load(tone(5));
    // Five seconds are 23 columns, the last one partial: a click on column 10 leaves the
    // player on column 10, not on the column before.
    QTest::mouseClick(f.PaintBox1, Qt::LeftButton, {}, QPoint(10, 50));
    const std::uint32_t ten = 10;
    EXPECT_EQ(w.column(), ten);
    EXPECT_EQ(f.doc().uiMode, ModeStopped);

    // The ruler band and the middle button do nothing.
    QTest::mouseClick(f.PaintBox1, Qt::LeftButton, {}, QPoint(3, 201));
    QTest::mouseClick(f.PaintBox1, Qt::MiddleButton, {}, QPoint(3, 50));
    EXPECT_EQ(w.column(), ten);

    // Set Finish Marker at that column; then Set Start Marker there must do nothing.
    w.click(f.CButtonSetFinish);
    EXPECT_EQ(f.doc().selection.finishMarker, ten);
    // The view now shows the cursor on a marker: the stop rule leaves the player paused.
    EXPECT_EQ(f.doc().uiMode, ModePaused);
    EXPECT_FALSE(f.CButtonSetStart->isEnabled());  // no start at or after the finish
    f.CButtonSetStartClick();
    EXPECT_EQ(f.doc().selection.startMarker, 0u);

    // A right release moves the position and opens the context menu there.
    QTest::mouseRelease(f.PaintBox1, Qt::RightButton, {}, QPoint(4, 60));
    EXPECT_EQ(w.column(), 4u);
    EXPECT_TRUE(f.PopupMenu1->isVisible());
    f.MPopSetStart->trigger();
    f.PopupMenu1->hide();
    EXPECT_EQ(f.doc().selection.startMarker, 4u);
}

// As a new user tried it: right-click column 30 of a longer document, Set Start Marker from
// the context menu, then Play From Here from the menu starts in that column.
TEST(View, RightClickThenSetStartPutsTheMarkerOnTheClickedColumn) {
    ViewWindow w;
    TMainForm& f = *w.f;
    w.load(tone(20));
    ASSERT_EQ(f.doc().view.columnCount, 89u);  // 882000 frames: the last column is partial
    QTest::mouseRelease(f.PaintBox1, Qt::RightButton, {}, QPoint(30, 80));
    f.PopupMenu1->hide();
    f.MPopSetStart->trigger();
    EXPECT_EQ(f.doc().selection.startMarker, 30u);
    QTest::mouseClick(f.PaintBox1, Qt::LeftButton, {}, QPoint(61, 80));
    f.MSetFinish->trigger();
    EXPECT_EQ(f.doc().selection.finishMarker, 61u);
    QTest::mouseClick(f.PaintBox1, Qt::LeftButton, {}, QPoint(45, 80));
    f.MPlayFromHere->trigger();
    EXPECT_EQ(f.doc().uiMode, ModePlaying);
    EXPECT_EQ(w.column(), 45u);
}

TEST(View, ZoomRebuildsTheTableAndResetsTheSelection) {
    ViewWindow w;
    TMainForm& f = *w.f;
    w.load(tone(20));
    ASSERT_EQ(f.doc().view.columnCount, 89u);
    f.session().stateForTests().selection.startMarker = 3;
    f.session().stateForTests().selection.finishMarker = 40;
    w.click(f.CButtonPlay);
    w.tick();

    f.MZoom1->trigger();
    EXPECT_EQ(f.doc().view.framesPerColumn, 1000);
    EXPECT_EQ(f.doc().view.columnCount, 882u);
    EXPECT_EQ(f.PaintBox1->width(), 882);
    EXPECT_TRUE(f.MZoom1->isChecked());
    for (QAction* z : {f.MZoom10, f.MZoom8, f.MZoom6, f.MZoom4, f.MZoom2}) EXPECT_FALSE(z->isChecked());
    EXPECT_EQ(f.doc().selection.startMarker, 0u);
    EXPECT_EQ(f.doc().selection.finishMarker, 881u);
    EXPECT_EQ(f.doc().uiMode, ModeStopped);
    EXPECT_EQ(w.position(), 0u);
    EXPECT_FALSE(f.ReloadForm->isVisible());
    EXPECT_FALSE(f.ButtonZoomIn->isEnabled());
    // The peaks are those a fresh scan at 1 : 1 gives.
    DocumentState scan = f.doc();
    NoProgress none;
    ASSERT_TRUE(reloadPeakTable(scan, none).ok());
    EXPECT_EQ(scan.peaks.left, f.doc().peaks.left);
    EXPECT_EQ(scan.peaks.right, f.doc().peaks.right);

    // The level in force does nothing: playback goes on, on the same stream.
    w.click(f.CButtonPlay);
    w.tick();
    f.MZoom1->trigger();
    EXPECT_EQ(f.doc().uiMode, ModePlaying);
    EXPECT_EQ(f.session().playerState(), PlayerState::Playing);
    EXPECT_EQ(w.position(), kRate / 10 * 4u);  // a new player would stand at 0
    EXPECT_TRUE(f.MZoom1->isChecked());

    // Zoom Out steps to 2 : 1, and the new stream plays.
    w.click(f.ButtonZoomOut);
    EXPECT_EQ(f.doc().view.framesPerColumn, 2000);
    EXPECT_TRUE(f.MZoom2->isChecked() && !f.MZoom1->isChecked());
    EXPECT_EQ(f.PaintBox1->width(), 441);
    w.click(f.CButtonPlay);
    w.tick();
    EXPECT_GT(w.position(), 0u);
    w.click(f.ButtonZoomIn);
    EXPECT_EQ(f.doc().view.framesPerColumn, 1000);
}

TEST(View, ZoomWithoutTheWorkingFileSaysSoAndEndsTheDialog) {
    ViewWindow w;
    TMainForm& f = *w.f;
    w.load(tone(5));
    removeFile(f.doc().workingFilePath);
    f.MZoom2->trigger();
    EXPECT_EQ(w.shell.prompts.messageTexts(), std::vector<std::string>{"Cannot open the temporary file."});
    EXPECT_FALSE(f.ReloadForm->isVisible());
    EXPECT_EQ(f.doc().view.columnCount, 23u);  // the table keeps its columns
    EXPECT_EQ(f.doc().uiMode, ModeStopped);
}

TEST(View, PaintedPixelsAreTheRenderersAtEveryScrollPosition) {
    ViewWindow w;
    TMainForm& f = *w.f;
    w.load(tone(20));
    f.MZoom1->trigger();
    f.session().stateForTests().selection.startMarker = 100;
    f.session().stateForTests().selection.finishMarker = 800;
    QTest::mouseClick(f.PaintBox1, Qt::LeftButton, {}, QPoint(300, 50));
    QScrollBar* bar = f.ScrollBox1->horizontalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    for (int left : {0, 137, bar->maximum()}) {
        bar->setValue(left);
        pumpEvents();
        const QRect part = w.visiblePart();
        ASSERT_GT(part.width(), 100);
        const QImage shown = rgb(f.PaintBox1->grab(part).toImage());
        const QImage want = rgb(renderWaveformPart(f.waveScene(), part.x(), part.width()));
        ASSERT_EQ(shown.size(), want.size());
        EXPECT_TRUE(shown == want) << "scrolled to " << left;
    }
    // The system colours of the ruler and the finish marker come from the palette.
    const QImage whole = rgb(f.PaintBox1->grab().toImage());
    EXPECT_EQ(whole.pixel(50, 215), f.PaintBox1->palette().color(QPalette::ToolTipBase).rgb());
    EXPECT_EQ(whole.pixel(800, 150), f.PaintBox1->palette().color(QPalette::Midlight).rgb());
    EXPECT_EQ(whole.pixel(100, 150), 0xFF00FFFFu);  // start marker
    EXPECT_EQ(whole.pixel(300, 150), 0xFFFFFF00u);  // play cursor
}

TEST(View, PlayingTurnsThePageWhenTheCursorLeavesTheView) {
    ViewWindow w;
    TMainForm& f = *w.f;
    w.load(tone(20));
    f.MZoom1->trigger();
    QScrollBar* bar = f.ScrollBox1->horizontalScrollBar();
    bar->setValue(0);  // the zoom kept the middle of the document in place; start at its start
    const int viewWidth = f.ScrollBox1->viewport()->width();
    ASSERT_LT(viewWidth, 882);
    w.click(f.CButtonPlay);
    int ticks = 0;
    while (ticks++ < 400) {
        w.tick();
        if (w.column() >= std::uint32_t(viewWidth)) break;
        EXPECT_EQ(bar->value(), 0);
    }
    EXPECT_EQ(bar->value(), std::min<int>(int(w.column()), bar->maximum()));
    EXPECT_TRUE(w.visiblePart().contains(int(w.column()), 100));
    // Stop puts the cursor back at 0, out of view; the next play turns back to it.
    w.click(f.CButtonStop);
    w.click(f.CButtonPlay);
    w.tick();
    EXPECT_EQ(bar->value(), int(w.column()));
}

TEST(View, MetersBlackWhileStoppedMovingWhilePlayingFallingWhilePaused) {
    ViewWindow w;
    TMainForm& f = *w.f;
    ASSERT_NE(f.spectrum(), nullptr);
    ASSERT_NE(f.volume(), nullptr);
    w.load(tone(5, 32767));
    w.tick();
    EXPECT_TRUE(allBlack(f.PaintBox2->grab().toImage()));
    EXPECT_TRUE(allBlack(f.PaintBox3->grab().toImage()));

    w.click(f.CButtonPlay);
    for (int i = 0; i < 4; ++i) w.tick();
    EXPECT_FALSE(allBlack(f.PaintBox2->grab().toImage()));
    const int bar = f.volume()->leftBar();
    EXPECT_GT(bar, 50);
    EXPECT_EQ(leftBarLength(f), std::min(bar, 161));
    EXPECT_EQ(rgb(f.PaintBox3->grab().toImage()).pixel(0, 3), 0xFF00FF00u);  // green at the left end

    w.click(f.CButtonPause);
    w.tick();
    EXPECT_EQ(f.volume()->leftBar(), bar - 15);
    EXPECT_EQ(leftBarLength(f), bar - 15);
    w.click(f.CButtonStop);
    w.tick();
    EXPECT_TRUE(allBlack(f.PaintBox3->grab().toImage()));
}

TEST(View, WithoutAnEngineThereAreNoMetersAndTheTickIsHarmless) {
    {
        Shell shell;
        StartupOptions o = shell.options();
        o.audioDevice = 9;  // no such device: the engine does not start
        TMainForm& f = shell.startWith(o);
        EXPECT_FALSE(f.engineReady());
        EXPECT_EQ(f.spectrum(), nullptr);
        EXPECT_EQ(f.volume(), nullptr);
        f.Timer1Timer();
        f.PaintBox2->grab();
        f.PaintBox3->grab();
        EXPECT_EQ(shell.prompts.messageTexts(), std::vector<std::string>{"Can not start default recording device!"});
    }
}

}  // namespace

namespace {

// A sparse working file of `seconds` of 44.1 kHz 16-bit stereo silence: a 44-byte header and
// a hole, so that gigabytes cost no disk.
void writeSparseWav(const std::string& path, std::uint32_t seconds) {
    const std::uint64_t data = std::uint64_t(seconds) * kRate * 4;
    Bytes header = makeWav(kRate, 2, 16, {});
    for (int i = 0; i < 4; ++i) {
        header[40 + i] = std::uint8_t(data >> (8 * i));
        header[4 + i] = std::uint8_t((data + 36) >> (8 * i));
    }
    writeFile(path, header);
    std::filesystem::resize_file(path, 44 + data);
}

}  // namespace

// A document past 2 GiB: 3 h 25 min of 44.1 kHz stereo (2 169 720 000 bytes of samples). Its
// positions read as signed 32-bit values were negative: the cursor stuck at column 0 and the
// marker commands followed it. Play From Here near the end, the cursor drawn where the
// position says, the marker commands enabled as the rules say.
TEST(View, DocumentPastTwoGigabytesPlaysAndMarksNearItsEnd) {
    ViewWindow w;
    TMainForm& f = *w.f;
    DocumentState& d = f.session().stateForTests();
    const std::string path = workingFilePathIn(d.tempFolder);
    writeSparseWav(path, 3 * 3600 + 25 * 60);
    w.loadFile(path);
    ASSERT_EQ(d.streamLength, 2169720000ull);
    ASSERT_EQ(d.view.columnCount, 54243u);  // 542 430 000 frames / 10 000, rounded up
    EXPECT_EQ(f.StatusPanels[1]->text(), "03:25:00");

    // A click near the end, then Play From Here: it plays from that column on.
    f.ScrollBox1->horizontalScrollBar()->setValue(int(d.view.columnCount) - 700);
    pumpEvents();
    const int x = int(d.view.columnCount) - 300;  // column 53943, past 2 GiB
    QTest::mouseClick(f.PaintBox1, Qt::LeftButton, {}, QPoint(x, 60));
    EXPECT_EQ(w.column(), std::uint32_t(x));
    EXPECT_GT(w.position(), 0x80000000u);
    EXPECT_TRUE(f.CButtonSetStart->isEnabled());
    EXPECT_TRUE(f.CButtonSetFinish->isEnabled());
    w.click(f.CButtonPlayFromHere);
    for (int i = 0; i < 30; ++i) w.tick();  // three seconds: 13 columns on
    EXPECT_EQ(d.uiMode, ModePlaying);
    const std::uint64_t heard = f.session().playPosition();
    const std::uint32_t expected = std::uint32_t(heard * d.view.columnCount / d.streamLength);
    EXPECT_EQ(w.column(), expected);
    EXPECT_EQ(expected, std::uint32_t(x) + 13);

    // The cursor is drawn on that column (and only there in its neighbourhood).
    w.click(f.CButtonPause);
    const QImage around = rgb(f.PaintBox1->grab(QRect(int(expected) - 2, 0, 5, kWaveBitmapHeight)).toImage());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(around.pixel(i, 100) == kPlayCursorColour, i == 2) << "column " << int(expected) - 2 + i;

    // Set Start there, then Set Finish further on: both land where the cursor is.
    w.click(f.CButtonSetStart);
    EXPECT_EQ(d.selection.startMarker, expected);
    EXPECT_FALSE(f.CButtonSetFinish->isEnabled());  // on the start marker
    QTest::mouseClick(f.PaintBox1, Qt::LeftButton, {}, QPoint(int(expected) + 100, 60));
    EXPECT_TRUE(f.CButtonSetFinish->isEnabled());
    w.click(f.CButtonSetFinish);
    EXPECT_EQ(d.selection.finishMarker, expected + 100);
}
