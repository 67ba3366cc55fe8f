// Transport, markers, mouse, zoom and the timer on a real playback stream, under the
// engine's manual clock: each tick consumes exactly 100 ms of sound.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/AudioOutput.h"
#include "platform/Bass.h"
#include "support/TestFiles.h"
#include "view/Spectrum.h"
#include "view/Transport.h"
#include "view/Volume.h"
#include "view/WaveView.h"

using namespace torvane;
using namespace torvane::test;

namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kFrames = 5 * kRate;  // five seconds: 23 columns at 10 : 1
constexpr unsigned kTickFrames = kRate / 10;

class TransportFixture : public ::testing::Test {
protected:
    void SetUp() override {
        BASS_Free();
        clock = new ManualClockOutput;
        engineUseOutputForNextInit(std::unique_ptr<AudioOutput>(clock));
        ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));

        // A loud 1 kHz tone, left and right.
        std::vector<std::int16_t> s;
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            const auto v = std::int16_t(30000 * std::sin(2 * std::numbers::pi * 1000.0 * i / kRate));
            s.push_back(v);
            s.push_back(v);
        }
        doc.workingFilePath = dir.file("AudioTemp.wav");
        writeFile(doc.workingFilePath, makeWav(kRate, 2, 16, samples16(s)));
        doc.loaded = true;
        doc.channels = 2;
        doc.sampleRate = kRate;
        doc.bitsPerSample = 16;
        doc.blockSize = 4;
        doc.frameCount = kFrames;
        doc.dataSize = kFrames * 4;
        doc.duration = 5;
        doc.stream = BASS_StreamCreateFile(0, doc.workingFilePath.c_str(), 0, 0, 0);
        ASSERT_NE(doc.stream, 0u);
        doc.streamLength = std::int32_t(BASS_ChannelGetLength(doc.stream, BASS_POS_BYTE));
        ASSERT_EQ(doc.streamLength, std::int32_t(kFrames * 4));
        rebuild();
        doc.startMarker = 0;
        doc.finishMarker = doc.columnCount - 1;
        doc.uiMode = ModeStopped;

        TransportHooks hooks;
        hooks.setUIMode = [this](std::uint32_t m) {
            EXPECT_EQ(doc.uiMode, m);
            modes.push_back(m);
        };
        hooks.repaint = [this](const WaveformScene& scene) {
            ++repaints;
            lastScene = scene;
        };
        hooks.reloadPeaks = [this] {
            // The reload reads the working file: the stream must have let it go by now.
            EXPECT_EQ(BASS_ChannelGetLength(streamBeforeReload, BASS_POS_BYTE), QWORD(-1));
            ++reloads;
            rebuild();
        };
        hooks.setViewWidth = [this](std::uint32_t w) { widths.push_back(w); };
        hooks.openPopup = [this](int x, int y) { popups.emplace_back(x, y); };
        hooks.metersDrawn = [this] { ++meterDraws; };
        transport = std::make_unique<Transport>(doc, hooks);
        transport->attachMeters(&spectrum, &volume);
    }
    void TearDown() override {
        transport.reset();
        BASS_Free();
    }

    // What the reload does to the document: one peak column per frames-per-column frames.
    void rebuild() {
        doc.columnCount = (doc.frameCount + std::uint32_t(doc.framesPerColumn) - 1) / std::uint32_t(doc.framesPerColumn);
        doc.leftPeaks.assign(doc.columnCount, 50);
        doc.rightPeaks.assign(doc.columnCount, 50);
    }

    std::uint32_t position() const { return std::uint32_t(BASS_ChannelGetPosition(doc.stream, BASS_POS_BYTE)); }
    std::uint32_t column() const { return currentPlayColumn(doc); }
    // A frame-aligned position in the middle of column c.
    std::uint32_t middleOf(std::uint32_t c) const {
        const std::uint32_t a = columnPosition(c, doc.streamLength, doc.columnCount);
        const std::uint32_t b = columnPosition(c + 1, doc.streamLength, doc.columnCount);
        return (a + b) / 2 / 4 * 4;
    }
    void placeIn(std::uint32_t c) { ASSERT_TRUE(BASS_ChannelSetPosition(doc.stream, middleOf(c), BASS_POS_BYTE)); }
    void tick() {
        clock->advance(kTickFrames);
        transport->timerTick();
    }
    void forget() {
        modes.clear();
        repaints = 0;
    }

    TempDir dir;
    ManualClockOutput* clock = nullptr;
    DocumentState doc;
    TSpectrum spectrum{97, 49};
    TVolume volume{161, 17};
    std::unique_ptr<Transport> transport;
    std::vector<std::uint32_t> modes;
    std::vector<std::uint32_t> widths;
    std::vector<std::pair<int, int>> popups;
    int repaints = 0, reloads = 0, meterDraws = 0;
    HSTREAM streamBeforeReload = 0;
    WaveformScene lastScene;
};

