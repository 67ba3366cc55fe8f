// Cancel pressed at random moments of the commands that take it, through the real dialogs and
// the worker thread: an open ends with the whole document or none, a save leaves the old file
// or the whole new one and nothing beside it, and no bar moves back while its dialog is up.

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <filesystem>
#include <random>

#include "app/TOpenForm.h"
#include "app/TSaveForm.h"
#include "codec/Wavtomp3.h"
#include "support/ShellFixture.h"

using namespace torvane;
using namespace torvane::test;
namespace fs = std::filesystem;

TEST(CancelAnywhere, OpenAndSaveEndCompleteOrAsBefore) {
    Shell shell;
    fs::copy_file(std::string(TORVANE_BIN_DIR) + "/" + lameLibraryFileName(), shell.program.file(lameLibraryFileName()));
    TMainForm& f = shell.start();
    TempDir media, out;
    const std::string wav = media.file("tone.wav"), mp3 = media.file("tone.mp3");
    ASSERT_TRUE(makeSignalWav(wav, 44100, 2, 40));
    ASSERT_TRUE(run("lame --quiet -b 128 " + quote(wav) + " " + quote(mp3)));

    int barsBack = 0;
    for (ProgressForm* dialog : {static_cast<ProgressForm*>(f.OpenForm), static_cast<ProgressForm*>(f.SaveForm)})
        for (int i = 0; i < 2; ++i)
            if (QProgressBar* bar = dialog->bar(i))
                QObject::connect(bar, &QProgressBar::valueChanged, [bar, &barsBack, last = 0](int v) mutable {
                    if (v != 0 && v < last) ++barsBack;  // 0 is the reset of a new showing
                    last = v;
                });
    // Runs `command` uncancelled once to learn how long it takes, then `rounds` times with Cancel
    // pressed after a random share of that time, checking `ended` after each.
    std::mt19937 rng(20261208);
    const auto cancelAtRandom = [&](ProgressForm& dialog, const std::function<void()>& command,
                                    const std::function<void(bool cancelled)>& ended, int rounds) {
        const auto t0 = std::chrono::steady_clock::now();
        command();
        ended(false);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
        for (int round = 0; round < rounds; ++round) {
            bool pressed = false;
            QTimer press;
            press.setSingleShot(true);
            QObject::connect(&press, &QTimer::timeout, [&] {
                if (dialog.isVisible()) dialog.cancelButton()->click(), pressed = true;
            });
            press.start(int(rng() % (took.count() + 1)));
            command();
            press.stop();
            ended(pressed);
            pumpEvents();
        }
    };

    std::uint32_t frames = 0;
    cancelAtRandom(
        *f.OpenForm,
        [&] {
            if (f.doc().loaded) f.ButtonClose->click();
            shell.prompts.answerFile(mp3);
            f.ButtonOpen->click();
        },
        [&](bool cancelled) {
            if (!cancelled) frames = f.doc().format.frameCount;
            if (f.doc().loaded) EXPECT_EQ(f.doc().format.frameCount, frames);
            else EXPECT_TRUE(cancelled);
            EXPECT_EQ(f.doc().uiMode, f.doc().loaded ? ModeStopped : ModeNoDocument);
        },
        6);
    if (!f.doc().loaded) {
        shell.prompts.answerFile(mp3);
        f.ButtonOpen->click();
    }
    ASSERT_TRUE(f.doc().loaded);

    for (const char* name : {"out.wav", "out.mp3"}) {
        const std::string target = out.file(name);
        const Bytes old = {'o', 'l', 'd'};
        Bytes complete;
        cancelAtRandom(
            *f.SaveForm,
            [&] {
                writeFile(target, old);
                shell.prompts.answerFile(target, std::string(name).ends_with(".mp3") ? 3 : 1);
                shell.prompts.answerMessage(IDYES);  // overwrite
                f.ButtonSaveAs->click();
            },
            [&](bool) {
                const Bytes now = readFile(target);
                if (complete.empty()) complete = now;
                EXPECT_TRUE(now == old || now == complete) << name << ": " << now.size() << " bytes";
                for (const auto& e : fs::directory_iterator(out.path()))
                    EXPECT_FALSE(e.path().filename().string().starts_with("~")) << e.path();
            },
            6);
        EXPECT_GT(complete.size(), 100000u) << name << ": " << testing::PrintToString(shell.prompts.messageTexts());
    }
    EXPECT_EQ(barsBack, 0);
}
