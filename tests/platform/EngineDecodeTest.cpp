// Decode-only streams against ffmpeg's own decode of the same file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/Bass.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

namespace {

struct Decoded {
    DWORD rate = 0, chans = 0, flags = 0;
    std::vector<std::int16_t> pcm;
    QWORD expectedBytes = 0;
    QWORD fileSize = 0;
};

// Reads a decoder the way the open does: while active, 10000 bytes at a time.
bool decodeAll(HSTREAM h, Decoded& d) {
    BASS_CHANNELINFO info;
    if (!BASS_ChannelGetInfo(h, &info)) return false;
    d.rate = info.freq;
    d.chans = info.chans;
    d.flags = info.flags;
    d.expectedBytes = BASS_ChannelGetLength(h, BASS_POS_BYTE);
    d.fileSize = BASS_StreamGetFilePosition(h, BASS_FILEPOS_END);
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> buf(10000);
    int guard = 0;
    while (BASS_ChannelIsActive(h) && guard++ < 1000000) {
        DWORD n = BASS_ChannelGetData(h, buf.data(), 10000);
        if (n == BASS_DATA_ERROR) return false;
        EXPECT_LE(n, 10000u);
        bytes.insert(bytes.end(), buf.begin(), buf.begin() + n);
        EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), bytes.size());
    }
    d.pcm.resize(bytes.size() / 2);
    std::memcpy(d.pcm.data(), bytes.data(), d.pcm.size() * 2);
    return true;
}

std::vector<std::int16_t> ffmpegDecode(const std::string& in, const TempDir& dir, int channels) {
    const std::string raw = dir.file("ref.raw");
    EXPECT_TRUE(run("ffmpeg -y -v error -i " + quote(in) + " -ac " + std::to_string(channels) + " -f s16le " + quote(raw)));
    auto bytes = readFile(raw);
    std::vector<std::int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

// Largest sample difference over the common part.
int maxDiff(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b) {
    int m = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) m = std::max(m, std::abs(a[i] - b[i]));
    return m;
}

class EngineDecode : public ::testing::Test {
protected:
    TempDir dir;
};

struct Source {
    const char* ext;
    int rate;
    int channels;
    int frameSamples;  // one codec frame
};

void PrintTo(const Source& s, std::ostream* os) { *os << s.ext << ' ' << s.rate << " Hz " << s.channels << " ch"; }

class EngineDecodeMatrix : public EngineDecode, public ::testing::WithParamInterface<Source> {};

TEST_P(EngineDecodeMatrix, MatchesFfmpegDecode) {
    const Source s = GetParam();
    const std::string wav = dir.file("src.wav");
    const std::string enc = dir.file(std::string("src.") + s.ext);
    ASSERT_TRUE(makeSignalWav(wav, s.rate, s.channels, 2.5));
    if (std::string(s.ext) == "mp3")
        ASSERT_TRUE(run("lame --quiet -b 128 " + quote(wav) + " " + quote(enc)));
    else
        ASSERT_TRUE(run("ffmpeg -y -v error -i " + quote(wav) + " -c:a wmav2 -b:a 128k " + quote(enc)));

    HSTREAM h = std::string(s.ext) == "mp3" ? BASS_StreamCreateFile(0, enc.c_str(), 0, 0, BASS_STREAM_DECODE)
                                            : BASS_WMA_StreamCreateFile(0, enc.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u);
    Decoded d;
    ASSERT_TRUE(decodeAll(h, d));
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    // Seconds follow the decoded format: one second of 16-bit audio.
    EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(h, QWORD(s.rate) * 2 * s.channels), 1.0);
    EXPECT_EQ(BASS_ChannelGetData(h, nullptr, 10000), BASS_DATA_ERROR);
    EXPECT_TRUE(BASS_StreamFree(h));
    EXPECT_FALSE(BASS_StreamFree(h));

    EXPECT_EQ(d.rate, DWORD(s.rate));
    EXPECT_EQ(d.chans, DWORD(s.channels));
    EXPECT_EQ(d.flags & BASS_SAMPLE_8BITS, 0u);
    EXPECT_EQ(d.fileSize, QWORD(readFile(enc).size()));

    const auto ref = ffmpegDecode(enc, dir, s.channels);
    const long frames = long(d.pcm.size() / d.chans), refFrames = long(ref.size() / d.chans);
    EXPECT_LE(std::labs(frames - refFrames), s.frameSamples);
    EXPECT_LE(maxDiff(d.pcm, ref), 2);
    // The expected length is an estimate, but close: within two codec frames of the truth.
    EXPECT_LE(std::llabs(static_cast<long long>(d.expectedBytes / (2 * d.chans)) - frames), 2LL * s.frameSamples);
}