TEST_F(TransportFixture, PlayPausesAtStartMarkerThenPlayFromHerePausesAtFinish) {
    ASSERT_EQ(doc.columnCount, 23u);
    doc.startMarker = 5;
    doc.finishMarker = 15;
    transport->play();
    EXPECT_EQ(doc.uiMode, ModePlaying);
    int ticks = 0;
    while (doc.uiMode == ModePlaying && ticks < 100) {
        tick();
        ++ticks;
    }
    // 0.44 columns per tick at 10 : 1: the cursor cannot pass the marker unseen.
    ASSERT_EQ(doc.uiMode, ModePaused);
    EXPECT_EQ(column(), 5u);
    EXPECT_EQ(lastScene.playColumn, 5u);  // the cursor was drawn where playback halted
    EXPECT_EQ(BASS_ChannelIsActive(doc.stream), BASS_ACTIVE_PAUSED);
    EXPECT_GT(repaints, 0);
    EXPECT_EQ(modes.back(), ModePaused);
    const std::uint32_t pausedAt = position();
    tick();  // paused: the timer does not repaint, the position holds
    EXPECT_EQ(position(), pausedAt);
    EXPECT_EQ(doc.uiMode, ModePaused);

    // Resume three columns past the start marker, then halt at the finish marker.
    transport->playFromHere();
    EXPECT_EQ(doc.uiMode, ModePlaying);
    EXPECT_EQ(position(), columnPosition(8, doc.streamLength, doc.columnCount) / 4 * 4);
    EXPECT_GT(column(), 5u);
    ticks = 0;
    while (doc.uiMode == ModePlaying && ticks < 100) {
        tick();
        ++ticks;
    }
    ASSERT_EQ(doc.uiMode, ModePaused);
    EXPECT_EQ(column(), 15u);

    // Paused on the finish marker, Play From Here moves past it and plays to the end.
    transport->playFromHere();
    EXPECT_EQ(column(), 17u);
    while (doc.uiMode == ModePlaying && ticks < 200) {
        tick();
        ++ticks;
    }
    EXPECT_EQ(doc.uiMode, ModeStopped);
    EXPECT_EQ(position(), 0u);
}

