#pragma once
#include "app/ProgressForm.h"

namespace torvane {

class TSaveForm final : public ProgressForm {
    Q_OBJECT
public:
    explicit TSaveForm(QWidget* parent = nullptr);
};

}  // namespace torvane
