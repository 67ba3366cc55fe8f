#pragma once
// How every long operation (open, zoom reload, save, the five edits) runs.
//
// The worker thread's only work is to hand its body to the user-interface thread
// synchronously and return when the body has finished; it then frees itself. The body
// therefore runs on the user-interface thread, inside the progress dialog's modal loop,
// moves the bars, pumps pending events now and then (so bars, the timer, repaints and the
// Cancel button stay live) and, when done, ends the dialog. Nothing is shared between
// threads, so nothing needs a lock.
//
// Use:
//     int result = WorkerThread::runModal(*m_openForm, [&](DialogProgress& progress) {
//         PumpThrottle throttle(progress);
//         for (...) {
//             ... one small step ...
//             progress.setPercent(0, int(done * 100.0 / total));
//             throttle.tick();
//             if (progress.cancelRequested()) return;   // Cancel ended the dialog with 3
//         }
//     });
//     if (result == kModalResultCancelled) ... ;
//
// runModal sets the bars to 0, starts the worker, shows the dialog modally and returns its
// modal result: 3 when Cancel ended it, 1 when the body returned (the body may also end the
// dialog itself with done(r) to return r). When runModal returns the worker is finished.
// A named worker (TOpenThread, TSaveThread, ...) is a subclass whose constructor passes
// its body; see runModal for the start-and-show sequence.

#include <QThread>
#include <functional>
#include <memory>

#include "app/DialogProgress.h"

namespace torvane {

class ProgressForm;

class WorkerThread : public QThread {
    Q_OBJECT
public:
    using Body = std::function<void(DialogProgress&)>;

    // Creates, starts and shows; returns the dialog's modal result.
    static int runModal(ProgressForm& dialog, Body body);

protected:
    WorkerThread(ProgressForm& dialog, Body body);
    void run() override;

private:
    // Runs on the user-interface thread.
    void runBody();

    ProgressForm& m_dialog;
    Body m_body;
    // Set once the dialog's loop is over; a body that has not started by then never runs.
    std::shared_ptr<bool> m_abandoned = std::make_shared<bool>(false);
};

}  // namespace torvane
