#pragma once
// The Volume dialog: pick a factor from the list or mute the selection.

#include <QDialog>

class QCheckBox;
class QComboBox;

namespace torvane {

class TVolumeForm final : public QDialog {
    Q_OBJECT
public:
    explicit TVolumeForm(QWidget* parent = nullptr);

    QComboBox* ComboBox1 = nullptr;
    QCheckBox* CheckBoxMute = nullptr;

    void reject() override;  // Escape and the close box answer Cancel (2)

protected:
    void showEvent(QShowEvent* e) override;
};

}  // namespace torvane
