#pragma once
// The banner area's browser. The banner page holds a Flash movie, which no browser plays
// any more; a web engine would be a hundred megabytes to show one coloured strip. So this is
// the lightest stand-in that shows the page well: it keeps the calls the editor makes of a
// browser (Visible, Busy, Document, Navigate, loading from a stream, the body's style, the
// document-complete event), reads what the page asks for (its background colour, the movie's
// file) and draws the page's background with a still of the movie where it would play.

#include <QByteArray>
#include <QColor>
#include <QMap>
#include <QString>
#include <QWidget>
#include <memory>

namespace torvane {

// What the stand-in makes of a loaded page.
struct BannerDocument {
    QString html;
    QColor background = Qt::white;  // the body's background colour
    QString moviePath;              // the movie the page's object or embed element shows
    QMap<QString, QString> bodyStyle;
};

class BannerView final : public QWidget {
    Q_OBJECT
public:
    explicit BannerView(QWidget* parent = nullptr);

    bool Busy() const { return false; }  // pages load at once, from memory
    BannerDocument* Document() { return m_document.get(); }
    // "about:blank" gives an empty document; other addresses are not loaded (the banner
    // never leaves its page).
    void Navigate(const QString& address);
    // Loads the page from `stream` into the current document; emits DocumentComplete.
    void loadFromStream(const QByteArray& stream);

    // True when the movie named by the page is a movie (a compressed or plain SWF file).
    bool movieLoaded() const { return m_movieOk; }

signals:
    void DocumentComplete(BannerView* sender);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    std::unique_ptr<BannerDocument> m_document;
    bool m_movieOk = false;
};

}  // namespace torvane
