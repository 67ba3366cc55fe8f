// The two encoder adapters over the encoder libraries built beside the program, judged by
// ffprobe and an ffmpeg decode; and over broken builds of those libraries, for every message
// the adapters show and every failure they report.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "codec/Wavtomp3.h"
#include "codec/Wavtowma.h"
#include "i18n/Messages.h"
#include "platform/Prompts.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

namespace {

const std::string kBin = TORVANE_BIN_DIR;
std::string lameLibrary() { return kBin + "/" + lameLibraryFileName(); }
std::string wmaLibrary() { return kBin + "/" + wmaLibraryFileName(); }
std::string testLibrary(const std::string& name) { return kBin + "/testlibs/" + name + ".so"; }

// Raw 16-bit PCM made by sox: a rising sweep on the first channel, a falling one on the second,
// so a decode can only line up with the input at one offset.
Bytes makePcm(const TempDir& dir, int rate, int channels, double seconds) {
    const std::string path = dir.file("input-" + std::to_string(rate) + "-" + std::to_string(channels) + ".raw");
    // Below every low-pass the encoders apply at the bit rates tested.
    const int top = std::min(rate / 2 - rate / 8, 5000);
    const std::string sweeps =
        " sine 300-" + std::to_string(top) + (channels == 2 ? " sine " + std::to_string(top) + "-400" : "");
    if (!run("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b 16 -e signed -t raw " +
             quote(path) + " synth " + std::to_string(seconds) + sweeps + " gain -3"))
        return {};
    return readFile(path);
}

std::vector<std::int16_t> toSamples(const Bytes& b) {
    std::vector<std::int16_t> s(b.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = std::int16_t(b[2 * i] | (b[2 * i + 1] << 8));
    return s;
}

struct Probe {
    std::string codec;
    int sampleRate = 0;
    int channels = 0;
    long bitRate = 0;
    double duration = 0;
};

Probe probe(const std::string& path) {
    const Bytes out = capture("ffprobe -v error -select_streams a:0 -show_entries "
                              "stream=codec_name,sample_rate,channels,bit_rate:format=duration "
                              "-of default=noprint_wrappers=1 " +
                              quote(path));
    std::istringstream in(std::string(out.begin(), out.end()));
    std::map<std::string, std::string> v;
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) v[line.substr(0, eq)] = line.substr(eq + 1);
    }
    Probe p;
    p.codec = v["codec_name"];
    p.sampleRate = std::atoi(v["sample_rate"].c_str());
    p.channels = std::atoi(v["channels"].c_str());
    p.bitRate = std::atol(v["bit_rate"].c_str());
    p.duration = std::atof(v["duration"].c_str());
    return p;
}

// The file decoded by ffmpeg to 16-bit PCM at the given rate and channel count.
std::vector<std::int16_t> decode(const std::string& path, int rate, int channels) {
    return toSamples(capture("ffmpeg -nostdin -v error -i " + quote(path) + " -f s16le -ac " +
                             std::to_string(channels) + " -ar " + std::to_string(rate) + " -"));
}

// Raw PCM converted by ffmpeg (the reference for what a WMA file at 44100 Hz stereo should hold).
std::vector<std::int16_t> convertPcm(const std::string& rawPath, int rate, int channels, int toRate,
                                     int toChannels) {
    return toSamples(capture("ffmpeg -nostdin -v error -f s16le -ar " + std::to_string(rate) + " -ac " +
                             std::to_string(channels) + " -i " + quote(rawPath) + " -f s16le -ar " +
                             std::to_string(toRate) + " -ac " + std::to_string(toChannels) + " -"));
}

struct Match {
    double correlation = 0;
    long lag = 0;  // frames the decode lags the input by
};