TEST_F(TransportFixture, WholeSelectionNeverPausesAndEndsThroughTheTimer) {
    transport->play();
    int ticks = 0;
    std::uint32_t lastColumn = 0;
    while (doc.uiMode == ModePlaying && ticks < 100) {
        lastColumn = std::max(lastColumn, column());
        tick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 50);  // five seconds of 100 ms ticks
    EXPECT_EQ(lastColumn, 22u);
    EXPECT_EQ(doc.uiMode, ModeStopped);
    EXPECT_EQ(std::count(modes.begin(), modes.end(), ModePaused), 0);
    EXPECT_EQ(position(), 0u);
    EXPECT_EQ(BASS_ChannelIsActive(doc.stream), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(meterDraws, 50);
    // Stopped: both meters show their background again.
    EXPECT_EQ(spectrum.picture().pixel(10, 48) | 0xFF000000, 0xFF000000);
}

TEST_F(TransportFixture, TimerFeedsTheMetersWhilePlaying) {
    tick();
    EXPECT_EQ(meterDraws, 1);
    EXPECT_EQ(volume.leftBar(), 0);
    transport->play();
    tick();
    tick();
    // 30000 / 32768 of full scale: level 91, 146 pixels.
    EXPECT_EQ(volume.leftBar(), 146);
    EXPECT_EQ(volume.rightBar(), 146);
    int lit = 0;
    for (int i = 0; i < TSpectrum::kBands; ++i) lit += spectrum.barHeight(i) > 0;
    EXPECT_GT(lit, 0);
    transport->pause();
    EXPECT_EQ(doc.uiMode, ModePaused);
    tick();
    EXPECT_EQ(volume.leftBar(), 131);
    EXPECT_EQ(meterDraws, 4);
}

TEST_F(TransportFixture, PlayFromHereWhenStopped) {
    doc.startMarker = 4;
    doc.finishMarker = 12;
    // At position 0 it starts one column past the start marker.
    transport->playFromHere();
    EXPECT_EQ(doc.uiMode, ModePlaying);
    EXPECT_EQ(position(), columnPosition(5, doc.streamLength, doc.columnCount) / 4 * 4);
    transport->stop();
    EXPECT_EQ(doc.uiMode, ModeStopped);
    EXPECT_EQ(position(), 0u);
    EXPECT_EQ(BASS_ChannelIsActive(doc.stream), BASS_ACTIVE_STOPPED);
    // Elsewhere it starts where the position is.
    placeIn(9);
    const std::uint32_t here = position();
    transport->playFromHere();
    EXPECT_EQ(position(), here);
    clock->advance(100);
    EXPECT_EQ(position(), here + 400);
    // Paused off the markers, it resumes in place.
    transport->pause();
    transport->playFromHere();
    EXPECT_EQ(position(), here + 400);
    // Play always starts from the top.
    transport->play();
    EXPECT_EQ(position(), 0u);
}

TEST_F(TransportFixture, MarkerCommandsThatMustDoNothing) {
    doc.startMarker = 5;
    doc.finishMarker = 15;
    for (std::uint32_t c : {15u, 16u}) {  // at or after the finish marker
        placeIn(c);
        forget();
        transport->setStartMarker();
        EXPECT_EQ(doc.startMarker, 5u);
        EXPECT_TRUE(modes.empty());
        EXPECT_EQ(repaints, 0);
    }
    for (std::uint32_t c : {5u, 2u}) {  // at or before the start marker
        placeIn(c);
        forget();
        transport->setFinishMarker();
        EXPECT_EQ(doc.finishMarker, 15u);
        EXPECT_TRUE(modes.empty());
    }
    // Accepted: the marker moves, the mode is refreshed, the view repaints. The repaint's stop
    // rule then finds the cursor on the new marker and switches to paused.
    placeIn(9);
    forget();
    transport->setStartMarker();
    EXPECT_EQ(doc.startMarker, 9u);
    EXPECT_EQ(repaints, 1);
    ASSERT_EQ(modes.size(), 2u);
    EXPECT_EQ(modes[0], ModeStopped);
    EXPECT_EQ(modes[1], ModePaused);
    placeIn(12);
    transport->setFinishMarker();
    EXPECT_EQ(doc.finishMarker, 12u);

    transport->selectAll();
    EXPECT_EQ(doc.startMarker, 0u);
    EXPECT_EQ(doc.finishMarker, 22u);
}

TEST_F(TransportFixture, MouseOnTheView) {
    doc.startMarker = 5;
    doc.finishMarker = 15;
    forget();
    transport->mouseDown(MouseButton::Left, 10, 201);    // the ruler band
    transport->mouseDown(MouseButton::Middle, 10, 50);
    transport->mouseDown(MouseButton::Right, 10, 50);    // right acts on release
    transport->mouseUp(MouseButton::Left, 10, 50);       // left acts on press
    transport->mouseUp(MouseButton::Middle, 10, 50);
    transport->mouseUp(MouseButton::Right, 10, 205);
    EXPECT_EQ(position(), 0u);
    EXPECT_TRUE(modes.empty());
    EXPECT_TRUE(popups.empty());

    transport->mouseDown(MouseButton::Left, 10, 200);
    EXPECT_EQ(position(), columnPosition(10, doc.streamLength, doc.columnCount) / 4 * 4);
    EXPECT_EQ(repaints, 1);
    EXPECT_EQ(doc.uiMode, ModeStopped);
    transport->mouseUp(MouseButton::Right, 12, 40);
    EXPECT_EQ(position(), columnPosition(12, doc.streamLength, doc.columnCount) / 4 * 4);
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0], std::make_pair(12, 40));

    // A click that lands the cursor on a marker column pauses through the stop rule.
    placeIn(0);
    const std::uint32_t x = 16;  // lands in column 15 after rounding down to a frame
    transport->mouseDown(MouseButton::Left, int(x), 20);
    EXPECT_EQ(column(), 15u);
    EXPECT_EQ(doc.uiMode, ModePaused);

    // Without a stream nothing reacts.
    const HSTREAM s = doc.stream;
    doc.stream = 0;
    forget();
    transport->mouseDown(MouseButton::Left, 3, 20);
    transport->mouseUp(MouseButton::Right, 3, 20);
    EXPECT_TRUE(modes.empty());
    EXPECT_EQ(popups.size(), 1u);
    doc.stream = s;
}

