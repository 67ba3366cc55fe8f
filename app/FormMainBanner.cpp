// The banner at the right end of the tool bar: its movie written to the temp folder, its page
// loaded into the browser stand-in, and the filter that keeps right clicks off it.

#include <QApplication>
#include <QFile>
#include <QMouseEvent>

#include "app/FormMain.h"
#include "extras/BannerView.h"
#include "platform/FileIo.h"

// Resources of a static library must be registered by hand.
static void initBannerResources() { Q_INIT_RESOURCE(banner); }

namespace torvane {

// "General"/"Ad" = "0" turns the banner off: hidden, and moved below the tool bar so that
// nothing of it shows.
void TMainForm::SetupBanner() {
    initBannerResources();
    if (!bannerOn()) {
        BannerBrowser->setVisible(false);
        BannerBrowser->move(BannerBrowser->x(), Panel1->y() + 100);
        return;
    }
    BannerBrowser->setVisible(true);
    // Every message passes the filter (ApplicationEvents1Message).
    qApp->installEventFilter(this);
}

void TMainForm::LoadBanner() {
    if (m_settings.bannerFilePath.empty()) return;  // no working folder to put the movie in
    QFile movie(QStringLiteral(":/ADFLASH"));
    QFile out(QString::fromStdString(m_settings.bannerFilePath));
    if (!movie.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    out.write(movie.readAll());
    out.close();

    QFile page(QStringLiteral(":/SHOWFLASHHTML"));
    if (!page.open(QIODevice::ReadOnly)) return;
    QByteArray html = page.readAll();
    html.replace("iniflash.swf", QByteArray::fromStdString(m_settings.bannerFilePath));
    BannerBrowser->Navigate(QStringLiteral("about:blank"));
    if (BannerBrowser->Document() && !BannerBrowser->Busy()) BannerBrowser->loadFromStream(html);
}

void TMainForm::BannerBrowserDocumentComplete(BannerView* sender) {
    if (sender != BannerBrowser || !sender->Document()) return;
    sender->Document()->bodyStyle[QStringLiteral("border")] = QStringLiteral("none");
    sender->update();
}

bool TMainForm::ApplicationEvents1Message(QEvent* e) {
    if (e->type() != QEvent::MouseButtonPress || !BannerBrowser || !BannerBrowser->isVisible()) return false;
    const auto* m = static_cast<QMouseEvent*>(e);
    if (m->button() != Qt::RightButton || !centralWidget()) return false;
    const QPoint p = centralWidget()->mapFromGlobal(m->globalPosition().toPoint());
    const QRect r = BannerBrowser->geometry();  // its own position, taken as is
    return r.left() < p.x() && p.x() < r.left() + r.width() && r.top() < p.y() && p.y() < r.top() + r.height();
}

}  // namespace torvane
