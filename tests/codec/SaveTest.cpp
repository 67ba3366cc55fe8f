// Saving through the session: the name rule of Save As, the temporary file beside the
// destination under every kind of failure, Cancel, the encoder settings as an independent
// reader (ffprobe) sees them, and torvane-cli convert on a disk that fills up.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cmath>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "codec/SaveDocument.h"
#include "platform/FileIo.h"
#include "platform/Prompts.h"
#include "session/Session.h"
#include "support/TestFiles.h"
#include "i18n/Messages.h"

using namespace torvane;
using namespace torvane::test;
namespace fs = std::filesystem;

namespace {

const std::string kBin = TORVANE_BIN_DIR;

// One line of ffprobe's answer for the first audio stream (or the format, for "duration").
std::string probe(const std::string& file, const std::string& entry) {
    const std::string section = entry == "duration" ? "format" : "stream";
    const std::string command = "ffprobe -v error -select_streams a:0 -show_entries " + section + "=" + entry +
                                " -of default=noprint_wrappers=1:nokey=1 " + quote(file);
    return captureLine(command);
}

// The length of a file as a decoder plays it (the MP3 Info frame's delay and padding applied).
double decodedSeconds(const std::string& file, int rate) {
    const std::string command = "ffmpeg -nostdin -v error -i " + quote(file) + " -f s16le -ac 1 -ar " +
                                std::to_string(rate) + " pipe:1 | wc -c";
    const std::string out = captureLine(command);
    return out.empty() ? -1 : std::stod(out) / 2.0 / rate;
}

class SaveTest : public ::testing::Test {
protected:
    // Opens a generated document; the encoders come from `encoders` (the build's own folder by
    // default).
    void openDoc(const Bytes& wav, const std::string& encoders = kBin + "/") {
        session = std::make_unique<Session>();
        ASSERT_TRUE(session->createFolder(work.path()));
        const std::string source = media.file("source.wav");
        writeFile(source, wav);
        NoProgress none;
        ASSERT_TRUE(session->open(source, none).ok());
        session->setProgramFolder(encoders);
        session->stateForTests().modified = true;  // as after an edit
    }
    // A destination with old content that a failed save must leave alone.
    std::string oldDestination(const std::string& name) {
        const std::string path = out.file(name);
        writeFile(path, Bytes{'o', 'l', 'd'});
        return path;
    }
    void expectUntouched(const std::string& destination) {
        EXPECT_TRUE(readFile(destination) == (Bytes{'o', 'l', 'd'})) << destination;
        EXPECT_FALSE(saveTemporaryLeft(destination)) << destination;
        EXPECT_TRUE(session->doc().modified);
        EXPECT_NE(session->doc().documentPath, destination);
    }

    TempDir work, media, out;
    ScriptedPrompts prompts;
    std::unique_ptr<Session> session;
};

Bytes tone(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits, double seconds) {
    const auto frames = std::uint32_t(rate * seconds);
    Bytes pcm;
    for (std::uint32_t i = 0; i < frames; ++i)
        for (std::uint16_t c = 0; c < channels; ++c) {
            const double v = 0.5 * std::sin(2 * 3.14159265358979 * (440.0 + 220.0 * c) * i / rate);
            if (bits == 8) {
                pcm.push_back(std::uint8_t(128 + int(v * 127)));
            } else {
                const auto s = std::int16_t(v * 32767);
                pcm.push_back(std::uint8_t(s & 0xFF));
                pcm.push_back(std::uint8_t((s >> 8) & 0xFF));
            }
        }
    return makeWav(rate, channels, bits, pcm);
}

}  // namespace

