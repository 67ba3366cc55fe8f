#pragma once
// The longest stretch during which a thread's event loop did not run. A short timer on the
// thread is served by whichever loop runs (the main one, a modal dialog's, a body's
// processEvents), so the longest interval between two of its ticks is the longest time no loop
// ran: a frozen window for the user.

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <functional>

namespace torvane::bench {

class GapProbe {
public:
    explicit GapProbe(int intervalMs = 5) {
        // A coarse timer may be served up to 5 % late on purpose, which would read as a stall.
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { tick(); });
    }

    // A new measurement; the first gap counts from now.
    void start() {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_timer.start();
    }
    // Ends the measurement at the last tick: a gap only ends when a loop runs again.
    void stop() { m_timer.stop(); }
    // Called on every tick after its gap is taken: the place to observe state from the loop.
    void onTick(std::function<void()> f) { m_onTick = std::move(f); }

    double longestMs() const { return double(m_longest) / 1e6; }

private:
    void tick() {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
        if (m_onTick) m_onTick();
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    std::function<void()> m_onTick;
};

}  // namespace torvane::bench
