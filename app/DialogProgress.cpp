#include "app/DialogProgress.h"

#include <QCoreApplication>
#include <QProgressBar>

#include "app/ProgressForm.h"

namespace torvane {

void DialogProgress::setPercent(int bar, int percent) {
    if (QProgressBar* b = m_dialog.bar(bar)) b->setValue(percent);
}

void DialogProgress::pump() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool DialogProgress::cancelRequested() const { return m_dialog.cancelled(); }

}  // namespace torvane
