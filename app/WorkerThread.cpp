#include "app/WorkerThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "app/ProgressForm.h"

namespace torvane {

WorkerThread::WorkerThread(ProgressForm& dialog, Body body) : m_dialog(dialog), m_body(std::move(body)) {
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

int WorkerThread::runModal(ProgressForm& dialog, Body body) {
    dialog.resetBars();
    auto* worker = new WorkerThread(dialog, std::move(body));
    auto abandoned = worker->m_abandoned;
    worker->start();
    const int result = dialog.exec();
    *abandoned = true;
    // Normally the body has run and the worker is returning. If the dialog ended before the
    // body was served, serve the pending hand-over now (it returns at once) so the worker
    // can finish. Either way "dialog ended" means "worker ended".
    while (!worker->wait(QDeadlineTimer(5))) QCoreApplication::sendPostedEvents(&dialog, QEvent::MetaCall);
    return result;
}

void WorkerThread::run() {
    auto abandoned = m_abandoned;
    // The dialog lives on the user-interface thread: the call is served by its modal loop
    // and this thread blocks until the body has returned.
    QMetaObject::invokeMethod(
        &m_dialog, [this, abandoned] {
            if (!*abandoned) runBody();
        },
        Qt::BlockingQueuedConnection);
}

void WorkerThread::runBody() {
    DialogProgress progress(m_dialog);
    m_body(progress);
    if (!m_dialog.ended()) m_dialog.done(1);
}

}  // namespace torvane
