#pragma once
#include "app/ProgressForm.h"

namespace torvane {

class TProcessForm final : public ProgressForm {
    Q_OBJECT
public:
    explicit TProcessForm(QWidget* parent = nullptr);
};

}  // namespace torvane
