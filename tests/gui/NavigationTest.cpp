// Getting around a long document in the real window, offscreen: the mouse wheel, Ctrl+wheel
// zoom, the time at the centre across zoom changes, Home and End, and what the file dialogs
// list. Every document is opened through the Open command from a tone made by sox.

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <filesystem>
#include <set>

#include "app/QtPrompts.h"
#include "support/ShellFixture.h"

using namespace torvane;
using namespace torvane::test;

namespace {

class Navigation : public ::testing::Test {
protected:
    Shell shell;
    TempDir media;
    TMainForm* f = nullptr;

    void SetUp() override { f = &shell.start(); }

    // A two-minute mono tone at 44100 Hz: 5292 columns at 1 : 1, 1323 at 4 : 1 (wider than
    // the view), 530 at 10 : 1 (narrower).
    void openTone(double seconds = 120) {
        const std::string path = media.file("tone.wav");
        ASSERT_TRUE(makeToneWav(path, 44100, 1, seconds));
        shell.prompts.answerFile(path);
        f->ButtonOpen->click();
        ASSERT_EQ(f->doc().uiMode, ModeStopped) << ::testing::PrintToString(shell.prompts.messageTexts());
    }

    QScrollBar* bar() const { return f->ScrollBox1->horizontalScrollBar(); }
    int viewWidth() const { return f->ScrollBox1->viewport()->width(); }
    std::int64_t framesPerColumn() const { return f->doc().view.framesPerColumn; }
    // The first sample frame of the column shown at x in the view.
    std::int64_t frameAt(int viewX) const { return std::int64_t(bar()->value() + viewX) * framesPerColumn(); }

    // Turns the wheel over the waveform at x in the view, as the window system delivers it:
    // to the paint box under the pointer, passed on to its parents while nobody takes it.
    void wheel(QPoint angle, int viewX, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* box = f->PaintBox1;
        const QPoint at = box->mapFrom(f->ScrollBox1->viewport(), QPoint(viewX, 0)) + QPoint(0, 100);
        ASSERT_TRUE(box->rect().contains(at));
        QWheelEvent e(at, box->mapToGlobal(at), QPoint(), angle, Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &e);
        pumpEvents();
    }