TEST_F(TransportFixture, SameZoomLevelDoesNothing) {
    doc.startMarker = 5;
    doc.finishMarker = 15;
    transport->play();
    clock->advance(4410);
    forget();
    const HSTREAM s = doc.stream;
    transport->zoomTo(10000);
    transport->zoomOut();  // already at 10 : 1
    EXPECT_EQ(reloads, 0);
    EXPECT_TRUE(modes.empty());
    EXPECT_EQ(doc.stream, s);
    EXPECT_EQ(BASS_ChannelIsActive(s), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(doc.startMarker, 5u);
}

TEST_F(TransportFixture, ZoomChangeStopsRebuildsAndResetsMarkers) {
    doc.startMarker = 5;
    doc.finishMarker = 15;
    transport->play();
    clock->advance(20000);
    streamBeforeReload = doc.stream;
    forget();
    transport->zoomTo(2000);
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(doc.framesPerColumn, 2000);
    EXPECT_EQ(doc.columnCount, 111u);
    ASSERT_NE(doc.stream, 0u);
    EXPECT_EQ(doc.streamLength, std::int32_t(kFrames * 4));
    EXPECT_EQ(BASS_ChannelIsActive(doc.stream), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(position(), 0u);
    EXPECT_EQ(doc.startMarker, 0u);
    EXPECT_EQ(doc.finishMarker, 110u);
    ASSERT_EQ(widths.size(), 1u);
    EXPECT_EQ(widths[0], 111u);
    ASSERT_FALSE(modes.empty());
    EXPECT_EQ(modes.back(), ModeStopped);
    EXPECT_GE(repaints, 1);

    // Zoom In and Zoom Out step through the six levels in order and stop at the ends.
    std::vector<std::int32_t> seen;
    auto step = [&](bool in) {
        streamBeforeReload = doc.stream;
        in ? transport->zoomIn() : transport->zoomOut();
        seen.push_back(doc.framesPerColumn);
    };
    step(true);   // 2000 -> 1000
    step(true);   // stays
    for (int i = 0; i < 6; ++i) step(false);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1000, 1000, 2000, 4000, 6000, 8000, 10000, 10000}));
    EXPECT_EQ(reloads, 7);
    step(true);
    EXPECT_EQ(doc.framesPerColumn, 8000);
    EXPECT_EQ(doc.columnCount, 28u);
}

