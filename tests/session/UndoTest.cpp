// Undo and Redo of the five edits on random documents, against the plain per-sample
// transcriptions of the edits: the bytes before each edit are those the test itself kept,
// the bytes after it those of the plain model, never the editor's own output.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <random>

#include "doc/PeakScan.h"
#include "doc/WorkingFile.h"
#include "edit/Edits.h"
#include "platform/FileIo.h"
#include "platform/Prompts.h"
#include "session/Session.h"
#include "support/PlainEdits.h"
#include "support/SessionDocument.h"
#include "support/TestFiles.h"
#include "i18n/Messages.h"

using namespace torvane;
using namespace torvane::test;

namespace {


// What the document should be at one point of a chain, from the test's own records.
struct State {
    Bytes file;
    std::int32_t fpc = 0;
    Selection selection;
};

std::size_t undoFilesIn(const std::string& folder) {
    std::size_t n = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        if (e.path().filename().string().rfind("Undo", 0) == 0) ++n;
    return n;
}

class UndoTest : public SessionDocumentTest {
protected:
    State now() { return {readFile(doc().workingFilePath), doc().view.framesPerColumn, doc().selection}; }
    // Runs `op` on the session and on the plain model of `before`; the model's bytes.
    Bytes apply(Op op, const Bytes& before) {
        Plain p = plain(before);
        NoProgress none;
        Outcome r;
        switch (op) {
        case Op::Delete: p.deleteSelection(); r = session->deleteSelection(none); break;
        case Op::CutOut: p.cutOut(); r = session->cutOut(none); break;
        case Op::Volume: {
            const float f = volumeFactor(int(rng() % 7));
            p.volume(f, false);
            r = session->changeVolume(f, false, none);
            break;
        }
        case Op::Mute: p.volume(0.5f, true); r = session->changeVolume(0.5f, true, none); break;
        case Op::FadeIn: p.fade(true); r = session->fadeIn(none); break;
        case Op::FadeOut: p.fade(false); r = session->fadeOut(none); break;
        }
        EXPECT_TRUE(r.ok()) << messageText(r);
        return p.file;
    }
    void selectRandomly() {
        const std::uint32_t columns = doc().view.columnCount;
        const std::uint32_t a = std::uint32_t(rng() % (columns - 1));
        doc().selection = {a, a + 1 + std::uint32_t(rng() % (columns - 1 - a))};
    }
    // The working file is `file`, and the header values and the peak table are those read
    // afresh from a copy of it at zoom `fpc`.
    void expectDocumentIs(const Bytes& file, std::int32_t fpc, const std::string& what) {
        const Bytes actual = readFile(doc().workingFilePath);
        ASSERT_EQ(actual.size(), file.size()) << what;
        ASSERT_TRUE(actual == file) << what;
        DocumentState fresh;
        fresh.workingFilePath = dir.file("fresh.wav");
        writeFile(fresh.workingFilePath, file);
        fresh.view.framesPerColumn = fpc;
        ASSERT_EQ(readWorkingHeader(fresh), WaveHeaderError::None) << what;
        NoProgress none;
        ASSERT_TRUE(reloadPeakTable(fresh, none).ok());
        const WaveFormat& a = doc().format;
        const WaveFormat& b = fresh.format;
        EXPECT_TRUE(a.channels == b.channels && a.sampleRate == b.sampleRate && a.bitsPerSample == b.bitsPerSample &&
                    a.dataSize == b.dataSize && a.dataEnd == b.dataEnd && a.duration == b.duration &&
                    a.dataOffset == b.dataOffset && a.blockSize == b.blockSize && a.frameCount == b.frameCount)
            << what;
        EXPECT_EQ(doc().view.framesPerColumn, fpc) << what;
        EXPECT_EQ(doc().view.columnCount, fresh.view.columnCount) << what;
        EXPECT_TRUE(doc().peaks.left == fresh.peaks.left && doc().peaks.right == fresh.peaks.right) << what;
    }
    void expectSelection(const Selection& s, const std::string& what) {
        EXPECT_EQ(doc().selection.startMarker, s.startMarker) << what;
        EXPECT_EQ(doc().selection.finishMarker, s.finishMarker) << what;
    }

