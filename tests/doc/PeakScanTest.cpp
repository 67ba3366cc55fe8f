#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "doc/InstanceFolder.h"
#include "support/TestFiles.h"
#include "doc/WorkingFile.h"
#include "platform/FileIo.h"
#include "doc/PeakScan.h"
#include "i18n/Messages.h"

using namespace torvane;
using namespace torvane::test;

namespace {

// The scan written the plain way: per column, S frames, each read on its own and followed by
// a relative seek to the next examined frame; frames at or past the frame count give nothing.
void referenceScan(std::FILE* f, const DocumentState& d, std::vector<std::int16_t>& left,
                   std::vector<std::int16_t>& right) {
    left.assign(d.view.columnCount, 0);
    right.assign(d.view.columnCount, 0);
    const std::uint32_t F = std::uint32_t(d.view.framesPerColumn);
    const std::uint32_t S = F / 100;
    std::fseek(f, d.format.dataOffset, SEEK_SET);
    for (std::uint32_t c = 0; c < d.view.columnCount; ++c) {
        int maxL = 0, maxR = 0;
        for (std::uint32_t j = 0; j < S; ++j) {
            const std::uint64_t frame = std::uint64_t(c) * F + 100ull * j;
            long consumed = 0;
            if (frame < d.format.frameCount) {
                if (d.format.bitsPerSample == 8) {
                    unsigned char b;
                    if (std::fread(&b, 1, 1, f) == 1) {
                        ++consumed;
                        int m = std::abs(int(b) - 128);
                        if (d.format.channels == 1) {
                            if (m > maxL) maxL = maxR = m;
                        } else {
                            if (m > maxL) maxL = m;
                            if (std::fread(&b, 1, 1, f) == 1) {
                                ++consumed;
                                m = std::abs(int(b) - 128);
                                if (m > maxR) maxR = m;
                            }
                        }
                    }
                } else {
                    unsigned char s[2];
                    if (std::fread(s, 1, 2, f) == 2) {
                        consumed += 2;
                        int m = std::abs(int(std::int16_t(s[0] | (s[1] << 8))));
                        if (d.format.channels == 1) {
                            if (m > maxL) maxL = maxR = m;
                        } else {
                            if (m > maxL) maxL = m;
                            if (std::fread(s, 1, 2, f) == 2) {
                                consumed += 2;
                                m = std::abs(int(std::int16_t(s[0] | (s[1] << 8))));
                                if (m > maxR) maxR = m;
                            }
                        }
                    }
                }
            }
            std::fseek(f, long(d.format.blockSize) * 100 - consumed, SEEK_CUR);
        }
        const int scale = d.format.bitsPerSample == 8 ? 128 : 32768;
        left[c] = std::int16_t(maxL * 100 / scale);
        right[c] = std::int16_t(maxR * 100 / scale);
    }
}

Bytes repeatedFrame(std::size_t frames, const Bytes& frame) {
    Bytes b;
    for (std::size_t i = 0; i < frames; ++i) b.insert(b.end(), frame.begin(), frame.end());
    return b;
}

std::string tempParent() { return std::filesystem::temp_directory_path().string() + "/"; }

class PeakScanTest : public ::testing::Test {
protected:
    InstanceFolder folder{tempParent()};
    DocumentState doc;

