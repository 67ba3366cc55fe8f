// The probe of bench_ui_stall: a callback that holds the loop is measured whole.

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <thread>

#include "bench/GapProbe.h"
#include "support/ShellFixture.h"

TEST(GapProbe, ACallbackThatBlocksTheLoopIsMeasuredWhole) {
    torvane::test::guiApp();
    torvane::bench::GapProbe probe;
    QEventLoop loop;
    int ticksAfterBlock = 0;
    bool blocked = false;
    probe.onTick([&] {
        if (blocked && ++ticksAfterBlock == 2) loop.quit();
    });
    probe.start();
    QTimer::singleShot(10, &loop, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        blocked = true;
    });
    loop.exec();
    probe.stop();
    EXPECT_GE(probe.longestMs(), 100.0);
}
