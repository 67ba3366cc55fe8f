#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>

#include "codec/OpenDocument.h"
#include "doc/InstanceFolder.h"
#include "doc/PeakScan.h"
#include "support/TestFiles.h"
#include "doc/WorkingFile.h"
#include "platform/FileIo.h"
#include "i18n/Messages.h"

using namespace torvane;
using namespace torvane::test;

namespace {

std::string tempParent() { return std::filesystem::temp_directory_path().string() + "/"; }

// Inputs made once for the whole suite: 3-second tones as WAV, MP3 (lame) and WMA (ffmpeg).
class Inputs {
public:
    static Inputs& get() {
        static Inputs inputs;
        return inputs;
    }
    // key "<rate>-<channels>"; extension "wav", "mp3" or "wma"
    std::string path(int rate, int channels, const std::string& ext) const {
        return m_folder.path() + "tone-" + std::to_string(rate) + "-" + std::to_string(channels) + "." + ext;
    }
    std::string folder() const { return m_folder.path(); }
    bool ok() const { return m_ok; }

private:
    Inputs() : m_folder(tempParent()) {
        m_ok = m_folder.valid();
        for (int rate : {22050, 44100}) {
            for (int channels : {1, 2}) {
                const std::string wav = path(rate, channels, "wav");
                m_ok = m_ok && makeToneWav(wav, rate, channels, 3.0) &&
                       run("lame --quiet --resample " + std::string(rate == 22050 ? "22.05" : "44.1") + " -b " +
                           (rate == 22050 ? "64 " : "128 ") + quote(wav) + " " + quote(path(rate, channels, "mp3"))) &&
                       makeWma(wav, path(rate, channels, "wma"), 64);
            }
        }
    }
    InstanceFolder m_folder;
    bool m_ok = false;
};

class OpenDocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Inputs::get().ok()) << "sox, lame or ffmpeg failed to make the inputs";
        ASSERT_TRUE(instance.valid());
        doc.tempFolder = instance.path();
    }
    Outcome open(const std::string& path, Progress& progress) {
        doc.documentPath = path;
        return openDocument(doc, progress);
    }
    Outcome open(const std::string& path) {
        RecordingProgress p;
        return open(path, p);
    }
    std::string scratch(const std::string& name) const { return Inputs::get().folder() + name; }

    InstanceFolder instance{tempParent()};
    DocumentState doc;
};

TEST_F(OpenDocumentTest, CompressedSourcesDecodeIntoA44ByteHeaderWorkingFile) {
    for (const char* ext : {"mp3", "wma"}) {
        for (int rate : {22050, 44100}) {
            for (int channels : {1, 2}) {
                const std::string src = Inputs::get().path(rate, channels, ext);
                SCOPED_TRACE(src);
                RecordingProgress p;
                doc = DocumentState{};
                doc.tempFolder = instance.path();
                const Outcome r = open(src, p);
                ASSERT_TRUE(r.ok()) << messageText(r);
                EXPECT_EQ(doc.workingFilePath, instance.path() + "AudioTemp.wav");

                // Header and derived values.
                EXPECT_EQ(doc.format.sampleRate, rate);
                EXPECT_EQ(doc.format.channels, channels);
                EXPECT_EQ(doc.format.bitsPerSample, 16);
                EXPECT_EQ(doc.format.blockSize, std::uint32_t(2 * channels));
                EXPECT_EQ(doc.format.dataOffset, 44);
                const Bytes w = readFile(doc.workingFilePath);
                ASSERT_GE(w.size(), 44u);
                EXPECT_EQ(get32(w, 4), w.size() - 8);
                EXPECT_EQ(get32(w, 40), w.size() - 44);
                EXPECT_EQ(get32(w, 16), 16u);
                EXPECT_EQ(get32(w, 28), std::uint32_t(rate * 2 * channels));
                EXPECT_EQ(doc.format.dataSize, w.size() - 44);
                EXPECT_EQ(doc.format.frameCount, doc.format.dataSize / doc.format.blockSize);
                // Nearly three seconds, whatever the codec trims or pads.
                EXPECT_NEAR(double(doc.format.frameCount) / rate, 3.0, 0.1);

                // The samples are the decoder's, written whole and in order.
                const Bytes reference = capture("ffmpeg -nostdin -loglevel error -i " + quote(src) +
                                                " -f s16le -acodec pcm_s16le -");
                EXPECT_TRUE(reference == Bytes(w.begin() + 44, w.end()))
                    << "decoded " << w.size() - 44 << " bytes, ffmpeg " << reference.size();

                // Source bit rate: file size over the duration ffmpeg decodes, even for WMA.
                std::uint64_t expected = std::uint64_t(fileSize(src)) * rate * 2 * channels / (125 * reference.size());
                if (std::string(ext) == "wma") expected &= ~std::uint64_t(1);
                EXPECT_EQ(doc.sourceBitRate, std::int32_t(expected));

                // A 0.5 tone reads about 50 everywhere; the table covers every column.
                ASSERT_EQ(doc.view.columnCount, columnCountFor(doc.format.frameCount, 10000));
                ASSERT_EQ(doc.peaks.left.size(), doc.view.columnCount);
                EXPECT_NEAR(doc.peaks.left[1], 50, 3);
                EXPECT_EQ(doc.peaks.left[1], doc.peaks.right[1]);
                EXPECT_EQ(p.bar(1).back(), 100);
                const auto decoding = p.bar(0);
                ASSERT_FALSE(decoding.empty());
                EXPECT_TRUE(std::is_sorted(decoding.begin(), decoding.end()));
                EXPECT_LE(decoding.back(), 100);
                EXPECT_GE(decoding.back(), 90);
            }
        }
    }
}

