// A document with unsaved changes outlives the editor that held it: a child process opens and
// edits a file and is killed with SIGKILL; the next start finds it, offers it, and gives back
// the edited audio, the markers and the zoom.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include "doc/RecoveryState.h"
#include "doc/WorkingFile.h"
#include "session/Session.h"
#include "platform/TerminationCleanup.h"
#include "support/PlainEdits.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

namespace {

class Recovery : public ::testing::Test {
protected:
    void SetUp() override {
        std::mt19937 rng(21);
        std::vector<std::int16_t> s(2 * 8000 * 9);
        for (auto& v : s) v = std::int16_t(std::uniform_int_distribution<int>(-32768, 32767)(rng));
        source = sources.file("song.wav");
        writeFile(source, makeWav(8000, 2, 16, samples16(s)));
    }

    // A child that opens the source at 4 000 frames a column, fades columns 3..12 in, selects
    // 5..9 and waits to be killed; returns its pid once the edit is recorded.
    pid_t editInAChildAndWait(bool handleSignals = false) {
        int ready[2];
        EXPECT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        if (child == 0) {
            close(ready[0]);
            if (handleSignals) installTerminationCleanup();
            Session s;
            s.keepRecoveryState(true);
            NoProgress none;
            if (!s.createFolder(parent.path()) || !s.open(source, none).ok()) _exit(1);
            if (!s.zoomTo(4000, none).ok()) _exit(1);
            s.stateForTests().selection = {3, 12};
            if (!s.fadeIn(none).ok()) _exit(1);
            s.stateForTests().selection = {5, 8};
            s.setFinishMarker();  // the play column is 0: refused, nothing changes
            s.stateForTests().selection.finishMarker = 9;
            s.selectAll();        // recorded: the whole document
            s.stateForTests().selection = {5, 9};
            if (!s.changeVolume(0.5f, false, none).ok()) _exit(1);  // recorded with 5..9
            const char go = 1;
            if (write(ready[1], &go, 1) != 1) _exit(1);
            pause();
            _exit(0);
        }
        close(ready[1]);
        char go = 0;
        EXPECT_EQ(read(ready[0], &go, 1), 1);
        close(ready[0]);
        return child;
    }

    // The source with the child's two edits applied by the plain transcription.
    Bytes expectedWorkingFile() const {
        const Bytes src = readFile(source);
        Plain p{src, 44, std::uint32_t(src.size()), 4, 4000, 3, 12, 16};
        p.fade(true);
        p.start = 5;
        p.finish = 9;
        p.volume(0.5f, false);
        return p.file;
    }

    TempDir sources, parent;
    std::string source;
};

std::set<std::string> foldersIn(const std::string& parent) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(parent)) names.insert(e.path().filename().string());
    return names;
}

TEST_F(Recovery, AKilledEditorsDocumentComesBackAsItWas) {
    const pid_t child = editInAChildAndWait();
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    // A live instance's folder is never offered, nor touched by a start.
    Session live;
    live.keepRecoveryState(true);
    NoProgress none;
    ASSERT_TRUE(live.createFolder(parent.path()));
    ASSERT_TRUE(live.open(source, none).ok());
    live.stateForTests().selection = {1, 4};
    ASSERT_TRUE(live.fadeOut(none).ok());

    Session next;
    ASSERT_TRUE(next.createFolder(parent.path()));
    const auto offered = next.foldersToRecover();
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_NE(offered[0].find("torvane-" + std::to_string(child) + "-"), std::string::npos);

    // While one start offers it, another neither offers nor removes it; once let go, it may.
    {
        Session other;
        ASSERT_TRUE(other.createFolder(parent.path()));
        EXPECT_TRUE(other.foldersToRecover().empty());
        next.endRecoveryOffer();
        EXPECT_EQ(other.foldersToRecover(), offered);
    }
    ASSERT_EQ(next.foldersToRecover(), offered);
    ASSERT_TRUE(next.recover(offered[0], none).ok());

    const DocumentState& d = next.doc();
    EXPECT_TRUE(readFile(d.workingFilePath) == expectedWorkingFile());
    EXPECT_EQ(d.documentPath, source);
    EXPECT_EQ(d.view.framesPerColumn, 4000);
    EXPECT_EQ(d.view.columnCount, 18u);
    EXPECT_EQ(d.selection.startMarker, 5u);
    EXPECT_EQ(d.selection.finishMarker, 9u);
    EXPECT_TRUE(d.modified);
    EXPECT_TRUE(d.loaded);
    EXPECT_FALSE(std::filesystem::exists(offered[0]));
    EXPECT_TRUE(live.doc().modified);
    EXPECT_TRUE(std::filesystem::exists(live.doc().workingFilePath));
    EXPECT_TRUE(next.foldersToRecover().empty());

    // With its undo history: two undos give the source back and the document unmodified; a
    // redo gives the fade again.
    ASSERT_TRUE(next.canUndo());
    ASSERT_TRUE(next.undo(none).ok());
    ASSERT_TRUE(next.undo(none).ok());
    EXPECT_FALSE(next.canUndo());
    EXPECT_TRUE(readFile(d.workingFilePath) == readFile(source));
    EXPECT_FALSE(d.modified);
    EXPECT_EQ(d.selection.startMarker, 3u);
    EXPECT_EQ(d.selection.finishMarker, 12u);
    ASSERT_TRUE(next.redo(none).ok());
    const Bytes src = readFile(source);
    Plain fadeOnly{src, 44, std::uint32_t(src.size()), 4, 4000, 3, 12, 16};
    fadeOnly.fade(true);
    EXPECT_TRUE(readFile(d.workingFilePath) == fadeOnly.file);
    EXPECT_TRUE(d.modified);
}

