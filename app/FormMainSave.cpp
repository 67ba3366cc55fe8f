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

std::optional<std::string> TMainForm::askSaveAsName() {
    for (;;) {
        FileDialogRequest request;
        request.save = true;
        request.filter = m_saveFilter;
        request.filterIndex = m_saveDialogFilterIndex;
        request.fileName = m_saveDialogFileName;
        const auto chosen = m_prompts->fileDialog(request);
        if (!chosen) return std::nullopt;
        m_saveDialogFilterIndex = chosen->filterIndex;
        m_saveDialogFileName = saveAsName(chosen->path, chosen->filterIndex, m_doc.documentPath);
        if (!fileExists(m_saveDialogFileName)) return m_saveDialogFileName;
        const int answer = m_prompts->messageBox({"This file already exists. Do you want to overwrite it?", "Information",
                                                  PromptButtons::YesNoCancel, PromptIcon::Question});
        if (answer == IDYES) return m_saveDialogFileName;
        if (answer == IDCANCEL) return std::nullopt;
        // No: the dialog again, with that name in it.
    }
}

bool TMainForm::saveDocument(bool saveAs) {
    if (!m_doc.loaded) return false;
    if (m_session.playerActive()) CButtonStopClick();
    std::string destination = m_doc.documentPath;
    if (saveAs) {
        const auto name = askSaveAsName();
        if (!name) {
            SetUIMode(m_doc.uiMode);
            return false;
        }
        destination = *name;
    }
    SaveForm->setWindowTitle(saveAs ? QStringLiteral("Save As") : QStringLiteral("Save"));
    Outcome outcome;
    // TSaveThread.
    runCommand(*SaveForm, [&](WorkerProgress& progress) {
        bool notStarted = false;
        outcome = m_session.save(destination, m_workerPrompts, progress, &notStarted);
        // The encoder has said why it cannot start; the dialog waits for Cancel.
        if (notStarted && !outcome.wasCancelled()) progress.holdUntilCancel();
    });
    if (outcome.failedWithMessage() && !outcome.message.empty()) m_prompts->message(outcome.message);
    PaintBox1->update();
    SetUIMode(m_doc.uiMode);
    return outcome.ok();
}

}  // namespace torvane
