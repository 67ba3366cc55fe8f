// The five edits against a plain transcription of their per-sample algorithms: the working
// file rewritten one sample (or one 10 240-byte block) at a time in memory, exactly as the
// edit is described, on random documents, selections and zooms, alone and in chains.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "doc/PeakScan.h"
#include "doc/WorkingFile.h"
#include "edit/Edits.h"
#include "platform/FileIo.h"
#include "session/Session.h"
#include "support/PlainEdits.h"
#include "support/SessionDocument.h"
#include "support/TestFiles.h"
#include "i18n/Messages.h"

using namespace torvane;
using namespace torvane::test;

namespace {


class EditsTest : public SessionDocumentTest {
protected:
    Outcome apply(Op op, Plain& p) {
        NoProgress none;
        switch (op) {
        case Op::Delete: p.deleteSelection(); return session->deleteSelection(none);
        case Op::CutOut: p.cutOut(); return session->cutOut(none);
        case Op::Volume: {
            const int index = int(rng() % 7);
            p.volume(volumeFactor(index), false);
            return session->changeVolume(volumeFactor(index), false, none);
        }
        case Op::Mute: p.volume(0.5f, true); return session->changeVolume(0.5f, true, none);
        case Op::FadeIn: p.fade(true); return session->fadeIn(none);
        case Op::FadeOut: p.fade(false); return session->fadeOut(none);
        }
        return Outcome::failed(MessageId::None);  // no such edit
    }
    // The document read afresh from the plain transcription's bytes: header values and peaks.
    DocumentState reread(const Plain& p) {
        DocumentState d;
        d.workingFilePath = dir.file("plain.wav");
        writeFile(d.workingFilePath, p.file);
        d.view.framesPerColumn = std::int32_t(p.fpc);
        EXPECT_EQ(readWorkingHeader(d), WaveHeaderError::None);
        NoProgress none;
        EXPECT_TRUE(reloadPeakTable(d, none).ok());
        return d;
    }
    void expectSameAs(const Plain& p, const std::string& what) {
        const Bytes edited = readFile(doc().workingFilePath);
        ASSERT_EQ(edited.size(), p.file.size()) << what;
        ASSERT_TRUE(edited == p.file) << what;
        EXPECT_EQ(get32(edited, 4), edited.size() - 8) << what;
        EXPECT_EQ(get32(edited, std::size_t(doc().format.dataOffset) - 4), doc().format.dataSize) << what;
        const DocumentState fresh = reread(p);
        EXPECT_EQ(doc().format.dataSize, fresh.format.dataSize) << what;
        EXPECT_EQ(doc().format.dataEnd, fresh.format.dataEnd) << what;
        EXPECT_EQ(doc().format.frameCount, fresh.format.frameCount) << what;
        EXPECT_EQ(doc().format.duration, fresh.format.duration) << what;
        EXPECT_EQ(doc().view.columnCount, fresh.view.columnCount) << what;
        EXPECT_TRUE(doc().peaks.left == fresh.peaks.left && doc().peaks.right == fresh.peaks.right) << what;
    }
    void selectRandomly() {
        const std::uint32_t columns = doc().view.columnCount;
        if (columns < 2) {
            doc().selection = {0, 0};
            return;
        }
        const std::uint32_t a = std::uint32_t(rng() % (columns - 1));
        doc().selection = {a, a + 1 + std::uint32_t(rng() % (columns - 1 - a))};
    }

    std::mt19937 rng{8};
};

std::string describe(int trial, Op op, const DocumentState& d) {
    return "trial " + std::to_string(trial) + " op " + std::to_string(int(op)) + " " +
           std::to_string(d.format.bitsPerSample) + "-bit " + std::to_string(d.format.channels) + " ch, zoom " +
           std::to_string(d.view.framesPerColumn) + ", selection " + std::to_string(d.selection.startMarker) + ".." +
           std::to_string(d.selection.finishMarker);
}

}  // namespace