TEST(SourceBitRate, OverTheExactDurationWithTheWmaEvenRule) {
    const struct { std::uint64_t size, decoded, bytesPerSecond; SourceKind kind; std::int32_t kbps; } cases[] = {
        {46400, 511560, 176400, SourceKind::Mp3, 128},  // 2.9 s at 128: not over 2 whole seconds
        {46399, 511560, 176400, SourceKind::Mp3, 127},  // rounded down
        {35074, 87759, 44100, SourceKind::Wma, 140},    // 1.99 s at 141: odd, lowered by one
        {4000, 8000, 16000, SourceKind::Mp3, 64},       // half a second is not 0
        {30000, 0, 176400, SourceKind::Wma, 0},         // nothing decoded
        {1ull << 45, 1ull << 32, 768000, SourceKind::Mp3, 50331648},  // size * rate passes 64 bits
    };
    for (const auto& c : cases) EXPECT_EQ(sourceBitRateOf(c.size, c.decoded, c.bytesPerSecond, c.kind), c.kbps) << c.size;
}

TEST(SourceKinds, ExtensionsWithoutRegardToCase) {
    EXPECT_EQ(sourceKindOf("/a/Song.MP3"), SourceKind::Mp3);
    EXPECT_EQ(sourceKindOf("x.Wma"), SourceKind::Wma);
    EXPECT_EQ(sourceKindOf("x.wav"), SourceKind::Wav);
    EXPECT_EQ(sourceKindOf("dir.mp3/file"), SourceKind::Wav);
    EXPECT_TRUE(isOpenableSource("C:\\music\\a.WAV"));
    EXPECT_TRUE(isOpenableSource("a.mp3"));
    EXPECT_FALSE(isOpenableSource("song.txt"));
    EXPECT_FALSE(isOpenableSource("mp3"));
    EXPECT_FALSE(isOpenableSource("dir.wav/file"));
}

