#pragma once
// Progress of the command-line tool: a one-line bar on stderr, redrawn at most every
// 100 ms, and only when stderr is a terminal.

#include <chrono>
#include <cstdio>

#include "platform/Progress.h"

namespace torvane {

class TerminalProgress final : public Progress {
public:
    // `enabled` false makes every call a no-op (stderr is a file or a pipe).
    explicit TerminalProgress(bool enabled);
    ~TerminalProgress() override;

    void setPercent(int bar, int percent) override;
    bool cancelRequested() const override { return false; }

    // True when stderr is an interactive terminal.
    static bool stderrIsTerminal();

private:
    void draw(bool force);

    bool m_enabled;
    bool m_drawn = false;
    int m_percent[2] = {0, 0};
    std::chrono::steady_clock::time_point m_lastDraw{};
};

}  // namespace torvane
