// Opening a file into the main window: the Open command, the open worker with its dialog,
// and loading the opened document into the view and the player.

#include <QDragEnterEvent>
#include <QDir>
#include <QFileInfo>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "app/FormMain.h"
#include "view/WaveView.h"
#include "app/TOpenForm.h"
#include "app/TReloadForm.h"
#include "app/WorkerThread.h"
#include "codec/OpenDocument.h"
#include "doc/RecoveryState.h"
#include "platform/Folders.h"
#include "platform/Prompts.h"

namespace torvane {

namespace {
// The one local file a drag carries, or empty.
QString droppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1) return {};
    const QUrl url = mime->urls().front();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}
}  // namespace

void TMainForm::ButtonOpenClick() {
    if (!documentCommandsAvailable()) return;
    FileDialogRequest request;
    request.filter = m_openFilter;
    // Where the last file was opened from; the home folder before any.
    request.folder = m_lastOpenFolder.empty() ? QDir::homePath().toStdString() : m_lastOpenFolder;
    const auto chosen = m_prompts->fileDialog(request);
    if (!chosen) return;
    m_session.nameDocument(chosen->path);
    openFile(chosen->path);
}

void TMainForm::openFile(std::string path) {
    if (!documentCommandsAvailable()) return;
    // The next Open starts where this file is, however it came: the dialog, a drop or the
    // command line.
    if (const QDir folder = QFileInfo(QString::fromStdString(path)).absoluteDir(); folder.exists())
        m_lastOpenFolder = withTrailingSeparator(folder.absolutePath().toStdString());
    if (const Outcome openable = Session::openable(path); !openable.ok()) {
        showOutcome(openable);
        return;
    }
    Outcome outcome;
    // TOpenThread.
    const int modal = runCommand(*OpenForm, [&](WorkerProgress& progress) {
        outcome = m_session.open(path, progress);
        if (outcome.failedWithMessage()) {
            showOutcome(outcome);
            // The dialog stays, its bars where they stopped, until the user presses Cancel.
            progress.holdUntilCancel();
        }
    });
    if (modal == kModalResultCancelled || !outcome.ok()) {
        if (outcome.ok()) m_session.close();  // Cancel pressed once the body had finished
        return;
    }

    showOpenedDocument();
}

bool TMainForm::showOpenedDocument() {
    const Outcome player = m_session.startPlayer();
    if (!player.ok()) {
        showOutcome(player);
        return false;
    }
    syncZoomChecks(m_doc.view.framesPerColumn);
    setWaveWidth(waveWidthFor(m_doc));
    PaintBox1->update();
    SetUIMode(ModeStopped);
    return true;
}

bool TMainForm::offerRecovery() {
    if (!documentCommandsAvailable()) return false;
    // Folders left unanswered (one document at a time) are let go for the next start.
    struct EndOffer {
        Session& session;
        ~EndOffer() { session.endRecoveryOffer(); }
    } endOffer{m_session};
    for (const std::string& folder : m_session.foldersToRecover()) {
        const auto state = readRecoveryState(folder);
        if (!state) continue;
        std::string question = messageText(MessageId::RecoverQuestion, {state->documentPath});
        // An edit that kept nothing for Undo cannot be taken back: say what may be found.
        if (state->editing && !state->editUndoable) question += '\n' + messageText(MessageId::RecoverCutShort);
        const int answer = m_prompts->messageBox({question, "", PromptButtons::YesNo, PromptIcon::Question});
        if (answer != IDYES) {
            m_session.discardRecovery(folder);
            continue;
        }
        Outcome outcome;
        runCommand(*ReloadForm, [&](WorkerProgress& progress) { outcome = m_session.recover(folder, progress); });
        if (!outcome.ok()) {
            showOutcome(outcome);
            continue;
        }
        // One document at a time: any other left folder waits for the next start.
        return showOpenedDocument();
    }
    return false;
}

void TMainForm::dragEnterEvent(QDragEnterEvent* e) {
    if (m_doc.uiMode == ModeNoDocument && MOpen->isEnabled() && !droppedFile(e->mimeData()).isEmpty())
        e->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* e) {
    const QString path = droppedFile(e->mimeData());
    if (m_doc.uiMode != ModeNoDocument || !MOpen->isEnabled() || path.isEmpty()) return;
    e->acceptProposedAction();
    // Open once the drop has completed: the open runs a modal dialog, which must not hold
    // up the drag source.
    QTimer::singleShot(0, this, [this, path] {
        if (m_doc.uiMode != ModeNoDocument || !MOpen->isEnabled()) return;
        m_session.nameDocument(path.toStdString());
        openFile(path.toStdString());
    });
}

}  // namespace torvane