    std::mt19937 rng{20261208};
};

}  // namespace

// Random chains of the five edits on 8 and 16 bits, mono and stereo, plain and odd layouts,
// with zoom changes between them: undoing every step gives back each earlier state (bytes,
// header values, zoom, peaks, markers, modified flag), redoing gives the plain model's result
// of each edit, and undoing again goes back to the opened file.
TEST_F(UndoTest, ChainsUndoToEachEarlierStateAndRedoToThePlainModel) {
    const Op ops[] = {Op::Delete, Op::CutOut, Op::Volume, Op::Mute, Op::FadeIn, Op::FadeOut};
    int trial = 0;
    for (int round = 0; round < 2; ++round)
        for (const std::uint16_t bits : {8, 16})
            for (const std::uint16_t channels : {1, 2})
                for (const bool odd : {false, true}) {
                    ++trial;
                    const std::uint32_t frames = 40000 + std::uint32_t(rng() % 120000);
                    openDoc(randomWav(rng, channels, bits, frames, odd), kZoomLevels[rng() % 6]);
                    NoProgress none;
                    std::vector<State> before;  // before each edit, as the test saw it
                    std::vector<Bytes> after;   // the plain model's result of each edit
                    const int length = 1 + int(rng() % 7);
                    for (int step = 0; step < length; ++step) {
                        if (rng() % 3 == 0) {
                            ASSERT_TRUE(session->zoomTo(kZoomLevels[rng() % 6], none).ok());
                        }
                        if (doc().view.columnCount < 2) break;
                        selectRandomly();
                        before.push_back(now());
                        after.push_back(apply(ops[rng() % 6], before.back().file));
                        ASSERT_TRUE(readFile(doc().workingFilePath) == after.back()) << "trial " << trial;
                    }
                    const std::string what = "trial " + std::to_string(trial);
                    for (std::size_t i = before.size(); i-- > 0;) {
                        ASSERT_TRUE(session->canUndo()) << what;
                        ASSERT_TRUE(session->undo(none).ok()) << what;
                        expectDocumentIs(before[i].file, before[i].fpc, what + " undo " + std::to_string(i));
                        expectSelection(before[i].selection, what);
                        EXPECT_EQ(doc().modified, i != 0) << what;
                        EXPECT_EQ(doc().uiMode, ModeStopped);
                    }
                    EXPECT_FALSE(session->canUndo());
                    EXPECT_EQ(messageText(session->undo(none)), messageText(MessageId::NothingToUndo));
                    for (std::size_t i = 0; i < after.size(); ++i) {
                        // Markers and zoom moved meanwhile must not change what the redo does.
                        if (doc().view.columnCount > 2) doc().selection = {1, 2};
                        ASSERT_TRUE(session->redo(none).ok()) << what;
                        expectDocumentIs(after[i], before[i].fpc, what + " redo " + std::to_string(i));
                        EXPECT_TRUE(doc().modified);
                    }
                    EXPECT_FALSE(session->canRedo());
                    EXPECT_EQ(messageText(session->redo(none)), messageText(MessageId::NothingToRedo));
                    while (session->canUndo()) ASSERT_TRUE(session->undo(none).ok());
                    if (!before.empty()) expectDocumentIs(before[0].file, before[0].fpc, what + " back to the start");
                    EXPECT_FALSE(doc().modified);
                }
}