TEST(SaveAsName, KeepsKnownExtensionsAndAppendsByFilter) {
    EXPECT_EQ(saveAsName("/m/song", 3, "/m/a.wav"), "/m/song.mp3");
    EXPECT_EQ(saveAsName("/m/song", 1, "/m/a.wma"), "/m/song.wma");
    EXPECT_EQ(saveAsName("/m/song", 7, "/m/a.Mp3"), "/m/song.Mp3");  // as written in the document path
    EXPECT_EQ(saveAsName("/m/song", 7, "/m/a.m4a"), "/m/song.wav");  // not a kind Save writes
    EXPECT_EQ(saveAsName("/m/song.aac", 2, "/m/a.wav"), "/m/song.aac.wav");
    EXPECT_EQ(saveAsName("/m/song", 5, "/m/a.wav"), "/m/song.flac");
    EXPECT_EQ(saveAsName("/m/song.OGA", 6, "/m/a.wav"), "/m/song.OGA");
    EXPECT_EQ(saveAsName("/m/song.MP3", 4, "/m/a.wav"), "/m/song.MP3");
    EXPECT_EQ(saveAsName("/m/song", 4, "/m/a.wav"), "/m/song.wma");
}

// A WAV save is the working file, byte for byte, written beside the destination first: the
// old destination is replaced in one step, and only then is the document saved.
TEST_F(SaveTest, WavReplacesTheDestinationOnlyWhenComplete) {
    openDoc(tone(22050, 2, 16, 2.0));
    const std::string destination = oldDestination("song.wav");
    NoProgress none;
    ASSERT_TRUE(session->save(destination, none).ok());
    EXPECT_TRUE(readFile(destination) == readFile(session->doc().workingFilePath));
    EXPECT_FALSE(saveTemporaryLeft(destination));
    EXPECT_FALSE(session->doc().modified);
    EXPECT_EQ(session->doc().documentPath, destination);
    EXPECT_TRUE(prompts.messages().empty());
}

// Cancel part-way: the destination keeps its old bytes, no temporary file stays.
TEST_F(SaveTest, CancelStopsTheSaveAndKeepsTheDestination) {
    openDoc(tone(44100, 2, 16, 30.0));  // more than one copy block, many MP3 chunks
    for (const char* name : {"c.wav", "c.mp3", "c.wma", "c.flac", "c.ogg"}) {
        const std::string destination = oldDestination(name);
        RecordingProgress cancelSoon(1);
        EXPECT_TRUE(session->save(destination, cancelSoon).wasCancelled()) << name;
        expectUntouched(destination);
    }
}

// Without the encoder libraries the encoders say so (for their own boxes); nothing is written.
TEST_F(SaveTest, MissingEncoderLibrariesLeaveEverythingAsItWas) {
    TempDir empty;
    openDoc(tone(22050, 1, 16, 1.0), empty.path() + "/");
    for (const auto& [name, text, caption] :
         {std::tuple{"x.mp3", "Could not load lame_enc.dll file", "Lame Encoder"},
          std::tuple{"x.wma", "Could not load wmaudsdk.dll file", "WMA Audio SDK"}}) {
        prompts.clear();
        const std::string destination = oldDestination(name);
        NoProgress none;
        const Outcome r = session->save(destination, none);
        EXPECT_TRUE(r.failedWithMessage());
        EXPECT_TRUE(r.encoderNotStarted);
        EXPECT_EQ(messageText(r), text);
        EXPECT_EQ(messageText(messageEntry(r.message).caption), caption);
        expectUntouched(destination);
    }
}

// A destination whose folder cannot take the temporary file.
TEST_F(SaveTest, UnwritableFolderIsAFailureWithAMessage) {
    openDoc(tone(22050, 1, 16, 1.0));
    writeFile(out.file("not-a-folder"), Bytes{1});
    NoProgress none;
    const Outcome r = session->save(out.file("not-a-folder/song.wav"), none);
    EXPECT_EQ(messageText(r), messageText(MessageId::SaveNoTempFile));
    EXPECT_TRUE(session->doc().modified);
}

