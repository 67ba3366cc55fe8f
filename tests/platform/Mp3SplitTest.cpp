// An MP3 cut into parts decodes, joined, to the one-thread decode wherever the cuts fall.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>

#include "platform/Decoder.h"
#include "platform/Mp3Split.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

namespace {

Bytes oneThread(const std::string& path) {
    const auto d = Decoder::open(path, Decoder::Container::MpegOrWave);
    Bytes out, buf(10000);
    while (d && d->active()) out.insert(out.end(), buf.begin(), buf.begin() + d->read(buf.data(), 10000));
    return out;
}

// The parts decoded one after another, each where the plan puts it.
Bytes joined(const Mp3Split& s) {
    Bytes out;
    const std::atomic<bool> stop{false};
    for (std::size_t k = 0; k < s.partCount(); ++k) {
        EXPECT_EQ(out.size(), s.partOffset(k));
        const auto end = s.decodePart(k, [&](const unsigned char* p, std::size_t n) {
            out.insert(out.end(), p, p + n);
            return true;
        }, stop);
        EXPECT_EQ(end, Mp3Split::PartEnd::Done) << "part " << k;
    }
    return out;
}

}  // namespace

TEST(Mp3Split, PartsJoinedAreTheOneThreadDecodeWhereverTheCutsFall) {
    TempDir dir;
    std::mt19937 rng(2027);
    const int rates[] = {32000, 44100, 48000, 16000, 22050, 24000};
    const char* const kinds[] = {"--cbr -b 32", "--cbr -b 128", "-V 2", "-V 7", "-t --cbr -b 64", "--add-id3v2 --tt x -V 5"};
    int cut = 0;
    for (int file = 0; file < 26; ++file) {
        const int rate = rates[file % 6], channels = 1 + int(rng() % 2);
        const bool last = file == 25;
        const std::size_t samples = (last ? 1500 : 1 + rng() % 40) * (rate < 32000 ? 576 : 1152);
        // Noise at changing loudness, silence among it: the encoder leans on its bit reservoir.
        Bytes pcm = randomBytes(samples * channels * 2, rng);
        for (std::size_t at = 0; at < pcm.size(); at += 2) {
            const int shift = int((at / 4096) % 9);
            const auto v = std::int16_t(std::int16_t(pcm[at] | pcm[at + 1] << 8) >> (shift == 8 ? 15 : shift));
            pcm[at] = std::uint8_t(v), pcm[at + 1] = std::uint8_t(std::uint16_t(v) >> 8);
        }
        const std::string wav = dir.file("in.wav"), mp3 = dir.file("f" + std::to_string(file) + ".mp3");
        writeFile(wav, makeWav(std::uint32_t(rate), std::uint16_t(channels), 16, pcm));
        ASSERT_TRUE(run("lame --quiet --resample " + std::to_string(rate / 1000.0) + " " + kinds[rng() % 6] + " " +
                        quote(wav) + " " + quote(mp3)));
        // The file, and the file cut off anywhere (from one frame, the last one short).
        const std::string shortened = dir.file("short.mp3");
        Bytes head = readFile(mp3);
        head.resize(1 + rng() % head.size());
        writeFile(shortened, head);
        for (const std::string& path : {mp3, shortened}) {
            const Bytes reference = oneThread(path);
            const auto whole = Mp3Split::plan(path, 2);
            if (!whole) continue;  // a single frame
            const std::size_t frames = whole->frameCount();
            std::vector<std::vector<std::size_t>> cutSets;
            if (!last)
                for (std::size_t b = 0; b <= frames; ++b) cutSets.push_back({b});
            for (int i = 0; i < (last ? 30 : 4); ++i) {
                std::vector<std::size_t> cuts(1 + rng() % 4);
                for (auto& b : cuts) b = rng() % frames;
                std::sort(cuts.begin(), cuts.end());
                cutSets.push_back(cuts);
            }
            for (const auto& cuts : cutSets) {
                const auto s = Mp3Split::plan(path, 2, {}, cuts);
                if (!s) continue;
                cut += int(s->partCount()) - 1;
                ASSERT_TRUE(joined(*s) == reference) << path << " cut at " << ::testing::PrintToString(cuts);
                EXPECT_GE(s->totalBytes(), reference.size());
            }
        }
        if (!last) continue;
        // Sources that cannot be cut: a rate change part-way, bytes between two frames.
        const std::string joinedFile = dir.file("joined.mp3"), junk = dir.file("junk.mp3");
        ASSERT_TRUE(run("cat " + quote(mp3) + " " + quote(dir.file("f0.mp3")) + " > " + quote(joinedFile)));
        EXPECT_EQ(Mp3Split::plan(joinedFile, 2), nullptr);
        Bytes bytes = readFile(mp3);
        bytes.insert(bytes.begin() + std::ptrdiff_t(bytes.size() / 2), {0x00, 0x11, 0x22});
        writeFile(junk, bytes);
        const auto s = Mp3Split::plan(junk, 2);
        EXPECT_TRUE(!s || joined(*s) == oneThread(junk));
    }
    EXPECT_GT(cut, 500);
}
