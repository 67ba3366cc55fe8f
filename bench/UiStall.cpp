// How long the editor's window stops answering during each long command, on a real window
// offscreen: open, zoom, the five edits, undo, redo, the saves and close, each started by its
// button or menu item as the user's click would start it.
//
// Usage: bench_ui_stall WAV SCRATCH [BIN_DIR]
//   WAV      the document to open (bench/ui-stall makes an hour of 44.1 kHz stereo 16-bit)
//   SCRATCH  an empty folder of the run's own: the program folder, the temp base, the user's
//            settings and state, and the saved files go there
//   BIN_DIR  the build's bin folder, with VKLanguage/ and the encoder libraries (default: this
//            executable's folder)
// Prints "OPERATION: longest event-loop gap N ms (wall T s)" per operation; exits with 1 when
// any operation did not complete as it should.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "app/FormMain.h"
#include "app/ProgressForm.h"
#include "app/TVolumeForm.h"
#include "bench/GapProbe.h"
#include "codec/Wavtomp3.h"
#include "codec/Wavtowma.h"
#include "platform/Prompts.h"

namespace fs = std::filesystem;
using namespace torvane;

namespace {

struct Operation {
    std::string name;
    std::function<void()> click;  // what the user's click runs
    std::function<bool()> done;   // the state the operation leaves once it has completed
    // Called from the event loop while it runs: answers a dialog the operation puts up.
    std::function<void()> whileRunning = {};
};

class Runner {
public:
    Runner(TMainForm& form, ScriptedPrompts& prompts) : m_form(form), m_prompts(prompts) {}

