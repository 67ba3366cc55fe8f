#pragma once
// A main window started offscreen in folders of its own, answering prompts from a script.

#include <QApplication>
#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/FormMain.h"
#include "platform/Prompts.h"
#include "support/TestFiles.h"

namespace torvane::test {

inline QApplication& guiApp() {
    static int argc = 1;
    static char name[] = "test_gui_shell";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

inline void pumpEvents() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

struct Shell {
    TempDir program;  // the program folder, with VKLanguage/English.ini
    TempDir temp;     // the temp base
    TempDir home;     // the user's base directories: config/ and state/
    ScriptedPrompts prompts;
    std::unique_ptr<TMainForm> form;

    Shell() {
        guiApp();
        // The user's folders are this shell's (each shell sets its own).
        ::setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", home.file("state").c_str(), 1);
        std::filesystem::create_directories(program.file("VKLanguage"));
        std::filesystem::copy_file(std::string(TORVANE_SOURCE_DIR) + "/VKLanguage/English.ini",
                                   program.file("VKLanguage/English.ini"));
    }

    StartupOptions options(std::vector<std::string> args = {}, std::string locale = "en_US") {
        StartupOptions o;
        o.arguments = std::move(args);
        o.programFolder = program.path();
        o.tempBase = temp.path();
        o.localeName = std::move(locale);
        o.prompts = &prompts;
        return o;
    }

    // Creates the window and runs its first showing.
    TMainForm& start(std::vector<std::string> args = {}, std::string locale = "en_US", bool show = true) {
        return startWith(options(std::move(args), std::move(locale)), show);
    }
    TMainForm& startWith(StartupOptions o, bool show = true) {
        form = std::make_unique<TMainForm>(std::move(o));
        if (show) {
            form->show();
            form->runFirstShow();
            pumpEvents();
        }
        return *form;
    }

    // The user's settings file.
    std::string settingsFile() const { return home.file("config/torvane/Velkora.ini"); }

    ~Shell() { form.reset(); }
};

// Puts the window into a loaded-document state without an open: header values, columns,
// markers, and optionally a playback stream on a real working file.
inline void fakeDocument(TMainForm& form, std::uint32_t columns, std::uint32_t start, std::uint32_t finish) {
    DocumentState& d = form.session().stateForTests();
    d.format.sampleRate = 44100;
    d.format.channels = 2;
    d.format.bitsPerSample = 16;
    d.format.blockSize = 4;
    d.view.framesPerColumn = 10000;
    d.view.columnCount = columns;
    d.format.frameCount = columns * 10000u;
    d.format.dataSize = d.format.frameCount * 4u;
    d.format.duration = d.format.dataSize / (44100u * 4u);
    d.selection.startMarker = start;
    d.selection.finishMarker = finish;
    d.loaded = true;
    d.documentPath = "/music/song.wav";
}

}  // namespace torvane::test