// The best normalised correlation of one channel of `decoded` with the same channel of
// `reference`, over offsets up to `maxLag` frames either way.
Match bestMatch(const std::vector<std::int16_t>& reference, const std::vector<std::int16_t>& decoded, int channels,
                int channel, long maxLag) {
    const long refFrames = long(reference.size()) / channels;
    const long decFrames = long(decoded.size()) / channels;
    Match best{-2, 0};
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (long i = 0; i < refFrames; i += 2) {
            const long j = i + lag;
            if (j < 0 || j >= decFrames) continue;
            const double x = reference[std::size_t(i * channels + channel)];
            const double y = decoded[std::size_t(j * channels + channel)];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        if (xx > 0 && yy > 0) {
            const double c = xy / std::sqrt(xx * yy);
            if (c > best.correlation) best = {c, lag};
        }
    }
    return best;
}

// Whole chunks of `chunk` bytes, then the rest.
template <typename Encode>
bool feed(const Bytes& pcm, int chunk, Encode encode) {
    for (std::size_t at = 0; at < pcm.size(); at += std::size_t(chunk)) {
        const std::size_t n = std::min(pcm.size() - at, std::size_t(chunk));
        if (!encode(pcm.data() + at, std::uint32_t(n))) return false;
    }
    return true;
}

void expectMessage(const MessageRequest& m, const std::string& text, const std::string& caption) {
    EXPECT_EQ(m.text, text);
    EXPECT_EQ(m.caption, caption);
    EXPECT_TRUE(m.ownerless);
    EXPECT_EQ(m.buttons, PromptButtons::Ok);
    EXPECT_EQ(m.icon, PromptIcon::None);
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

// What the user is shown of an adapter's failure: its message, in the adapter's own box.
void show(ScriptedPrompts& prompts, const Outcome& r) {
    if (!r.failedWithMessage()) return;
    const MessageEntry& e = messageEntry(r.message);
    MessageRequest m{messageText(r), e.caption == MessageId::None ? std::string() : messageText(e.caption)};
    m.ownerless = e.ownerless;
    prompts.messageBox(m);
}

// The adapters driven as a save drives them: the chunk size or -1, a failure shown once (an
// unusable library was shown when it was loaded).
template <typename Encoder, typename... Args>
int start(ScriptedPrompts& prompts, Encoder& encoder, Args... args) {
    const Outcome r = encoder.start(args...);
    if (encoder.loaded().ok()) show(prompts, r);
    return r.ok() ? encoder.chunkBytes() : -1;
}
int encode(ScriptedPrompts& prompts, FileEncoder& encoder, const void* pcm, std::uint32_t bytes) {
    const Outcome r = encoder.write(pcm, bytes);
    show(prompts, r);
    return r.ok() ? 0 : -1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// MP3 through lame_enc, judged by ffprobe and an ffmpeg decode.

struct Mp3Case {
    int rate;
    int channels;
    int mode;  // 1 stereo, 2 joint stereo, 3 dual channel, 4 mono
    std::uint32_t requestedKbps;
    long expectedBitRate;  // what ffprobe must report
};

TEST(Mp3Encoder, OutputDecodesToTheInputAtTheSnappedBitRate) {
    TempDir dir;
    const Mp3Case cases[] = {
        {44100, 2, 1, 128, 128000}, {44100, 2, 2, 128, 128000}, {22050, 1, 4, 64, 64000}, {11025, 1, 4, 64, 64000},
        {44100, 2, 2, 130, 128000}, {44100, 2, 2, 150, 160000}, {44100, 2, 2, 67, 64000},  {44100, 2, 2, 68, 80000},
        {44100, 2, 2, 500, 320000}, {44100, 2, 2, 0, 32000},
    };
    for (const Mp3Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.channels) + " ch, mode " +
                     std::to_string(c.mode) + ", " + std::to_string(c.requestedKbps) + " kbit/s");
        const double seconds = 2.5;
        const Bytes pcm = makePcm(dir, c.rate, c.channels, seconds);
        ASSERT_EQ(pcm.size(), std::size_t(seconds * c.rate) * std::size_t(c.channels) * 2);
        const std::string out = dir.file("out-" + std::to_string(c.rate) + "-" + std::to_string(c.mode) + "-" +
                                         std::to_string(c.requestedKbps) + ".mp3");
        ScriptedPrompts prompts;
        {
            Mp3FileEncoder encoder(lameLibrary());
            show(prompts, encoder.loaded());
            const int chunk = start(prompts, encoder, out, std::uint32_t(c.rate), c.mode, c.requestedKbps, false, false, true,
                                            false);
            ASSERT_GT(chunk, 0);
            EXPECT_EQ(chunk % (2 * c.channels), 0);
            ASSERT_TRUE(feed(pcm, chunk, [&](const std::uint8_t* p, std::uint32_t n) {
                return encode(prompts, encoder, p, n) >= 0;
            }));
            EXPECT_TRUE(encoder.finish().ok());
        }
        EXPECT_TRUE(prompts.messages().empty());

        const Probe p = probe(out);
        EXPECT_EQ(p.codec, "mp3");
        EXPECT_EQ(p.sampleRate, c.rate);
        EXPECT_EQ(p.channels, c.channels);
        EXPECT_EQ(p.bitRate, c.expectedBitRate);
        // The container counts whole frames, the encoder's delay and padding included: less
        // than two frames over.
        EXPECT_GE(p.duration, seconds - 1e-3);
        EXPECT_LT(p.duration, seconds + 2 * 1152.0 / c.rate);

        const auto input = toSamples(pcm);
        const auto decoded = decode(out, c.rate, c.channels);
        // At 32 kbit/s a frame is too small for the Info frame, and the decoder cannot know the
        // delay; otherwise the decode holds the input's length and starts in step with it.
        const bool gapless = c.expectedBitRate > 32000;
        if (gapless) {
            EXPECT_NEAR(double(decoded.size()) / c.channels / c.rate, seconds, 1152.0 / c.rate);
        }
        for (int ch = 0; ch < c.channels; ++ch) {
            const Match m = bestMatch(input, decoded, c.channels, ch, 2400);
            EXPECT_GT(m.correlation, 0.95) << "channel " << ch;
            if (gapless) {
                EXPECT_LE(std::labs(m.lag), 1) << "channel " << ch;
            }
        }
    }
}

