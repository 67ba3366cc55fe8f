#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QToolButton>

#include "codec/SaveDocument.h"
#include "platform/FileIo.h"

#include "support/ShellFixture.h"
#include "i18n/Messages.h"

using namespace torvane;
using namespace torvane::test;

namespace {

const char* kQuestion = "File has been modified.\nDo you want to save the changes?";

// An open document in mode 1 with a working file in the instance's temp folder.
void openDocument(TMainForm& f, bool modified) {
    fakeDocument(f, 10, 2, 7);
    const std::string wav = f.doc().tempFolder + "AudioTemp.wav";
    writeFile(wav, makeWav(44100, 2, 16, std::vector<std::uint8_t>(400, 0)));
    f.session().adoptWorkingFile(wav);
    f.session().stateForTests().modified = modified;
    f.session().stateForTests().view.framesPerColumn = 2000;
    f.MZoom10->setChecked(false);
    f.MZoom2->setChecked(true);
    f.PaintBox1->resize(10, 221);
    f.SetUIMode(1);
}

void expectClosed(TMainForm& f, const std::string& workingFile) {
    const DocumentState& d = f.doc();
    EXPECT_EQ(d.uiMode, 0u);
    EXPECT_FALSE(d.loaded || d.modified);
    EXPECT_TRUE(d.documentPath.empty() && d.workingFilePath.empty());
    EXPECT_EQ(d.view.framesPerColumn, 10000);
    EXPECT_EQ(d.selection.startMarker, 0u);
    EXPECT_EQ(d.selection.finishMarker, 0u);
    EXPECT_TRUE(f.MZoom10->isChecked());
    EXPECT_FALSE(f.MZoom2->isChecked());
    EXPECT_EQ(f.PaintBox1->width(), 10);
    EXPECT_EQ(f.waveBitmap().width(), 10);
    EXPECT_FALSE(fileExists(workingFile));
    EXPECT_EQ(f.StatusPanels[0]->text(), "");
    EXPECT_EQ(f.StatusPanels[2]->text(), "");
    EXPECT_TRUE(f.ButtonOpen->isEnabled());
    EXPECT_FALSE(f.ButtonClose->isEnabled());
}

}  // namespace

TEST(ShellClose, UnchangedDocumentClosesWithoutAsking) {
    Shell shell;
    TMainForm& f = shell.start();
    openDocument(f, false);
    const std::string wav = f.doc().workingFilePath;
    f.ButtonClose->click();
    EXPECT_TRUE(shell.prompts.messages().empty());
    expectClosed(f, wav);
}

TEST(ShellClose, ModifiedDocumentAsksOnceAndNoClosesIt) {
    Shell shell;
    TMainForm& f = shell.start();
    openDocument(f, true);
    const std::string wav = f.doc().workingFilePath;
    shell.prompts.answerMessage(IDNO);
    f.MClose->trigger();
    ASSERT_EQ(shell.prompts.messages().size(), 1u);
    EXPECT_EQ(shell.prompts.messages()[0].text, kQuestion);
    EXPECT_EQ(shell.prompts.messages()[0].buttons, PromptButtons::YesNoCancel);
    expectClosed(f, wav);
}

// Yes saves first; a save that did not complete (here the document's folder does not exist)
// must not cost the user the edits: the document stays open, modified, with its working file,
// from Close and from Exit alike.
TEST(ShellClose, YesWhoseSaveDidNotCompleteKeepsTheDocument) {
    Shell shell;
    TMainForm& f = shell.start();
    openDocument(f, true);
    const std::string wav = f.doc().workingFilePath;
    shell.prompts.answerMessage(IDYES);
    f.MClose->trigger();
    EXPECT_EQ(shell.prompts.messageTexts(), (std::vector<std::string>{kQuestion, messageText(MessageId::SaveNoTempFile)}));
    EXPECT_EQ(f.doc().uiMode, 1u);
    EXPECT_TRUE(f.doc().modified && f.doc().loaded);
    EXPECT_TRUE(fileExists(wav));
    EXPECT_TRUE(f.ButtonSave->isEnabled());

    shell.prompts.answerMessage(IDYES);
    EXPECT_FALSE(f.close());
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.doc().modified);
    EXPECT_TRUE(fileExists(wav));
}

TEST(ShellClose, CancelKeepsTheDocument) {
    Shell shell;
    TMainForm& f = shell.start();
    openDocument(f, true);
    shell.prompts.answerMessage(IDCANCEL);
    f.ButtonCloseClick();
    EXPECT_EQ(shell.prompts.messages().size(), 1u);
    EXPECT_EQ(f.doc().uiMode, 1u);
    EXPECT_TRUE(f.doc().modified);
    EXPECT_EQ(f.doc().documentPath, "/music/song.wav");
    EXPECT_TRUE(fileExists(f.doc().workingFilePath));
    EXPECT_EQ(f.doc().view.framesPerColumn, 2000);
    EXPECT_TRUE(f.MZoom2->isChecked());
    EXPECT_EQ(f.StatusPanels[2]->text(), "/music/song.wav");
}

TEST(ShellClose, ClosingTheWindowRunsCloseAndCancelKeepsItOpen) {
    Shell shell;
    TMainForm& f = shell.start();
    openDocument(f, true);
    shell.prompts.answerMessage(IDCANCEL);
    f.MExit->trigger();
    EXPECT_TRUE(f.isVisible());  // unsaved edits are never dropped by a cancelled question
    EXPECT_EQ(f.doc().uiMode, 1u);

    shell.prompts.answerMessage(IDNO);
    const std::string wav = f.doc().workingFilePath;
    EXPECT_TRUE(f.close());
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(shell.prompts.messages().size(), 2u);
    expectClosed(f, wav);
}

TEST(ShellClose, ClosingTheWindowWithoutADocumentAsksNothing) {
    Shell shell;
    TMainForm& f = shell.start();
    f.session().stateForTests().modified = true;  // no document path: Close is not run
    EXPECT_TRUE(f.close());
    EXPECT_TRUE(shell.prompts.messages().empty());
}
