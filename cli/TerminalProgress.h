#pragma once
// Progress of the command-line tool: a one-line bar on stderr, redrawn at most every
// 100 ms, and only when stderr is a terminal. Its labels say what the work is.

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/Progress.h"

namespace torvane {

class TerminalProgress final : public Progress {
public:
    // What the bars measure. An open reports its source on bar 0 and the peak table on bar 1;
    // when the source is only copied both are one "Loading" bar. An edit reports on bar 0 and
    // reloads the peaks on bar 1; a save has bar 0 only.
    enum class Phase { Decoding, Loading, Processing, Encoding, Saving };

    // `enabled` false makes every call a no-op (stderr is a file or a pipe, or -q).
    TerminalProgress(bool enabled, Phase phase);
    ~TerminalProgress() override { finish(); }

    void setPercent(int bar, int percent) override;
    bool cancelRequested() const override { return false; }

    // Draws the last state and ends the line; a later bar starts a line of its own.
    void finish();

    // True when stderr is an interactive terminal.
    static bool stderrIsTerminal();

private:
    void draw(bool force);

    bool m_enabled;
    Phase m_phase;
    bool m_drawn = false;
    int m_percent[2] = {0, 0};
    std::chrono::steady_clock::time_point m_lastDraw{};
};

}  // namespace torvane
