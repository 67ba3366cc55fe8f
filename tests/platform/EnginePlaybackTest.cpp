// Players under the manual clock: positions, pause, stop, the end of the stream,
// levels and the spectrum are exact because sound is consumed only when the test says so.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <numbers>

#include "platform/AudioOutput.h"
#include "platform/AudioEngine.h"
#include "support/ManualClock.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

namespace {

class EnginePlayback : public ManualClockTest {
protected:
    using ManualClockTest::open;
    Player open(const std::vector<std::uint8_t>& wav, const char* name = "work.wav") {
        const std::string path = dir.file(name);
        writeFile(path, wav);
        return open(path);
    }

    // Stereo 16-bit: left ramps with the frame index, right is its negation.
    static std::vector<std::uint8_t> rampStereo(std::uint32_t rate, std::uint32_t frames) {
        std::vector<std::int16_t> s;
        for (std::uint32_t i = 0; i < frames; ++i) {
            s.push_back(std::int16_t(i % 30000));
            s.push_back(std::int16_t(-int(i % 30000)));
        }
        return makeWav(rate, 2, 16, samples16(s));
    }
};

TEST_F(EnginePlayback, VersionAndStart) {
    EXPECT_EQ(AudioEngine::version() >> 16, 0x0204u);
    for (int device : {-2, 2, 9}) {
        EngineOptions o;
        o.device = device;
        auto refused = AudioEngine::start(std::move(o));
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error(), EngineError::NoSuchDevice);
    }
    // The default device: a machine without sound falls back to a silent output that
    // still keeps time, so positions move while playing.
    const char* forced = std::getenv("TORVANE_AUDIO");
    const std::string saved = forced ? forced : "";
    unsetenv("TORVANE_AUDIO");
    auto any = AudioEngine::start();
    if (forced) setenv("TORVANE_AUDIO", saved.c_str(), 1);
    ASSERT_TRUE(any);
    (*any).reset();
    EngineOptions silent;
    silent.device = 0;
    auto started = AudioEngine::start(std::move(silent));
    ASSERT_TRUE(started);
    engine = std::move(*started);
    Player h = open(rampStereo(44100, 44100));
    h.play(true);
    EXPECT_EQ(h.state(), PlayerState::Playing);
    std::uint64_t pos = 0;
    for (int i = 0; i < 1000 && pos == 0; ++i) {  // until the output has played some
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        pos = h.position();
    }
    EXPECT_GT(pos, 0u);
    EXPECT_LT(pos, 44100u * 4);
    EXPECT_EQ(pos % 4, 0u);
}

TEST_F(EnginePlayback, PositionsPauseStopAndEndOfStream) {
    Player h = open(rampStereo(44100, 44100));  // one second
    EXPECT_EQ(h.length(), 44100u * 4);
    EXPECT_DOUBLE_EQ(h.seconds(44100u * 4), 1.0);
    EXPECT_EQ(h.format().sampleRate, 44100);
    EXPECT_EQ(h.format().channels, 2);
    EXPECT_EQ(h.format().bitsPerSample, 16);
    EXPECT_EQ(h.state(), PlayerState::Stopped);

    h.play(true);
    EXPECT_EQ(h.state(), PlayerState::Playing);
    EXPECT_EQ(h.position(), 0u);
    clock->advance(4410);
    EXPECT_EQ(h.position(), 4410u * 4);
    // What was heard is the file's audio.
    EXPECT_FLOAT_EQ(clock->lastRendered()[2 * 100], 100.0f / 32768.0f);
    EXPECT_FLOAT_EQ(clock->lastRendered()[2 * 100 + 1], -100.0f / 32768.0f);

    ASSERT_TRUE(h.pause());
    EXPECT_EQ(h.state(), PlayerState::Paused);
    clock->advance(4410);
    EXPECT_EQ(h.position(), 4410u * 4);
    EXPECT_FLOAT_EQ(clock->lastRendered()[0], 0.0f);  // silence while paused

    h.play(false);  // resumes where it paused
    clock->advance(441);
    EXPECT_EQ(h.position(), 4851u * 4);

    ASSERT_TRUE(h.seek(20000u * 4 + 3));  // rounded down to a frame
    EXPECT_EQ(h.position(), 20000u * 4);
    clock->advance(100);
    EXPECT_FLOAT_EQ(clock->lastRendered()[0], 20000.0f / 32768.0f);
    EXPECT_FALSE(h.seek(44101u * 4));

    h.stop();
    EXPECT_EQ(h.state(), PlayerState::Stopped);
    EXPECT_EQ(h.position(), 20100u * 4);
    EXPECT_FALSE(h.pause());

    // Play From Here semantics: set a position while stopped, then play without restart.
    ASSERT_TRUE(h.seek(40000u * 4));
    h.play(false);
    clock->advance(4000);
    EXPECT_EQ(h.state(), PlayerState::Playing);
    clock->advance(200);  // past the end
    EXPECT_EQ(h.state(), PlayerState::Stopped);
    EXPECT_EQ(h.position(), 44100u * 4);
    EXPECT_FLOAT_EQ(clock->lastRendered()[2 * 150], 0.0f);  // silence after the end

    h.play(true);  // restart from the top
    EXPECT_EQ(h.position(), 0u);
}

