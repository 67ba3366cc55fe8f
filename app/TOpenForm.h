#pragma once
#include "app/ProgressForm.h"

namespace torvane {

class TOpenForm final : public ProgressForm {
    Q_OBJECT
public:
    explicit TOpenForm(QWidget* parent = nullptr);
};

}  // namespace torvane
