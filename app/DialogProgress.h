#pragma once
// Progress over a progress dialog: bar 0 is ProgressBar1, bar 1 ProgressBar2; pump()
// processes pending events (the caller throttles it with PumpThrottle); Cancel ends the
// dialog and is reported by cancelRequested().

#include "platform/Progress.h"

namespace torvane {

class ProgressForm;

class DialogProgress final : public Progress {
public:
    explicit DialogProgress(ProgressForm& dialog) : m_dialog(dialog) {}
    void setPercent(int bar, int percent) override;
    void pump() override;
    bool cancelRequested() const override;

private:
    ProgressForm& m_dialog;
};

}  // namespace torvane
