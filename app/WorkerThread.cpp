#include "app/WorkerThread.h"

#include <QProgressBar>
#include <QTimer>
#include <thread>

#include "app/ProgressForm.h"

namespace torvane {

namespace {
constexpr int kPollMilliseconds = 33;

// Moves the dialog's bars up to what the body has reported; never back.
void showProgress(ProgressForm& dialog, const WorkerProgress& progress) {
    for (int i = 0; i < 2; ++i)
        if (QProgressBar* bar = dialog.bar(i)) {
            const int value = std::clamp(progress.percent(i), 0, 100);
            if (value > bar->value()) bar->setValue(value);
        }
}
}  // namespace

int WorkerThread::runModal(ProgressForm& dialog, Body body) {
    dialog.resetBars();
    std::stop_source stop;
    WorkerProgress progress(stop.get_token());
    QTimer poll;
    poll.setInterval(kPollMilliseconds);
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] { showProgress(dialog, progress); });

    // Set on the interface thread once the body has returned; posted so that it is served by
    // the dialog's loop, which has started by then.
    const auto finished = [&] {
        poll.stop();
        showProgress(dialog, progress);
        dialog.workerEnded(progress.held());
    };
    dialog.workerStarted([&stop] { stop.request_stop(); });
    // Receives the end of the body; should the dialog ever end first, its going drops the call.
    QObject receiver;
    std::jthread worker([&] {
        body(progress);
        QMetaObject::invokeMethod(&receiver, finished, Qt::QueuedConnection);
    });
    poll.start();
    const int result = dialog.exec();
    // The dialog ends only after `finished` has run, so the body is over: this join is immediate.
    worker.join();
    dialog.workerEnded(false);
    return result;
}

}  // namespace torvane