// Every edit, on 8 and 16 bits, mono and stereo, canonical and odd layouts, random zooms and
// selections, in chains of six: the bytes, the header sizes, the derived values and the peak
// table equal those of the plain transcription after every step.
TEST_F(EditsTest, FastPathsEqualThePlainTranscriptionOnRandomChains) {
    const Op ops[] = {Op::Delete, Op::CutOut, Op::Volume, Op::Mute, Op::FadeIn, Op::FadeOut};
    int trial = 0;
    for (const std::uint16_t bits : {8, 16})
        for (const std::uint16_t channels : {1, 2})
            for (const bool odd : {false, true}) {
                ++trial;
                const std::uint32_t frames = 60000 + std::uint32_t(rng() % 90000);
                openDoc(randomWav(rng, channels, bits, frames, odd), kZoomLevels[std::size_t(rng() % 6)]);
                for (int step = 0; step < 6; ++step) {
                    if (doc().view.columnCount < 2) break;
                    selectRandomly();
                    const Op op = step == 0 ? ops[std::size_t(trial) % 6] : ops[rng() % 6];
                    Plain p = plain();
                    const std::string what = describe(trial, op, doc());
                    ASSERT_TRUE(apply(op, p).ok()) << what;
                    expectSameAs(p, what);
                    EXPECT_TRUE(doc().modified);
                    EXPECT_EQ(doc().uiMode, ModeStopped);
                }
            }
}

// The whole 1 MiB+ blocks of the fast path cross their boundaries mid-selection here: a long
// 16-bit stereo selection at 1 : 1 against the same transcription.
TEST_F(EditsTest, LongSelectionsCrossBlockBoundaries) {
    openDoc(randomWav(rng, 2, 16, 1500000, false), 1000);
    doc().selection = {3, 1497};
    for (const Op op : {Op::Volume, Op::FadeIn, Op::FadeOut, Op::Delete}) {
        doc().selection = {3, std::min<std::uint32_t>(1497, doc().view.columnCount - 1)};
        Plain p = plain();
        ASSERT_TRUE(apply(op, p).ok());
        expectSameAs(p, "op " + std::to_string(int(op)));
    }
}

TEST_F(EditsTest, SampleValuesAtTheEdges) {
    // 16-bit mono, 10 000 frames a column at 10 : 1, selection = column 0.
    std::vector<std::int16_t> s(20000, 0);
    s[0] = -32768, s[1] = -3, s[2] = 32767, s[3] = -32767;
    const auto volumeOf = [&](float factor) {
        openDoc(makeWav(22050, 1, 16, samples16(s)), 10000);
        doc().selection = {0, 1};
        NoProgress none;
        EXPECT_TRUE(session->changeVolume(factor, false, none).ok());
        const Bytes b = readFile(doc().workingFilePath);
        std::vector<int> v;
        for (int i = 0; i < 4; ++i) v.push_back(std::int16_t(std::uint16_t(b[44 + 2 * i] | (b[45 + 2 * i] << 8))));
        return v;
    };
    EXPECT_EQ(volumeOf(1.5f), (std::vector<int>{-32767, -4, 32767, -32767}));
    EXPECT_EQ(volumeOf(0.5f), (std::vector<int>{-16384, -1, 16383, -16383}));
    // At 100 % nothing is written: -32768 stays, yet the document counts as changed.
    EXPECT_EQ(volumeOf(1.0f), (std::vector<int>{-32768, -3, 32767, -32767}));
    EXPECT_TRUE(doc().modified);

    // 8-bit: byte 127 (-1) at 25 % becomes 128; byte 0 at 250 % and 255 at 200 % stay.
    Bytes eight(20000, 128);
    eight[0] = 127, eight[1] = 0, eight[2] = 255;
    for (const auto& [factor, at, want] : {std::tuple{0.25f, 0, 128}, std::tuple{2.5f, 1, 0}, std::tuple{2.0f, 2, 255}}) {
        openDoc(makeWav(8000, 1, 8, eight), 10000);
        doc().selection = {0, 1};
        NoProgress none;
        ASSERT_TRUE(session->changeVolume(factor, false, none).ok());
        EXPECT_EQ(readFile(doc().workingFilePath)[44 + std::size_t(at)], want) << factor;
    }
}