TEST_F(Recovery, NothingIsOfferedThatCannotBeTrusted) {
    // Killed twice: one working file is then cut short (as by a kill in the middle of an
    // edit), the other's document is declined.
    std::vector<std::string> folders;
    for (int i = 0; i < 2; ++i) {
        const pid_t child = editInAChildAndWait();
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        for (const auto& e : std::filesystem::directory_iterator(parent.path()))
            if (e.path().filename().string().find("torvane-" + std::to_string(child)) == 0)
                folders.push_back(e.path().string() + "/");
    }
    ASSERT_EQ(folders.size(), 2u);
    std::filesystem::resize_file(workingFilePathIn(folders[0]), 30000);

    // A folder whose making was cut short (before its lock and final name) goes too.
    std::filesystem::create_directory(parent.file(".torvane-1-2"));

    Session next;
    ASSERT_TRUE(next.createFolder(parent.path()));
    EXPECT_FALSE(std::filesystem::exists(folders[0])) << "a cut-short working file is removed, not offered";
    EXPECT_FALSE(std::filesystem::exists(parent.file(".torvane-1-2")));
    ASSERT_EQ(next.foldersToRecover(), std::vector<std::string>{folders[1]});
    next.discardRecovery(folders[1]);
    EXPECT_FALSE(std::filesystem::exists(folders[1]));

    // An unmodified document (opened, zoomed, never edited) leaves nothing to offer.
    const pid_t child = fork();
    if (child == 0) {
        Session s;
        s.keepRecoveryState(true);
        NoProgress none;
        if (!s.createFolder(parent.path()) || !s.open(source, none).ok()) _exit(1);
        s.zoomTo(2000, none);
        kill(getpid(), SIGKILL);
    }
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(next.foldersToRecover().empty());

    // A damaged state file is no state.
    const std::string f = folders[1];
    std::filesystem::create_directories(f);
    for (const char* text : {"", "version=1\nzoom=-5\n", "version=2\nbitrate=1\nzoom=1000\nstart=0\nfinish=1\nmodified=1\npath=x\n",
                             "version=1\nzoom=1000\nstart=9\nfinish=1\nmodified=1\npath=x\n"}) {
        writeFile(f + kRecoveryFileName, Bytes(text, text + std::strlen(text)));
        EXPECT_FALSE(readRecoveryState(f).has_value()) << text;
    }
}

// A kill request (a logout, kill, Ctrl+C) removes an editor's folder, except when it holds
// unsaved work: that stays to be offered.
TEST_F(Recovery, UnsavedWorkOutlivesAKillRequest) {
    const pid_t child = editInAChildAndWait(true);
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    Session next;
    ASSERT_TRUE(next.createFolder(parent.path()));
    const auto offered = next.foldersToRecover();
    ASSERT_EQ(offered.size(), 1u);

    // A step file of the history cut short: the document comes back, without its history.
    for (const auto& e : std::filesystem::directory_iterator(offered[0]))
        if (e.path().filename().string().rfind("Undo", 0) == 0) std::filesystem::resize_file(e.path(), 10);
    NoProgress none;
    ASSERT_TRUE(next.recover(offered[0], none).ok());
    EXPECT_TRUE(readFile(next.doc().workingFilePath) == expectedWorkingFile());
    EXPECT_FALSE(next.canUndo());
    EXPECT_TRUE(next.doc().modified);
}

