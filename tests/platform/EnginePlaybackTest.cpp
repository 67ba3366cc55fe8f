// Playback streams under the manual clock: positions, pause, stop, the end of the stream,
// levels and the spectrum are exact because sound is consumed only when the test says so.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <numbers>

#include "platform/AudioOutput.h"
#include "platform/Bass.h"
#include "support/ManualClock.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

namespace {

class EnginePlayback : public ManualClockTest {
protected:
    HSTREAM open(const std::vector<std::uint8_t>& wav, const char* name = "work.wav") {
        const std::string path = dir.file(name);
        writeFile(path, wav);
        return BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
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

TEST_F(EnginePlayback, VersionAndInitLifecycle) {
    EXPECT_EQ(BASS_GetVersion() >> 16, 0x0204u);
    EXPECT_FALSE(BASS_Init(-1, 44100, 0, nullptr, nullptr));  // already running
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    EXPECT_TRUE(BASS_Free());
    EXPECT_FALSE(BASS_Free());
    // The default device: a machine without sound falls back to a silent output that
    // still keeps time, so positions move while playing.
    const char* forced = std::getenv("TORVANE_AUDIO");
    const std::string saved = forced ? forced : "";
    unsetenv("TORVANE_AUDIO");
    const BOOL ok = BASS_Init(-1, 44100, 0, nullptr, nullptr);
    if (forced) setenv("TORVANE_AUDIO", saved.c_str(), 1);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(BASS_Free());
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    HSTREAM h = open(rampStereo(44100, 44100));
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, 1));
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const QWORD pos = BASS_ChannelGetPosition(h, BASS_POS_BYTE);
    EXPECT_GT(pos, 0u);
    EXPECT_LT(pos, 44100u * 4);
    EXPECT_EQ(pos % 4, 0u);
}

TEST_F(EnginePlayback, PositionsPauseStopAndEndOfStream) {
    HSTREAM h = open(rampStereo(44100, 44100));  // one second
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), 44100u * 4);
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h, 44100u * 4), 1.0);
    BASS_CHANNELINFO info;
    ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
    EXPECT_EQ(info.freq, 44100u);
    EXPECT_EQ(info.chans, 2u);
    EXPECT_EQ(info.flags & BASS_SAMPLE_8BITS, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);

    ASSERT_TRUE(BASS_ChannelPlay(h, 1));
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0u);
    clock->advance(4410);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 4410u * 4);
    // What was heard is the file's audio.
    EXPECT_FLOAT_EQ(clock->lastRendered()[2 * 100], 100.0f / 32768.0f);
    EXPECT_FLOAT_EQ(clock->lastRendered()[2 * 100 + 1], -100.0f / 32768.0f);

    ASSERT_TRUE(BASS_ChannelPause(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PAUSED);
    clock->advance(4410);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 4410u * 4);
    EXPECT_FLOAT_EQ(clock->lastRendered()[0], 0.0f);  // silence while paused

    ASSERT_TRUE(BASS_ChannelPlay(h, 0));  // resumes where it paused
    clock->advance(441);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 4851u * 4);

    ASSERT_TRUE(BASS_ChannelSetPosition(h, 20000u * 4 + 3, BASS_POS_BYTE));  // rounded down to a frame
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 20000u * 4);
    clock->advance(100);
    EXPECT_FLOAT_EQ(clock->lastRendered()[0], 20000.0f / 32768.0f);
    EXPECT_FALSE(BASS_ChannelSetPosition(h, 44101u * 4, BASS_POS_BYTE));

    ASSERT_TRUE(BASS_ChannelStop(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 20100u * 4);
    EXPECT_FALSE(BASS_ChannelPause(h));

    // Play From Here semantics: set a position while stopped, then play without restart.
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 40000u * 4, BASS_POS_BYTE));
    ASSERT_TRUE(BASS_ChannelPlay(h, 0));
    clock->advance(4000);
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    clock->advance(200);  // past the end
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 44100u * 4);
    EXPECT_FLOAT_EQ(clock->lastRendered()[2 * 150], 0.0f);  // silence after the end

    ASSERT_TRUE(BASS_ChannelPlay(h, 1));  // restart from the top
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 0u);
    EXPECT_TRUE(BASS_StreamFree(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
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
    HSTREAM h = open(b);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), 8000u);
    BASS_CHANNELINFO info;
    ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
    EXPECT_EQ(info.chans, 1u);
    EXPECT_EQ(info.flags & BASS_SAMPLE_8BITS, BASS_SAMPLE_8BITS);

    ASSERT_TRUE(BASS_ChannelPlay(h, 1));
    clock->advance(441);  // the device runs at the file's rate: 441 frames of 8 kHz
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 441u);
    EXPECT_EQ(BASS_ChannelGetLevel(h), 32768u | (32768u << 16));
    EXPECT_FLOAT_EQ(clock->lastRendered()[0], -1.0f);
    EXPECT_FLOAT_EQ(clock->lastRendered()[1], -1.0f);  // mono is heard on both sides
}

