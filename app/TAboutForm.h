#pragma once
// The About box: product name, version, home page link, notice lines.

#include <QDialog>
#include <functional>
#include <string>

class QLabel;

namespace torvane {

class TAboutForm final : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);

    // The address the link shows and opens (set before each showing).
    void setHomePage(const std::string& address);
    // The notice word and the rights notice, from the language file.
    // The notice word, the rights line, and the notice line's text ("%1 (C) ..., %2": the word
    // and the years; empty: the English one).
    void setNotices(const QString& copyright, const QString& reserved, const QString& format = QString());
    // Opens the home page (the desktop's browser).
    std::function<void(const std::string&)> openLink;
    // The notice line for a year: the notice word, the maker, the first year and `year`.
    QString noticeLine(int year) const;

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
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    std::string m_homePage;
    QString m_copyright;
    QString m_noticeFormat;
    QString m_reserved;
};

}  // namespace torvane
