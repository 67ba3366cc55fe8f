#pragma once
// What a long operation in the core needs of whoever shows its progress: move a bar and learn
// whether the user asked to stop. It runs on a thread of its own: both calls must be cheap and
// safe from there (the window reads the bars from atomics).

#include <algorithm>
#include <cstdint>

namespace torvane {

class Progress {
public:
    virtual ~Progress() = default;
    // bar is 0 for the first bar of a dialog, 1 for the second; percent is 0..100.
    virtual void setPercent(int bar, int percent) = 0;
    virtual bool cancelRequested() const = 0;
};

// A Progress that does nothing: for callers without a dialog.
class NoProgress : public Progress {
public:
    void setPercent(int, int) override {}
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

}  // namespace torvane
