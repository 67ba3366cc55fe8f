// The banner: its movie written to the temp folder from the program's resources and removed at
// exit, its page loaded with the movie's path, "Ad" = 0 turning all of it off, and the filter
// that discards right-button presses strictly inside the visible banner.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <zlib.h>

#include "extras/BannerView.h"
#include "platform/FileIo.h"
#include "support/ShellFixture.h"

using namespace torvane;
using namespace torvane::test;

namespace {

// A right-button press at client point `p` of the main window, as the application's message
// filter sees it; true when the filter discards it.
bool rightPressFiltered(TMainForm& f, QPoint p) {
    const QPoint global = f.centralWidget()->mapToGlobal(p);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(p), QPointF(global), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    return f.ApplicationEvents1Message(&press);
}

}  // namespace

TEST(Banner, MovieAndPageFromTheResourcesAndTheMovieGoesAtExit) {
    Shell shell;
    TMainForm& f = shell.start();
    const std::string movie = f.settings().bannerFilePath;
    ASSERT_EQ(movie, f.doc().tempFolder + "_VelkoraAd.swf");
    const Bytes swf = readFile(movie);
    ASSERT_GT(swf.size(), 8u);
    // A compressed SWF of version 7 whose body inflates to the length its header gives.
    EXPECT_EQ(std::string(swf.begin(), swf.begin() + 3), "CWS");
    EXPECT_EQ(swf[3], 7);
    const std::uint32_t length = get32(swf, 4);
    std::vector<unsigned char> body(length - 8);
    uLongf got = uLongf(body.size());
    ASSERT_EQ(uncompress(body.data(), &got, swf.data() + 8, uLong(swf.size() - 8)), Z_OK);
    EXPECT_EQ(got, length - 8);

    BannerDocument* page = f.BannerBrowser->Document();
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(f.BannerBrowser->isVisible());
    EXPECT_TRUE(f.BannerBrowser->movieLoaded());
    EXPECT_FALSE(page->html.contains("iniflash.swf"));
    EXPECT_EQ(page->html.count(QString::fromStdString(movie)), 2);  // the object's and the embed's
    EXPECT_EQ(page->background, QColor(0x99, 0xCC, 0xFF));
    EXPECT_EQ(page->bodyStyle.value("border"), "none");  // set when the document completed
    EXPECT_EQ(f.BannerBrowser->grab().toImage().pixel(200, 60) | 0xFF000000, 0xFF99CCFF);

    shell.form.reset();
    EXPECT_FALSE(fileExists(movie));
}

TEST(Banner, RightPressesStrictlyInsideTheVisibleBannerAreDiscarded) {
    Shell shell;
    TMainForm& f = shell.start();
    f.resize(1000, f.height());  // the whole banner on screen
    pumpEvents();
    const QRect r = f.BannerBrowser->geometry();
    ASSERT_EQ(r, QRect(695, 0, 257, 65));
    EXPECT_TRUE(rightPressFiltered(f, QPoint(r.left() + 1, r.top() + 1)));
    EXPECT_TRUE(rightPressFiltered(f, QPoint(r.left() + 100, 30)));
    EXPECT_FALSE(rightPressFiltered(f, QPoint(r.left(), 30)));       // on the left edge
    EXPECT_FALSE(rightPressFiltered(f, QPoint(r.left() + 100, 0)));  // on the top edge
    EXPECT_FALSE(rightPressFiltered(f, QPoint(r.left() - 5, 30)));
    // Another button passes.
    const QPoint global = f.centralWidget()->mapToGlobal(QPoint(r.left() + 100, 30));
    QMouseEvent left(QEvent::MouseButtonPress, QPointF(100, 30), global, Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    EXPECT_FALSE(f.ApplicationEvents1Message(&left));
}

TEST(Banner, AdZeroWritesNoMovieAndFiltersNothing) {
    Shell shell;
    writeFile(shell.program.file("Velkora.ini"), Bytes{'[', 'G', 'e', 'n', 'e', 'r', 'a', 'l', ']', '\n', 'A', 'd', '=', '0', '\n'});
    TMainForm& f = shell.start();
    EXPECT_FALSE(f.bannerOn());
    EXPECT_FALSE(f.BannerBrowser->isVisible());
    EXPECT_EQ(f.BannerBrowser->y(), 100);
    EXPECT_FALSE(fileExists(f.doc().tempFolder + "_VelkoraAd.swf"));
    f.resize(1000, f.height());
    pumpEvents();
    EXPECT_FALSE(rightPressFiltered(f, QPoint(800, 30)));
}
