#pragma once
// How every long command (open, zoom reload, save, the five edits, undo, redo, recovery) runs
// behind its progress dialog.
//
// The body runs on a worker thread (std::jthread); its stop token is the dialog's Cancel. The
// body reports progress into two atomics, one per bar, which the dialog reads about 30 times a
// second; a bar only moves forward while the dialog is up. The user-interface thread stays in
// the dialog's modal loop the whole time: it repaints, runs the timer and takes the Cancel
// click, and never waits for the worker. Cancel asks the body to stop; the dialog ends once the
// body has returned, so when runModal returns the worker is finished and joined.
//
//     const int result = WorkerThread::runModal(*ProcessForm, [&](WorkerProgress& progress) {
//         outcome = session.deleteSelection(progress);
//     });
//
// runModal returns the dialog's modal result: 3 when Cancel was pressed, 1 otherwise. A body
// that calls holdUntilCancel() leaves the dialog up, its bars where they stopped, until the
// user presses Cancel (after a failure the user has been told about).
//
// The body must not touch widgets; questions and messages go through UiThreadPrompts.

#include <QObject>
#include <array>
#include <atomic>
#include <functional>
#include <stop_token>

#include "platform/Progress.h"

namespace torvane {

class ProgressForm;

class WorkerProgress final : public Progress {
public:
    explicit WorkerProgress(std::stop_token stop) : m_stop(std::move(stop)) {}
    void setPercent(int bar, int percent) override {
        if (bar == 0 || bar == 1) m_percent[std::size_t(bar)].store(percent, std::memory_order_relaxed);
    }
    bool cancelRequested() const override { return m_stop.stop_requested(); }

    void holdUntilCancel() { m_hold.store(true); }
    bool held() const { return m_hold.load(); }
    int percent(int bar) const { return m_percent[std::size_t(bar)].load(std::memory_order_relaxed); }

private:
    std::stop_token m_stop;
    std::array<std::atomic<int>, 2> m_percent{};
    std::atomic<bool> m_hold{false};
};

class WorkerThread {
public:
    using Body = std::function<void(WorkerProgress&)>;
    // Sets the bars to 0, starts the body, shows the dialog modally; returns its modal result.
    static int runModal(ProgressForm& dialog, Body body);
};

}  // namespace torvane
