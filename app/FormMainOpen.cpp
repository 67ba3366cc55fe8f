// Opening a file into the main window: the Open command, the open worker with its dialog,
// and loading the opened document into the view and the player.

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "app/FormMain.h"
#include "app/TOpenForm.h"
#include "app/WorkerThread.h"
#include "codec/OpenDocument.h"
#include "platform/Bass.h"
#include "platform/FileIo.h"
#include "platform/Prompts.h"

namespace torvane {

namespace {
// The engine refuses a working file it cannot play (more than two channels, say).
constexpr const char* kMsgCannotPlay = "Cannot play this file: only mono and stereo PCM audio can be edited.";

// The one local file a drag carries, or empty.
QString droppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1) return {};
    const QUrl url = mime->urls().front();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}
}  // namespace

void TMainForm::ButtonOpenClick() {
    FileDialogRequest request;
    request.filter = kFileDialogFilter;
    const auto chosen = m_prompts->fileDialog(request);
    if (!chosen) return;
    m_doc.documentPath = chosen->path;
    OpenFromDocumentPath();
}

void TMainForm::RunOpen() {
    OpenResult result;
    // TOpenThread: the body runs inside OpenForm's modal loop.
    const int modal = WorkerThread::runModal(*OpenForm, [&](DialogProgress& progress) {
        result = openDocument(m_doc, progress);
        switch (result.status) {
        case OpenStatus::Ok:
            // Cancel only stops a decode; pressed while copying or loading it changes nothing.
            OpenForm->done(1);
            break;
        case OpenStatus::Cancelled:
            break;  // Cancel has ended the dialog already
        case OpenStatus::Failed:
            m_prompts->message(result.message);
            // The dialog stays, its bars where they stopped, until the user presses Cancel.
            while (!OpenForm->ended()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            break;
        }
    });
    if (modal == kModalResultCancelled || !result.ok()) return;

    const HSTREAM stream = BASS_StreamCreateFile(0, m_doc.workingFilePath.c_str(), 0, 0, 0);
    if (!stream) {
        m_prompts->message(kMsgCannotPlay);
        removeFile(m_doc.workingFilePath);
        return;
    }
    m_doc.stream = stream;
    m_doc.streamLength = std::int32_t(std::uint32_t(BASS_ChannelGetLength(stream, BASS_POS_BYTE)));
    setWaveWidth(int(m_doc.columnCount));
    m_doc.framesPerColumn = kDefaultFramesPerColumn;
    MZoom10->setChecked(true);
    m_doc.modified = false;
    m_doc.startMarker = 0;
    // An empty document has no columns: both markers stay on 0.
    m_doc.finishMarker = m_doc.columnCount ? m_doc.columnCount - 1 : 0;
    m_doc.loaded = true;
    PaintBox1->update();
    SetUIMode(ModeStopped);
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
        if (m_doc.uiMode != ModeNoDocument) return;
        m_doc.documentPath = path.toStdString();
        OpenFromDocumentPath();
    });
}

}  // namespace torvane
