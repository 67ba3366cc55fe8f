// Transport, markers, zoom and the timer of the session on a real playback stream, under the
// engine's manual clock: each tick consumes exactly 100 ms of sound. The fixture plays the
// window's part of each tick (draw, then the stop rule on the column drawn; feed the meters).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "doc/PeakScan.h"
#include "doc/PlayColumn.h"
#include "doc/WorkingFile.h"
#include "platform/AudioOutput.h"
#include "platform/FileIo.h"
#include "session/Session.h"
#include "support/ManualClock.h"
#include "support/TestFiles.h"
#include "view/Spectrum.h"
#include "view/Volume.h"
#include "view/WaveView.h"
#include "i18n/Messages.h"

using namespace torvane;
using namespace torvane::test;

namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kFrames = 5 * kRate;  // five seconds: 23 columns at 10 : 1
constexpr unsigned kTickFrames = kRate / 10;

// Makes a playback engine on the manual clock; the working file is a loud 1 kHz tone.
class TransportFixture : public ::testing::Test {
protected:
    void SetUp() override {
        clock = manualClock();
        engine = engineOn(clock);
        ASSERT_NE(engine, nullptr);
        load(kFrames);
    }
    void TearDown() override {
        session.reset();
    }

    // A document of `frames` frames of the tone, as an open leaves it.
    void load(std::uint32_t frames, std::int32_t framesPerColumn = 10000) {
        session = std::make_unique<Session>();
        ASSERT_TRUE(session->createFolder(dir.path()));
        session->setEngine(engine);
        std::vector<std::int16_t> s;
        for (std::uint32_t i = 0; i < frames; ++i) {
            const auto v = std::int16_t(30000 * std::sin(2 * std::numbers::pi * 1000.0 * i / kRate));
            s.push_back(v);
            s.push_back(v);
        }
        DocumentState& d = session->stateForTests();
        const std::string path = workingFilePathIn(d.tempFolder);
        writeFile(path, makeWav(kRate, 2, 16, samples16(s)));
        session->adoptWorkingFile(path);
        ASSERT_EQ(readWorkingHeader(d), WaveHeaderError::None);
        d.view.framesPerColumn = framesPerColumn;
        NoProgress none;
        ASSERT_TRUE(reloadPeakTable(d, none).ok());
        ASSERT_TRUE(session->startPlayer().ok());
        ASSERT_EQ(d.streamLength, std::uint64_t(frames) * 4);
        d.loaded = true;
        d.selection = {0, d.view.columnCount - 1};
        d.uiMode = ModeStopped;
    }

    DocumentState& doc() { return session->stateForTests(); }
    std::uint64_t position() { return session->playPosition(); }
    std::uint32_t column() { return session->playColumn(); }
    // The player placed in column c, as a click there places it.
    void placeIn(std::uint32_t c) {
        session->placeAt(c);
        ASSERT_EQ(column(), c);
    }
    // The window's repaint: draw the cursor, then judge the stop rule on that column.
    void paint() {
        if (!waveViewShowsDocument(doc())) return;
        ++repaints;
        drawnColumn = waveSceneFor(doc(), session->playPosition()).playColumn;
        session->applyStopRule(drawnColumn);
    }
    void tick() {
        clock->advance(kTickFrames);
        const Session::Tick t = session->tick();
        if (t.ended || t.repaint) paint();
        spectrum.draw(session->fft().data(), doc().uiMode);
        const MeterLevels levels = meterLevels(session->level());
        volume.draw(levels.left, levels.right, doc().uiMode);
        ++meterDraws;
    }
    int playUntilHalt(int limit) {
        int ticks = 0;
        while (doc().uiMode == ModePlaying && ticks < limit) {
            tick();
            ++ticks;
        }
        return ticks;
    }

    TempDir dir;
    std::shared_ptr<ManualClockOutput> clock;
    std::shared_ptr<AudioEngine> engine;
    std::unique_ptr<Session> session;
    TSpectrum spectrum{97, 49};
    TVolume volume{161, 17};
    int repaints = 0, meterDraws = 0;
    std::uint32_t drawnColumn = 0;
};