// The header bits the record asks for, read from the frames of the file.
TEST(Mp3Encoder, FrameHeadersCarryTheRequestedFlags) {
    TempDir dir;
    const Bytes pcm = makePcm(dir, 44100, 2, 1.0);
    ASSERT_FALSE(pcm.empty());
    struct Flags {
        bool copyright, crc, original, privateBit;
    };
    for (const Flags f : {Flags{true, false, false, true}, Flags{false, true, true, false}}) {
        const std::string out = dir.file(std::string("flags-") + (f.copyright ? "a" : "b") + ".mp3");
        ScriptedPrompts prompts;
        Mp3FileEncoder encoder(lameLibrary());
        show(prompts, encoder.loaded());
        const int chunk = start(prompts, encoder, out, 44100, 1, 128, f.copyright, f.crc, f.original, f.privateBit);
        ASSERT_GT(chunk, 0);
        feed(pcm, chunk, [&](const std::uint8_t* p, std::uint32_t n) { return encode(prompts, encoder, p, n) >= 0; });
        ASSERT_TRUE(encoder.finish().ok());
        const Bytes mp3 = readFile(out);
        // The audio frames after the first (the Info frame): 128 kbit/s at 44100 Hz gives 417 or
        // 418 bytes a frame, the extra byte flagged by the padding bit.
        std::size_t at = 0;
        int checked = 0;
        for (int frame = 0; frame < 20 && at + 4 <= mp3.size(); ++frame) {
            ASSERT_EQ(mp3[at], 0xFF) << "frame " << frame;
            ASSERT_EQ(mp3[at + 1] & 0xE0, 0xE0) << "frame " << frame;
            const bool padded = (mp3[at + 2] >> 1) & 1;
            if (frame > 0) {
                EXPECT_EQ((mp3[at + 1] & 1) == 0, f.crc) << "frame " << frame;  // protection bit 0: CRC follows
                EXPECT_EQ(bool(mp3[at + 2] & 1), f.privateBit) << "frame " << frame;
                EXPECT_EQ(bool(mp3[at + 3] & 0x08), f.copyright) << "frame " << frame;
                EXPECT_EQ(bool(mp3[at + 3] & 0x04), f.original) << "frame " << frame;
                ++checked;
            }
            at += 417 + (padded ? 1 : 0);
        }
        EXPECT_GE(checked, 10);
        EXPECT_TRUE(run("ffmpeg -nostdin -v error -xerror -i " + quote(out) + " -f null -"));
    }
}

