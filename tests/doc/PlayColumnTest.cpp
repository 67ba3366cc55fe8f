// Stream positions and waveform columns. The round trip is checked exhaustively on random
// documents against the definition of a column (the frames it summarises), not against the
// code's own arithmetic.

#include <gtest/gtest.h>

#include <random>

#include "doc/PlayColumn.h"

using namespace torvane;

namespace {

// The first frame of column c, by definition of the peak table: c * framesPerColumn.
std::uint64_t firstFrameOf(std::uint32_t c, std::uint32_t framesPerColumn) { return std::uint64_t(c) * framesPerColumn; }

}  // namespace

TEST(PlayColumn, TruncatesAndSurvivesEmptyDocuments) {
    EXPECT_EQ(playColumnOf(10, 0, 20000), 0u);
    EXPECT_EQ(playColumnOf(10, 1999, 20000), 0u);  // 0.9995 truncates, never rounds
    EXPECT_EQ(playColumnOf(10, 2000, 20000), 1u);
    EXPECT_EQ(playColumnOf(10, 19999, 20000), 9u);
    EXPECT_EQ(playColumnOf(3, 20000, 20000), 3u);
    EXPECT_EQ(playColumnOf(0, 500, 20000), 0u);       // no columns
    EXPECT_EQ(playColumnOf(10, 500, 0), 0u);          // empty stream
    EXPECT_EQ(playColumnOf(10, ~0ull, 20000), 0u);    // the engine's error position
    EXPECT_EQ(columnPosition(5, 882000, 0, 4), 0u);   // empty view
    EXPECT_EQ(columnPosition(5, 0, 23, 4), 0u);       // empty stream
}

// A document of 2 GiB or more: 3 000 000 000 bytes of 16-bit stereo (3 h 10 min at 44.1 kHz),
// 75 000 columns at 10 : 1. Read as signed 32-bit values its positions past 2 GiB were
// negative and every column there was 0.
TEST(PlayColumn, DocumentsPastTwoGigabytesKeepTheirColumns) {
    const std::uint64_t length = 3000000000ull;
    const std::uint32_t columns = 75000;
    EXPECT_EQ(playColumnOf(columns, length - 4, length), columns - 1);
    EXPECT_EQ(playColumnOf(columns, 2147483648ull, length), 53687u);  // 75000 * 2^31 / 3e9 = 53687.09
    EXPECT_EQ(playColumnOf(columns, length, length), columns);
    const std::uint64_t p = columnPosition(74990, length, columns, 4);
    EXPECT_GT(p, 0x80000000ull);
    EXPECT_EQ(p, firstFrameOf(74990, 10000) * 4);
    EXPECT_EQ(playColumnOf(columns, p, length), 74990u);
}

// Every column of random documents, with and without a partial last column, at every zoom:
// the position of column c is a whole frame inside column c (the first frame at or after the
// column's share of the stream), and it reads back as column c.
TEST(PlayColumn, EveryColumnRoundTripsOnRandomDocuments) {
    std::mt19937 rng(20261208);
    const std::uint32_t blocks[] = {1, 2, 4};
    for (int doc = 0; doc < 60; ++doc) {
        const std::uint32_t block = blocks[doc % 3];
        const std::int32_t framesPerColumn = kZoomLevels[std::size_t(doc) % kZoomLevels.size()];
        std::uint32_t frames = std::uniform_int_distribution<std::uint32_t>(1, 3000000)(rng);
        if (doc % 4 == 0) frames = frames / std::uint32_t(framesPerColumn) * std::uint32_t(framesPerColumn) + std::uint32_t(framesPerColumn);
        const std::uint64_t length = std::uint64_t(frames) * block;
        const std::uint32_t columns = (frames + std::uint32_t(framesPerColumn) - 1) / std::uint32_t(framesPerColumn);
        for (std::uint32_t c = 0; c < columns; ++c) {
            const std::uint64_t p = columnPosition(c, length, columns, block);
            ASSERT_EQ(p % block, 0u) << "doc " << doc << " column " << c;
            ASSERT_LE(p, length);
            ASSERT_EQ(playColumnOf(columns, p, length), c) << "doc " << doc << " column " << c << " of " << columns;
            // The frame lies within the frames the column summarises (or is the column's first
            // frame share when columns are shorter at the end).
            ASSERT_LT(p / block, firstFrameOf(c + 1, std::uint32_t(framesPerColumn)) + 1);
        }
    }
}

TEST(PlayColumn, ZoomStepsStopAtTheEnds) {
    EXPECT_EQ(zoomedIn(10000), 8000);
    EXPECT_EQ(zoomedIn(1000), 1000);
    EXPECT_EQ(zoomedOut(1000), 2000);
    EXPECT_EQ(zoomedOut(10000), 10000);
    std::int32_t z = 10000;
    int steps = 0;
    while (zoomedIn(z) != z) z = zoomedIn(z), ++steps;
    EXPECT_EQ(steps, 5);
}