TEST_F(TransportFixture, PlayPausesAtStartMarkerThenPlayFromHerePausesAtFinish) {
    ASSERT_EQ(doc().view.columnCount, 23u);
    doc().selection = {5, 15};
    session->play();
    EXPECT_EQ(doc().uiMode, ModePlaying);
    playUntilHalt(100);
    // 0.44 columns per tick at 10 : 1: the cursor cannot pass the marker unseen.
    ASSERT_EQ(doc().uiMode, ModePaused);
    EXPECT_EQ(column(), 5u);
    EXPECT_EQ(drawnColumn, 5u);  // the cursor was drawn where playback halted
    EXPECT_EQ(session->playerState(), PlayerState::Paused);
    EXPECT_GT(repaints, 0);
    const std::uint64_t pausedAt = position();
    tick();  // paused: the timer does not repaint, the position holds
    EXPECT_EQ(position(), pausedAt);
    EXPECT_EQ(doc().uiMode, ModePaused);

    // Resume three columns past the start marker, then halt at the finish marker.
    session->playFromHere();
    EXPECT_EQ(doc().uiMode, ModePlaying);
    EXPECT_EQ(column(), 8u);
    playUntilHalt(100);
    ASSERT_EQ(doc().uiMode, ModePaused);
    EXPECT_EQ(column(), 15u);

    // Paused on the finish marker, Play From Here moves past it and plays to the end.
    session->playFromHere();
    EXPECT_EQ(column(), 18u);
    playUntilHalt(200);
    EXPECT_EQ(doc().uiMode, ModeStopped);
    EXPECT_EQ(position(), 0u);
}

TEST_F(TransportFixture, WholeSelectionNeverPausesAndEndsThroughTheTimer) {
    session->play();
    int ticks = 0;
    std::uint32_t lastColumn = 0;
    bool paused = false;
    while (doc().uiMode == ModePlaying && ticks < 100) {
        lastColumn = std::max(lastColumn, column());
        tick();
        paused = paused || doc().uiMode == ModePaused;
        ++ticks;
    }
    EXPECT_EQ(ticks, 50);  // five seconds of 100 ms ticks
    EXPECT_EQ(lastColumn, 22u);
    EXPECT_FALSE(paused);
    EXPECT_EQ(doc().uiMode, ModeStopped);
    EXPECT_EQ(position(), 0u);
    EXPECT_EQ(session->playerState(), PlayerState::Stopped);
    EXPECT_EQ(meterDraws, 50);
    // Stopped: both meters show their background again.
    EXPECT_EQ(spectrum.picture().pixel(10, 48) | 0xFF000000, 0xFF000000);
}

TEST_F(TransportFixture, TimerFeedsTheMetersWhilePlaying) {
    tick();
    EXPECT_EQ(volume.leftBar(), 0);
    session->play();
    tick();
    tick();
    // 30000 / 32768 of full scale: level 91, 146 pixels.
    EXPECT_EQ(volume.leftBar(), 146);
    EXPECT_EQ(volume.rightBar(), 146);
    int lit = 0;
    for (int i = 0; i < TSpectrum::kBands; ++i) lit += spectrum.barHeight(i) > 0;
    EXPECT_GT(lit, 0);
    session->pause();
    EXPECT_EQ(doc().uiMode, ModePaused);
    tick();
    EXPECT_EQ(volume.leftBar(), 131);
}

TEST_F(TransportFixture, PlayFromHereWhenStopped) {
    doc().selection = {4, 12};
    // At position 0 it starts one column past the start marker.
    session->playFromHere();
    EXPECT_EQ(doc().uiMode, ModePlaying);
    EXPECT_EQ(column(), 5u);
    session->stop();
    EXPECT_EQ(doc().uiMode, ModeStopped);
    EXPECT_EQ(position(), 0u);
    EXPECT_EQ(session->playerState(), PlayerState::Stopped);
    // Elsewhere it starts where the position is.
    placeIn(9);
    const std::uint64_t here = position();
    session->playFromHere();
    EXPECT_EQ(position(), here);
    clock->advance(100);
    EXPECT_EQ(position(), here + 400);
    // Paused off the markers, it resumes in place.
    session->pause();
    session->playFromHere();
    EXPECT_EQ(position(), here + 400);
    // Play always starts from the top.
    session->play();
    EXPECT_EQ(position(), 0u);
}