    std::string zoomChecked() const {
        for (QAction* a : {f->MZoom10, f->MZoom8, f->MZoom6, f->MZoom4, f->MZoom2, f->MZoom1})
            if (a->isChecked()) return a->text().toStdString();
        return "none";
    }
};

// A left drag selects from where it began to where it is, either way, following the pointer
// past the view; a press that does not move only places the play position.
TEST_F(Navigation, DragSelectsAndAClickPlaces) {
    openTone();
    f->MZoom1->trigger();
    auto send = [&](QEvent::Type type, int x, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(x, 50), f->PaintBox1->mapToGlobal(QPointF(x, 50)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(f->PaintBox1, &e);
    };
    const Selection before = f->doc().selection;
    send(QEvent::MouseButtonPress, 300, Qt::LeftButton);
    send(QEvent::MouseMove, 301, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, 301, Qt::NoButton);
    EXPECT_EQ(f->session().playColumn(), 300u);
    EXPECT_EQ(f->doc().selection.startMarker, before.startMarker);
    EXPECT_EQ(f->doc().selection.finishMarker, before.finishMarker);

    bar()->setValue(0);
    const int past = viewWidth() + 200;  // beyond the right edge of the view
    send(QEvent::MouseButtonPress, 500, Qt::LeftButton);
    send(QEvent::MouseMove, past, Qt::LeftButton);
    EXPECT_GT(bar()->value(), 0);
    send(QEvent::MouseMove, 120, Qt::LeftButton);  // back, left of where it began
    send(QEvent::MouseButtonRelease, 120, Qt::NoButton);
    EXPECT_EQ(f->doc().selection.startMarker, 120u);
    EXPECT_EQ(f->doc().selection.finishMarker, 500u);
    EXPECT_EQ(f->session().playColumn(), 500u);
}

TEST_F(Navigation, WheelScrollsSidewaysATenthOfTheViewPerNotchAndMovesNothingElse) {
    openTone();
    f->MZoom1->trigger();
    ASSERT_GT(bar()->maximum(), 1500);
    QTest::mouseClick(f->PaintBox1, Qt::LeftButton, {}, QPoint(40, 50));
    const std::uint32_t column = f->session().playColumn();
    ASSERT_EQ(column, 40u);

    const int step = viewWidth() / 10;
    ASSERT_GT(step, 10);
    bar()->setValue(1000);
    wheel({0, -120}, 300);  // a vertical wheel turned down: later in time
    EXPECT_EQ(bar()->value(), 1000 + step);
    wheel({0, 120}, 300);
    EXPECT_EQ(bar()->value(), 1000);
    wheel({-120, 0}, 300);  // a horizontal wheel pushed right
    EXPECT_EQ(bar()->value(), 1000 + step);
    wheel({120, 0}, 300);
    EXPECT_EQ(bar()->value(), 1000);
    wheel({0, -360}, 300);  // three notches in one event
    EXPECT_EQ(bar()->value(), 1000 + 3 * step);

    // A high-resolution wheel scrolls its share of a notch, and eight eighths make a notch.
    bar()->setValue(1000);
    for (int i = 0; i < 4; ++i) wheel({0, -15}, 300);
    EXPECT_NEAR(bar()->value(), 1000 + step / 2, 1);
    for (int i = 0; i < 4; ++i) wheel({0, -15}, 300);
    EXPECT_EQ(bar()->value(), 1000 + step);

    // The ends hold.
    bar()->setValue(0);
    wheel({0, 120}, 300);
    EXPECT_EQ(bar()->value(), 0);
    bar()->setValue(bar()->maximum());
    wheel({0, -120}, 300);
    EXPECT_EQ(bar()->value(), bar()->maximum());

    // Only the view moved.
    EXPECT_EQ(f->session().playColumn(), column);
    EXPECT_EQ(f->doc().selection.startMarker, 0u);
    EXPECT_EQ(f->doc().selection.finishMarker, f->doc().view.columnCount - 1);
    EXPECT_EQ(f->doc().uiMode, ModeStopped);
    EXPECT_EQ(zoomChecked(), "1 : 1");
}

TEST_F(Navigation, CtrlWheelZoomsOneLevelKeepingTheTimeUnderThePointer) {
    openTone();
    f->MZoom2->trigger();
    ASSERT_EQ(f->doc().view.columnCount, 2646u);
    bar()->setValue(400);
    f->session().stateForTests().selection.startMarker = 10;
    f->session().stateForTests().selection.finishMarker = 20;

    std::int64_t before = frameAt(150);
    wheel({0, 120}, 150, Qt::ControlModifier);  // up: in
    EXPECT_EQ(zoomChecked(), "1 : 1");
    EXPECT_EQ(f->doc().view.columnCount, 5292u);
    EXPECT_EQ(f->PaintBox1->width(), 5292);
    EXPECT_LT(std::abs(frameAt(150) - before), 2000);
    // As the zoom buttons leave it: the whole document selected, stopped.
    EXPECT_EQ(f->doc().selection.startMarker, 0u);
    EXPECT_EQ(f->doc().selection.finishMarker, 5291u);
    EXPECT_EQ(f->doc().uiMode, ModeStopped);
    EXPECT_FALSE(f->ButtonZoomIn->isEnabled());

    // At 1 : 1 there is nothing finer: the view stays as it is.
    const int left = bar()->value();
    wheel({0, 120}, 150, Qt::ControlModifier);
    EXPECT_EQ(zoomChecked(), "1 : 1");
    EXPECT_EQ(bar()->value(), left);

    before = frameAt(600);
    wheel({0, -120}, 600, Qt::ControlModifier);  // down: out, around another point
    EXPECT_EQ(zoomChecked(), "2 : 1");
    EXPECT_LT(std::abs(frameAt(600) - before), 2000);

    // Half a notch does nothing yet; the second half zooms.
    bar()->setValue(1000);
    before = frameAt(300);
    wheel({0, -60}, 300, Qt::ControlModifier);
    EXPECT_EQ(zoomChecked(), "2 : 1");
    wheel({0, -60}, 300, Qt::ControlModifier);
    EXPECT_EQ(zoomChecked(), "4 : 1");
    EXPECT_EQ(f->doc().view.columnCount, 1323u);
    EXPECT_LT(std::abs(frameAt(300) - before), 4000);
}

TEST_F(Navigation, EveryZoomKeepsTheTimeAtTheCentreWithinTheDocument) {
    openTone();
    // The document ends inside the view at 10 : 1: the middle of what is shown stays put.
    ASSERT_LT(f->PaintBox1->width(), viewWidth());
    const int middle = f->PaintBox1->width() / 2;
    std::int64_t before = frameAt(middle);
    f->MZoom1->trigger();
    EXPECT_EQ(zoomChecked(), "1 : 1");
    EXPECT_LT(std::abs(frameAt(middle) - before), 10000);

    const int centre = viewWidth() / 2;
    bar()->setValue(1200);
    before = frameAt(centre);
    f->MZoom4->trigger();  // the menu
    EXPECT_EQ(zoomChecked(), "4 : 1");
    EXPECT_LT(std::abs(frameAt(centre) - before), 4000);

    before = frameAt(centre);
    f->ButtonZoomIn->click();  // the tool button
    EXPECT_EQ(zoomChecked(), "2 : 1");
    EXPECT_LT(std::abs(frameAt(centre) - before), 4000);

    // Zooming out near the end stops the view at the end; near the start at the start.
    bar()->setValue(bar()->maximum());
    f->ButtonZoomOut->click();
    EXPECT_EQ(zoomChecked(), "4 : 1");
    EXPECT_GT(bar()->maximum(), 0);
    EXPECT_EQ(bar()->value(), bar()->maximum());
    f->ButtonZoomIn->click();
    bar()->setValue(5);
    f->ButtonZoomOut->click();
    EXPECT_EQ(zoomChecked(), "4 : 1");
    EXPECT_EQ(bar()->value(), 0);
}

TEST_F(Navigation, HomeAndEndScrollToTheEndsAndMoveNothingElse) {
    EXPECT_FALSE(f->KeyHome->isEnabled());
    EXPECT_FALSE(f->KeyEnd->isEnabled());
    openTone();
    f->MZoom1->trigger();
    // The offscreen platform leaves no window active once a dialog (here the zoom's) has
    // gone, and may report the native window active before the widgets know: wait for both.
    bool active = false;
    for (int attempt = 0; attempt < 3 && !active; ++attempt) {
        f->activateWindow();
        active = QTest::qWaitFor([&] { return QApplication::activeWindow() == f; });
    }
    if (!active) GTEST_SKIP() << "the platform gives no active window";
    bar()->setValue(700);
    QTest::mouseClick(f->PaintBox1, Qt::LeftButton, {}, QPoint(900, 50));
    f->CButtonSetStart->click();
    ASSERT_EQ(f->doc().selection.startMarker, 900u);
    const std::uint32_t mode = f->doc().uiMode;  // paused: the cursor sits on the marker

    QTest::keyClick(f, Qt::Key_End);
    EXPECT_EQ(bar()->value(), bar()->maximum());
    // The last column is the view's last.
    EXPECT_EQ(bar()->value() + viewWidth(), f->PaintBox1->width());
    QTest::keyClick(f, Qt::Key_Home);
    EXPECT_EQ(bar()->value(), 0);

    EXPECT_EQ(f->session().playColumn(), 900u);
    EXPECT_EQ(f->doc().selection.startMarker, 900u);
    EXPECT_EQ(f->doc().selection.finishMarker, 5291u);
    EXPECT_EQ(f->doc().uiMode, mode);
    EXPECT_EQ(zoomChecked(), "1 : 1");

    // With the document closed the keys are off again.
    f->ButtonClose->click();
    EXPECT_FALSE(f->KeyHome->isEnabled());
    EXPECT_FALSE(f->KeyEnd->isEnabled());
}

// The shown names of the files in the dialog's list.
std::set<std::string> listed(QFileDialog* dialog) {
    auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
    std::set<std::string> names;
    if (!list || !list->model()) return names;
    const QModelIndex root = list->rootIndex();
    for (int r = 0; r < list->model()->rowCount(root); ++r)
        names.insert(list->model()->index(r, 0, root).data().toString().toStdString());
    return names;
}

// Runs `step` on the open file dialog on every turn of its event loop until it returns true.
void whileDialogUp(QObject* owner, std::function<bool(QFileDialog*)> step) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, step] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible() && step(dialog)) timer->deleteLater();
    });
    timer->start(0);
}

