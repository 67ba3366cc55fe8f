#pragma once
// What a long operation in the core needs of whoever shows its progress: move a bar,
// keep the interface alive, and learn whether the user asked to stop.

#include <chrono>

namespace torvane {

class Progress {
public:
    virtual ~Progress() = default;
    // bar is 0 for the first bar of a dialog, 1 for the second; percent is 0..100.
    virtual void setPercent(int bar, int percent) = 0;
    // Let the interface breathe: repaint bars, run the timer, take a Cancel click.
    virtual void pump() = 0;
    virtual bool cancelRequested() const = 0;
};

// A Progress that does nothing: for callers without a dialog.
class NoProgress : public Progress {
public:
    void setPercent(int, int) override {}
    void pump() override {}
    bool cancelRequested() const override { return false; }
};

// Long loops call tick() per step; it pumps only every ~20 ms so that the loop, not the
// event processing, dominates the cost.
class PumpThrottle {
public:
    explicit PumpThrottle(Progress& p, std::chrono::milliseconds every = std::chrono::milliseconds(20))
        : m_progress(p), m_every(every), m_last(std::chrono::steady_clock::now()) {}
    void tick() {
        auto now = std::chrono::steady_clock::now();
        if (now - m_last >= m_every) {
            m_last = now;
            m_progress.pump();
        }
    }

private:
    Progress& m_progress;
    std::chrono::milliseconds m_every;
    std::chrono::steady_clock::time_point m_last;
};

}  // namespace torvane
