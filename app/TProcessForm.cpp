#include "app/TProcessForm.h"

#include "i18n/CaptionKeys.h"

namespace torvane {

// Rewriting the working file, then rebuilding the peak table; an edit cannot be cancelled.
TProcessForm::TProcessForm(QWidget* parent)
    : ProgressForm(parent, QStringLiteral("ProcessForm"), QString::fromStdString(captionText(nullptr, "ProcessForm", "Caption")), 354, 85) {
    addLabel("Label1", QString::fromStdString(captionText(nullptr, "ProcessForm", "Processing")), 16, 16);
    addBar("ProgressBar1", 77, 16, 260, 17);
    addLabel("Label2", QString::fromStdString(captionText(nullptr, "ProcessForm", "Reloading")), 16, 48);
    addBar("ProgressBar2", 77, 48, 260, 17);
}

}  // namespace torvane
