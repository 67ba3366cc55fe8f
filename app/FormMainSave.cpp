// Save and Save As: the file dialog with its name rule and overwrite question, then the save
// inside the save dialog. Only a completed save clears the modified flag; the dialog's Cancel
// stops a save in progress.

#include "app/FormMain.h"
#include "app/TSaveForm.h"
#include "app/WorkerThread.h"
#include "codec/SaveDocument.h"
#include "platform/FileIo.h"
#include "platform/Prompts.h"

namespace torvane {

void TMainForm::ButtonSaveClick() { saveDocument(false); }
void TMainForm::ButtonSaveAsClick() { saveDocument(true); }

namespace {
// Save As first offers the document's own folder and name; a name Save cannot write (an
// .m4a) is offered as a WAV.
std::string suggestedSaveName(const std::string& documentPath) {
    if (documentPath.empty() || isSaveExtension(documentPath)) return documentPath;
    const auto slash = documentPath.find_last_of('/');
    const auto dot = documentPath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? documentPath.substr(0, dot) : documentPath) + ".wav";
}
}  // namespace

std::optional<std::string> TMainForm::askSaveAsName() {
    std::string suggested = suggestedSaveName(m_doc.documentPath);
    for (;;) {
        FileDialogRequest request;
        request.save = true;
        request.filter = m_saveFilter;
        request.filterIndex = m_saveDialogFilterIndex;
        request.fileName = suggested;
        const auto chosen = m_prompts->fileDialog(request);
        if (!chosen) return std::nullopt;
        m_saveDialogFilterIndex = chosen->filterIndex;
        m_saveDialogFileName = saveAsName(chosen->path, chosen->filterIndex, m_doc.documentPath);
        suggested = m_saveDialogFileName;  // after No, the dialog again with the name it gave
        if (!fileExists(m_saveDialogFileName)) return m_saveDialogFileName;
        const int answer =
            showMessage(MessageId::OverwriteQuestion, {}, PromptButtons::YesNoCancel, PromptIcon::Question);
        if (answer == IDYES) return m_saveDialogFileName;
        if (answer == IDCANCEL) return std::nullopt;
        // No: the dialog again, with that name in it.
    }
}

bool TMainForm::saveDocument(bool saveAs) {
    if (!m_doc.loaded) return false;
    if (m_session.playerActive()) CButtonStopClick();
    // Save writes in the format of the document's name; a document opened from a kind that is
    // only read (AIFF, Opus, M4A) is saved under a name the user picks instead.
    if (!isSaveExtension(m_doc.documentPath)) saveAs = true;
    std::string destination = m_doc.documentPath;
    if (saveAs) {
        const auto name = askSaveAsName();
        if (!name) {
            SetUIMode(m_doc.uiMode);
            return false;
        }
        destination = *name;
    }
    SaveForm->setWindowTitle(
        QString::fromStdString(messageText(saveAs ? MessageId::SaveFormSaveAs : MessageId::SaveFormSave)));
    Outcome outcome;
    // TSaveThread.
    runCommand(*SaveForm, [&](WorkerProgress& progress) {
        outcome = m_session.save(destination, progress);
        if (outcome.encoderNotStarted && !outcome.wasCancelled()) {
            // The encoder says why it cannot start, and the dialog waits for Cancel.
            showOutcome(outcome);
            outcome = Outcome::shown();
            progress.holdUntilCancel();
        }
    });
    showOutcome(outcome);
    PaintBox1->update();
    SetUIMode(m_doc.uiMode);
    return outcome.ok();
}

}  // namespace torvane