// Whose a folder is must not depend on seeing its owner's pid: an instance in another PID
// namespace (a container, a sandboxed desktop app) sees none of ours, and must still leave a
// live instance's folder alone while it clears the folder of one that was killed.
TEST_F(Recovery, AnInstanceInAnotherPidNamespaceLeavesALiveFolderAlone) {
    if (!run("unshare --pid --fork --mount-proc true")) GTEST_SKIP() << "unshare --pid is not permitted here";
    // Nobody holds its lock: whatever pid its name carries, its instance has ended.
    const std::string dead = "torvane-99999999-1";
    std::filesystem::create_directory(parent.file(dead));

    // The live one has its document open and edits it once told to go on.
    int ready[2], go[2], status = 0;
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    const pid_t live = fork();
    if (live == 0) {
        close(ready[0]);
        close(go[1]);
        Session s;
        NoProgress none;
        if (!s.createFolder(parent.path()) || !s.open(source, none).ok()) _exit(1);
        char c = 1;
        if (write(ready[1], &c, 1) != 1 || read(go[0], &c, 1) != 1) _exit(1);
        s.stateForTests().selection = {2, 7};
        _exit(s.fadeIn(none).ok() ? 0 : 1);
    }
    close(ready[1]);
    close(go[0]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    std::set<std::string> liveFolder = foldersIn(parent.path());
    liveFolder.erase(dead);
    ASSERT_EQ(liveFolder.size(), 1u);

    const bool second = run("TMPDIR=" + quote(parent.path()) + " unshare --pid --fork --mount-proc " +
                            quote(std::string(TORVANE_BIN_DIR) + "/torvane-cli") + " info " + quote(source));
    const std::set<std::string> after = foldersIn(parent.path());
    EXPECT_TRUE(second);
    EXPECT_EQ(after, liveFolder) << "the live folder stays, the dead one goes";
    c = 1;
    EXPECT_EQ(write(go[1], &c, 1), 1);
    close(go[1]);
    waitpid(live, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the live instance could not finish its edit";
}

}  // namespace

// An editor killed in the middle of an edit, at any point of it: the next start gives back the
// document as it was before that edit, byte for byte.
TEST_F(Recovery, AnEditCutShortComesBackAsBeforeIt) {
    // The n-th report of progress ends the process, as a kill at that moment would.
    struct KillingProgress : NoProgress {
        explicit KillingProgress(int n) : left(n) {}
        void setPercent(int, int) override {
            if (--left == 0) raise(SIGKILL);
        }
        int left;
    };
    std::mt19937 rng(8);
    const std::string big = sources.file("big.wav");
    writeFile(big, makeWav(44100, 2, 16, randomBytes(4 * 1500000, rng)));  // 6 MB, 150 columns
    const Bytes before = readFile(big);
    // Killed at every 23rd report, from the undo step's copy through the edit to the reload,
    // until the edit ends first.
    for (int kind = 0; kind < 4; ++kind)
        for (int n = 1;; n += 23) {
            for (const auto& e : std::filesystem::directory_iterator(parent.path())) std::filesystem::remove_all(e);
            SCOPED_TRACE(std::to_string(kind) + " killed at " + std::to_string(n));
            const pid_t child = fork();
            if (child == 0) {
                Session s;
                s.keepRecoveryState(true);
                NoProgress none;
                if (!s.createFolder(parent.path()) || !s.open(big, none).ok()) _exit(1);
                s.stateForTests().modified = true;  // as after earlier edits
                s.selectAll();            // recorded so
                s.stateForTests().selection = {std::uint32_t(kind == 1 ? 30 : 3), 140};
                KillingProgress p(n);
                const Outcome r = kind == 0 ? s.deleteSelection(p) : kind == 1 ? s.cutOut(p)
                                  : kind == 2 ? s.fadeIn(p) : s.changeVolume(0.5f, false, p);
                _exit(r.ok() ? 2 : 1);
            }
            int status = 0;
            waitpid(child, &status, 0);
            if (WIFEXITED(status) && WEXITSTATUS(status) == 2) break;
            ASSERT_TRUE(WIFSIGNALED(status)) << status;
            Session next;
            NoProgress none;
            ASSERT_TRUE(next.createFolder(parent.path()));
            const auto offered = next.foldersToRecover();
            ASSERT_EQ(offered.size(), 1u);
            ASSERT_TRUE(next.recover(offered[0], none).ok());
            EXPECT_TRUE(readFile(next.doc().workingFilePath) == before);
        }
}