TEST_F(EditsTest, FirstAndLastStairsOfTheFades) {
    // One column of 10 000 frames selected: stairs of 100 frames.
    std::vector<std::int16_t> s(20000, 32767);
    s[0] = -32768;
    const auto fadeWith = [&](bool in) {
        openDoc(makeWav(22050, 1, 16, samples16(s)), 10000);
        doc().selection = {0, 1};
        NoProgress none;
        EXPECT_TRUE((in ? session->fadeIn(none) : session->fadeOut(none)).ok());
        const Bytes b = readFile(doc().workingFilePath);
        return [b](int frame) { return int(std::int16_t(std::uint16_t(b[44 + 2 * frame] | (b[45 + 2 * frame] << 8)))); };
    };
    const auto in = fadeWith(true);
    EXPECT_EQ(in(0), 0);
    EXPECT_EQ(in(99), 0);       // the first stair is silent
    EXPECT_EQ(in(100), 327);    // 1 %
    EXPECT_EQ(in(9999), 32439); // the last stair is 99 %, not 100 %
    EXPECT_EQ(in(10000), 32767);
    const auto out = fadeWith(false);
    EXPECT_EQ(out(0), -32767);  // 100 %, but for the clamp of -32768
    EXPECT_EQ(out(99), 32767);
    EXPECT_EQ(out(9900), 327);  // the last stair is 1 %, not silence
    EXPECT_EQ(out(10000), 32767);
}

TEST_F(EditsTest, MarkerRulesAfterDeleteAndCutOut) {
    NoProgress none;
    // Select All then Delete: only the last column's audio is left, both markers on 0.
    openDoc(randomWav(rng, 2, 16, 45000, false), 10000);  // 5 columns, the last of 5000 frames
    const Bytes before = readFile(doc().workingFilePath);
    doc().selection = {0, 4};
    ASSERT_TRUE(session->deleteSelection(none).ok());
    EXPECT_EQ(doc().view.columnCount, 1u);
    EXPECT_EQ(doc().format.frameCount, 5000u);
    EXPECT_EQ(doc().selection.startMarker, 0u);
    EXPECT_EQ(doc().selection.finishMarker, 0u);
    const Bytes after = readFile(doc().workingFilePath);
    EXPECT_TRUE(std::equal(after.begin() + 44, after.end(), before.begin() + 44 + 40000 * 4));

    // A one-column document: Delete moves every byte onto itself but counts as an edit.
    ASSERT_TRUE(session->deleteSelection(none).ok());
    EXPECT_TRUE(readFile(doc().workingFilePath) == after);
    EXPECT_TRUE(doc().modified);
    EXPECT_EQ(doc().selection.finishMarker, 0u);

    // Delete in the middle: the start stays, the finish is one column on.
    openDoc(randomWav(rng, 1, 8, 95000, false), 10000);
    doc().selection = {2, 6};
    ASSERT_TRUE(session->deleteSelection(none).ok());
    EXPECT_EQ(doc().view.columnCount, 6u);
    EXPECT_EQ(doc().selection.startMarker, 2u);
    EXPECT_EQ(doc().selection.finishMarker, 3u);

    // Select All then Cut Out drops the last column; the result is selected whole.
    openDoc(randomWav(rng, 1, 16, 45000, false), 10000);
    doc().selection = {0, 4};
    ASSERT_TRUE(session->cutOut(none).ok());
    EXPECT_EQ(doc().format.frameCount, 40000u);
    EXPECT_EQ(doc().selection.startMarker, 0u);
    EXPECT_EQ(doc().selection.finishMarker, 3u);
}

