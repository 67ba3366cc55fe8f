#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include "app/TOpenForm.h"
#include "app/TProcessForm.h"
#include "app/TSaveForm.h"
#include "app/WorkerThread.h"
#include "support/ShellFixture.h"

using namespace torvane;
using namespace torvane::test;

TEST(WorkerThread, BodyRunsOnTheInterfaceThreadInsideTheModalLoop) {
    Shell shell;
    TMainForm& f = shell.start();
    f.ProcessForm->bar(0)->setValue(55);  // left over from an earlier run
    bool ran = false, onUiThread = false, visible = false, barsReset = false;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(1);
    const int result = WorkerThread::runModal(*f.ProcessForm, [&](DialogProgress& progress) {
        ran = true;
        onUiThread = QThread::currentThread() == f.thread();
        visible = f.ProcessForm->isVisible();
        barsReset = f.ProcessForm->bar(0)->value() == 0;
        PumpThrottle throttle(progress, std::chrono::milliseconds(0));
        for (int i = 1; i <= 100; ++i) {
            progress.setPercent(0, i);
            progress.setPercent(1, i / 2);
            QThread::usleep(200);
            throttle.tick();
        }
        EXPECT_FALSE(progress.cancelRequested());
    });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(ran && onUiThread && visible && barsReset);
    EXPECT_GT(ticks, 0);  // events were pumped while the body ran
    EXPECT_EQ(f.ProcessForm->bar(0)->value(), 100);
    EXPECT_EQ(f.ProcessForm->bar(1)->value(), 50);
    EXPECT_FALSE(f.ProcessForm->isVisible());
}

TEST(WorkerThread, CancelEndsTheDialogWithThreeAndTheBodySeesIt) {
    Shell shell;
    TMainForm& f = shell.start();
    int steps = 0;
    const int result = WorkerThread::runModal(*f.OpenForm, [&](DialogProgress& progress) {
        PumpThrottle throttle(progress, std::chrono::milliseconds(0));
        for (; steps < 1000; ++steps) {
            if (steps == 10) f.OpenForm->cancelButton()->click();
            throttle.tick();
            if (progress.cancelRequested()) return;
        }
    });
    EXPECT_EQ(result, 3);
    EXPECT_EQ(steps, 10);
}

TEST(WorkerThread, BodyMayEndTheDialogWithItsOwnResult) {
    Shell shell;
    TMainForm& f = shell.start();
    const int result = WorkerThread::runModal(*f.SaveForm, [&](DialogProgress&) { f.SaveForm->done(7); });
    EXPECT_EQ(result, 7);
    // Run again: the dialog is reusable and its state starts afresh.
    EXPECT_EQ(WorkerThread::runModal(*f.SaveForm, [](DialogProgress&) {}), 1);
    EXPECT_FALSE(f.SaveForm->cancelled());
}