TEST_F(TransportFixture, MarkerCommandsThatMustDoNothing) {
    doc().selection = {5, 15};
    for (std::uint32_t c : {15u, 16u}) {  // at or after the finish marker
        placeIn(c);
        EXPECT_FALSE(session->setStartMarker());
        EXPECT_EQ(doc().selection.startMarker, 5u);
    }
    for (std::uint32_t c : {5u, 2u}) {  // at or before the start marker
        placeIn(c);
        EXPECT_FALSE(session->setFinishMarker());
        EXPECT_EQ(doc().selection.finishMarker, 15u);
    }
    // Accepted: the marker moves; the repaint's stop rule then finds the cursor on the new
    // marker and pauses.
    placeIn(9);
    EXPECT_TRUE(session->setStartMarker());
    EXPECT_EQ(doc().selection.startMarker, 9u);
    paint();
    EXPECT_EQ(doc().uiMode, ModePaused);
    placeIn(12);
    EXPECT_TRUE(session->setFinishMarker());
    EXPECT_EQ(doc().selection.finishMarker, 12u);

    session->selectAll();
    EXPECT_EQ(doc().selection.startMarker, 0u);
    EXPECT_EQ(doc().selection.finishMarker, 22u);
}

// A click on column c leaves the play column on c, so Set Start / Set Finish put the marker
// there and Play From Here starts there: on documents with and without a partial last column,
// at every zoom, for every column.
TEST_F(TransportFixture, AClickedColumnIsWhereMarkersAndPlayLand) {
    for (const std::uint32_t frames : {kFrames, 200000u}) {  // 220500 leaves partial columns; 200000 does not
        for (const std::int32_t zoom : kZoomLevels) {
            load(frames, zoom);
            const std::uint32_t columns = doc().view.columnCount;
            ASSERT_EQ(columns, (frames + std::uint32_t(zoom) - 1) / std::uint32_t(zoom));
            for (std::uint32_t c = 1; c + 1 < columns; ++c) {
                doc().selection = {0, columns - 1};
                session->placeAt(c);
                ASSERT_EQ(column(), c) << frames << " frames, zoom " << zoom;
                ASSERT_TRUE(session->setStartMarker());
                ASSERT_EQ(doc().selection.startMarker, c);
                doc().selection = {0, columns - 1};
                session->placeAt(c);
                ASSERT_TRUE(session->setFinishMarker());
                ASSERT_EQ(doc().selection.finishMarker, c);
                doc().selection = {0, columns - 1};
                session->placeAt(c);
                session->playFromHere();
                ASSERT_EQ(column(), c);
                session->stop();
            }
            session->placeAt(columns - 1);
            EXPECT_EQ(column(), columns - 1);
        }
    }
}

TEST_F(TransportFixture, SameZoomLevelDoesNothing) {
    doc().selection = {5, 15};
    session->play();
    clock->advance(4410);
    NoProgress none;
    EXPECT_TRUE(session->zoomTo(10000, none).ok());
    EXPECT_EQ(zoomedOut(doc().view.framesPerColumn), 10000);  // already at 10 : 1
    // The same player plays on: a new one would stand stopped at 0.
    EXPECT_EQ(session->playerState(), PlayerState::Playing);
    EXPECT_EQ(position(), 4410u * 4);
    EXPECT_EQ(doc().selection.startMarker, 5u);
    EXPECT_EQ(doc().uiMode, ModePlaying);
}

// The reload reads the working file; the player must have let it go by then.
// While it runs the session is busy: the window's tick (run from the dialog's event pumping)
// must leave the document alone.
class StreamReleasedCheck : public NoProgress {
public:
    explicit StreamReleasedCheck(Session& session) : m_session(session) {}
    void setPercent(int, int) override {
        ++calls;
        if (m_session.hasPlayer()) heldDuringReload = true;
        const DocumentState before = m_session.doc();
        const Session::Tick t = m_session.tick();
        if (!m_session.busy() || t.repaint || t.ended || m_session.applyStopRule(m_session.playColumn()) ||
            m_session.doc().uiMode != before.uiMode || m_session.hasPlayer())
            touchedWhileBusy = true;
    }
    int calls = 0;
    bool heldDuringReload = false;
    bool touchedWhileBusy = false;

private:
    Session& m_session;
};