TEST_F(OpenDocumentTest, UpperCaseExtensionTakesTheDecoderPath) {
    const std::string upper = scratch("Song.MP3");
    std::filesystem::copy_file(Inputs::get().path(44100, 2, "mp3"), upper,
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(open(upper).ok());
    EXPECT_EQ(doc.format.dataOffset, 44);
    EXPECT_GT(doc.sourceBitRate, 0);
}

TEST_F(OpenDocumentTest, WavIsCopiedByteForByteWithItsExtraChunks) {
    std::mt19937 rng(5);
    const Bytes src = RiffBuilder()
                          .fmt(1, 2, 32000, 16, {0, 0})
                          .chunk("LIST", Bytes(21, 'i'))
                          .data(randomBytes(4 * 123457, rng))
                          .chunk("id3 ", Bytes(33, 'x'))
                          .bytes();
    const std::string path = scratch("extra-chunks.wav");
    writeFile(path, src);
    doc.sourceBitRate = 77;
    RecordingProgress p;
    ASSERT_TRUE(open(path, p).ok());
    EXPECT_TRUE(readFile(doc.workingFilePath) == src);
    EXPECT_EQ(doc.sourceBitRate, 0);
    EXPECT_EQ(doc.format.dataOffset, 12 + 8 + 18 + 8 + 21 + 1 + 8);
    EXPECT_EQ(doc.format.frameCount, 123457u);
    EXPECT_EQ(doc.view.columnCount, 13u);
    EXPECT_EQ(p.bar(0).back(), 100);
    EXPECT_EQ(p.bar(1).back(), 100);
}

// The table taken while the working file is written is the one a scan of the finished file gives:
// WAVs of every kind with chunks around the data or data cut short, decoded sources, and a long
// MP3 decoded on several threads (whose samples are the decoder's, in order).
TEST_F(OpenDocumentTest, PeaksTakenWhileWritingEqualAScanOfTheWorkingFile) {
    std::mt19937 rng(77);
    std::vector<std::string> sources = {Inputs::get().path(22050, 1, "mp3"), Inputs::get().path(44100, 2, "wma")};
    for (int i = 0; i < 12; ++i) {
        const std::uint16_t bits = i % 2 ? 8 : 16, channels = std::uint16_t(1 + i / 2 % 2);
        const Bytes pcm = randomBytes(rng() % 3'000'000, rng);
        RiffBuilder b;
        b.fmt(1, channels, 8000, bits).chunk("LIST", Bytes(rng() % 999, 'i'));
        if (i % 3 == 2) b.chunkWithSize("data", std::uint32_t(pcm.size() + 1000), pcm);  // cut short
        else b.data(pcm).chunk("id3 ", Bytes(rng() % 999, 'x'));
        sources.push_back(scratch("peaks" + std::to_string(i) + ".wav"));
        writeFile(sources.back(), b.bytes());
    }
    const std::string signal = scratch("long.wav"), longMp3 = scratch("long.mp3");
    ASSERT_TRUE(makeSignalWav(signal, 44100, 2, 70) && run("lame --quiet -b 128 " + quote(signal) + " " + quote(longMp3)));
    ASSERT_GT(fileSize(longMp3), 1 << 20);
    sources.push_back(longMp3);
    for (const std::string& src : sources) {
        for (const std::int32_t perColumn : {10000, 99, 150, 2205}) {
            SCOPED_TRACE(src + " " + std::to_string(perColumn));
            doc = DocumentState{};
            doc.tempFolder = instance.path();
            doc.view.framesPerColumn = perColumn;
            ASSERT_TRUE(open(src).ok());
            const PeakTable taken = doc.peaks;
            NoProgress none;
            scanPeaks(File::open(doc.workingFilePath, File::Mode::Read), doc, none, 1);
            EXPECT_TRUE(taken.left == doc.peaks.left && taken.right == doc.peaks.right);
        }
    }
    const Bytes reference = capture("ffmpeg -nostdin -loglevel error -i " + quote(longMp3) + " -f s16le -");
    const Bytes w = readFile(doc.workingFilePath);
    EXPECT_TRUE(reference == Bytes(w.begin() + 44, w.end()));

    // Cancel while the parts decode: what came in order from the start stays, under a true header.
    RecordingProgress cancel(/*cancelAfter=*/1);
    EXPECT_EQ(open(longMp3, cancel).status, Outcome::Status::Cancelled);
    const Bytes part = readFile(doc.workingFilePath);
    ASSERT_GE(part.size(), 44u);
    EXPECT_EQ(get32(part, 40), part.size() - 44);
    EXPECT_TRUE(std::equal(part.begin() + 44, part.end(), reference.begin()));
    EXPECT_TRUE(cancel.bar(1).empty());
}

TEST_F(OpenDocumentTest, EightBitMonoWavOpensWithPeaksScaledBy128) {
    Bytes pcm(20000, 128);
    pcm[10000] = 128 + 96;  // examined frame of column 1: 96 * 100 / 128 = 75
    const std::string path = scratch("eight.wav");
    writeFile(path, makeWav(8000, 1, 8, pcm));
    ASSERT_TRUE(open(path).ok());
    EXPECT_EQ(doc.format.blockSize, 1u);
    EXPECT_EQ(doc.peaks.left, (std::vector<std::int16_t>{0, 75}));
    EXPECT_EQ(doc.peaks.right, doc.peaks.left);
}

TEST_F(OpenDocumentTest, WavHoldingMp3DataIsRefusedAndTheNextOpenWorks) {
    const std::string fake = scratch("fake.wav");
    std::filesystem::copy_file(Inputs::get().path(44100, 2, "mp3"), fake,
                               std::filesystem::copy_options::overwrite_existing);
    Outcome r = open(fake);
    EXPECT_EQ(r.status, Outcome::Status::Failed);
    EXPECT_EQ(messageText(r), "This is not a valid Wave file.");

    r = open(Inputs::get().path(22050, 1, "wav"));
    ASSERT_TRUE(r.ok()) << messageText(r);
    EXPECT_TRUE(readFile(doc.workingFilePath) == readFile(Inputs::get().path(22050, 1, "wav")));
}

TEST_F(OpenDocumentTest, HeaderMessagesReachTheCaller) {
    // Sample sizes and formats that nothing reads.
    const std::string deep = scratch("deep.wav");
    writeFile(deep, RiffBuilder().fmt(1, 1, 8000, 12).data(Bytes(400)).bytes());
    EXPECT_EQ(messageText(open(deep)), "Not PCM formats!");
    const std::string fl = scratch("float.wav");
    writeFile(fl, RiffBuilder().fmt(3, 1, 8000, 16).data(Bytes(400)).bytes());
    EXPECT_EQ(messageText(open(fl)), "Cannot handle compressed Wave file.");
    EXPECT_EQ(open(fl).status, Outcome::Status::Failed);
}

TEST_F(OpenDocumentTest, CancelDuringDecodingLoadsNothing) {
    doc.view.columnCount = 4321;
    RecordingProgress p(/*cancelAfter=*/5);
    const Outcome r = open(Inputs::get().path(44100, 2, "mp3"), p);
    EXPECT_EQ(r.status, Outcome::Status::Cancelled);
    EXPECT_TRUE(messageText(r).empty());
    // No header reading and no peak table.
    EXPECT_EQ(doc.view.columnCount, 4321u);
    EXPECT_TRUE(doc.peaks.left.empty());
    EXPECT_TRUE(p.bar(1).empty());
    // The chunks decoded before the request are there, under a patched header.
    const Bytes w = readFile(doc.workingFilePath);
    EXPECT_EQ(w.size(), 44u + 5 * 10000);
    EXPECT_EQ(get32(w, 4), w.size() - 8);
    EXPECT_EQ(get32(w, 40), w.size() - 44);

    // Cancel is not looked at while copying a WAV: the file opens.
    RecordingProgress always(0);
    EXPECT_TRUE(open(Inputs::get().path(44100, 2, "wav"), always).ok());
    EXPECT_GT(doc.view.columnCount, 0u);
}

TEST_F(OpenDocumentTest, UndecodableSourcesAndMissingFiles) {
    std::mt19937 rng(9);
    const std::string noise = scratch("noise.mp3");
    writeFile(noise, randomBytes(5000, rng));
    EXPECT_EQ(messageText(open(noise)), "Can not creat the decode stream.");
    const std::string noiseWma = scratch("noise.wma");
    writeFile(noiseWma, randomBytes(5000, rng));
    EXPECT_EQ(messageText(open(noiseWma)), "Can not creat the decode stream.");
    // The WMA decoder takes ASF only.
    const std::string mp3AsWma = scratch("mp3.wma");
    std::filesystem::copy_file(Inputs::get().path(44100, 1, "mp3"), mp3AsWma,
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(messageText(open(mp3AsWma)), "Can not creat the decode stream.");

    EXPECT_EQ(messageText(open(scratch("missing.mp3"))), "Can not creat the decode stream.");
    EXPECT_EQ(messageText(open(scratch("missing.wav"))), messageText(MessageId::CannotReadSource));
}

TEST_F(OpenDocumentTest, WorkingFileThatCannotBeCreated) {
    doc.tempFolder = "/nonexistent-torvane-folder/";
    EXPECT_EQ(messageText(open(Inputs::get().path(44100, 2, "mp3"))), "Can not creat the temporary file.");
    EXPECT_EQ(messageText(open(Inputs::get().path(44100, 2, "wma"))), "Cannot creat the temporary file.");
    EXPECT_EQ(messageText(open(Inputs::get().path(44100, 2, "wav"))), messageText(MessageId::WavNoWorkingFile));
}

TEST_F(OpenDocumentTest, AnOldWorkingFileIsReplacedWhole) {
    writeFile(workingFilePathIn(instance.path()), Bytes(3'000'000, 0xAB));
    const std::string small = Inputs::get().path(22050, 1, "wav");
    ASSERT_TRUE(open(small).ok());
    EXPECT_TRUE(readFile(doc.workingFilePath) == readFile(small));
}

TEST_F(OpenDocumentTest, WorkingFilePastTheLimitStopsWithAClearMessage) {
    RecordingProgress p;
    doc.documentPath = Inputs::get().path(44100, 2, "mp3");
    Outcome r = openDocument(doc, p, 100000);
    EXPECT_EQ(r.status, Outcome::Status::Failed);
    EXPECT_EQ(messageText(r), messageText(MessageId::TooLong));
    EXPECT_FALSE(fileExists(doc.workingFilePath));

    doc.documentPath = Inputs::get().path(44100, 2, "wav");
    r = openDocument(doc, p, 100000);
    EXPECT_EQ(messageText(r), messageText(MessageId::TooLong));
    // Exactly at the limit is fine.
    r = openDocument(doc, p, std::uint64_t(fileSize(doc.documentPath)));
    EXPECT_TRUE(r.ok()) << messageText(r);
}

TEST_F(OpenDocumentTest, EmptyDataOpensWithNoColumns) {
    const std::string path = scratch("empty.wav");
    writeFile(path, makeWav(44100, 2, 16, {}));
    RecordingProgress p;
    ASSERT_TRUE(open(path, p).ok());
    EXPECT_EQ(doc.format.frameCount, 0u);
    EXPECT_EQ(doc.view.columnCount, 0u);
    EXPECT_TRUE(doc.peaks.left.empty());
    EXPECT_TRUE(p.bar(1).empty());
}

// Left-channel samples of a 16-bit working file from second `from` to second `to`.
std::vector<std::int16_t> channelSamples(const Bytes& w, int rate, int channels, int channel, double from, double to) {
    std::vector<std::int16_t> out;
    const std::size_t frameBytes = std::size_t(2 * channels);
    for (std::size_t f = std::size_t(from * rate); f < std::size_t(to * rate); ++f) {
        const std::size_t at = 44 + f * frameBytes + std::size_t(2 * channel);
        if (at + 2 > w.size()) break;
        out.push_back(std::int16_t(w[at] | (w[at + 1] << 8)));
    }
    return out;
}

// Cycles per second of a tone, from its rising zero crossings.
double toneFrequency(const std::vector<std::int16_t>& s, int rate) {
    int rising = 0;
    for (std::size_t i = 1; i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0) ++rising;
    return s.empty() ? 0 : rising * double(rate) / double(s.size());
}

}  // namespace

// Two sources joined with cat (or a chained Ogg named .mp3) change rate or channels part-way:
// the document keeps the first part's format and the rest is converted into it, so each part
// lasts as long and sounds at the pitch it had (a 440 Hz tone stays 440 Hz), and a mono part of
// a stereo document sounds equally, at full level, on both sides.
TEST_F(OpenDocumentTest, SourcesThatChangeFormatPartWayAreConvertedToTheFirstFormat) {
    const Inputs& in = Inputs::get();
    const std::string stereoThenMono = scratch("joined-mono.mp3"), rateChange = scratch("joined-rate.mp3"),
                      oggAsMp3 = scratch("joined-ogg.mp3");
    const auto join = [](const std::string& out, const std::string& a, const std::string& b) {
        Bytes both = readFile(a);
        const Bytes second = readFile(b);
        both.insert(both.end(), second.begin(), second.end());
        writeFile(out, both);
    };
    join(stereoThenMono, in.path(44100, 2, "mp3"), in.path(44100, 1, "mp3"));
    join(rateChange, in.path(44100, 2, "mp3"), in.path(22050, 2, "mp3"));
    ASSERT_TRUE(run("sox " + quote(in.path(44100, 2, "wav")) + " " + quote(scratch("s.ogg"))));
    ASSERT_TRUE(run("sox " + quote(in.path(44100, 1, "wav")) + " " + quote(scratch("m.ogg"))));
    join(oggAsMp3, scratch("s.ogg"), scratch("m.ogg"));
    for (const std::string& path : {stereoThenMono, rateChange, oggAsMp3}) {
        SCOPED_TRACE(path);
        const Outcome r = open(path);
        ASSERT_TRUE(r.ok()) << messageText(r);
        ASSERT_EQ(doc.format.sampleRate, 44100);
        ASSERT_EQ(doc.format.channels, 2);
        EXPECT_NEAR(double(doc.format.frameCount) / 44100, 6.0, 0.15);
        const Bytes w = readFile(doc.workingFilePath);
        const auto left = channelSamples(w, 44100, 2, 0, 3.3, 5.7), right = channelSamples(w, 44100, 2, 1, 3.3, 5.7);
        EXPECT_NEAR(toneFrequency(left, 44100), 440, 3);
        EXPECT_NEAR(toneFrequency(channelSamples(w, 44100, 2, 0, 0.3, 2.7), 44100), 440, 3);
        if (path != rateChange) {
            EXPECT_TRUE(left == right) << "a mono part sounds the same on both sides";
            EXPECT_NEAR(*std::max_element(left.begin(), left.end()), 16384, 1200) << "at its own level";
        }
    }
}

// Frame headers that claim mono part-way through a stereo MP3 decode to something (garbage, as
// the data says) without bringing the program down.
TEST_F(OpenDocumentTest, MutatedMp3FrameHeadersDoNotCrash) {
    const Bytes original = readFile(Inputs::get().path(44100, 2, "mp3"));
    for (int variant = 0; variant < 3; ++variant) {
        Bytes b = original;
        for (std::size_t i = b.size() / 3; i + 3 < b.size(); ++i) {
            if (b[i] == 0xFF && (b[i + 1] & 0xE0) == 0xE0) {
                if (variant == 0) b[i + 3] |= 0xC0;                         // channel mode: mono
                if (variant == 1) b[i + 2] = (b[i + 2] & 0xF3) | 0x04;      // sample rate index
                if (variant == 2 && (i % 2)) b[i + 3] ^= 0xC0;              // alternate modes
            }
        }
        const std::string path = scratch("mutated-" + std::to_string(variant) + ".mp3");
        writeFile(path, b);
        const Outcome r = open(path);
        if (r.ok()) {
            EXPECT_EQ(doc.format.channels, 2);
            EXPECT_LT(double(doc.format.frameCount) / doc.format.sampleRate, 4.0);
        }
    }
}

// A fuzzer's find: MP3 frames whose layout changes in a way that once made the converter's set-up
// free a pointer it never had. It opens or fails with a message, never crashes.
TEST_F(OpenDocumentTest, LayoutChangeFoundByTheFuzzerIsSafe) {
    const std::string hex =
        "00ff00fffb226475726174696f6e22200c2440cb2a2a2a2a2a9d2a2a2a2a2a2a2a2a2053544152542053435249505420"
        "2a2a2a2a2a2a2a2a00010100000000004801ccea5260000a38fffb52441efb5244bb81db06000000004801ccea526000"
        "0a38fffb52441e000a38fffb52441edb0602840e0200010100000000004801ccea5260000a38fffb5244";
    Bytes b;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) b.push_back(std::uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    const std::string path = scratch("layout-change.mp3");
    writeFile(path, b);
    const Outcome r = open(path);
    EXPECT_TRUE(r.ok() || !messageText(r).empty());
    if (r.ok()) {
        EXPECT_LE(doc.format.channels, 2);
    }
}

// Only regular files open: a link to a device that never ends, a FIFO that would block for
// ever and a folder are refused at once with "Can not open the file.", and nothing is written.
TEST_F(OpenDocumentTest, OnlyRegularFilesOpen) {
    const std::string device = scratch("zero.wav"), fifo = scratch("pipe.wav"), folder = scratch("folder.wav"),
                      mp3Device = scratch("urandom.mp3");
    std::filesystem::create_symlink("/dev/zero", device);
    std::filesystem::create_symlink("/dev/urandom", mp3Device);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(folder);
    for (const std::string& path : {device, mp3Device, fifo, folder}) {
        const Outcome r = open(path);
        EXPECT_EQ(messageText(r), "Can not open the file.") << path;
        EXPECT_FALSE(fileExists(workingFilePathIn(instance.path()))) << path;
    }
}