TEST_F(EnginePlayback, EightBitMonoAndOddChunkLayout) {
    // An 8-bit mono file with a LIST chunk of odd size before the data.
    std::vector<std::uint8_t> b;
    putId(b, "RIFF");
    put32(b, 0);
    putId(b, "WAVE");
    putId(b, "fmt ");
    put32(b, 16);
    put16(b, 1);
    put16(b, 1);
    put32(b, 8000);
    put32(b, 8000);
    put16(b, 1);
    put16(b, 8);
    putId(b, "LIST");
    put32(b, 3);
    b.insert(b.end(), {'a', 'b', 'c', 0});
    putId(b, "data");
    put32(b, 8000);
    for (int i = 0; i < 8000; ++i) b.push_back(i < 4000 ? 0 : 128);  // full-scale negative, then silence
    Player h = open(b);
    EXPECT_EQ(h.length(), 8000u);
    EXPECT_EQ(h.format().channels, 1);
    EXPECT_EQ(h.format().bitsPerSample, 8);

    h.play(true);
    clock->advance(441);  // the device runs at the file's rate: 441 frames of 8 kHz
    EXPECT_EQ(h.position(), 441u);
    EXPECT_EQ(h.level(), 32768u | (32768u << 16));
    EXPECT_FLOAT_EQ(clock->lastRendered()[0], -1.0f);
    EXPECT_FLOAT_EQ(clock->lastRendered()[1], -1.0f);  // mono is heard on both sides
}

TEST_F(EnginePlayback, RatesTheDeviceLacksAreResampled) {
    init(true);  // the device stays at 44100
    Player h = open(rampStereo(22050, 22050));
    h.play(true);
    EXPECT_EQ(clock->rate(), 44100u);
    clock->advance(4410);
    EXPECT_EQ(h.position(), 2205u * 4);
    // Halfway between frames 10 and 11 of the ramp.
    EXPECT_NEAR(clock->lastRendered()[2 * 21], 10.5f / 32768.0f, 1e-6);
    clock->advance(44100);
    EXPECT_EQ(h.state(), PlayerState::Stopped);
}

TEST_F(EnginePlayback, LevelIsThePeakOfTheLastTwentyMillisecondsHeard) {
    // A full-scale square wave: -32768 and 32767 alternating every 50 frames, then quiet.
    std::vector<std::int16_t> s;
    for (int i = 0; i < 44100; ++i) {
        const std::int16_t v = i < 22050 ? ((i / 50) % 2 ? 32767 : -32768) : std::int16_t((i % 2) ? 1000 : -500);
        s.push_back(v);
        s.push_back(std::int16_t(v / 2));
    }
    Player h = open(makeWav(44100, 2, 16, samples16(s)));
    EXPECT_EQ(h.level(), 0u);  // not playing
    h.play(true);
    clock->advance(4410);
    const std::uint32_t level = h.level();
    EXPECT_EQ(level & 0xFFFF, 32768u);
    EXPECT_EQ(level >> 16, 16384u);
    clock->advance(22050);  // 20 ms into the quiet part: nothing loud remains in the window
    EXPECT_EQ(h.level() & 0xFFFF, 1000u);
    ASSERT_TRUE(h.pause());
    EXPECT_EQ(h.level(), 0u);
}

TEST_F(EnginePlayback, SpectrumOfASinePeaksAtItsBin) {
    const int bin = 40;
    const double freq = bin * 44100.0 / 1024.0;
    std::vector<std::int16_t> s;
    for (int i = 0; i < 44100; ++i) {
        const auto v = std::int16_t(std::lround(32767.0 * std::sin(2 * std::numbers::pi * freq * i / 44100.0)));
        s.push_back(v);
        s.push_back(v);
    }
    Player h = open(makeWav(44100, 2, 16, samples16(s)));
    std::array<float, 512> fft;
    fft.fill(1.0f);
    EXPECT_FALSE(h.spectrum(fft));  // stopped: nothing heard
    EXPECT_EQ(fft[0], 0.0f);
    h.play(true);
    clock->advance(8192);
    ASSERT_TRUE(h.spectrum(fft));
    const int peak = int(std::max_element(fft.begin(), fft.end()) - fft.begin());
    EXPECT_EQ(peak, bin);
    EXPECT_NEAR(fft[bin], 1.0f, 0.01f);
    EXPECT_LT(fft[bin + 5], 0.01f);
    // Paused, the spectrum still reads what was last heard.
    ASSERT_TRUE(h.pause());
    ASSERT_TRUE(h.spectrum(fft));
    EXPECT_NEAR(fft[bin], 1.0f, 0.01f);
}

TEST_F(EnginePlayback, FreeingTheStreamLetsTheFileBeRewritten) {
    const std::string path = dir.file("work.wav");
    writeFile(path, rampStereo(44100, 1000));
    {
        Player h = open(path);
        h.play(true);
    }
    clock->advance(100);  // nothing left to play
    EXPECT_FLOAT_EQ(clock->lastRendered()[2 * 50], 0.0f);
    writeFile(path, rampStereo(44100, 2000));
    Player again = open(path);
    EXPECT_EQ(again.length(), 2000u * 4);
    // Not a WAV, or a WAV of a kind the player cannot take.
    writeFile(dir.file("bad.wav"), {'R', 'I', 'F', 'F'});
    EXPECT_EQ(engine->openPlayer(dir.file("bad.wav")).error(), EngineError::NotPlayable);
    // A player outliving its engine falls silent and keeps its place.
    again.play(true);
    clock->advance(100);
    engine.reset();
    EXPECT_FALSE(clock->advance(100));
    again.play(true);
    EXPECT_EQ(again.position(), 0u);
}

}  // namespace