// A new edit after undo drops what could be redone; a save makes its step the unmodified one.
TEST_F(UndoTest, NewEditDropsRedoAndSaveMovesTheUnmodifiedStep) {
    NoProgress none;
    openDoc(randomWav(rng, 2, 16, 200000, false), 10000);
    const Bytes original = readFile(doc().workingFilePath);
    doc().selection = {2, 9};
    const Bytes faded = apply(Op::FadeIn, original);
    doc().selection = {4, 12};
    apply(Op::Delete, faded);
    apply(Op::Mute, readFile(doc().workingFilePath));
    ASSERT_TRUE(session->undo(none).ok());
    ASSERT_TRUE(session->undo(none).ok());
    EXPECT_TRUE(session->canRedo());
    EXPECT_EQ(session->redoName(), "Delete");
    EXPECT_EQ(session->undoName(), "FadeIn");
    doc().selection = {0, 3};
    const Bytes cut = apply(Op::CutOut, faded);
    EXPECT_FALSE(session->canRedo());
    EXPECT_EQ(session->undoName(), "CutOut");
    EXPECT_EQ(session->journal().size(), 2u);
    EXPECT_EQ(undoFilesIn(doc().tempFolder), 2u);

    // Saved after the Cut Out: one undo is modified, the redo back to it is not.
    ScriptedPrompts prompts;
    ASSERT_TRUE(session->save(dir.file("saved.wav"), none).ok());
    EXPECT_FALSE(doc().modified);
    ASSERT_TRUE(session->undo(none).ok());
    expectDocumentIs(faded, 10000, "undo of the Cut Out");
    EXPECT_TRUE(doc().modified);
    ASSERT_TRUE(session->redo(none).ok());
    expectDocumentIs(cut, 10000, "redo of the Cut Out");
    EXPECT_FALSE(doc().modified);
    ASSERT_TRUE(session->undo(none).ok());
    ASSERT_TRUE(session->undo(none).ok());
    expectDocumentIs(original, 10000, "the opened file");
    EXPECT_TRUE(doc().modified);  // the saved state is the Cut Out, not the opened file

    // A new edit from here: the saved step can no longer be reached.
    doc().selection = {1, 5};
    apply(Op::Volume, original);
    EXPECT_TRUE(doc().modified);
    ASSERT_TRUE(session->undo(none).ok());
    EXPECT_TRUE(doc().modified);
}

// A tiny limit: the oldest steps go first; an edit larger than the limit asks first, and No
// leaves the document, its history and its flag as they were; Yes edits without undo.
TEST_F(UndoTest, LimitDropsOldestStepsAndAsksForAnEditTooLarge) {
    NoProgress none;
    openDoc(randomWav(rng, 1, 16, 100000, false), 10000);  // 10 columns of 20 000 bytes
    session->setUndoLimit(50000);
    int asked = 0;
    bool answer = false;
    session->setWithoutUndoQuestion([&](MessageId) {
        ++asked;
        return answer;
    });
    std::vector<Bytes> states{readFile(doc().workingFilePath)};
    for (int i = 0; i < 4; ++i) {
        doc().selection = {std::uint32_t(i), std::uint32_t(i + 1)};  // 20 000 bytes each
        states.push_back(apply(i % 2 ? Op::FadeOut : Op::FadeIn, states.back()));
    }
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(session->journal().size(), 2u);
    EXPECT_LE(session->journal().bytes(), 50000u);
    EXPECT_EQ(undoFilesIn(doc().tempFolder), 2u);
    ASSERT_TRUE(session->undo(none).ok());
    ASSERT_TRUE(session->undo(none).ok());
    expectDocumentIs(states[2], 10000, "two steps back");
    EXPECT_FALSE(session->canUndo());
    EXPECT_TRUE(doc().modified);  // the opened state fell out of the history
    ASSERT_TRUE(session->redo(none).ok());

    // Three columns = 60 000 bytes: more than the limit alone.
    const Bytes here = readFile(doc().workingFilePath);
    doc().selection = {2, 5};
    const Outcome no = session->fadeIn(none);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(no.wasCancelled());
    EXPECT_TRUE(readFile(doc().workingFilePath) == here);
    expectSelection({2, 5}, "after No");
    EXPECT_TRUE(session->canUndo());
    EXPECT_TRUE(session->canRedo());
    EXPECT_EQ(session->journal().size(), 2u);

    // Delete of the same columns saves the header, the selection and nothing after the data.
    answer = true;
    Plain p = plain(here);
    p.deleteSelection();
    ASSERT_TRUE(session->deleteSelection(none).ok());
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(readFile(doc().workingFilePath) == p.file);
    EXPECT_FALSE(session->canUndo());
    EXPECT_FALSE(session->canRedo());
    EXPECT_EQ(undoFilesIn(doc().tempFolder), 0u);
    EXPECT_TRUE(doc().modified);
}

