#include "app/TReloadForm.h"

#include "i18n/CaptionKeys.h"

namespace torvane {

// The peak table at a new zoom.
TReloadForm::TReloadForm(QWidget* parent)
    : ProgressForm(parent, QStringLiteral("ReloadForm"), QString::fromStdString(captionText(nullptr, "ReloadForm", "Caption")), 315, 55) {
    addBar("ProgressBar1", 22, 16, 267, 17);
}

}  // namespace torvane
