#pragma once
// The About box: product name, version, home page link, notice lines.

#include <QDialog>

class QLabel;

namespace torvane {

class TAboutForm final : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;  // product name
    QLabel* Label2 = nullptr;  // "Version:"
    QLabel* Label3 = nullptr;  // version number
    QLabel* Label4 = nullptr;  // "Home page:"
    QLabel* Label5 = nullptr;  // home page link
    QLabel* Label6 = nullptr;  // notice line
    QLabel* Label7 = nullptr;  // rights notice
    QLabel* Image1 = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
};

}  // namespace torvane