// What an independent reader sees in the encoded files, and the bit-rate rules: a WAV
// document is saved as MP3 at 128 kbit/s and that default is kept (a later WMA save uses
// 128 000 bit/s); 11 025 Hz is capped at 64 kbit/s without storing it; WMA is always 44.1 kHz
// stereo; an 8-bit document is encoded in full.
TEST_F(SaveTest, EncodedFilesAsFfprobeSeesThem) {
    NoProgress none;
    openDoc(tone(22050, 2, 16, 3.0));
    const std::string mp3 = out.file("a.mp3"), wma = out.file("a.wma");
    ASSERT_TRUE(session->save(mp3, none).ok());
    EXPECT_EQ(probe(mp3, "codec_name"), "mp3");
    EXPECT_EQ(probe(mp3, "sample_rate"), "22050");
    EXPECT_EQ(probe(mp3, "channels"), "2");
    EXPECT_EQ(probe(mp3, "bit_rate"), "128000");
    EXPECT_NEAR(decodedSeconds(mp3, 22050), 3.0, 1152.0 / 22050);
    EXPECT_EQ(session->doc().sourceBitRate, 128);
    ASSERT_TRUE(session->save(wma, none).ok());
    EXPECT_EQ(probe(wma, "codec_name"), "wmav2");
    EXPECT_EQ(probe(wma, "sample_rate"), "44100");
    EXPECT_EQ(probe(wma, "channels"), "2");
    EXPECT_NEAR(std::stod(probe(wma, "bit_rate")), 128000, 16000);
    EXPECT_NEAR(decodedSeconds(wma, 44100), 3.0, 2048.0 / 44100);

    openDoc(tone(11025, 1, 8, 4.0));
    session->setSourceBitRate(128);
    ASSERT_TRUE(session->save(mp3, none).ok());
    EXPECT_EQ(probe(mp3, "bit_rate"), "64000");
    EXPECT_EQ(probe(mp3, "channels"), "1");
    EXPECT_NEAR(decodedSeconds(mp3, 11025), 4.0, 1152.0 / 11025);
    EXPECT_EQ(session->doc().sourceBitRate, 128);
    EXPECT_TRUE(prompts.messages().empty());
}

// FLAC and Ogg Vorbis as ffmpeg decodes them: FLAC gives back the working file's samples exactly
// (an 8-bit one as the encoders' 16-bit conversion); Ogg has the document's rate, channels and
// length (within a block) at the source bit rate (128 kbit/s for none; where the encoder cannot
// reach it, the nearest below it can). Neither names a library version.
TEST_F(SaveTest, FlacIsLosslessAndOggKeepsRateChannelsLengthAndBitRate) {
    const std::tuple<std::uint32_t, std::uint16_t, std::uint16_t, int, double> cases[] = {
        {44100, 2, 16, 0, 0},     {48000, 1, 8, 96, 0},  {22050, 2, 16, 64, 0},
        {22050, 1, 8, 0, 45},     {48000, 2, 16, 192, 0}, {44100, 1, 8, 48, 0}};
    std::mt19937 rng(11);
    NoProgress none;
    for (const auto& [rate, channels, bits, kbps, below] : cases) {
        SCOPED_TRACE(std::to_string(rate) + "/" + std::to_string(channels) + "/" + std::to_string(bits));
        const std::uint32_t frames = rate * 2 + 1234;
        openDoc(makeWav(rate, channels, bits, randomBytes(frames * channels * bits / 8, rng)));
        session->setSourceBitRate(kbps);
        const std::string flac = out.file("a.flac"), ogg = out.file("a.ogg");
        ASSERT_TRUE(session->save(flac, none).ok());
        ASSERT_TRUE(session->save(ogg, none).ok());
        const DocumentState& d = session->doc();
        const Bytes working = readFile(d.workingFilePath);
        Bytes expected(working.begin() + d.format.dataOffset, working.begin() + d.format.dataOffset + d.format.dataSize);
        if (bits == 8) {
            std::vector<std::int16_t> wide;
            for (const std::uint8_t b : expected) wide.push_back(std::int16_t((b * 32767 - 4194176) / 128));
            expected = samples16(wide);
        }
        const std::string decode = "ffmpeg -nostdin -v error -i ";
        EXPECT_TRUE(capture(decode + quote(flac) + " -f s16le -") == expected);
        EXPECT_EQ(probe(ogg, "codec_name"), "vorbis");
        EXPECT_EQ(probe(ogg, "sample_rate"), std::to_string(rate));
        EXPECT_EQ(probe(ogg, "channels"), std::to_string(channels));
        EXPECT_NEAR(double(capture(decode + quote(ogg) + " -f s16le -").size()) / 2 / channels, frames, 2048);
        const double nominal = std::stod(probe(ogg, "bit_rate")) / 1000, wanted = kbps ? kbps : 128;
        EXPECT_TRUE(nominal <= wanted && nominal >= wanted - below) << nominal;
        EXPECT_EQ(d.sourceBitRate, kbps);
        for (const std::string& f : {flac, ogg}) {
            const Bytes b = readFile(f);
            EXPECT_EQ(std::search(b.begin(), b.end(), std::begin("Lav"), std::end("Lav") - 1), b.end()) << f;
        }
    }
    EXPECT_TRUE(prompts.messages().empty());
}

