#include "app/TReloadForm.h"

namespace torvane {

// The peak table at a new zoom.
TReloadForm::TReloadForm(QWidget* parent)
    : ProgressForm(parent, QStringLiteral("ReloadForm"), tr("Reload File"), 315, 55) {
    addBar("ProgressBar1", 22, 16, 267, 17);
}

}  // namespace torvane