// The record as the library receives it, dumped by a build of the library made for this.
TEST(Mp3Encoder, ConfigurationRecordLayout) {
    TempDir dir;
    const std::string dump = dir.file("record.bin");
    ASSERT_EQ(setenv("TORVANE_LAME_RECORD_FILE", dump.c_str(), 1), 0);
    struct Case {
        int mode;
        std::uint32_t rate, kbps;
        bool copyright, crc, original, privateBit;
        std::uint8_t modeByte;
        std::uint16_t bitRate;
    };
    for (const Case c : {Case{4, 22050, 67, true, false, true, false, 3, 64},
                         Case{1, 44100, 130, false, true, false, true, 0, 128},
                         Case{2, 48000, 500, true, true, true, true, 1, 320},
                         Case{3, 32000, 0, false, false, false, false, 2, 32}}) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        std::filesystem::remove(dump);
        ScriptedPrompts prompts;
        Mp3FileEncoder encoder(testLibrary("lame_enc_dump_record"));
        show(prompts, encoder.loaded());
        ASSERT_GT(start(prompts, encoder, dir.file("record.mp3"), c.rate, c.mode, c.kbps, c.copyright, c.crc, c.original,
                                c.privateBit),
                  0);
        EXPECT_TRUE(encoder.finish().ok());
        const Bytes r = readFile(dump);
        ASSERT_EQ(r.size(), 331u);
        EXPECT_EQ(get32(r, 0), 0u);
        EXPECT_EQ(get32(r, 4), c.rate);
        EXPECT_EQ(r[8], c.modeByte);
        EXPECT_EQ(r[9] | (r[10] << 8), c.bitRate);
        EXPECT_EQ(get32(r, 11), c.privateBit ? 1u : 0u);
        EXPECT_EQ(get32(r, 15), c.crc ? 1u : 0u);
        EXPECT_EQ(get32(r, 19), c.copyright ? 1u : 0u);
        EXPECT_EQ(get32(r, 23), c.original ? 1u : 0u);
        for (std::size_t i = 27; i < r.size(); ++i) ASSERT_EQ(r[i], 0) << "byte " << i;
    }
    unsetenv("TORVANE_LAME_RECORD_FILE");
}

// ---------------------------------------------------------------------------------------------
// The MP3 adapter over a missing or broken library: the message, once, and nothing written.

TEST(Mp3Encoder, UnusableLibraryShowsOneMessageAndStartWritesNothing) {
    TempDir dir;
    struct Case {
        std::string library;
        std::string message;
    };
    const Case cases[] = {
        {dir.file("missing/lame_enc.so"), "Could not load lame_enc.dll file"},
        // A library with none of the entry points: only the first one is named.
        {wmaLibrary(), "Could not found beInitStream library function"},
        {testLibrary("lame_enc_no_version"), "Could not found beVersion library function"},
        {testLibrary("lame_enc_no_close"), "Could not found beCloseStream library function"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.library);
        ScriptedPrompts prompts;
        const std::string out = dir.file("unusable.mp3");
        {
            Mp3FileEncoder encoder(c.library);
            show(prompts, encoder.loaded());
            ASSERT_EQ(prompts.messages().size(), 1u);
            expectMessage(prompts.messages()[0], c.message, "Lame Encoder");
            EXPECT_EQ(start(prompts, encoder, out, 44100, 1, 128, false, false, false, false), -1);
        }
        EXPECT_EQ(prompts.messages().size(), 1u);
        EXPECT_FALSE(exists(out));
    }
}