TEST_F(TransportFixture, ZoomChangeStopsRebuildsAndResetsMarkers) {
    doc().selection = {5, 15};
    session->play();
    clock->advance(20000);
    StreamReleasedCheck check(*session);
    EXPECT_TRUE(session->zoomTo(2000, check).ok());
    EXPECT_GT(check.calls, 0);
    EXPECT_FALSE(check.heldDuringReload);
    EXPECT_FALSE(check.touchedWhileBusy);
    EXPECT_FALSE(session->busy());
    EXPECT_EQ(doc().view.framesPerColumn, 2000);
    EXPECT_EQ(doc().view.columnCount, 111u);
    ASSERT_TRUE(session->hasPlayer());
    EXPECT_EQ(doc().streamLength, std::uint64_t(kFrames) * 4);
    EXPECT_EQ(session->playerState(), PlayerState::Stopped);
    EXPECT_EQ(position(), 0u);
    EXPECT_EQ(doc().selection.startMarker, 0u);
    EXPECT_EQ(doc().selection.finishMarker, 110u);
    EXPECT_EQ(doc().uiMode, ModeStopped);
    EXPECT_EQ(doc().peaks.left.size(), 111u);
    // The tone peaks at 30000 of 32767: 91 in every whole column (the last one holds only 250
    // frames, of which three are examined).
    EXPECT_EQ(std::count(doc().peaks.left.begin(), doc().peaks.left.begin() + 110, 91), 110);

    // Without its working file the reload fails with its message and keeps the old table.
    removeFile(doc().workingFilePath);
    NoProgress none;
    const Outcome gone = session->zoomTo(8000, none);
    EXPECT_EQ(messageText(gone), messageText(MessageId::CannotOpenTempFile));
    EXPECT_EQ(doc().view.columnCount, 111u);
    EXPECT_EQ(doc().uiMode, ModeStopped);
}

TEST_F(TransportFixture, NoDocumentNoStopRule) {
    doc().selection = {5, 15};
    placeIn(5);
    doc().loaded = false;
    EXPECT_FALSE(session->applyStopRule(5));
    doc().loaded = true;
    const std::string path = doc().workingFilePath;
    doc().workingFilePath.clear();
    EXPECT_FALSE(session->applyStopRule(5));
    doc().workingFilePath = path;
    EXPECT_EQ(doc().uiMode, ModeStopped);
    // The first and last columns never pause.
    doc().selection = {0, 22};
    EXPECT_FALSE(session->applyStopRule(0));
    EXPECT_FALSE(session->applyStopRule(22));
}

TEST_F(TransportFixture, SceneReadsMarkersAndCursorFromTheEngine) {
    doc().selection = {5, 20};
    placeIn(10);
    const WaveformScene s = waveSceneFor(doc(), position());
    EXPECT_EQ(s.columnCount, 23u);
    EXPECT_EQ(s.width, kMinWaveWidth);  // a short document is widened for its labels
    EXPECT_EQ(s.playColumn, 10u);
    EXPECT_EQ(s.playSeconds, 2);     // 10.5 of 23 columns of five seconds
    EXPECT_EQ(s.startSeconds, 1);    // column 5 starts at 1.087 s
    EXPECT_EQ(s.finishSeconds, 4);   // column 20 starts at 4.348 s
    EXPECT_EQ(s.duration, 5u);
    EXPECT_EQ(s.leftPeaks, doc().peaks.left.data());
    // Before any document: no stream, nothing to read, nothing negative shown.
    DocumentState empty;
    const WaveformScene e = waveSceneFor(empty, 0);
    EXPECT_EQ(e.playColumn, 0u);
    EXPECT_EQ(e.columnCount, 0u);
    EXPECT_FALSE(waveViewShowsDocument(empty));
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
