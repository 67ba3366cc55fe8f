#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>

#include "app/TAboutForm.h"
#include "app/TOpenForm.h"
#include "app/TProcessForm.h"
#include "app/TReloadForm.h"
#include "app/TSaveForm.h"
#include "app/TVolumeForm.h"
#include "extras/BannerView.h"
#include "support/ShellFixture.h"

using namespace torvane;
using namespace torvane::test;

TEST(ShellLayout, MainWindowAreasAndComponents) {
    Shell shell;
    TMainForm& f = shell.start();
    EXPECT_EQ(f.windowTitle(), "Torvane Audio Editor");
    EXPECT_EQ(f.centralWidget()->size(), QSize(714, 421));
    EXPECT_EQ(f.Panel1->geometry(), QRect(0, 0, 714, 65));
    EXPECT_EQ(f.ControlBar1->height(), 71);
    EXPECT_EQ(f.ControlBar1->geometry().bottom(), 421 - 19 - 1);
    EXPECT_EQ(f.ScrollBox1->geometry(), QRect(0, 65, 714, 421 - 65 - 71 - 19));
    EXPECT_EQ(f.BannerBrowser->geometry(), QRect(695, 0, 257, 65));

    const std::pair<const char*, int> tools[] = {
        {"ButtonOpen", 0},     {"ButtonClose", 48},   {"ButtonSave", 96},     {"ButtonSaveAs", 144},
        {"ButtonDelete", 207}, {"ButtonCutOut", 256}, {"ButtonVolume", 319},  {"ButtonFadeIn", 368},
        {"ButtonFadeOut", 416}, {"ButtonZoomIn", 479}, {"ButtonZoomOut", 528}, {"ButtonHelp", 591},
        {"ButtonUpdate", 640}};
    for (auto [name, x] : tools) {
        auto* b = f.Panel1->findChild<QToolButton*>(name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->x(), x) << name;
        EXPECT_EQ(b->size(), QSize(49, 59)) << name;
        EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon) << name;
        EXPECT_TRUE(b->autoRaise()) << name;
        EXPECT_FALSE(b->icon().isNull()) << name;
    }
    const std::tuple<const char*, int, const char*> controls[] = {
        {"CButtonPlay", 111, "Play"},          {"CButtonPlayFromHere", 134, "Play From Here"},
        {"CButtonPause", 157, "Pause"},        {"CButtonStop", 180, "Stop"},
        {"CButtonSetStart", 224, "Set Start Marker"}, {"CButtonSetFinish", 247, "Set Finish Marker"}};
    for (auto [name, x, tip] : controls) {
        auto* b = f.ControlBar1->findChild<QToolButton*>(name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->geometry(), QRect(x, 4, 23, 22)) << name;
        EXPECT_EQ(b->toolTip(), tip);
        EXPECT_FALSE(b->icon().isNull()) << name;
    }
    EXPECT_EQ(f.PaintBox2->geometry(), QRect(8, 5, 97, 49));
    EXPECT_EQ(f.PaintBox3->geometry(), QRect(111, 36, 161, 17));
    // Centred in the 266-pixel scroll box: (266 - 251) / 2.
    EXPECT_EQ(f.PaintBox1->geometry(), QRect(0, 7, 10, 221));
    EXPECT_EQ(f.StatusPanels[0]->parentWidget()->height(), 19);
    EXPECT_EQ(f.StatusPanels[1]->x() - f.StatusPanels[0]->x(), 250);
    EXPECT_EQ(f.StatusPanels[2]->x() - f.StatusPanels[1]->x(), 200);
    EXPECT_GE(f.StatusPanels[2]->width(), 290);

    EXPECT_EQ(f.Timer1->interval(), 100);
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_EQ(std::string(kFileDialogFilter).substr(0, 16), "All audio files(");
    EXPECT_EQ(std::string(kSaveDialogFilter),
              "All Support Files(*.wav;*.mp3;*.wma;*.flac;*.ogg)|*.wav;*.mp3;*.wma;*.flac;*.ogg|WAV Files(*.wav)|"
              "*.wav|MP3 Files(*.mp3)|*.mp3|WMA Files(*.wma)|*.wma|FLAC Files(*.flac)|*.flac|Ogg Vorbis Files(*.ogg)|"
              "*.ogg|All Files(*.*)|*.*");
}