// The source's tags in FLAC and Ogg as ffprobe reads them back, the cover as FLAC's attached
// picture and Ogg's picture comment; with keepTags off, none.
TEST_F(SaveTest, TagsAndCoverGoIntoFlacAndOgg) {
    openDoc(tone(44100, 2, 16, 1.0));
    const std::string png = media.file("cover.png");
    ASSERT_TRUE(run("ffmpeg -nostdin -v error -f lavfi -i color=red:s=8x6 -frames:v 1 " + quote(png)));
    SourceTags& t = session->stateForTests().source.tags;
    t = {"Tïtle ✓", "Artist", "Album", "1999", "3/12", "Genre", "A comment", "image/png",
         std::make_shared<const std::vector<unsigned char>>(readFile(png))};
    NoProgress none;
    for (const char* name : {"t.flac", "t.ogg"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(saveDocument(session->stateForTests(), out.file(name), {}, none).ok());
        // The tags of the file and its audio stream; the picture's own ("Cover (front)") apart.
        std::map<std::string, std::string> tags;
        std::istringstream lines(captureLine("ffprobe -v error -show_format -show_streams -of default " + quote(out.file(name))));
        std::string picture;
        bool inPicture = false;
        for (std::string l; std::getline(lines, l);) {
            if (l[0] == '[') inPicture = false;
            if (l == "codec_type=video") inPicture = true;
            if (!inPicture && l.rfind("TAG:", 0) == 0 && l.find('=') != std::string::npos) {
                std::string key = l.substr(4, l.find('=') - 4);
                std::transform(key.begin(), key.end(), key.begin(), ::tolower);
                tags[key] = l.substr(l.find('=') + 1);
            }
            if (l == "codec_name=png") picture += "png";
            if (l == "DISPOSITION:attached_pic=1") picture += " attached";
        }
        EXPECT_EQ(tags, (std::map<std::string, std::string>{{"title", t.title}, {"artist", "Artist"}, {"album", "Album"},
                                                            {"date", "1999"}, {"track", "3/12"}, {"genre", "Genre"},
                                                            {"comment", "A comment"}}));
        EXPECT_EQ(picture, "png attached");
        SaveOptions bare;
        bare.keepTags = false;
        ASSERT_TRUE(saveDocument(session->stateForTests(), out.file(name), bare, none).ok());
        EXPECT_EQ(captureLine("ffprobe -v error -show_format -show_streams -of default " + quote(out.file(name)) +
                              " | grep -c -e TAG: -e codec_name=png"),
                  "0");
    }
}

// A disk that fills up part-way: the save runs in a child process with a file-size limit that
// ignores SIGXFSZ (as `ulimit -f` in a shell), the limit set after the document was opened.
// The write fails, the save says so, the old destination is intact and no temporary file is
// left, for every format.
TEST_F(SaveTest, ADiskThatFillsKeepsTheOldFile) {
    openDoc(tone(44100, 2, 16, 20.0));  // 3.5 MB of WAV, ~320 KiB of MP3 at 128
    const std::uint64_t working = std::uint64_t(fileSize(session->doc().workingFilePath));
    for (const auto& [name, limit] : {std::pair{"full.wav", working / 2}, std::pair{"full.mp3", std::uint64_t(100000)},
                                      std::pair{"full.wma", std::uint64_t(100000)}, std::pair{"full.flac", std::uint64_t(100000)},
                                      std::pair{"full.ogg", std::uint64_t(60000)}}) {
        const std::string destination = oldDestination(name);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit r{rlim_t(limit), rlim_t(limit)};
            setrlimit(RLIMIT_FSIZE, &r);
            NoProgress none;
            const Outcome o = session->save(destination, none);
            _exit(messageText(o) == messageText(MessageId::SaveWriteFailed) ? 0 : o.ok() ? 1 : 2);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << name;
        EXPECT_EQ(WEXITSTATUS(status), 0) << name << " (1: saved anyway, 2: another failure)";
        expectUntouched(destination);
    }
}

// The same from the shell: torvane-cli convert under `ulimit -f` with SIGXFSZ ignored. The
// source is small (10 s of 8 kHz 8-bit mono, an 80 KB working file) and its WMA (44.1 kHz
// stereo at 256 kbit/s, ~320 KB) passes the 200 KiB limit.
TEST_F(SaveTest, ConvertOnAFullDiskSaysSoAndKeepsTheOldFile) {
    const std::string in = media.file("small.wav");
    writeFile(in, tone(8000, 1, 8, 10.0));
    const std::string destination = out.file("out.wma");
    writeFile(destination, Bytes{'o', 'l', 'd'});
    const std::string err = out.file("err.txt");
    const std::string command =
        "bash -c " + quote("trap '' XFSZ; ulimit -f 200; TMPDIR=" + quote(work.path()) + " " +
                           quote(kBin + "/torvane-cli") + " convert " + quote(in) + " " + quote(destination) +
                           " --bitrate 256") +
        " 2>" + quote(err);
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const Bytes e = readFile(err);
    // The encoder library tells no system reason.
    EXPECT_EQ(std::string(e.begin(), e.end()),
              "torvane-cli: " + destination + ": " + messageText(MessageId::SaveWriteFailed) + "\n");
    EXPECT_TRUE(readFile(destination) == (Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(saveTemporaryLeft(destination));
}

// Broken encoder libraries in the program folder: an entry point missing, an encoder that
// fails part-way, a writer that refuses audio part-way. Each save fails (the encoder's own
// message where it has one), the old destination stays byte for byte, no temporary file.
TEST_F(SaveTest, BrokenEncodersLeaveTheDestinationAsItWas) {
    const std::string testlibs = kBin + "/testlibs/";
    const std::tuple<const char*, const char*, const char*, std::string> cases[] = {
        {"lame_enc_no_version.so", "lame_enc.so", "x.mp3", "Could not found beVersion library function"},
        {"lame_enc_third_encode_fails.so", "lame_enc.so", "x.mp3", "Could not perform compression"},
        {"wmaudsdk_other_name.so", "wmaudsdk.so", "x.wma", "Could not found WMAudioCreateWriter library function"},
        {"wmaudsdk_third_write_fails.so", "wmaudsdk.so", "x.wma", messageText(MessageId::SaveWriteFailed)},
    };
    for (const auto& [broken, as, name, why] : cases) {
        TempDir program;
        fs::copy_file(testlibs + broken, program.file(as));
        openDoc(tone(44100, 2, 16, 5.0), program.path() + "/");
        prompts.clear();
        const std::string destination = oldDestination(name);
        NoProgress none;
        const Outcome r = session->save(destination, none);
        EXPECT_TRUE(r.failedWithMessage()) << broken;
        EXPECT_EQ(messageText(r), why) << broken;
        expectUntouched(destination);
    }
}
