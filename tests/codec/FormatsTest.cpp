// The formats beyond 8/16-bit WAV, MP3 and WMA, made at test time by sox and ffmpeg: each opens
// into 16-bit PCM at the source's rate, mono or stereo, with the samples ffmpeg decodes (within
// the dither's reach) and the length exact where the format stores it exactly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "codec/OpenDocument.h"
#include "doc/InstanceFolder.h"
#include "i18n/Messages.h"
#include "platform/FileIo.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

namespace {

struct Case {
    const char* name;      // file name in the scratch folder; its extension picks the route
    int rate, channels;    // of the source
    const char* codec;
    int bits;              // 0 for a lossy source
    bool exactLength;      // PCM and lossless: every frame, no more
    MessageId refusal = MessageId::None;
};

// Commands that make a file: "@" stands for its path.
std::string tone(int rate, int channels, const std::string& format) {
    return "sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " " + format +
           " @ synth 2.5 sine 300:3000 sine 500 sine 700 sine 900 sine 1100 sine 1300 vol 0.9";
}

std::string ffmpegFrom(const std::string& wav, const std::string& args) {
    return "ffmpeg -nostdin -loglevel error -y -i " + quote(wav) + " " + args + " @";
}

std::string made(std::string command, const std::string& path) {
    return command.replace(command.find('@'), 1, quote(path));
}

TEST(Formats, EachOpensAt16BitsWithTheSourcesRateAndTheDecodersSamples) {
    InstanceFolder scratch(std::filesystem::temp_directory_path().string() + "/");
    ASSERT_TRUE(scratch.valid());
    const std::string s = scratch.path();
    const std::string w48 = s + "src48.wav", w44 = s + "src44.wav", w6 = s + "src6.wav";
    ASSERT_TRUE(run(made(tone(48000, 2, "-b 24"), w48)) && run(made(tone(44100, 1, "-b 24"), w44)) &&
                run(made(tone(44100, 6, "-b 16"), w6)));

    const std::vector<std::pair<Case, std::string>> cases = {
        {{"int24.wav", 48000, 2, "pcm_s24le", 24, true}, "cp " + quote(w48) + " @"},
        {{"int32.wav", 44100, 1, "pcm_s32le", 32, true}, ffmpegFrom(w44, "-c:a pcm_s32le")},
        {{"float32.wav", 48000, 2, "pcm_f32le", 32, true}, tone(48000, 2, "-e floating-point -b 32")},
        {{"float64.wav", 44100, 1, "pcm_f64le", 64, true}, ffmpegFrom(w44, "-c:a pcm_f64le")},
        {{"float-3ch.wav", 44100, 3, "", 0, false, MessageId::TooManyChannels},
         ffmpegFrom(w6, "-ac 3 -c:a pcm_f32le")},
        {{"big.rf64", 48000, 2, "pcm_s24le", 24, true}, ffmpegFrom(w48, "-c:a pcm_s24le -rf64 always -f wav")},
        {{"six.rf64", 44100, 6, "", 0, false, MessageId::TooManyChannels}, ffmpegFrom(w6, "-rf64 always -f wav")},
        {{"tone.aiff", 44100, 1, "pcm_s16be", 16, true}, ffmpegFrom(w44, "-c:a pcm_s16be")},
        {{"tone.aifc", 48000, 2, "pcm_s24be", 24, true}, ffmpegFrom(w48, "-c:a pcm_s24be -f aiff")},
        {{"hires.flac", 96000, 2, "flac", 24, true}, tone(96000, 2, "-b 24")},
        {{"six.flac", 44100, 6, "flac", 16, true}, ffmpegFrom(w6, "")},
        {{"tone.ogg", 44100, 1, "vorbis", 0, false}, ffmpegFrom(w44, "-c:a libvorbis -q:a 4")},
        {{"tone.opus", 48000, 2, "opus", 0, false}, ffmpegFrom(w48, "-c:a libopus -b:a 96k")},
        {{"tone.m4a", 48000, 2, "aac", 0, false}, ffmpegFrom(w48, "-c:a aac -b:a 128k")},
        {{"damaged.flac", 0, 0, "", 0, false, MessageId::UnreadableAudio}, "head -c 3000 /dev/urandom > @"},
        {{"missing.opus", 0, 0, "", 0, false, MessageId::CannotReadSource}, "true @"},
    };
    for (const auto& [c, command] : cases) {
        SCOPED_TRACE(c.name);
        const std::string src = s + c.name;
        ASSERT_TRUE(run(made(command, src))) << command;

        InstanceFolder instance(s);
        DocumentState doc;
        doc.tempFolder = instance.path();
        doc.documentPath = src;
        RecordingProgress progress;
        const Outcome r = openDocument(doc, progress);
        if (c.refusal != MessageId::None) {
            EXPECT_EQ(r.message, c.refusal) << messageText(r);
            continue;
        }
        ASSERT_TRUE(r.ok()) << messageText(r);
        const int channels = std::min(c.channels, 2);
        EXPECT_EQ(doc.format.bitsPerSample, 16);
        EXPECT_EQ(doc.format.sampleRate, c.rate);
        EXPECT_EQ(doc.format.channels, channels);
        EXPECT_EQ(doc.source.codec, c.codec);
        EXPECT_EQ(doc.source.bits, c.bits);
        EXPECT_EQ(doc.source.rate, c.rate);
        EXPECT_EQ(doc.source.channels, c.channels);
        EXPECT_EQ(doc.sourceBitRate == 0, c.bits != 0) << doc.sourceBitRate;

        const Bytes w = readFile(doc.workingFilePath);
        const Bytes ref = capture("ffmpeg -nostdin -loglevel error -i " + quote(src) + " -ac " +
                                  std::to_string(channels) + " -f s16le -acodec pcm_s16le -");
        ASSERT_GT(ref.size(), 0u);
        if (c.exactLength) EXPECT_EQ(doc.format.frameCount, std::uint32_t(2.5 * c.rate));
        ASSERT_EQ(w.size() - 44, ref.size());
        // TPDF dither moves a sample by at most two steps of the 16th bit; 16-bit sources not at all.
        const int reach = c.bits == 16 && c.channels <= 2 ? 0 : 3;
        int worst = 0;
        for (std::size_t i = 0; i + 1 < ref.size(); i += 2) {
            const int a = std::int16_t(w[44 + i] | (w[45 + i] << 8)), b = std::int16_t(ref[i] | (ref[i + 1] << 8));
            worst = std::max(worst, std::abs(a - b));
        }
        EXPECT_LE(worst, reach);
    }
}

}  // namespace