// A window narrower than the tool bar offers the buttons it cuts off in an overflow menu.
TEST(ShellLayout, NarrowWindowMovesCutButtonsIntoAMenu) {
    Shell shell;
    TMainForm& f = shell.start();
    EXPECT_FALSE(f.ToolBarMore->isVisible());
    f.resize(420, f.height());
    QApplication::processEvents();
    ASSERT_TRUE(f.ToolBarMore->isVisible());
    EXPECT_LE(f.ToolBarMore->geometry().right(), f.Panel1->width() - 1);
    f.fillToolBarMore();
    QStringList offered;
    for (QAction* a : f.ToolBarMore->menu()->actions()) offered << a->text();
    for (QToolButton* b : {f.ButtonOpen, f.ButtonFadeOut, f.ButtonUpdate}) {
        EXPECT_NE(b->isVisible(), offered.contains(b->text())) << b->text().toStdString();
        EXPECT_TRUE(!b->isVisible() || b->geometry().right() < f.ToolBarMore->x());
    }
    EXPECT_TRUE(offered.contains(f.ButtonUpdate->text()));
    f.resize(714, f.height());
    QApplication::processEvents();
    EXPECT_FALSE(f.ToolBarMore->isVisible());
    EXPECT_TRUE(f.ButtonUpdate->isVisible());
}