TEST_F(Navigation, FileDialogsListEachCaptionOnceAndFilterByItsPatterns) {
    for (const char* name : {"a.wav", "b.mp3", "c.wma", "d.txt"}) writeFile(media.file(name), Bytes{1, 2, 3});
    const std::string audio = "*.wav;*.mp3;*.wma;*.aif;*.aiff;*.aifc;*.flac;*.ogg;*.oga;*.opus;*.m4a;*.aac;*.wave;*.rf64;*.bw64";
    const std::vector<std::string> captions = {"All audio files(" + audio + ")", "WAV Files(*.wav;*.wave;*.rf64;*.bw64)",
                                               "MP3 Files(*.mp3)", "WMA Files(*.wma)", "AIFF Files(*.aif;*.aiff;*.aifc)",
                                               "FLAC Files(*.flac)", "Ogg Vorbis/Opus Files(*.ogg;*.oga;*.opus)",
                                               "M4A/AAC Files(*.m4a;*.aac)", "All Files(*.*)"};
    const std::vector<std::string> saveCaptions = {"All Support Files(*.wav;*.mp3;*.wma;*.flac;*.ogg)",
                                                   "WAV Files(*.wav)", "MP3 Files(*.mp3)", "WMA Files(*.wma)",
                                                   "FLAC Files(*.flac)", "Ogg Vorbis Files(*.ogg)", "All Files(*.*)"};
    f->setPrompts(nullptr);  // the toolkit's own dialogs

    // Open: the list as the language file gives it; choosing a caption filters the folder.
    std::vector<std::string> shown;
    std::vector<std::set<std::string>> files;
    int stage = 0, turns = 0;
    whileDialogUp(f, [&](QFileDialog* dialog) {
        auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        if (!combo) {
            dialog->reject();
            return true;
        }
        if (stage == 0) {
            for (int i = 0; i < combo->count(); ++i) shown.push_back(combo->itemText(i).toStdString());
            dialog->setDirectory(QString::fromStdString(media.path()));
            stage = 1;
            return false;
        }
        // The folder is read in the background: wait until it shows what this filter lets through.
        const std::set<std::string> want[] = {{"a.wav", "b.mp3", "c.wma"}, {"a.wav"}, {"a.wav", "b.mp3", "c.wma", "d.txt"}};
        const std::set<std::string> now = listed(dialog);
        if (now != want[stage - 1] && ++turns < 20000) return false;
        files.push_back(now);
        turns = 0;
        if (stage == 1) {
            QTest::keyClick(combo, Qt::Key_Down);  // WAV Files
        } else if (stage == 2) {
            for (int i = 0; i < 7; ++i) QTest::keyClick(combo, Qt::Key_Down);  // All Files
        } else {
            dialog->reject();
            return true;
        }
        ++stage;
        return false;
    });
    f->ButtonOpen->click();
    EXPECT_EQ(shown, captions);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], (std::set<std::string>{"a.wav", "b.mp3", "c.wma"}));
    EXPECT_EQ(files[1], (std::set<std::string>{"a.wav"}));
    EXPECT_EQ(files[2], (std::set<std::string>{"a.wav", "b.mp3", "c.wma", "d.txt"}));
    EXPECT_EQ(f->doc().uiMode, ModeNoDocument);

    // Save As: the index asked for is the caption shown, and the one the user picks comes back.
    QtPrompts prompts(f);
    FileDialogRequest request;
    request.save = true;
    request.filter = kSaveDialogFilter;
    request.filterIndex = 3;
    request.fileName = media.file("song");
    std::string current;
    shown.clear();
    whileDialogUp(f, [&](QFileDialog* dialog) {
        auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!combo || !name) {
            dialog->reject();
            return true;
        }
        for (int i = 0; i < combo->count(); ++i) shown.push_back(combo->itemText(i).toStdString());
        current = combo->currentText().toStdString();
        QTest::keyClick(combo, Qt::Key_Down);  // WMA Files
        QTest::keyClick(name, Qt::Key_Return);
        return true;
    });
    const std::optional<FileDialogResult> result = prompts.fileDialog(request);
    EXPECT_EQ(shown, saveCaptions);
    EXPECT_EQ(current, "MP3 Files(*.mp3)");
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->filterIndex, 4);
    EXPECT_EQ(result->path, media.file("song"));
}

}  // namespace