TEST(Mp3Encoder, StartFailuresAreShown) {
    TempDir dir;
    {
        ScriptedPrompts prompts;
        Mp3FileEncoder encoder(testLibrary("lame_enc_init_fails"));
        show(prompts, encoder.loaded());
        EXPECT_TRUE(prompts.messages().empty());
        const std::string out = dir.file("init.mp3");
        EXPECT_EQ(start(prompts, encoder, out, 44100, 1, 128, false, false, false, false), -1);
        ASSERT_EQ(prompts.messages().size(), 1u);
        expectMessage(prompts.messages()[0], "Could not initialize Lame encoder", "Lame Encoder");
        EXPECT_FALSE(exists(out));
    }
    {
        // The real library refuses a rate MP3 cannot carry.
        ScriptedPrompts prompts;
        Mp3FileEncoder encoder(lameLibrary());
        show(prompts, encoder.loaded());
        const std::string out = dir.file("rate.mp3");
        EXPECT_EQ(start(prompts, encoder, out, 96000, 1, 128, false, false, false, false), -1);
        ASSERT_EQ(prompts.messages().size(), 1u);
        expectMessage(prompts.messages()[0], "Could not initialize Lame encoder", "Lame Encoder");
        EXPECT_FALSE(exists(out));
    }
    {
        ScriptedPrompts prompts;
        Mp3FileEncoder encoder(lameLibrary());
        show(prompts, encoder.loaded());
        EXPECT_EQ(start(prompts, encoder, dir.file("no/such/folder/x.mp3"), 44100, 1, 128, false, false, false, false), -1);
        ASSERT_EQ(prompts.messages().size(), 1u);
        expectMessage(prompts.messages()[0], "Can not create the file.", "Lame Encoder");
        // The adapter is still good for the next file.
        const std::string out = dir.file("after.mp3");
        const int chunk = start(prompts, encoder, out, 44100, 1, 128, false, false, false, false);
        ASSERT_GT(chunk, 0);
        const Bytes pcm = makePcm(dir, 44100, 2, 0.5);
        feed(pcm, chunk, [&](const std::uint8_t* p, std::uint32_t n) { return encode(prompts, encoder, p, n) >= 0; });
        EXPECT_TRUE(encoder.finish().ok());
        EXPECT_EQ(probe(out).codec, "mp3");
        EXPECT_EQ(prompts.messages().size(), 1u);
    }
}

TEST(Mp3Encoder, FailingCompressionIsShown) {
    TempDir dir;
    const Bytes pcm = makePcm(dir, 44100, 2, 1.0);
    ScriptedPrompts prompts;
    Mp3FileEncoder encoder(testLibrary("lame_enc_third_encode_fails"));
    show(prompts, encoder.loaded());
    const int chunk = start(prompts, encoder, dir.file("third.mp3"), 44100, 1, 128, false, false, false, false);
    ASSERT_GT(chunk, 0);
    ASSERT_GE(pcm.size(), std::size_t(chunk) * 3);
    EXPECT_GE(encode(prompts, encoder, pcm.data(), std::uint32_t(chunk)), 0);
    EXPECT_GE(encode(prompts, encoder, pcm.data() + chunk, std::uint32_t(chunk)), 0);
    EXPECT_TRUE(prompts.messages().empty());
    EXPECT_EQ(encode(prompts, encoder, pcm.data() + 2 * chunk, std::uint32_t(chunk)), -1);
    ASSERT_EQ(prompts.messages().size(), 1u);
    expectMessage(prompts.messages()[0], "Could not perform compression", "Lame Encoder");
}

