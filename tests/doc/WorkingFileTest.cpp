#include <gtest/gtest.h>

#include <filesystem>

#include "doc/InstanceFolder.h"
#include "support/TestFiles.h"
#include "doc/WorkingFile.h"
#include "platform/FileIo.h"
#include "i18n/Messages.h"

using namespace torvane;
using namespace torvane::test;

namespace {

std::string tempParent() { return std::filesystem::temp_directory_path().string() + "/"; }

class WorkingFileTest : public ::testing::Test {
protected:
    InstanceFolder folder{tempParent()};

    // Writes `bytes` as the working file and reads its header into `doc`.
    WaveHeaderError read(const Bytes& bytes, DocumentState& doc) {
        doc.workingFilePath = workingFilePathIn(folder.path());
        writeFile(doc.workingFilePath, bytes);
        return readWorkingHeader(doc);
    }
    std::string message(const Bytes& bytes) {
        DocumentState doc;
        return messageText(headerErrorMessage(read(bytes, doc)));
    }
};

TEST_F(WorkingFileTest, DecodedHeaderRoundTripsWithAllDerivedValues) {
    // What a decode writes: the 44-byte header, sizes patched afterwards.
    unsigned char h[44];
    writeWaveHeader44(h, 22050, 1, 16, 0, 0);
    Bytes file(h, h + 44);
    Bytes samples(22050 * 2 * 3 + 2 * 500, 0);  // 3 s and 500 frames of mono 16-bit
    file.insert(file.end(), samples.begin(), samples.end());
    DocumentState doc;
    doc.workingFilePath = workingFilePathIn(folder.path());
    writeFile(doc.workingFilePath, file);
    {
        File f = File::open(doc.workingFilePath, File::Mode::ReadWrite);
        ASSERT_TRUE(patchDecodedSizes(f));
    }
    const Bytes patched = readFile(doc.workingFilePath);
    EXPECT_EQ(get32(patched, 4), patched.size() - 8);
    EXPECT_EQ(get32(patched, 40), patched.size() - 44);
    EXPECT_EQ(get32(patched, 28), 44100u);  // byte rate: twice the rate for 16-bit mono

    File f;
    ASSERT_EQ(readWorkingHeader(doc, &f), WaveHeaderError::None);
    ASSERT_TRUE(f);  // handed over for the peak scan
    EXPECT_EQ(doc.format.sampleRate, 22050);
    EXPECT_EQ(doc.format.channels, 1);
    EXPECT_EQ(doc.format.bitsPerSample, 16);
    EXPECT_EQ(doc.format.blockSize, 2u);
    EXPECT_EQ(doc.format.dataOffset, 44);
    EXPECT_EQ(doc.format.dataSize, samples.size());
    EXPECT_EQ(doc.format.dataEnd, 44 + std::int32_t(samples.size()));
    EXPECT_EQ(doc.format.frameCount, 22050u * 3 + 500);
    EXPECT_EQ(doc.format.duration, 3u);
    EXPECT_EQ(doc.view.columnCount, 7u);  // 66650 frames at 10000 per column
}

TEST_F(WorkingFileTest, ChunkLayoutsPlaceTheDataOffset) {
    DocumentState doc;
    // "fmt " of 18 bytes: two extra bytes skipped.
    ASSERT_EQ(read(RiffBuilder().fmt(1, 2, 44100, 16, {0, 0}).data(Bytes(400)).bytes(), doc), WaveHeaderError::None);
    EXPECT_EQ(doc.format.dataOffset, 46);
    // An odd "fmt " (17 bytes) and an odd LIST chunk before "data": both pad bytes skipped.
    ASSERT_EQ(read(RiffBuilder().fmt(1, 2, 44100, 16, {7}).chunk("LIST", Bytes(13, 'x')).data(Bytes(400)).bytes(), doc),
              WaveHeaderError::None);
    EXPECT_EQ(doc.format.dataOffset, 12 + 8 + 17 + 1 + 8 + 13 + 1 + 8);
    EXPECT_EQ(doc.format.dataSize, 400u);
    EXPECT_EQ(doc.format.frameCount, 100u);
}

TEST_F(WorkingFileTest, EveryFormatRuleHasItsMessage) {
    const Bytes pcm(64);
    EXPECT_EQ(message(RiffBuilder().chunk("JUNK", Bytes(28)).fmt(1, 2, 44100, 16).data(pcm).bytes()),
              "This is not a valid Wave file.");
    EXPECT_EQ(message(RiffBuilder().fmt(3, 2, 44100, 32).data(pcm).bytes()), "Cannot handle compressed Wave file.");
    EXPECT_EQ(message(RiffBuilder().fmt(0x55, 2, 44100, 0).data(pcm).bytes()), "Cannot handle compressed Wave file.");
    EXPECT_EQ(message(RiffBuilder().fmt(1, 2, 44100, 24).data(pcm).bytes()), "Not PCM formats!");
    EXPECT_EQ(message(RiffBuilder().fmt(1, 2, 44100, 32).data(pcm).bytes()), "Not PCM formats!");
    // A chunk walk that reaches the end without "data".
    EXPECT_EQ(message(RiffBuilder().fmt(1, 2, 44100, 16).chunk("LIST", Bytes(10)).bytes()),
              "This is not a valid Wave file.");
    // A rate or channel count of 0 would divide by zero later.
    EXPECT_EQ(message(RiffBuilder().fmt(1, 2, 0, 16).data(pcm).bytes()), "This is not a valid Wave file.");
    EXPECT_EQ(message(RiffBuilder().fmt(1, 0, 44100, 16).data(pcm).bytes()), "This is not a valid Wave file.");
    // Too short to hold a header at all, and MP3 bytes under a .wav name.
    EXPECT_EQ(message(Bytes{'R', 'I', 'F', 'F'}), "This is not a valid Wave file.");
    EXPECT_EQ(message(Bytes{0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
              "This is not a valid Wave file.");

    DocumentState doc;
    doc.workingFilePath = folder.path() + "missing.wav";
    EXPECT_EQ(messageText(headerErrorMessage(readWorkingHeader(doc))), "Cannot open the file.");
}

TEST_F(WorkingFileTest, ExtensiblePcmIsReadOtherSubFormatsAreCompressed) {
    auto extensible = [](std::uint16_t subFormat) {
        Bytes ext;
        put16(ext, 22);      // cbSize
        put16(ext, 16);      // valid bits
        put32(ext, 3);       // channel mask
        put16(ext, subFormat);
        const std::uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        ext.insert(ext.end(), tail, tail + 14);
        return RiffBuilder().fmt(0xFFFE, 2, 48000, 16, ext).data(Bytes(4000)).bytes();
    };
    DocumentState doc;
    ASSERT_EQ(read(extensible(1), doc), WaveHeaderError::None);
    EXPECT_EQ(doc.format.dataOffset, 12 + 8 + 40 + 8);
    EXPECT_EQ(doc.format.blockSize, 4u);
    EXPECT_EQ(doc.format.frameCount, 1000u);
    EXPECT_EQ(read(extensible(3), doc), WaveHeaderError::Compressed);  // IEEE float
}

TEST_F(WorkingFileTest, EightBitMonoAndOddDataSizes) {
    DocumentState doc;
    ASSERT_EQ(read(makeWav(8000, 1, 8, Bytes(8000 * 2 + 1, 128)), doc), WaveHeaderError::None);
    EXPECT_EQ(doc.format.blockSize, 1u);
    EXPECT_EQ(doc.format.frameCount, 16001u);
    EXPECT_EQ(doc.format.duration, 2u);
    EXPECT_EQ(doc.view.columnCount, 2u);

    // 16-bit stereo with 3 stray bytes: they are not a frame.
    ASSERT_EQ(read(makeWav(44100, 2, 16, Bytes(4 * 10000 + 3)), doc), WaveHeaderError::None);
    EXPECT_EQ(doc.format.dataSize, 40003u);
    EXPECT_EQ(doc.format.frameCount, 10000u);
    EXPECT_EQ(doc.view.columnCount, 1u);

}

// Damaged and unusual headers, each with the result a user gets.
TEST_F(WorkingFileTest, MalformedHeaderMatrix) {
    const std::string notValid = "This is not a valid Wave file.";
    const std::string tooManyChannels =
        "This Wave file has more than two channels: only mono and stereo files can be edited.";
    const Bytes pcm(400);

    // A header cut anywhere before its end is not a Wave file; cut right after it, it is an
    // empty one (the data size is bounded by the file).
    const Bytes whole = makeWav(44100, 2, 16, pcm);
    for (std::size_t n = 0; n < 44; ++n)
        EXPECT_EQ(message(Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(n))), notValid) << "cut at " << n;
    DocumentState doc;
    ASSERT_EQ(read(Bytes(whole.begin(), whole.begin() + 44), doc), WaveHeaderError::None);
    EXPECT_EQ(doc.format.dataSize, 0u);
    EXPECT_EQ(doc.view.columnCount, 0u);

    // 3 and 6 channels are refused in words the user knows, whatever the sample size.
    EXPECT_EQ(message(makeWav(44100, 3, 16, Bytes(600))), tooManyChannels);
    EXPECT_EQ(message(makeWav(48000, 6, 16, Bytes(1200))), tooManyChannels);
    EXPECT_EQ(message(makeWav(48000, 6, 24, Bytes(1800))), tooManyChannels);

    // "fmt " after "data": the first chunk must be "fmt ".
    EXPECT_EQ(message(RiffBuilder().data(pcm).fmt(1, 2, 44100, 16).bytes()), notValid);
    // An odd chunk written without its pad byte throws the walk off: no "data" is found.
    EXPECT_EQ(message(RiffBuilder().fmt(1, 2, 44100, 16).chunkWithSize("LIST", 13, Bytes(13, 'x')).data(pcm).bytes()),
              notValid);

    // A LIST after "data" is simply not read.
    ASSERT_EQ(read(RiffBuilder().fmt(1, 2, 44100, 16).data(pcm).chunk("LIST", Bytes(30, 'y')).bytes(), doc),
              WaveHeaderError::None);
    EXPECT_EQ(doc.format.dataSize, 400u);
    EXPECT_EQ(doc.format.frameCount, 100u);

    // A block align of 0 is not needed: the block size comes from bits and channels.
    Bytes zeroAlign = makeWav(44100, 2, 16, pcm);
    zeroAlign[32] = zeroAlign[33] = 0;
    ASSERT_EQ(read(zeroAlign, doc), WaveHeaderError::None);
    EXPECT_EQ(doc.format.blockSize, 4u);
    EXPECT_EQ(doc.format.frameCount, 100u);
}

TEST_F(WorkingFileTest, DataSizePastTheEndIsBoundedByTheFile) {
    DocumentState doc;
    const Bytes pcm(1000);
    // A truncated file claiming more than it has.
    ASSERT_EQ(read(RiffBuilder().fmt(1, 2, 44100, 16).chunkWithSize("data", 5000, pcm).bytes(), doc),
              WaveHeaderError::None);
    EXPECT_EQ(doc.format.dataSize, 1000u);
    EXPECT_EQ(doc.format.dataEnd, 44 + 1000);
    EXPECT_EQ(doc.format.frameCount, 250u);
    // A streaming writer's "unknown" size.
    ASSERT_EQ(read(RiffBuilder().fmt(1, 2, 44100, 16).chunkWithSize("data", 0xFFFFFFFF, pcm).bytes(), doc),
              WaveHeaderError::None);
    EXPECT_EQ(doc.format.dataSize, 1000u);
    // A size of 0 stays 0: an empty document.
    ASSERT_EQ(read(RiffBuilder().fmt(1, 2, 44100, 16).chunkWithSize("data", 0, pcm).bytes(), doc),
              WaveHeaderError::None);
    EXPECT_EQ(doc.format.dataSize, 0u);
    EXPECT_EQ(doc.format.frameCount, 0u);
    EXPECT_EQ(doc.view.columnCount, 0u);
}

TEST_F(WorkingFileTest, DurationIsTruncatedToWholeSeconds) {
    DocumentState doc;
    ASSERT_EQ(read(makeWav(1000, 2, 16, Bytes(4 * 1900)), doc), WaveHeaderError::None);
    EXPECT_EQ(doc.format.duration, 1u);
    ASSERT_EQ(read(makeWav(1000, 2, 16, Bytes(4 * 999)), doc), WaveHeaderError::None);
    EXPECT_EQ(doc.format.duration, 0u);
}

TEST_F(WorkingFileTest, SizePatchAfterALengthChangeRederivesEverything) {
    DocumentState doc;
    // 18-byte "fmt ": the data size lives at 42, not 40.
    const Bytes original = RiffBuilder().fmt(1, 2, 1000, 16, {0, 0}).data(Bytes(4 * 25000, 1)).bytes();
    ASSERT_EQ(read(original, doc), WaveHeaderError::None);
    ASSERT_EQ(doc.view.columnCount, 3u);
    const std::uint32_t newLength = 46 + 4 * 12345;
    std::filesystem::resize_file(doc.workingFilePath, newLength);
    File f = File::open(doc.workingFilePath, File::Mode::ReadWrite);
    ASSERT_TRUE(patchSizesAfterLengthChange(f, doc));
    f.close();

    const Bytes b = readFile(doc.workingFilePath);
    EXPECT_EQ(get32(b, 4), newLength - 8);
    EXPECT_EQ(get32(b, 42), newLength - 46);
    EXPECT_EQ(get32(b, 16), 18u);  // the rest of the header untouched
    EXPECT_EQ(doc.format.dataSize, 4u * 12345);
    EXPECT_EQ(doc.format.dataEnd, std::int32_t(newLength));
    EXPECT_EQ(doc.format.frameCount, 12345u);
    EXPECT_EQ(doc.format.duration, 12u);
    EXPECT_EQ(doc.view.columnCount, 2u);

    // The patched file reads back to the same values.
    DocumentState again;
    again.workingFilePath = doc.workingFilePath;
    ASSERT_EQ(readWorkingHeader(again), WaveHeaderError::None);
    EXPECT_EQ(again.format.dataSize, doc.format.dataSize);
    EXPECT_EQ(again.format.frameCount, doc.format.frameCount);
}

TEST(WorkingFileMath, ColumnsAndByteOffsets) {
    EXPECT_EQ(columnCountFor(0, 10000), 0u);
    EXPECT_EQ(columnCountFor(10000, 10000), 1u);
    EXPECT_EQ(columnCountFor(10001, 10000), 2u);
    EXPECT_EQ(columnCountFor(0xFFFFFFFFu, 1000), 4294968u);
    EXPECT_EQ(columnCountFor(5, 0), 0u);

    DocumentState doc;
    doc.format.dataOffset = 46;
    doc.view.framesPerColumn = 2000;
    doc.format.blockSize = 4;
    EXPECT_EQ(columnToByte(doc, 0), 46u);
    EXPECT_EQ(columnToByte(doc, 3), 46u + 3 * 2000 * 4);
    // 32-bit arithmetic: wraps as the stored sizes do.
    EXPECT_EQ(columnToByte(doc, 600000), std::uint32_t(46u + 600000ull * 8000u));
}

TEST(InstanceFolderTest, EachInstanceHasItsOwnFolderRemovedAtTheEnd) {
    const std::string parent = tempParent();
    std::string firstPath;
    {
        InstanceFolder a(parent), b(parent);
        ASSERT_TRUE(a.valid());
        ASSERT_TRUE(b.valid());
        EXPECT_NE(a.path(), b.path());
        EXPECT_EQ(a.path().back(), '/');
        EXPECT_NE(workingFilePathIn(a.path()), workingFilePathIn(b.path()));
        EXPECT_EQ(workingFilePathIn(a.path()), a.path() + "AudioTemp.wav");
        writeFile(workingFilePathIn(a.path()), Bytes(10));
        firstPath = a.path();
    }
    EXPECT_FALSE(std::filesystem::exists(firstPath));
    InstanceFolder nowhere("/nonexistent-folder-for-torvane/");
    EXPECT_FALSE(nowhere.valid());
}

}  // namespace

// Not Wave files, whatever follows: a big-endian "RIFX" file, a RIFF of another form, and a
// sample rate that does not fit a signed 32-bit value.
TEST(WaveMagic, OnlyRiffWaveWithASaneRateIsAWaveFile) {
    TempDir dir;
    const std::string path = dir.file("x.wav");
    Bytes good = makeWav(8000, 1, 16, Bytes(200));
    for (int variant = 0; variant < 3; ++variant) {
        Bytes b = good;
        if (variant == 0) b[3] = 'X';                 // RIFX
        if (variant == 1) std::copy_n("AVI ", 4, b.begin() + 8);
        if (variant == 2) b[27] = 0x80;               // rate 0x80001F40
        writeFile(path, b);
        WaveHeader h;
        EXPECT_EQ(readWaveHeaderFile(path, h), WaveHeaderError::NotValid) << variant;
    }
    writeFile(path, good);
    WaveHeader h;
    EXPECT_EQ(readWaveHeaderFile(path, h), WaveHeaderError::None);
}