// The journal's files go with the document: at close, at the next open and with the session.
TEST_F(UndoTest, JournalFilesGoWithTheDocument) {
    NoProgress none;
    for (int way = 0; way < 3; ++way) {
        openDoc(randomWav(rng, 2, 8, 80000, true), 6000);
        const std::string folder = doc().tempFolder;
        for (int i = 0; i < 3; ++i) {
            selectRandomly();
            apply(Op(rng() % 6), readFile(doc().workingFilePath));
            if (doc().view.columnCount < 2) break;
        }
        ASSERT_GT(undoFilesIn(folder), 0u);
        if (way == 0) session->close();
        if (way == 1) {
            ASSERT_TRUE(session->open(dir.file("source.wav"), none).ok());
        }
        if (way == 2) session.reset();
        EXPECT_EQ(undoFilesIn(folder), 0u) << way;
        if (session) {
            EXPECT_FALSE(session->canUndo());
        }
    }
}

// Faults: a step file removed under the editor makes the undo fail with a message and leaves
// the step in place; an edit that fails (its working file gone) leaves no step behind.
TEST_F(UndoTest, MissingStepFileAndFailedEditLeaveNoHalfStep) {
    NoProgress none;
    openDoc(randomWav(rng, 2, 16, 90000, false), 10000);
    doc().selection = {1, 4};
    apply(Op::FadeOut, readFile(doc().workingFilePath));
    const Bytes edited = readFile(doc().workingFilePath);
    for (const auto& e : std::filesystem::directory_iterator(doc().tempFolder))
        if (e.path().filename().string().rfind("Undo", 0) == 0) std::filesystem::remove(e.path());
    EXPECT_EQ(messageText(session->undo(none)), messageText(MessageId::CannotReadUndo));
    EXPECT_TRUE(readFile(doc().workingFilePath) == edited);
    EXPECT_TRUE(session->canUndo());
    EXPECT_FALSE(session->busy());

    openDoc(randomWav(rng, 2, 16, 90000, false), 10000);
    doc().selection = {1, 4};
    removeFile(doc().workingFilePath);
    EXPECT_FALSE(session->fadeIn(none).ok());
    EXPECT_FALSE(session->canUndo());
    EXPECT_EQ(undoFilesIn(doc().tempFolder), 0u);
}

// A disk that fills while an undo grows the file back (Delete, Cut Out): in a child process
// with a file-size limit just above the edited file (SIGXFSZ ignored, as under `ulimit -f`),
// the undo fails with a message, the working file is still the edited one byte for byte and
// the step can still be undone; with the limit lifted the same undo gives back the original.
TEST_F(UndoTest, ADiskThatFillsDuringAnUndoLeavesTheEditedFile) {
    NoProgress none;
    for (const Op op : {Op::Delete, Op::CutOut}) {
        openDoc(randomWav(rng, 2, 16, 120000, true), 1000);  // 120 columns of 4000 bytes
        const Bytes original = readFile(doc().workingFilePath);
        doc().selection = {10, 70};
        const Bytes edited = apply(op, original);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit r{rlim_t(edited.size() + 1000), RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &r);
            const Outcome full = session->undo(none);
            if (messageText(full) != messageText(MessageId::CannotWriteWorkingFile)) _exit(1);
            if (!(readFile(doc().workingFilePath) == edited) || !session->canUndo()) _exit(2);
            const rlimit lifted{RLIM_INFINITY, RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &lifted);
            if (!session->undo(none).ok() || !(readFile(doc().workingFilePath) == original)) _exit(3);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << int(op) << " (1: no failure, 2: file changed, 3: no undo after)";
    }
}