TEST_F(EnginePlayback, RatesTheDeviceLacksAreResampled) {
    init(true);  // the device stays at 44100
    HSTREAM h = open(rampStereo(22050, 22050));
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, 1));
    EXPECT_EQ(clock->rate(), 44100u);
    clock->advance(4410);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 2205u * 4);
    // Halfway between frames 10 and 11 of the ramp.
    EXPECT_NEAR(clock->lastRendered()[2 * 21], 10.5f / 32768.0f, 1e-6);
    clock->advance(44100);
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
}

TEST_F(EnginePlayback, LevelIsThePeakOfTheLastTwentyMillisecondsHeard) {
    // A full-scale square wave: -32768 and 32767 alternating every 50 frames, then quiet.
    std::vector<std::int16_t> s;
    for (int i = 0; i < 44100; ++i) {
        const std::int16_t v = i < 22050 ? ((i / 50) % 2 ? 32767 : -32768) : std::int16_t((i % 2) ? 1000 : -500);
        s.push_back(v);
        s.push_back(std::int16_t(v / 2));
    }
    HSTREAM h = open(makeWav(44100, 2, 16, samples16(s)));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(BASS_ChannelGetLevel(h), 0u);  // not playing
    ASSERT_TRUE(BASS_ChannelPlay(h, 1));
    clock->advance(4410);
    const DWORD level = BASS_ChannelGetLevel(h);
    EXPECT_EQ(level & 0xFFFF, 32768u);
    EXPECT_EQ(level >> 16, 16384u);
    clock->advance(22050);  // 20 ms into the quiet part: nothing loud remains in the window
    EXPECT_EQ(BASS_ChannelGetLevel(h) & 0xFFFF, 1000u);
    ASSERT_TRUE(BASS_ChannelPause(h));
    EXPECT_EQ(BASS_ChannelGetLevel(h), 0u);
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
    HSTREAM h = open(makeWav(44100, 2, 16, samples16(s)));
    ASSERT_NE(h, 0u);
    float fft[512];
    EXPECT_EQ(BASS_ChannelGetData(h, fft, BASS_DATA_FFT1024), BASS_DATA_ERROR);  // stopped
    ASSERT_TRUE(BASS_ChannelPlay(h, 1));
    clock->advance(8192);
    ASSERT_EQ(BASS_ChannelGetData(h, fft, BASS_DATA_FFT1024), 512u * sizeof(float));
    const int peak = int(std::max_element(fft, fft + 512) - fft);
    EXPECT_EQ(peak, bin);
    EXPECT_NEAR(fft[bin], 1.0f, 0.01f);
    EXPECT_LT(fft[bin + 5], 0.01f);
    // Paused, the spectrum still reads what was last heard.
    ASSERT_TRUE(BASS_ChannelPause(h));
    ASSERT_EQ(BASS_ChannelGetData(h, fft, BASS_DATA_FFT1024), 512u * sizeof(float));
    EXPECT_NEAR(fft[bin], 1.0f, 0.01f);
}

TEST_F(EnginePlayback, FreeingTheStreamLetsTheFileBeRewritten) {
    const std::string path = dir.file("work.wav");
    writeFile(path, rampStereo(44100, 1000));
    HSTREAM h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, 1));
    ASSERT_TRUE(BASS_StreamFree(h));
    clock->advance(100);  // nothing left to play
    EXPECT_FLOAT_EQ(clock->lastRendered()[2 * 50], 0.0f);
    writeFile(path, rampStereo(44100, 2000));
    HSTREAM again = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
    ASSERT_NE(again, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(again, BASS_POS_BYTE), 2000u * 4);
    // Not a WAV, or a WAV of a kind the player cannot take.
    writeFile(dir.file("bad.wav"), {'R', 'I', 'F', 'F'});
    EXPECT_EQ(BASS_StreamCreateFile(0, dir.file("bad.wav").c_str(), 0, 0, 0), 0u);
}

}  // namespace
