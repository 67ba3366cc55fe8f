#include "extras/BannerView.h"

#include <QFile>
#include <QIcon>
#include <QPainter>
#include <QRegularExpression>

#include "i18n/Messages.h"

namespace torvane {

BannerView::BannerView(QWidget* parent) : QWidget(parent) {}

void BannerView::Navigate(const QString& address) {
    if (address == QLatin1String("about:blank")) {
        m_document = std::make_unique<BannerDocument>();
        m_movieOk = false;
        update();
    }
}

void BannerView::loadFromStream(const QByteArray& stream) {
    if (!m_document) m_document = std::make_unique<BannerDocument>();
    BannerDocument& d = *m_document;
    // The page is 8-bit text in its own charset; what the stand-in reads of it is ASCII.
    d.html = QString::fromLatin1(stream);
    const QRegularExpression colour(QStringLiteral(R"(background-color\s*:\s*(#[0-9A-Fa-f]{6}))"));
    if (const auto m = colour.match(d.html); m.hasMatch()) d.background = QColor(m.captured(1));
    const QRegularExpression movie(QStringLiteral(R"re((?:name="movie"\s+value|src)="([^"]+)")re"));
    if (const auto m = movie.match(d.html); m.hasMatch()) d.moviePath = m.captured(1);
    QFile f(d.moviePath);
    const QByteArray magic = f.open(QIODevice::ReadOnly) ? f.read(4) : QByteArray();
    m_movieOk = magic.size() == 4 && (magic.startsWith("CWS") || magic.startsWith("FWS"));
    update();
    emit DocumentComplete(this);
}

void BannerView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!m_document) return;  // nothing loaded: the tool bar shows through
    p.fillRect(rect(), m_document->background);
    if (m_movieOk) {
        // The still: the program's mark and name where the movie plays.
        const int h = height();
        p.drawPixmap(8, (h - 48) / 2, QIcon(QStringLiteral(":/icons/app.svg")).pixmap(48, 48));
        QFont f = font();
        f.setBold(true);
        f.setPointSize(11);
        p.setFont(f);
        p.setPen(QColor(0x00, 0x33, 0x99));
        p.drawText(QRect(64, 0, width() - 70, h), Qt::AlignVCenter | Qt::AlignLeft,
                   QString::fromStdString(messageText(MessageId::AppTitle)));
    }
    // Until the page's body border is removed, a browser draws its sunken edge.
    if (m_document->bodyStyle.value(QStringLiteral("border")) != QLatin1String("none")) {
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

}  // namespace torvane
