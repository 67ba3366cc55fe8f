#pragma once
#include "app/ProgressForm.h"

namespace torvane {

class TReloadForm final : public ProgressForm {
    Q_OBJECT
public:
    explicit TReloadForm(QWidget* parent = nullptr);
};

}  // namespace torvane