TEST(NavigationLanguage, FileDialogListsATranslationsCaptionsOnce) {
    Shell shell;
    std::filesystem::copy_file(std::string(TORVANE_SOURCE_DIR) + "/VKLanguage/ChineseGB.ini",
                               shell.program.file("VKLanguage/ChineseGB.ini"));
    TMainForm& f = shell.start();
    const QString chinese = QString::fromUtf8(u8"\u7B80\u4F53\u4E2D\u6587");
    auto item = std::find_if(f.languageItems.begin(), f.languageItems.end(),
                             [&](QAction* a) { return a->text() == chinese; });
    ASSERT_NE(item, f.languageItems.end());
    (*item)->trigger();
    f.setPrompts(nullptr);

    std::vector<std::string> shown;
    whileDialogUp(&f, [&](QFileDialog* dialog) {
        if (auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
            for (int i = 0; i < combo->count(); ++i) shown.push_back(combo->itemText(i).toStdString());
        dialog->reject();
        return true;
    });
    f.ButtonOpen->click();
    ASSERT_EQ(shown.size(), 9u);
    EXPECT_EQ(shown[0].rfind("\u6240\u6709\u97F3\u9891\u6587\u4EF6(*.wav;*.mp3;*.wma;", 0), 0u) << shown[0];
    EXPECT_EQ(shown[2], "MP3 \u6587\u4EF6(*.mp3)");
    EXPECT_EQ(shown[5], "FLAC \u6587\u4EF6(*.flac)");
    EXPECT_EQ(shown[8], "\u6240\u6709\u6587\u4EF6(*.*)");
}