TEST_F(TransportFixture, NoDocumentNoPaintNoStopRule) {
    doc.startMarker = 5;
    doc.finishMarker = 15;
    placeIn(5);
    doc.loaded = false;
    forget();
    transport->paint();
    EXPECT_EQ(repaints, 0);
    EXPECT_TRUE(modes.empty());
    doc.loaded = true;
    doc.workingFilePath.clear();
    transport->paint();
    EXPECT_EQ(repaints, 0);
    EXPECT_TRUE(modes.empty());
}

TEST_F(TransportFixture, SceneReadsMarkersAndCursorFromTheEngine) {
    doc.startMarker = 5;
    doc.finishMarker = 20;
    placeIn(10);
    const WaveformScene s = waveSceneFor(doc);
    EXPECT_EQ(s.columnCount, 23u);
    EXPECT_EQ(s.width, 23);
    EXPECT_EQ(s.playColumn, 10u);
    EXPECT_EQ(s.playSeconds, 2);     // 10.5 of 23 columns of five seconds
    EXPECT_EQ(s.startSeconds, 1);    // column 5 starts at 1.087 s
    EXPECT_EQ(s.finishSeconds, 4);   // column 20 starts at 4.348 s
    EXPECT_EQ(s.duration, 5u);
    EXPECT_EQ(s.leftPeaks, doc.leftPeaks.data());
    // Before any document: no stream, nothing to read, nothing negative shown.
    DocumentState empty;
    const WaveformScene e = waveSceneFor(empty);
    EXPECT_EQ(e.playColumn, 0u);
    EXPECT_EQ(e.columnCount, 0u);
    EXPECT_FALSE(waveViewShowsDocument(empty));
}

TEST(WaveView, ColumnConversionsAndEmptyDocuments) {
    EXPECT_EQ(playColumnOf(23, 0, 882000), 0u);
    EXPECT_EQ(playColumnOf(23, 38347, 882000), 0u);  // 0.99998
    EXPECT_EQ(playColumnOf(23, 38348, 882000), 1u);
    EXPECT_EQ(playColumnOf(23, 882000, 882000), 23u);
    EXPECT_EQ(columnPosition(1, 882000, 23), 38347u);
    EXPECT_EQ(columnPosition(22, 882000, 23), 843652u);
    // No division by zero for an empty stream or an empty view.
    EXPECT_EQ(playColumnOf(23, 100, 0), 0u);
    EXPECT_EQ(playColumnOf(0, 100, 882000), 0u);
    EXPECT_EQ(columnPosition(5, 882000, 0), 0u);
    // Large values stay exact in double precision: 159 000 columns over two gigabytes.
    EXPECT_EQ(playColumnOf(159000, 2000000000, 2100000000), 151428u);
    // The engine's error position (-1 as a signed value) reads as column 0.
    EXPECT_EQ(playColumnOf(23, -1, 882000), 0u);
}

TEST(WaveView, FollowCursorPageByPage) {
    // Visible: nothing moves.
    EXPECT_EQ(followCursorLeft(100, 0, 714, 10000), 0);
    EXPECT_EQ(followCursorLeft(713, 0, 714, 10000), 0);
    // Past the right edge: the next page starts at the cursor.
    EXPECT_EQ(followCursorLeft(714, 0, 714, 10000), 714);
    EXPECT_EQ(followCursorLeft(1430, 714, 714, 10000), 1430);
    // Never past the end of the content, never before 0.
    EXPECT_EQ(followCursorLeft(9800, 8000, 714, 10000), 10000 - 714);
    EXPECT_EQ(followCursorLeft(0, 5000, 714, 10000), 0);
    EXPECT_EQ(followCursorLeft(300, 5000, 714, 600), 0);
    EXPECT_EQ(followCursorLeft(10, 20, 0, 600), 20);
}

}  // namespace
