#include "app/TOpenForm.h"

#include "i18n/CaptionKeys.h"

namespace torvane {

// Decoding (or copying) the source, then building the peak table.
TOpenForm::TOpenForm(QWidget* parent) : ProgressForm(parent, QStringLiteral("OpenForm"), QString::fromStdString(captionText(nullptr, "OpenForm", "Caption")), 354, 124) {
    addLabel("Label1", QString::fromStdString(captionText(nullptr, "OpenForm", "Decoding")), 16, 16);
    addBar("ProgressBar1", 70, 16, 267, 17);
    addLabel("Label2", QString::fromStdString(captionText(nullptr, "OpenForm", "Loading")), 16, 48);
    addBar("ProgressBar2", 70, 48, 267, 17);
    addSeparator(81);
    addCancel(128, 89);
}

}  // namespace torvane