    // Writes the file, reads its header at zoom `framesPerColumn` and runs the fast scan.
    void open(const Bytes& file, std::int32_t framesPerColumn, Progress& progress) {
        doc = DocumentState{};
        doc.view.framesPerColumn = framesPerColumn;
        doc.workingFilePath = workingFilePathIn(folder.path());
        writeFile(doc.workingFilePath, file);
        File f;
        ASSERT_EQ(readWorkingHeader(doc, &f), WaveHeaderError::None);
        replacePeakArrays(doc);
        scanPeaks(f, doc, progress, 1);
    }
    void open(const Bytes& file, std::int32_t framesPerColumn = 10000) {
        NoProgress none;
        open(file, framesPerColumn, none);
    }
    void expectSameAsReference() {
        std::vector<std::int16_t> l, r;
        std::FILE* f = openFile(doc.workingFilePath, "rb");
        ASSERT_TRUE(f);
        referenceScan(f, doc, l, r);
        std::fclose(f);
        ASSERT_EQ(doc.peaks.left, l);
        ASSERT_EQ(doc.peaks.right, r);
    }
};

TEST_F(PeakScanTest, FastScanEqualsThePerFrameScanForEveryLayoutAndZoom) {
    std::mt19937 rng(20261208);
    struct Layout { std::uint16_t channels, bits; };
    const Layout layouts[] = {{1, 8}, {2, 8}, {1, 16}, {2, 16}};
    const std::int32_t zooms[] = {10000, 8000, 6000, 4000, 2000, 1000};
    std::uniform_int_distribution<std::uint32_t> frames(0, 70000);
    for (const Layout& l : layouts) {
        const std::uint32_t block = l.channels * l.bits / 8;
        for (std::int32_t zoom : zooms) {
            for (int round = 0; round < 6; ++round) {
                // Whole columns, partial last columns (ending on and off an examined frame),
                // a few stray bytes, random lengths.
                std::uint32_t n = frames(rng);
                if (round == 0) n = std::uint32_t(zoom) * 3;
                if (round == 1) n = std::uint32_t(zoom) * 2 + 1;
                if (round == 2) n = std::uint32_t(zoom) + 100 * (1 + rng() % (zoom / 100 - 1));
                const std::size_t stray = round == 3 ? 1 + rng() % (block == 1 ? 1 : block - 1) : 0;
                Bytes pcm = randomBytes(std::size_t(n) * block + (block == 1 ? 0 : stray), rng);
                // Chunks after the data must not be taken for frames of a partial column.
                const Bytes file = RiffBuilder()
                                       .fmt(1, l.channels, 44100, l.bits)
                                       .data(pcm)
                                       .chunk("LIST", repeatedFrame(2500, {0x00, 0x80}))
                                       .bytes();
                SCOPED_TRACE(testing::Message() << "channels " << l.channels << " bits " << l.bits << " zoom " << zoom
                                                << " frames " << n << " stray " << stray);
                open(file, zoom);
                ASSERT_EQ(doc.view.columnCount, columnCountFor(n, std::uint32_t(zoom)));
                expectSameAsReference();
            }
        }
    }
}

TEST_F(PeakScanTest, FastScanEqualsThePerFrameScanAcrossManyReadBlocks) {
    // Long enough that the scan's reads wrap several times, with odd chunk offsets.
    std::mt19937 rng(7);
    for (std::uint16_t channels : {1, 2}) {
        for (std::uint16_t bits : {8, 16}) {
            const std::uint32_t block = channels * bits / 8;
            const std::uint32_t n = 3 * (1u << 20) / block + 12345;
            const Bytes file = RiffBuilder()
                                   .fmt(1, channels, 44100, bits, {0, 0, 0})
                                   .chunk("LIST", Bytes(3, 1))
                                   .data(randomBytes(std::size_t(n) * block, rng))
                                   .bytes();
            SCOPED_TRACE(testing::Message() << "channels " << channels << " bits " << bits);
            open(file, 1000);
            expectSameAsReference();
            open(file, 10000);
            expectSameAsReference();
        }
    }
}

TEST_F(PeakScanTest, ScalingExtremesAndSilence) {
    // 16-bit stereo: left -32768, right 32767 everywhere.
    open(makeWav(44100, 2, 16, repeatedFrame(20000, {0x00, 0x80, 0xFF, 0x7F})));
    EXPECT_EQ(doc.peaks.left, (std::vector<std::int16_t>{100, 100}));
    EXPECT_EQ(doc.peaks.right, (std::vector<std::int16_t>{99, 99}));
    // 8-bit stereo: left 0, right 255.
    open(makeWav(8000, 2, 8, repeatedFrame(10000, {0, 255})));
    EXPECT_EQ(doc.peaks.left, (std::vector<std::int16_t>{100}));
    EXPECT_EQ(doc.peaks.right, (std::vector<std::int16_t>{99}));
    // 8-bit peaks are scaled by 128: 128 + 64 gives 50.
    open(makeWav(8000, 1, 8, repeatedFrame(10000, {192})));
    EXPECT_EQ(doc.peaks.left, (std::vector<std::int16_t>{50}));
    // Silence: 8-bit 128 and 16-bit 0.
    open(makeWav(8000, 1, 8, Bytes(25000, 128)));
    EXPECT_EQ(doc.peaks.left, (std::vector<std::int16_t>{0, 0, 0}));
    open(makeWav(8000, 2, 16, Bytes(4 * 25000, 0)));
    EXPECT_EQ(doc.peaks.left, (std::vector<std::int16_t>{0, 0, 0}));
    EXPECT_EQ(doc.peaks.right, (std::vector<std::int16_t>{0, 0, 0}));
}

TEST_F(PeakScanTest, MonoRightEqualsLeft) {
    std::mt19937 rng(3);
    open(makeWav(44100, 1, 16, randomBytes(2 * 55555, rng)), 2000);
    EXPECT_EQ(doc.peaks.left, doc.peaks.right);
    open(makeWav(44100, 1, 8, randomBytes(55555, rng)), 2000);
    EXPECT_EQ(doc.peaks.left, doc.peaks.right);
}

TEST_F(PeakScanTest, OnlyEveryHundredthFrameIsExamined) {
    // 16-bit mono, 10000 frames: a loud click at frame 150 is between examined frames 100
    // and 200 and is not seen; one at frame 300 is.
    Bytes pcm(2 * 10000, 0);
    pcm[2 * 150] = 0x00; pcm[2 * 150 + 1] = 0x80;
    open(makeWav(44100, 1, 16, pcm));
    EXPECT_EQ(doc.peaks.left, (std::vector<std::int16_t>{0}));
    pcm[2 * 300] = 0x00; pcm[2 * 300 + 1] = 0x40;  // 16384 -> 50
    open(makeWav(44100, 1, 16, pcm));
    EXPECT_EQ(doc.peaks.left, (std::vector<std::int16_t>{50}));
}

TEST_F(PeakScanTest, PartialLastColumnUsesOnlyFramesThatExist) {
    // 10050 frames of silence: column 1 examines frame 10000 only. Loud bytes follow in a
    // trailing chunk exactly where frames 10100.. would be.
    Bytes pcm(2 * 10050, 0);
    pcm[2 * 10000] = 0x00; pcm[2 * 10000 + 1] = 0x20;  // 8192 -> 25
    const Bytes file = RiffBuilder().fmt(1, 1, 44100, 16).data(pcm).chunk("LIST", Bytes(4000, 0x80)).bytes();
    open(file);
    ASSERT_EQ(doc.view.columnCount, 2u);
    EXPECT_EQ(doc.peaks.left, (std::vector<std::int16_t>{0, 25}));
}

TEST_F(PeakScanTest, ProgressPerColumnEndsAtOneHundred) {
    RecordingProgress p;
    open(makeWav(44100, 2, 16, Bytes(4 * 30001)), 10000, p);  // 4 columns
    EXPECT_EQ(p.bar(1), (std::vector<int>{25, 50, 75, 100}));
    EXPECT_TRUE(p.bar(0).empty());

    RecordingProgress many;
    open(makeWav(44100, 1, 8, Bytes(7 * 1000 - 1, 128)), 1000, many);  // 7 columns
    EXPECT_EQ(many.bar(1), (std::vector<int>{14, 28, 42, 57, 71, 85, 100}));
}

TEST_F(PeakScanTest, EmptyDataGivesNoColumnsAndNoProgress) {
    RecordingProgress p;
    open(makeWav(44100, 2, 16, {}), 10000, p);
    EXPECT_EQ(doc.view.columnCount, 0u);
    EXPECT_TRUE(doc.peaks.left.empty());
    EXPECT_TRUE(doc.peaks.right.empty());
    EXPECT_TRUE(p.values.empty());
}

TEST_F(PeakScanTest, ScanKeepingTheColumnCountOverwritesInPlace) {
    open(makeWav(44100, 2, 16, repeatedFrame(20000, {0x00, 0x80, 0x00, 0x80})));
    const std::int16_t* before = doc.peaks.left.data();
    // The file is rewritten to silence (as an edit does) and scanned again at the same size.
    File f = File::open(doc.workingFilePath, File::Mode::ReadWrite);
    const Bytes silence(doc.format.dataSize, 0);
    ASSERT_TRUE(f.writeAt(std::uint32_t(doc.format.dataOffset), silence.data(), silence.size()));
    NoProgress none;
    scanPeaks(f, doc, none, 0);
    EXPECT_EQ(doc.peaks.left.data(), before);
    EXPECT_EQ(doc.peaks.left, (std::vector<std::int16_t>{0, 0}));
}

TEST_F(PeakScanTest, ReloadAtANewZoomAndWhenTheFileIsGone) {
    std::mt19937 rng(11);
    open(makeWav(44100, 2, 16, randomBytes(4 * 25000, rng)));
    ASSERT_EQ(doc.view.columnCount, 3u);
    doc.view.framesPerColumn = 1000;
    RecordingProgress p;
    EXPECT_TRUE(reloadPeakTable(doc, p).ok());
    EXPECT_EQ(doc.view.columnCount, 25u);
    EXPECT_EQ(doc.peaks.left.size(), 25u);
    EXPECT_EQ(p.bar(0).back(), 100);
    expectSameAsReference();

    const auto peaks = doc.peaks.left;
    removeFile(doc.workingFilePath);
    doc.view.framesPerColumn = 2000;
    EXPECT_EQ(messageText(reloadPeakTable(doc, p)), "Cannot open the temporary file.");
    EXPECT_EQ(doc.view.columnCount, 25u);  // nothing changed
    EXPECT_EQ(doc.peaks.left, peaks);
}

}  // namespace

