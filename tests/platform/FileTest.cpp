// The block copy against a plain byte-by-byte copy: random files, offsets and lengths across
// several blocks, within one file (overlapping either way) and between two, with Cancel at
// random points.

#include <gtest/gtest.h>

#include <random>

#include "platform/File.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

TEST(CopyBlocks, EqualsAPlainByteCopyOnRandomMovesAndStops) {
    TempDir dir;
    std::mt19937 rng(5);
    const auto below = [&rng](std::uint64_t n) { return n ? std::uint64_t(rng()) % n : 0; };
    for (int trial = 0; trial < 24; ++trial) {
        // Between two files; within one towards the end over itself (an undo's move, every byte
        // there); within one towards the start (an edit's move, perhaps past the end of the file).
        const int shape = trial % 3;
        const bool sameFile = shape != 0;
        Bytes a = randomBytes(std::size_t(2 * kBlockBytes + below(kBlockBytes)), rng);
        Bytes b = randomBytes(std::size_t(below(kBlockBytes)), rng);
        writeFile(dir.file("a"), a);
        writeFile(dir.file("b"), b);
        File fa = File::open(dir.file("a"), File::Mode::ReadWrite);
        File fb = File::open(dir.file("b"), File::Mode::ReadWrite);
        std::uint64_t from = below(a.size() / 4), to = below(b.size() + 1), length = below(2 * kBlockBytes);
        if (shape == 1) {
            to = from + 1 + below(kBlockBytes / 4);
            length = a.size() - to - below(kBlockBytes / 4);
        } else if (shape == 2) {
            from = below(a.size() + 1);
            to = from - below(std::min<std::uint64_t>(from, kBlockBytes / 4) + 1);
        }
        const std::string what = "trial " + std::to_string(trial);
        RecordingProgress progress(trial % 4 == 0 ? int(below(4)) : -1);
        CopyBar bar(progress, 0, length, true);
        std::vector<std::uint64_t> told;
        const Copied c = copyBlocks(fa, from, sameFile ? fa : fb, to, length, &bar,
                                    [&told](std::uint64_t n) { told.push_back(n); });

        // The plain copy of what the result says was copied: the first bytes, or the last ones
        // of a move towards the end.
        const std::uint64_t there = from < a.size() ? a.size() - from : 0;
        const bool backwards = sameFile && to > from && to < from + length;
        if (c.end == CopyEnd::Stopped) {
            ASSERT_LT(c.bytes, length) << what;
        } else {
            ASSERT_EQ(c.bytes, std::min(length, there)) << what;
            ASSERT_EQ(c.end, c.bytes == length ? CopyEnd::Done : CopyEnd::EndOfFile) << what;
        }
        Bytes& dest = sameFile ? a : b;
        const std::uint64_t skip = backwards ? length - c.bytes : 0;
        if (dest.size() < to + skip + c.bytes) dest.resize(std::size_t(to + skip + c.bytes), 0);
        if (to > from && sameFile)
            for (std::uint64_t i = c.bytes; i-- > 0;) dest[to + skip + i] = a[from + skip + i];
        else
            for (std::uint64_t i = 0; i < c.bytes; ++i) dest[to + i] = a[from + i];
        ASSERT_TRUE(readFile(dir.file("a")) == a) << what;
        ASSERT_TRUE(readFile(dir.file("b")) == b) << what;

        // Told in order, never past the gap of a move towards the start, up to what was copied.
        if (!backwards && c.bytes) {
            ASSERT_EQ(told.back(), c.bytes) << what;
        }
        for (std::size_t i = 0; i < told.size(); ++i) {
            const std::uint64_t step = told[i] - (i ? told[i - 1] : 0);
            ASSERT_GT(step, 0u) << what;
            if (sameFile && from > to) {
                ASSERT_LE(step, from - to) << what;
            }
        }
    }
}
