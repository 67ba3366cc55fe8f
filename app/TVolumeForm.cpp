#include "app/TVolumeForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "app/ProgressForm.h"
#include "i18n/CaptionKeys.h"

namespace torvane {

TVolumeForm::TVolumeForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("VolumeForm"));
    setWindowTitle(QString::fromStdString(captionText(nullptr, "VolumeForm", "Caption")));
    setFixedSize(241, 132);
    setFont(QFont(QStringLiteral("Tahoma"), 8));  // dialogs are windows: they do not inherit it

    auto* label = new QLabel(QString::fromStdString(captionText(nullptr, "VolumeForm", "Volume")), this);
    label->setObjectName(QStringLiteral("Label1"));
    label->move(24, 24);

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("250%"), QStringLiteral("200%"), QStringLiteral("150%"),
                         QStringLiteral("100%"), QStringLiteral("75%"), QStringLiteral("50%"),
                         QStringLiteral("25%")});
    ComboBox1->setCurrentIndex(3);
    ComboBox1->setGeometry(80, 21, 129, ComboBox1->sizeHint().height());

    CheckBoxMute = new QCheckBox(QString::fromStdString(captionText(nullptr, "VolumeForm", "Mute")), this);
    CheckBoxMute->setObjectName(QStringLiteral("CheckBoxMute"));
    CheckBoxMute->setGeometry(80, 56, 97, 17);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(8, 88, 225, 2);

    auto* ok = new QPushButton(QString::fromStdString(captionText(nullptr, "Common", "Ok")), this);
    ok->setObjectName(QStringLiteral("ButtonOk"));
    ok->setGeometry(24, 96, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { done(1); });

    auto* cancel = new QPushButton(QString::fromStdString(captionText(nullptr, "Common", "Cancel")), this);
    cancel->setObjectName(QStringLiteral("ButtonCancel"));
    cancel->setGeometry(134, 96, 75, 25);
    connect(cancel, &QPushButton::clicked, this, [this] { done(2); });
}

void TVolumeForm::reject() { done(2); }

void TVolumeForm::showEvent(QShowEvent* e) {
    centreOnParent(this);
    QDialog::showEvent(e);
}

}  // namespace torvane