TEST(ShellLayout, MenusHoldEveryItemInOrder) {
    Shell shell;
    TMainForm& f = shell.start();
    auto names = [](QMenu* m) {
        QStringList out;
        for (QAction* a : m->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->objectName() + "=" + a->text());
        return out.join(QLatin1Char(','));
    };
    QStringList menus;
    for (QAction* a : f.menuBar()->actions()) menus << a->menu()->objectName() + "=" + a->text();
    EXPECT_EQ(menus.join(','), "MenuFile=&File,MenuEdit=&Edit,MenuZoom=&Zoom,MenuControl=&Control,"
                               "MenuLanguage=&Language,MenuHelp=&Help");
    auto menu = [&](const char* n) { return f.menuBar()->findChild<QMenu*>(n); };
    EXPECT_EQ(names(menu("MenuFile")), "MOpen=Open ...,MClose=Close,-,MSave=Save,MSaveAs=Save As ...,-,MExit=Exit");
    EXPECT_EQ(names(menu("MenuEdit")),
              "MUndo=Undo,MRedo=Redo,-,MSelectAll=Select All,-,MDelete=Delete,MCutOut=Cut Out,-,MVolume=Volume,-,MFadeIn=Fade In,"
              "MFadeOut=Fade Out");
    EXPECT_EQ(names(menu("MenuZoom")),
              "MZoom10=10 : 1,MZoom8=8 : 1,MZoom6=6 : 1,MZoom4=4 : 1,MZoom2=2 : 1,MZoom1=1 : 1");
    EXPECT_EQ(names(menu("MenuControl")),
              "MPlay=Play,MPlayFromHere=Play From Here,MPause=Pause,MStop=Stop,-,MSetStart=Set Start Marker,"
              "MSetFinish=Set Finish Marker");
    EXPECT_EQ(names(menu("MenuLanguage")), "MLanguage0=English");
    EXPECT_EQ(names(menu("MenuHelp")), "MHelp=Help,MHome=Home Page,-,MAbout=About");
    EXPECT_EQ(names(f.PopupMenu1), "MPopSetStart=Set Start Marker,MPopSetFinish=Set Finish Marker,"
                                   "MPopPlayFromHere=Play From Here,MPopSelectAll=Select All");
    EXPECT_TRUE(f.MZoom10->isChecked());
    EXPECT_TRUE(f.languageItems.at(0)->isChecked());
    EXPECT_EQ(f.MOpen->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(f.MSaveAs->shortcut(), QKeySequence("Ctrl+Shift+S"));
    EXPECT_EQ(f.MSetFinish->shortcut(), QKeySequence("]"));
}

TEST(ShellLayout, SixDialogsInStartUpOrderWithTheirLayouts) {
    Shell shell;
    TMainForm& f = shell.start();
    QStringList order;
    for (QObject* c : f.children())
        if (auto* d = qobject_cast<QDialog*>(c)) order << d->objectName();
    EXPECT_EQ(order.join(','), "OpenForm,ReloadForm,SaveForm,AboutForm,ProcessForm,VolumeForm");

    struct Expect { QDialog* d; QString caption; QSize size; int bars; bool cancel; };
    for (const Expect& e : {Expect{f.OpenForm, "Open File", {354, 124}, 2, true},
                            Expect{f.ProcessForm, "Process", {354, 85}, 2, false},
                            Expect{f.ReloadForm, "Reload File", {315, 55}, 1, false},
                            Expect{f.SaveForm, "Save File", {315, 93}, 1, true}}) {
        SCOPED_TRACE(e.caption.toStdString());
        EXPECT_EQ(e.d->windowTitle(), e.caption);
        EXPECT_EQ(e.d->size(), e.size);
        EXPECT_FALSE(e.d->windowFlags() & Qt::WindowCloseButtonHint);
        auto bars = e.d->findChildren<QProgressBar*>();
        EXPECT_EQ(int(bars.size()), e.bars);
        for (auto* b : bars) {
            EXPECT_EQ(b->minimum(), 0);
            EXPECT_EQ(b->maximum(), 100);
        }
        EXPECT_EQ(e.d->findChild<QPushButton*>("ButtonCancel") != nullptr, e.cancel);
    }
    EXPECT_EQ(f.OpenForm->findChild<QProgressBar*>("ProgressBar1")->geometry(), QRect(70, 16, 267, 17));
    EXPECT_EQ(f.OpenForm->findChild<QProgressBar*>("ProgressBar2")->geometry(), QRect(70, 48, 267, 17));
    EXPECT_EQ(f.OpenForm->findChild<QPushButton*>("ButtonCancel")->geometry(), QRect(128, 89, 75, 25));
    EXPECT_EQ(f.ProcessForm->findChild<QProgressBar*>("ProgressBar2")->geometry(), QRect(77, 48, 260, 17));
    EXPECT_EQ(f.ReloadForm->findChild<QProgressBar*>("ProgressBar1")->geometry(), QRect(22, 16, 267, 17));
    EXPECT_EQ(f.SaveForm->findChild<QPushButton*>("ButtonCancel")->geometry(), QRect(104, 57, 75, 25));

    EXPECT_EQ(f.AboutForm->size(), QSize(337, 224));
    EXPECT_EQ(f.AboutForm->windowTitle(), "About");
    EXPECT_EQ(f.AboutForm->Label1->text(), "Torvane Audio Editor");
    EXPECT_EQ(f.AboutForm->Label3->text(), "3.0");
    EXPECT_EQ(f.AboutForm->findChild<QPushButton*>("ButtonOk")->geometry(), QRect(120, 188, 75, 25));

    EXPECT_EQ(f.VolumeForm->size(), QSize(241, 132));
    EXPECT_EQ(f.VolumeForm->ComboBox1->count(), 7);
    EXPECT_EQ(f.VolumeForm->ComboBox1->currentIndex(), 3);
    EXPECT_EQ(f.VolumeForm->ComboBox1->currentText(), "100%");
    EXPECT_EQ(f.VolumeForm->CheckBoxMute->geometry(), QRect(80, 56, 97, 17));
}

TEST(ShellLayout, DialogResultsAndCentring) {
    Shell shell;
    TMainForm& f = shell.start();
    QTimer::singleShot(0, [&] { f.OpenForm->findChild<QPushButton*>("ButtonCancel")->click(); });
    EXPECT_EQ(f.OpenForm->exec(), 3);
    EXPECT_TRUE(f.OpenForm->cancelled());

    // A dialog without a button ignores Escape and the close request; only its worker ends it.
    QTimer::singleShot(0, [&] {
        f.ProcessForm->reject();
        f.ProcessForm->close();
        EXPECT_TRUE(f.ProcessForm->isVisible());
        EXPECT_EQ(f.ProcessForm->frameGeometry().center(), f.frameGeometry().center());
        f.ProcessForm->done(1);
    });
    EXPECT_EQ(f.ProcessForm->exec(), 1);

    QTimer::singleShot(0, [&] { f.VolumeForm->findChild<QPushButton*>("ButtonOk")->click(); });
    EXPECT_EQ(f.VolumeForm->exec(), 1);
    QTimer::singleShot(0, [&] { f.VolumeForm->reject(); });
    EXPECT_EQ(f.VolumeForm->exec(), 2);
}