// Cut Out with nothing selected would empty the document: it is refused and nothing changes.
// An edit whose working file cannot be opened says so and changes neither file nor markers.
TEST_F(EditsTest, RefusalsAndFailuresChangeNothing) {
    NoProgress none;
    openDoc(randomWav(rng, 2, 16, 45000, false), 10000);
    const Bytes before = readFile(doc().workingFilePath);
    doc().selection = {3, 3};
    EXPECT_FALSE(session->cutOutAllowed());
    EXPECT_EQ(messageText(session->cutOut(none)), messageText(MessageId::NothingToKeep));
    EXPECT_TRUE(readFile(doc().workingFilePath) == before);
    EXPECT_FALSE(doc().modified);
    EXPECT_EQ(doc().view.columnCount, 5u);

    // Volume or a fade over an empty selection rewrites nothing; the table is rebuilt.
    ASSERT_TRUE(session->fadeIn(none).ok());
    ASSERT_TRUE(session->changeVolume(2.0f, false, none).ok());
    EXPECT_TRUE(readFile(doc().workingFilePath) == before);

    openDoc(randomWav(rng, 2, 16, 45000, false), 10000);
    doc().selection = {1, 3};
    const std::string path = doc().workingFilePath;
    removeFile(path);
    for (int edit = 0; edit < 4; ++edit) {
        const Outcome r = edit == 0   ? session->deleteSelection(none)
                          : edit == 1 ? session->cutOut(none)
                          : edit == 2 ? session->changeVolume(0.5f, false, none)
                                      : session->fadeOut(none);
        EXPECT_EQ(messageText(r), messageText(MessageId::CannotOpenTempFile)) << edit;
        EXPECT_FALSE(fileExists(path));
        EXPECT_FALSE(doc().modified);
        EXPECT_EQ(doc().selection.startMarker, 1u);
        EXPECT_EQ(doc().selection.finishMarker, 3u);
        EXPECT_FALSE(session->busy());
    }
}

// Each edit's plan holds what its apply() loses: the file after the edit, with the plan's moves
// carried back and its saved bytes (taken before) written back, is the file before. Random
// documents whose markers, data or file end anywhere, trailing chunks included.
TEST_F(EditsTest, PlanGivesBackTheFileBeforeApplyOnRandomDocuments) {
    const EditKind kinds[] = {EditKind::Delete, EditKind::CutOut, EditKind::Volume,
                              EditKind::Mute,   EditKind::FadeIn, EditKind::FadeOut};
    for (int trial = 0; trial < 120; ++trial) {
        const auto channels = std::uint16_t(trial % 4 < 2 ? 1 : 2), bits = std::uint16_t(trial % 2 ? 16 : 8);
        DocumentState d;
        d.workingFilePath = dir.file("edit.wav");
        d.view.framesPerColumn = 1 + std::int32_t(rng() % 3000);
        writeFile(d.workingFilePath, randomWav(rng, channels, bits, 1000 + rng() % 30000, trial % 3 == 0));
        ASSERT_EQ(readWorkingHeader(d), WaveHeaderError::None);
        Bytes before = readFile(d.workingFilePath);
        if (trial % 5 == 0) before.resize(before.size() - rng() % 3000);  // the data runs past the file
        writeFile(d.workingFilePath, before);
        const std::uint32_t columns = d.view.columnCount + 3;
        d.selection.startMarker = std::uint32_t(rng() % columns);
        d.selection.finishMarker = d.selection.startMarker + std::uint32_t(rng() % (columns - d.selection.startMarker));
        const auto edit = makeEdit(kinds[trial % 6], volumeFactor(int(rng() % 7)));
        const UndoPlan plan = edit->plan(d, before.size());
        NoProgress none;
        ASSERT_TRUE(edit->apply(d, none).ok());

        Bytes back = readFile(d.workingFilePath);
        back.resize(std::max<std::size_t>(back.size(), plan.length), 0);
        for (auto m = plan.moves.rbegin(); m != plan.moves.rend(); ++m)
            for (std::uint64_t i = m->size; i-- > 0;)
                if (m->to + i < back.size()) back[m->to + i] = m->from + i < back.size() ? back[m->from + i] : 0;
        for (const UndoPlan::Range& r : plan.saved)
            std::copy_n(before.begin() + std::ptrdiff_t(r.at), r.size, back.begin() + std::ptrdiff_t(r.at));
        back.resize(plan.length);
        ASSERT_TRUE(back == before) << "trial " << trial;
    }
}

