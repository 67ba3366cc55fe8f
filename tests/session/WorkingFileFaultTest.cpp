// The working file taken away under an open document: deleted, replaced by something that
// cannot be read or written, or cut short. Every command that touches it must say so and
// leave the program running.

#include <gtest/gtest.h>

#include <filesystem>

#include "doc/WorkingFile.h"
#include "platform/Prompts.h"
#include "session/Session.h"
#include "support/ManualClock.h"
#include "support/TestFiles.h"
#include "i18n/Messages.h"

using namespace torvane;
using namespace torvane::test;

namespace {

class WorkingFileFault : public ::testing::Test {
protected:
    void SetUp() override {
        clock = manualClock();
        engine = engineOn(clock);
        ASSERT_NE(engine, nullptr);
        source = dir.file("tone.wav");
        ASSERT_TRUE(makeToneWav(source, 44100, 2, 4.0));
    }
    void TearDown() override {
        session.reset();
    }
    void openDocument() {
        session = std::make_unique<Session>();
        ASSERT_TRUE(session->createFolder(dir.path()));
        session->setEngine(engine);
        NoProgress none;
        ASSERT_TRUE(session->open(source, none).ok());
        ASSERT_TRUE(session->startPlayer().ok());
        working = session->doc().workingFilePath;
    }

    TempDir dir;
    std::shared_ptr<ManualClockOutput> clock;
    std::shared_ptr<AudioEngine> engine;
    std::unique_ptr<Session> session;
    std::string source, working;
};

TEST_F(WorkingFileFault, EveryCommandSaysSoAndNothingCrashes) {
    enum Fault { Deleted, Folder, CutShort };
    for (Fault fault : {Deleted, Folder, CutShort}) {
        SCOPED_TRACE(fault);
        auto run = [&](const char* name, auto command) {
            SCOPED_TRACE(name);
            openDocument();
            if (fault == Deleted) std::filesystem::remove(working);
            if (fault == Folder) {
                std::filesystem::remove(working);
                std::filesystem::create_directory(working);
            }
            if (fault == CutShort) std::filesystem::resize_file(working, 30);
            const DocumentState before = session->doc();
            NoProgress none;
            const Outcome r = command(none);
            // A missing file: each command's own "cannot open" message; one that is there but
            // no longer the document: the reason.
            EXPECT_FALSE(r.ok());
            if (fault == Deleted)
                EXPECT_NE(messageText(r).find("annot"), std::string::npos) << messageText(r);
            else
                EXPECT_EQ(messageText(r), messageText(MessageId::WorkingFileGone));
            // Nothing about the document changed: not its zoom, its columns or its flag.
            EXPECT_EQ(session->doc().view.framesPerColumn, before.view.framesPerColumn);
            EXPECT_EQ(session->doc().view.columnCount, before.view.columnCount);
            EXPECT_EQ(session->doc().peaks.left, before.peaks.left);
            EXPECT_FALSE(session->doc().modified);
            EXPECT_FALSE(std::filesystem::exists(dir.file("out.wav")));
            // Playing what is left never crashes either.
            session->play();
            for (int i = 0; i < 5; ++i) {
                clock->advance(4410);
                session->tick();
            }
            session->stop();
            session->close();
        };
        run("zoom", [&](Progress& p) { return session->zoomTo(2000, p); });
        run("delete", [&](Progress& p) { return session->deleteSelection(p); });
        run("cut out", [&](Progress& p) { return session->cutOut(p); });
        run("volume", [&](Progress& p) { return session->changeVolume(0.5f, false, p); });
        run("fade in", [&](Progress& p) { return session->fadeIn(p); });
        run("fade out", [&](Progress& p) { return session->fadeOut(p); });
        ScriptedPrompts prompts;
        run("save", [&](Progress& p) { return session->save(dir.file("out.wav"), p); });
    }
}

}  // namespace