// A full disk: /dev/full opens, and every write to it fails.
TEST(Mp3Encoder, FinishReportsOutputThatDidNotReachTheDisk) {
    TempDir dir;
    const Bytes pcm = makePcm(dir, 44100, 2, 2.0);
    ScriptedPrompts prompts;
    Mp3FileEncoder encoder(lameLibrary());
    show(prompts, encoder.loaded());
    const int chunk = start(prompts, encoder, "/dev/full", 44100, 2, 128, false, false, false, false);
    ASSERT_GT(chunk, 0);
    feed(pcm, chunk, [&](const std::uint8_t* p, std::uint32_t n) { return encode(prompts, encoder, p, n) >= 0; });
    EXPECT_FALSE(encoder.finish().ok());
    EXPECT_TRUE(prompts.messages().empty());
}

// ---------------------------------------------------------------------------------------------
// WMA through wmaudsdk: always 44100 Hz stereo, judged by ffprobe and an ffmpeg decode.

TEST(WmaEncoder, OutputIsStereo44100AndDecodesToTheInput) {
    TempDir dir;
    struct Case {
        int rate, channels;
        std::uint32_t bitRate;
    };
    for (const Case c : {Case{22050, 1, 64000}, Case{48000, 2, 128000}, Case{44100, 2, 96000}}) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.channels) + " ch");
        const double seconds = 2.5;
        const Bytes pcm = makePcm(dir, c.rate, c.channels, seconds);
        ASSERT_FALSE(pcm.empty());
        const std::string rawPath = dir.file("input-" + std::to_string(c.rate) + "-" + std::to_string(c.channels) + ".raw");
        const std::string out = dir.file("out-" + std::to_string(c.rate) + ".wma");
        ScriptedPrompts prompts;
        {
            WmaFileEncoder encoder(wmaLibrary());
            show(prompts, encoder.loaded());
            const int chunk = start(prompts, encoder, out, std::uint32_t(c.rate), std::uint32_t(c.channels), c.bitRate);
            ASSERT_EQ(chunk, 16384);
            // Odd-sized pieces too: a sample frame may be split across calls.
            ASSERT_TRUE(feed(pcm, chunk - 3, [&](const std::uint8_t* p, std::uint32_t n) {
                return encoder.write(p, n).ok();
            }));
            EXPECT_TRUE(encoder.finish().ok());
        }
        EXPECT_TRUE(prompts.messages().empty());

        const Probe p = probe(out);
        EXPECT_EQ(p.codec, "wmav2");
        EXPECT_EQ(p.sampleRate, 44100);
        EXPECT_EQ(p.channels, 2);
        EXPECT_NEAR(double(p.bitRate), double(c.bitRate), 0.05 * c.bitRate);
        EXPECT_NEAR(p.duration, seconds, 2048.0 / 44100);

        const auto reference = convertPcm(rawPath, c.rate, c.channels, 44100, 2);
        const auto decoded = decode(out, 44100, 2);
        ASSERT_FALSE(reference.empty());
        for (int ch = 0; ch < 2; ++ch) {
            const Match m = bestMatch(reference, decoded, 2, ch, 4096);
            EXPECT_GT(m.correlation, 0.95) << "channel " << ch;
        }
    }
}

TEST(WmaEncoder, UnusableLibraryShowsOneMessageAndStartWritesNothing) {
    TempDir dir;
    struct Case {
        std::string library;
        std::string message;
    };
    const Case cases[] = {
        {dir.file("missing/wmaudsdk.so"), "Could not load wmaudsdk.dll file"},
        {testLibrary("wmaudsdk_other_name"), "Could not found WMAudioCreateWriter library function"},
        {lameLibrary(), "Could not found WMAudioCreateWriter library function"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.library);
        ScriptedPrompts prompts;
        const std::string out = dir.file("unusable.wma");
        {
            WmaFileEncoder encoder(c.library);
            show(prompts, encoder.loaded());
            ASSERT_EQ(prompts.messages().size(), 1u);
            expectMessage(prompts.messages()[0], c.message, "WMA Audio SDK");
            EXPECT_EQ(start(prompts, encoder, out, 44100, 2, 128000), -1);
            EXPECT_TRUE(encoder.finish().ok());
        }
        EXPECT_EQ(prompts.messages().size(), 1u);
        EXPECT_FALSE(exists(out));
    }
}