// Fed the data in pieces of any size, as two parts cut at any frame and merged, the table taken
// as the bytes go by is the scan's; bytes past the data are not samples.
TEST(PeakAccumulator, FedInAnyPiecesAndMergedItIsTheScan) {
    TempDir dir;
    std::mt19937 rng(31);
    for (int round = 0; round < 60; ++round) {
        const std::uint16_t bits = rng() % 2 ? 8 : 16, channels = std::uint16_t(1 + rng() % 2);
        DocumentState doc;
        doc.workingFilePath = dir.file("w.wav");
        writeFile(doc.workingFilePath, RiffBuilder()
                                           .fmt(1, channels, 8000, bits)
                                           .chunk("LIST", Bytes(rng() % 7, 'i'))
                                           .data(randomBytes(rng() % 200000, rng))
                                           .chunk("id3 ", Bytes(9, 'x'))
                                           .bytes());
        doc.view.framesPerColumn = std::array{100, 150, 1000, 10000}[rng() % 4];
        File f;
        ASSERT_EQ(readWorkingHeader(doc, &f), WaveHeaderError::None);
        NoProgress none;
        scanPeaks(f, doc, none, 1);

        const Bytes file = readFile(doc.workingFilePath);
        const unsigned char* data = file.data() + doc.format.dataOffset;
        const std::uint64_t end = file.size() - std::uint64_t(doc.format.dataOffset);
        const std::uint64_t cut = rng() % (doc.format.frameCount + 1) * doc.format.blockSize;
        PeakAccumulator first(doc.view.framesPerColumn, bits, channels, 0, doc.format.dataSize);
        PeakAccumulator second(doc.view.framesPerColumn, bits, channels, cut, doc.format.dataSize);
        auto feed = [&](PeakAccumulator& a, std::uint64_t from, std::uint64_t to) {
            for (std::uint64_t n; from < to; from += n) a.add(data + from, n = std::min<std::uint64_t>(to - from, 1 + rng() % 700));
        };
        feed(first, 0, cut);
        feed(second, cut, end);
        second.merge(first);
        DocumentState taken = doc;
        second.store(taken);
        EXPECT_TRUE(second.fits(doc));
        ASSERT_TRUE(taken.peaks.left == doc.peaks.left && taken.peaks.right == doc.peaks.right) << "round " << round;
    }
}