    // Starts the operation from the measuring loop, so that the probe's timer is served by the
    // same loops a user's click would leave running, and returns once the operation has
    // returned and its state shows it complete (or shows that it did not).
    bool run(const Operation& op) {
        const std::size_t messagesBefore = m_prompts.messages().size();
        bool returned = false, completed = false;
        double wallS = 0;
        QEventLoop loop;
        QElapsedTimer wall;
        m_probe.onTick([&] {
            if (op.whileRunning) op.whileRunning();
            // A failure's message may leave a progress dialog waiting for Cancel.
            if (m_prompts.messages().size() > messagesBefore)
                if (auto* dialog = qobject_cast<ProgressForm*>(QApplication::activeModalWidget()))
                    if (dialog->cancelButton()) dialog->cancelButton()->click();
            if (!returned) return;
            completed = op.done() && m_prompts.messages().size() == messagesBefore;
            loop.quit();
        });
        wall.start();
        m_probe.start();
        QTimer::singleShot(0, &m_form, [&] {
            op.click();
            wallS = double(wall.nsecsElapsed()) / 1e9;
            returned = true;
        });
        loop.exec();
        m_probe.stop();
        m_probe.onTick({});

        std::printf("%s: longest event-loop gap %.0f ms (wall %.2f s)", op.name.c_str(), m_probe.longestMs(), wallS);
        if (!completed) {
            std::printf(" FAILED: %s",
                        m_prompts.messages().size() > messagesBefore ? m_prompts.messages().back().text.c_str()
                                                                     : "did not complete");
        }
        std::printf("\n");
        std::fflush(stdout);
        return completed;
    }

private:
    TMainForm& m_form;
    ScriptedPrompts& m_prompts;
    bench::GapProbe m_probe;
};

void copyInto(const fs::path& from, const fs::path& folder) {
    fs::create_directories(folder);
    fs::copy_file(from, folder / from.filename(), fs::copy_options::overwrite_existing);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s WAV SCRATCH [BIN_DIR]\n", argv[0]);
        return 2;
    }
    const fs::path wav = fs::absolute(argv[1]);
    const fs::path scratch = fs::absolute(argv[2]);
    // The window offscreen, audio through the engine's silent device, and the user's folders
    // the run's own: nothing of the real desktop, sound card or settings is touched.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("TORVANE_AUDIO", "null", 1);
    ::setenv("XDG_CONFIG_HOME", (scratch / "home/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (scratch / "home/state").c_str(), 1);
    const fs::path runtime = scratch / "home/runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);  // Qt ignores a runtime folder others may enter
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    QApplication app(argc, argv);
    const fs::path bin = argc == 4 ? fs::absolute(argv[3]) : fs::path(QCoreApplication::applicationDirPath().toStdString());

    // The program folder as installed: the language file and the encoder libraries.
    const fs::path program = scratch / "program", temp = scratch / "temp", out = scratch / "out";
    try {
        copyInto(bin / "VKLanguage/English.ini", program / "VKLanguage");
        copyInto(bin / lameLibraryFileName(), program);
        copyInto(bin / wmaLibraryFileName(), program);
        fs::create_directories(temp);
        fs::create_directories(out);
    } catch (const fs::filesystem_error& e) {
        std::fprintf(stderr, "bench_ui_stall: %s\n", e.what());
        return 2;
    }

    ScriptedPrompts prompts;
    StartupOptions options;
    options.programFolder = program.string();
    options.tempBase = temp.string();
    options.localeName = "en_US";
    options.prompts = &prompts;
    TMainForm form(std::move(options));
    form.show();
    form.runFirstShow();
    QCoreApplication::processEvents();
    if (!form.documentCommandsAvailable()) {
        std::fprintf(stderr, "bench_ui_stall: the window has no engine or instance folder\n");
        return 2;
    }

    const DocumentState& doc = form.doc();
    Session& session = form.session();
    Runner runner(form, prompts);
    bool allOk = true;
    const auto run = [&](Operation op) { allOk = runner.run(op) && allOk; };
    const auto stopped = [&] { return doc.loaded && doc.uiMode == ModeStopped; };
    const auto selectAll = [&] { form.MSelectAll->trigger(); };
    std::uint32_t openedFrames = 0, framesBefore = 0;
    // An edit through its button on what is selected; complete when it is the one to undo.
    const auto edit = [&](std::string name, QToolButton* button, const char* key) {
        return Operation{std::move(name), [button] { button->click(); },
                         [&, key] { return stopped() && doc.modified && session.undoName() == key; }};
    };
    const auto saveAs = [&](std::string name, const fs::path& target, int filterIndex) {
        return Operation{std::move(name),
                         [&, target, filterIndex] {
                             prompts.answerFile(target.string(), filterIndex);
                             form.ButtonSaveAs->click();
                         },
                         [&, target] {
                             std::error_code e;
                             return stopped() && !doc.modified && doc.documentPath == target.string() &&
                                    fs::file_size(target, e) > 44;
                         }};
    };

    run({"open",
         [&] {
             prompts.answerFile(wav.string(), 1);
             form.ButtonOpen->click();
         },
         [&] {
             openedFrames = doc.format.frameCount;
             return stopped() && openedFrames > 0;
         }});
    if (!doc.loaded) return 1;
    run({"zoom to 1:1", [&] { form.MZoom1->trigger(); },
         [&] { return stopped() && doc.view.framesPerColumn == kZoomLevels[5] && form.MZoom1->isChecked(); }});

    selectAll();
    run(edit("Delete (whole document)", form.ButtonDelete, "Delete"));
    // Delete leaves next to nothing: Undo gives the hour back for the edits that follow.
    run({"undo Delete", [&] { form.MUndo->trigger(); },
         [&] { return stopped() && doc.format.frameCount == openedFrames && session.redoName() == "Delete"; }});

    // Cut Out keeps the selection: all but the first and the last column.
    session.select(1, doc.view.columnCount - 2);
    framesBefore = doc.format.frameCount;
    {
        Operation cut = edit("Cut Out (columns 1 to last-1)", form.ButtonCutOut, "CutOut");
        cut.done = [&, d = cut.done] { return d() && doc.format.frameCount < framesBefore && doc.format.frameCount > 0; };
        run(cut);
    }

    selectAll();
    {
        bool answered = false;
        Operation volume = edit("Volume 50 % (whole document)", form.ButtonVolume, "Volume");
        volume.whileRunning = [&] {
            if (answered || !form.VolumeForm->isVisible()) return;
            answered = true;
            form.VolumeForm->ComboBox1->setCurrentIndex(5);  // 50 %
            form.VolumeForm->CheckBoxMute->setChecked(false);
            form.VolumeForm->findChild<QPushButton*>("ButtonOk")->click();
        };
        run(volume);
    }
    selectAll();
    run(edit("Fade In (whole document)", form.ButtonFadeIn, "FadeIn"));
    selectAll();
    run(edit("Fade Out (whole document)", form.ButtonFadeOut, "FadeOut"));
    run({"undo Fade Out", [&] { form.MUndo->trigger(); },
         [&] { return stopped() && session.redoName() == "FadeOut" && session.undoName() == "FadeIn"; }});
    run({"redo Fade Out", [&] { form.MRedo->trigger(); },
         [&] { return stopped() && !session.canRedo() && session.undoName() == "FadeOut"; }});

    run(saveAs("save as WAV", out / "saved.wav", 2));
    run(saveAs("save as MP3", out / "saved.mp3", 3));
    run({"close", [&] { form.ButtonClose->click(); },
         [&] { return !doc.loaded && doc.uiMode == ModeNoDocument; }});
    return allOk ? 0 : 1;
}
