// Decode-only streams against ffmpeg's own decode of the same file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/AudioEngine.h"
#include "platform/Decoder.h"
#include "support/ManualClock.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

namespace {

struct Decoded {
    unsigned rate = 0, chans = 0;
    std::vector<std::int16_t> pcm;
    std::uint64_t expectedBytes = 0;
    std::uint64_t fileSize = 0;
};

std::unique_ptr<Decoder> openMp3(const std::string& path) { return Decoder::open(path, Decoder::Container::MpegOrWave); }
std::unique_ptr<Decoder> openWma(const std::string& path) { return Decoder::open(path, Decoder::Container::Asf); }

// Reads a decoder the way the open does: while active, 10000 bytes at a time.
bool decodeAll(Decoder& h, Decoded& d) {
    d.rate = h.rate();
    d.chans = h.channels();
    d.expectedBytes = h.expectedBytes();
    d.fileSize = h.fileSize();
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> buf(10000);
    int guard = 0;
    while (h.active() && guard++ < 1000000) {
        const std::uint32_t n = h.read(buf.data(), 10000);
        EXPECT_LE(n, 10000u);
        bytes.insert(bytes.end(), buf.begin(), buf.begin() + n);
        EXPECT_EQ(h.delivered(), bytes.size());
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

    auto h = std::string(s.ext) == "mp3" ? openMp3(enc) : openWma(enc);
    ASSERT_NE(h, nullptr);
    Decoded d;
    ASSERT_TRUE(decodeAll(*h, d));
    EXPECT_FALSE(h->active());
    EXPECT_EQ(h->read(nullptr, 10000), 0u);  // the end stays the end

    EXPECT_EQ(d.rate, unsigned(s.rate));
    EXPECT_EQ(d.chans, unsigned(s.channels));
    EXPECT_EQ(d.fileSize, std::uint64_t(readFile(enc).size()));

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
    auto h = openMp3(wav);
    ASSERT_NE(h, nullptr);
    Decoded d;
    ASSERT_TRUE(decodeAll(*h, d));
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
    EXPECT_EQ(openMp3(empty), nullptr);
    EXPECT_EQ(openWma(empty), nullptr);
    EXPECT_EQ(openMp3(dir.file("missing.mp3")), nullptr);

    std::mt19937 rng(7);
    std::vector<std::uint8_t> junk(200000);
    for (auto& b : junk) b = std::uint8_t(rng());
    const std::string garbage = dir.file("garbage.mp3");
    writeFile(garbage, junk);
    for (auto* open : {&openMp3, &openWma}) {
        if (auto h = open(garbage)) {
            Decoded d;
            decodeAll(*h, d);
        }
    }

    const std::string wav = dir.file("src.wav");
    const std::string mp3 = dir.file("src.mp3");
    ASSERT_TRUE(makeSignalWav(wav, 44100, 2, 2.0));
    ASSERT_TRUE(run("lame --quiet -b 128 " + quote(wav) + " " + quote(mp3)));
    auto bytes = readFile(mp3);
    bytes.resize(bytes.size() / 2);
    const std::string cut = dir.file("cut.mp3");
    writeFile(cut, bytes);
    auto h = openMp3(cut);
    ASSERT_NE(h, nullptr);
    Decoded d;
    ASSERT_TRUE(decodeAll(*h, d));
    EXPECT_GT(d.pcm.size(), 44100u);           // about a second survives
    EXPECT_LT(d.pcm.size(), 2u * 44100 * 2);   // but not the whole

    // A WMA decoder refuses what is not an ASF file.
    const std::string wavAsWma = dir.file("wav.wma");
    writeFile(wavAsWma, readFile(wav));
    EXPECT_EQ(openWma(wavAsWma), nullptr);
    // Players only take PCM WAV.
    auto engine = engineOn(manualClock());
    ASSERT_NE(engine, nullptr);
    auto player = engine->openPlayer(mp3);
    ASSERT_FALSE(player);
    EXPECT_EQ(player.error(), EngineError::NotPlayable);
    EXPECT_EQ(engine->openPlayer(dir.file("missing.wav")).error(), EngineError::CannotOpen);
}

}  // namespace
