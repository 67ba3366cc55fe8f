#include "app/TAboutForm.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "app/ProgressForm.h"

namespace torvane {

namespace {
QFrame* bevel(QWidget* parent, const char* name, int x, int y, int w, int h, QFrame::Shape shape) {
    auto* f = new QFrame(parent);
    f->setObjectName(QString::fromLatin1(name));
    f->setFrameShape(shape);
    f->setFrameShadow(QFrame::Sunken);
    f->setGeometry(x, y, w, h);
    return f;
}
QLabel* label(QWidget* parent, const char* name, const QString& text, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->move(x, y);
    return l;
}
}  // namespace

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(tr("About"));
    setFixedSize(337, 224);
    setFont(QFont(QStringLiteral("Tahoma"), 8));  // dialogs are windows: they do not inherit it

    bevel(this, "Bevel1", 8, 8, 321, 161, QFrame::Box);
    Label1 = label(this, "Label1", QStringLiteral("Torvane Audio Editor"), 24, 24);
    QFont big = Label1->font();
    big.setPointSize(10);
    Label1->setFont(big);
    Label1->setStyleSheet(QStringLiteral("color: #800000;"));
    Label1->adjustSize();

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(240, 32, 64, 64);
    Image1->setPixmap(QIcon(QStringLiteral(":/icons/app.svg")).pixmap(64, 64));

    Label2 = label(this, "Label2", tr("Version:"), 24, 54);
    Label3 = label(this, "Label3", QStringLiteral("3.0"), 96, 54);
    Label4 = label(this, "Label4", tr("Home page:"), 24, 73);
    Label5 = label(this, "Label5", QString(), 96, 73);
    Label5->setStyleSheet(QStringLiteral("color: blue; text-decoration: underline;"));
    Label5->setCursor(Qt::PointingHandCursor);
    Label6 = label(this, "Label6", QString(), 24, 104);
    Label7 = label(this, "Label7", QString(), 24, 131);
    bevel(this, "Bevel2", 8, 180, 321, 2, QFrame::HLine);

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("ButtonOk"));
    ok->setGeometry(120, 188, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { done(1); });
}

void TAboutForm::showEvent(QShowEvent* e) {
    centreOnParent(this);
    QDialog::showEvent(e);
}

}  // namespace torvane