// Volume, Mute and the fades keep undo's bytes in the pass that rewrites them, in blocks of any
// size: the working file is the plain model's, the step's file holds the old bytes of the plan's
// ranges, and the peak table told the new bytes is a full scan of the result. A file cut short
// under the edit, or a step's file that takes no writes, fails it, with the blocks already
// rewritten given back their old bytes.
TEST_F(EditsTest, OnePassKeepsUndoAndPeaksOnRandomDocuments) {
    const EditKind kinds[] = {EditKind::Volume, EditKind::Mute, EditKind::FadeIn, EditKind::FadeOut};
    for (int trial = 0; trial < 96; ++trial) {
        const auto channels = std::uint16_t(trial % 4 < 2 ? 1 : 2), bits = std::uint16_t(trial % 8 < 4 ? 16 : 8);
        DocumentState d;
        d.workingFilePath = dir.file("edit.wav");
        d.view.framesPerColumn = kZoomLevels[rng() % 6];
        writeFile(d.workingFilePath, randomWav(rng, channels, bits, 12000 + rng() % 150000, trial % 3 == 0));
        NoProgress none;
        ASSERT_EQ(readWorkingHeader(d), WaveHeaderError::None);
        ASSERT_TRUE(reloadPeakTable(d, none).ok());
        const std::uint32_t columns = d.view.columnCount, start = std::uint32_t(rng() % (columns - 1));
        d.selection = {start, start + 1 + std::uint32_t(rng() % (columns - 1 - start))};
        const Bytes before = readFile(d.workingFilePath);
        const float factor = volumeFactor(int(rng() % 7));
        const auto edit = makeEdit(kinds[trial % 4], factor);
        const UndoPlan plan = edit->plan(d, before.size());
        Plain p{before, std::uint32_t(d.format.dataOffset), std::uint32_t(d.format.dataEnd), d.format.blockSize,
                std::uint32_t(d.view.framesPerColumn), d.selection.startMarker, d.selection.finishMarker, bits};
        if (trial % 4 < 2) p.volume(factor, trial % 4 == 1);
        else p.fade(trial % 4 == 2);

        // Every seventh step's file takes no writes (a full disk, say): nothing may change.
        const bool unwritable = trial % 7 == 6 && edit->changesFile();
        File undo = File::open(dir.file("undo.bin"), File::Mode::Create);
        if (unwritable) undo = File::open(dir.file("undo.bin"), File::Mode::Read);
        PeakUpdate peaks(d);
        std::uint64_t kept = 0, cut = 0;
        OnePass pass;
        pass.undo = &undo;
        pass.blockBytes = 1 + rng() % 40000;
        pass.kept = [&](std::uint64_t n) {
            EXPECT_GT(n, kept);
            kept = n;
            if (trial % 5 == 4 && !cut && n < plan.savedBytes()) {
                cut = plan.saved[0].at + n + rng() % (plan.savedBytes() - n);
                EXPECT_TRUE(File::open(d.workingFilePath, File::Mode::ReadWrite).truncate(cut));
            }
        };
        pass.written = [&](const unsigned char* b, std::size_t n, std::uint64_t at) { peaks.written(b, n, at); };
        const Outcome r = edit->apply(d, none, {}, pass);
        const std::string what = "trial " + std::to_string(trial);
        if (unwritable && !cut) {
            EXPECT_EQ(r.message, MessageId::CannotWriteUndo) << what;
            EXPECT_TRUE(readFile(d.workingFilePath) == before) << what;
            continue;
        }
        if (cut) {
            EXPECT_EQ(r.message, MessageId::CannotWriteUndo) << what;
            const Bytes left(before.begin(), before.begin() + std::ptrdiff_t(cut));
            EXPECT_TRUE(readFile(d.workingFilePath) == left) << what;
            continue;
        }
        ASSERT_TRUE(r.ok()) << what;
        ASSERT_TRUE(readFile(d.workingFilePath) == p.file) << what;
        Bytes saved;
        for (const UndoPlan::Range& s : plan.saved)
            saved.insert(saved.end(), before.begin() + std::ptrdiff_t(s.at),
                         before.begin() + std::ptrdiff_t(s.at + s.size));
        EXPECT_EQ(kept, saved.size()) << what;
        EXPECT_TRUE(readFile(dir.file("undo.bin")) == saved) << what;
        ASSERT_TRUE(peaks.finish(File::open(d.workingFilePath, File::Mode::Read), d));
        DocumentState fresh = d;
        ASSERT_TRUE(reloadPeakTable(fresh, none).ok());
        EXPECT_TRUE(d.peaks.left == fresh.peaks.left && d.peaks.right == fresh.peaks.right) << what;
    }
}
