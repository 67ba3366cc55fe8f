#include "app/TAboutForm.h"

#include <QDate>
#include <QEvent>
#include <QFrame>
#include <QMouseEvent>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "app/ProgressForm.h"
#include "i18n/CaptionKeys.h"
#include "i18n/Messages.h"

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
    setWindowTitle(QString::fromStdString(captionText(nullptr, "AboutForm", "Caption")));
    setFixedSize(337, 224);
    setFont(QFont(QStringLiteral("Tahoma"), 8));  // dialogs are windows: they do not inherit it

    bevel(this, "Bevel1", 8, 8, 321, 161, QFrame::Box);
    Label1 = label(this, "Label1", QString::fromStdString(messageText(MessageId::AppTitle)), 24, 24);
    QFont big = Label1->font();
    big.setPointSize(10);
    Label1->setFont(big);
    Label1->setStyleSheet(QStringLiteral("color: #800000;"));
    Label1->adjustSize();

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(240, 32, 64, 64);
    Image1->setPixmap(QIcon(QStringLiteral(":/icons/app.svg")).pixmap(64, 64));

    Label2 = label(this, "Label2", QString::fromStdString(captionText(nullptr, "AboutForm", "Version")), 24, 54);
    Label3 = label(this, "Label3", QStringLiteral("3.0"), 96, 54);
    Label4 = label(this, "Label4", QString::fromStdString(captionText(nullptr, "AboutForm", "HomePage")), 24, 73);
    Label5 = label(this, "Label5", QString(), 96, 73);
    Label5->setStyleSheet(QStringLiteral("color: blue; text-decoration: underline;"));
    Label5->setCursor(Qt::PointingHandCursor);
    Label5->installEventFilter(this);
    Label6 = label(this, "Label6", QString(), 24, 104);
    Label7 = label(this, "Label7", QString(), 24, 131);
    bevel(this, "Bevel2", 8, 180, 321, 2, QFrame::HLine);

    auto* ok = new QPushButton(QString::fromStdString(captionText(nullptr, "Common", "Ok")), this);
    ok->setObjectName(QStringLiteral("ButtonOk"));
    ok->setGeometry(120, 188, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { done(1); });
}

void TAboutForm::setHomePage(const std::string& address) {
    m_homePage = address;
    Label5->setText(QString::fromStdString(address));
    Label5->adjustSize();
}

void TAboutForm::setNotices(const QString& copyright, const QString& reserved, const QString& format) {
    m_copyright = copyright;
    m_reserved = reserved;
    m_noticeFormat = format;
}

QString TAboutForm::noticeLine(int year) const {
    constexpr int kFirstYear = 2026;
    const QString years = year > kFirstYear ? QStringLiteral("%1-%2").arg(kFirstYear).arg(year) : QString::number(year);
    const QString format =
        m_noticeFormat.isEmpty() ? QString::fromStdString(messageText(MessageId::AboutNotice, {"%1", "%2"})) : m_noticeFormat;
    return format.arg(m_copyright, years);
}

// FormActivate: the notice line ends with the year of today's date, at every showing.
void TAboutForm::showEvent(QShowEvent* e) {
    Label6->setText(noticeLine(QDate::currentDate().year()));
    Label6->adjustSize();
    Label7->setText(m_reserved);
    Label7->adjustSize();
    centreOnParent(this);
    QDialog::showEvent(e);
}

// Label5Click.
bool TAboutForm::eventFilter(QObject* watched, QEvent* e) {
    if (watched == Label5 && e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        if (openLink) openLink(m_homePage);
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

}  // namespace torvane