INSTANTIATE_TEST_SUITE_P(Formats, EngineDecodeMatrix,
                         ::testing::Values(Source{"mp3", 44100, 2, 1152}, Source{"mp3", 22050, 1, 1152},
                                           Source{"wma", 44100, 2, 2048}, Source{"wma", 22050, 1, 2048}),
                         [](const auto& info) {
                             return std::string(info.param.ext) + "_" + std::to_string(info.param.rate) + "_" +
                                    std::to_string(info.param.channels) + "ch";
                         });

TEST_F(EngineDecode, SurroundIsMixedDownToStereo) {
    const std::string wav = dir.file("six.wav");
    ASSERT_TRUE(makeSignalWav(wav, 48000, 6, 1.0));
    HSTREAM h = BASS_StreamCreateFile(0, wav.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u);
    Decoded d;
    ASSERT_TRUE(decodeAll(h, d));
    BASS_StreamFree(h);
    EXPECT_EQ(d.chans, 2u);
    EXPECT_EQ(d.rate, 48000u);
    EXPECT_EQ(d.pcm.size(), 48000u * 2);
    // Both sides carry sound.
    int peakL = 0, peakR = 0;
    for (size_t i = 0; i + 1 < d.pcm.size(); i += 2) {
        peakL = std::max(peakL, std::abs(int(d.pcm[i])));
        peakR = std::max(peakR, std::abs(int(d.pcm[i + 1])));
    }
    EXPECT_GT(peakL, 1000);
    EXPECT_GT(peakR, 1000);
}

TEST_F(EngineDecode, BadInputsGiveNoHandleOrAnEarlyEndWithoutCrashing) {
    // Empty file, missing file, garbage, an MP3 that stops half-way, and WAV data in a .wma.
    const std::string empty = dir.file("empty.mp3");
    writeFile(empty, {});
    EXPECT_EQ(BASS_StreamCreateFile(0, empty.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_WMA_StreamCreateFile(0, empty.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_StreamCreateFile(0, dir.file("missing.mp3").c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);

    std::mt19937 rng(7);
    std::vector<std::uint8_t> junk(200000);
    for (auto& b : junk) b = std::uint8_t(rng());
    const std::string garbage = dir.file("garbage.mp3");
    writeFile(garbage, junk);
    for (HSTREAM h : {BASS_StreamCreateFile(0, garbage.c_str(), 0, 0, BASS_STREAM_DECODE),
                      BASS_WMA_StreamCreateFile(0, garbage.c_str(), 0, 0, BASS_STREAM_DECODE)}) {
        if (h == 0) continue;
        Decoded d;
        decodeAll(h, d);
        BASS_StreamFree(h);
    }

    const std::string wav = dir.file("src.wav");
    const std::string mp3 = dir.file("src.mp3");
    ASSERT_TRUE(makeSignalWav(wav, 44100, 2, 2.0));
    ASSERT_TRUE(run("lame --quiet -b 128 " + quote(wav) + " " + quote(mp3)));
    auto bytes = readFile(mp3);
    bytes.resize(bytes.size() / 2);
    const std::string cut = dir.file("cut.mp3");
    writeFile(cut, bytes);
    HSTREAM h = BASS_StreamCreateFile(0, cut.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(h, 0u);
    Decoded d;
    ASSERT_TRUE(decodeAll(h, d));
    BASS_StreamFree(h);
    EXPECT_GT(d.pcm.size(), 44100u);           // about a second survives
    EXPECT_LT(d.pcm.size(), 2u * 44100 * 2);   // but not the whole

    // A WMA decoder refuses what is not an ASF file.
    const std::string wavAsWma = dir.file("wav.wma");
    writeFile(wavAsWma, readFile(wav));
    EXPECT_EQ(BASS_WMA_StreamCreateFile(0, wavAsWma.c_str(), 0, 0, BASS_STREAM_DECODE), 0u);
    // Playback streams only take PCM WAV.
    EXPECT_EQ(BASS_StreamCreateFile(0, mp3.c_str(), 0, 0, 0), 0u);
}

}  // namespace
