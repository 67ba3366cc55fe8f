#pragma once
// What a long operation in the core needs of whoever shows its progress: move a bar,
// keep the interface alive, and learn whether the user asked to stop.

#include <algorithm>
#include <chrono>
#include <cstdint>

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

// trunc(done * 100.0 / total), at most 100; 0 for an empty total.
inline int percentOf(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 0;
    return int(std::min(100.0, double(done) * 100.0 / double(total)));
}

// One bar of a Progress, told only when its value changes.
class PercentBar {
public:
    PercentBar(Progress& p, int bar) : m_progress(p), m_bar(bar) {}
    void set(int percent) {
        percent = std::clamp(percent, 0, 100);
        if (percent != m_last) {
            m_last = percent;
            m_progress.setPercent(m_bar, percent);
        }
    }

private:
    Progress& m_progress;
    int m_bar;
    int m_last = -1;
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
