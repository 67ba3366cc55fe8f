// Save and Save As through the main window, offscreen: the save dialog, the name rule, the
// overwrite question's three answers, the save dialog waiting for Cancel after an encoder
// could not start, and Close whose save completed.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include "app/TSaveForm.h"
#include "codec/SaveDocument.h"
#include "codec/Wavtomp3.h"
#include "codec/Wavtowma.h"
#include "platform/FileIo.h"
#include "support/ShellFixture.h"

using namespace torvane;
using namespace torvane::test;

namespace {

class SaveCommands : public ::testing::Test {
protected:
    // The window, its program folder holding the encoder libraries when `encoders` is set, and
    // an open, edited document.
    void start(bool encoders) {
        if (encoders)
            for (const std::string& lib : {lameLibraryFileName(), wmaLibraryFileName()})
                std::filesystem::copy_file(std::string(TORVANE_BIN_DIR) + "/" + lib, shell.program.file(lib));
        f = &shell.start();
        const std::string path = media.file("song.wav");
        writeFile(path, makeWav(22050, 2, 16, Bytes(4 * 50000, 0)));
        shell.prompts.answerFile(path);
        f->ButtonOpen->click();
        ASSERT_TRUE(f->doc().loaded);
        f->session().stateForTests().modified = true;  // as after an edit
        f->SetUIMode(ModeStopped);
    }

    Shell shell;
    TempDir media, out;
    TMainForm* f = nullptr;
};

}  // namespace

TEST_F(SaveCommands, SaveAsNameRuleAndTheOverwriteQuestion) {
    start(true);
    // "song" with the MP3 filter becomes song.mp3.
    shell.prompts.answerFile(out.file("song"), 3);
    f->ButtonSaveAs->click();
    const std::string mp3 = out.file("song.mp3");
    EXPECT_TRUE(fileExists(mp3));
    EXPECT_EQ(f->SaveForm->windowTitle(), "Save As");
    EXPECT_EQ(f->doc().documentPath, mp3);
    EXPECT_FALSE(f->doc().modified);
    EXPECT_FALSE(f->ButtonSave->isEnabled());
    const Bytes first = readFile(mp3);

    // No: the dialog again, holding the name it stored; then another name is saved.
    f->session().stateForTests().modified = true;
    shell.prompts.clear();
    shell.prompts.answerFile(mp3, 1);
    shell.prompts.answerMessage(IDNO);
    shell.prompts.answerFile(out.file("other.wav"), 1);
    f->MSaveAs->trigger();
    ASSERT_EQ(shell.prompts.messages().size(), 1u);
    EXPECT_EQ(shell.prompts.messages()[0].text, "This file already exists. Do you want to overwrite it?");
    EXPECT_EQ(shell.prompts.messages()[0].caption, "Information");
    EXPECT_EQ(shell.prompts.messages()[0].buttons, PromptButtons::YesNoCancel);
    ASSERT_EQ(shell.prompts.fileDialogs().size(), 2u);
    EXPECT_TRUE(shell.prompts.fileDialogs()[1].save);
    EXPECT_EQ(shell.prompts.fileDialogs()[1].fileName, mp3);
    EXPECT_TRUE(readFile(out.file("other.wav")) == readFile(f->doc().workingFilePath));
    EXPECT_EQ(f->doc().documentPath, out.file("other.wav"));

    // Cancel: nothing is written and nothing changes.
    f->session().stateForTests().modified = true;
    shell.prompts.clear();
    shell.prompts.answerFile(mp3, 1);
    shell.prompts.answerMessage(IDCANCEL);
    f->ButtonSaveAs->click();
    EXPECT_TRUE(readFile(mp3) == first);
    EXPECT_EQ(f->doc().documentPath, out.file("other.wav"));
    EXPECT_TRUE(f->doc().modified);

    // Yes: the file is replaced; Save then writes to the document path in its format.
    shell.prompts.clear();
    shell.prompts.answerFile(out.file("song.aac"), 2);  // becomes song.aac.wav
    f->ButtonSaveAs->click();
    EXPECT_TRUE(fileExists(out.file("song.aac.wav")));
    f->session().stateForTests().modified = true;
    f->SetUIMode(ModeStopped);
    f->ButtonSave->click();
    EXPECT_EQ(f->SaveForm->windowTitle(), "Save");
    EXPECT_FALSE(f->doc().modified);
    for (const auto& entry : std::filesystem::directory_iterator(out.path()))
        EXPECT_NE(entry.path().filename().string().front(), '~') << entry.path();
}

// The encoder cannot start: its own message, then the save dialog waits for Cancel; the
// document stays modified and Save stays on, and Close that asked to save keeps it.
TEST_F(SaveCommands, EncoderThatCannotStartWaitsForCancelAndKeepsTheChanges) {
    start(false);
    QTimer::singleShot(50, f, [this] {
        ASSERT_TRUE(f->SaveForm->isVisible());
        f->SaveForm->cancelButton()->click();
    });
    shell.prompts.answerFile(out.file("x.mp3"), 1);
    f->ButtonSaveAs->click();
    EXPECT_EQ(shell.prompts.messageTexts(), std::vector<std::string>{"Could not load lame_enc.dll file"});
    EXPECT_FALSE(f->SaveForm->isVisible());
    EXPECT_TRUE(f->doc().modified);
    EXPECT_TRUE(f->ButtonSave->isEnabled());
    EXPECT_FALSE(fileExists(out.file("x.mp3")));
    EXPECT_FALSE(saveTemporaryLeft(out.file("x.mp3")));
}

TEST_F(SaveCommands, CloseWhoseSaveCompletedClosesTheDocument) {
    start(true);
    const std::string source = f->doc().documentPath;
    shell.prompts.answerMessage(IDYES);
    f->ButtonClose->click();
    EXPECT_EQ(f->doc().uiMode, ModeNoDocument);
    EXPECT_FALSE(f->doc().loaded);
    EXPECT_TRUE(fileExists(source));
    EXPECT_FALSE(saveTemporaryLeft(source));
}
