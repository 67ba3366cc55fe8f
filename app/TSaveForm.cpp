#include "app/TSaveForm.h"

#include "i18n/CaptionKeys.h"

namespace torvane {

// Copying or encoding the working file; the caller sets the caption to "Save" or "Save As".
TSaveForm::TSaveForm(QWidget* parent) : ProgressForm(parent, QStringLiteral("SaveForm"), QString::fromStdString(captionText(nullptr, "SaveForm", "Caption")), 315, 93) {
    addBar("ProgressBar1", 22, 17, 267, 17);
    addSeparator(49);
    addCancel(104, 57);
}

}  // namespace torvane