TEST(WmaEncoder, StartFailuresAreShown) {
    TempDir dir;
    struct Case {
        std::string library;
        std::string file;
        std::uint32_t rate, channels, bitRate;
        std::string message;
    };
    const Case cases[] = {
        {wmaLibrary(), dir.file("no/such/folder/x.wma"), 44100, 2, 128000, "Failed to Create Audio Writer"},
        {testLibrary("wmaudsdk_input_fails"), dir.file("in.wma"), 44100, 2, 128000, "Failed to Set Input Format"},
        // The real library takes one or two channels only.
        {wmaLibrary(), dir.file("in3.wma"), 44100, 3, 128000, "Failed to Set Input Format"},
        {testLibrary("wmaudsdk_output_fails"), dir.file("out.wma"), 44100, 2, 128000, "Failed to Set Output Format"},
        // ... and a bit rate the encoder can work with.
        {wmaLibrary(), dir.file("out0.wma"), 44100, 2, 0, "Failed to Set Output Format"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.library + " " + c.message);
        ScriptedPrompts prompts;
        WmaFileEncoder encoder(c.library);
        show(prompts, encoder.loaded());
        EXPECT_TRUE(prompts.messages().empty());
        EXPECT_EQ(start(prompts, encoder, c.file, c.rate, c.channels, c.bitRate), -1);
        ASSERT_EQ(prompts.messages().size(), 1u);
        expectMessage(prompts.messages()[0], c.message, "WMA Audio SDK");
        // The writer was released: nothing left to finish.
        EXPECT_TRUE(encoder.finish().ok());
    }
}

TEST(WmaEncoder, RefusedAudioIsReportedWithoutAMessage) {
    TempDir dir;
    const Bytes pcm = makePcm(dir, 44100, 2, 1.0);
    ScriptedPrompts prompts;
    WmaFileEncoder encoder(testLibrary("wmaudsdk_third_write_fails"));
    show(prompts, encoder.loaded());
    const int chunk = start(prompts, encoder, dir.file("third.wma"), 44100, 2, 128000);
    ASSERT_EQ(chunk, 16384);
    EXPECT_TRUE(encoder.write(pcm.data(), 0).ok());  // nothing to write: not passed on
    EXPECT_TRUE(encoder.write(pcm.data(), std::uint32_t(chunk)).ok());
    EXPECT_TRUE(encoder.write(pcm.data() + chunk, std::uint32_t(chunk)).ok());
    EXPECT_FALSE(encoder.write(pcm.data() + 2 * chunk, std::uint32_t(chunk)).ok());
    EXPECT_TRUE(prompts.messages().empty());
}

// A full disk: /dev/full opens, and every write to it fails. The header written at Start is
// the first to fail, and the audio after it is refused; the writer that could not finish is
// released by the destructor.
TEST(WmaEncoder, FullDiskFailsTheWriteAndTheFinish) {
    TempDir dir;
    const Bytes pcm = makePcm(dir, 44100, 2, 3.0);
    ScriptedPrompts prompts;
    WmaFileEncoder encoder(wmaLibrary());
    show(prompts, encoder.loaded());
    const int chunk = start(prompts, encoder, "/dev/full", 44100, 2, 128000);
    ASSERT_EQ(chunk, 16384);
    EXPECT_FALSE(encoder.write(pcm.data(), std::uint32_t(chunk)).ok());
    EXPECT_FALSE(encoder.finish().ok());
    EXPECT_FALSE(encoder.finish().ok());
    EXPECT_TRUE(prompts.messages().empty());
}
