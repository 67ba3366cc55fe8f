#include "app/FormMain.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/QtPrompts.h"
#include "app/Startup.h"
#include "app/StatusBarText.h"
#include "app/TAboutForm.h"
#include "app/TOpenForm.h"
#include "app/TProcessForm.h"
#include "app/TReloadForm.h"
#include "app/TSaveForm.h"
#include "app/TVolumeForm.h"
#include "app/UIModeTable.h"
#include "codec/OpenDocument.h"
#include "platform/Bass.h"
#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/UserLanguage.h"
#include "view/Spectrum.h"
#include "view/Transport.h"
#include "view/Volume.h"

// Resources of a static library must be registered by hand.
static void initShellResources() { Q_INIT_RESOURCE(icons); }

namespace torvane {

const char* const kFileDialogFilter =
    "All Support Files(*.wav;*.mp3;*.wma)|*.wav;*.mp3;*.wma|WAV Files(*.wav)|*.wav|MP3 Files(*.mp3)|*.mp3|"
    "WMA Files(*.wma)|*.wma|All Files(*.*)|*.*";

namespace {

constexpr int kWaveHeight = 221;

// The tool buttons are only 49 pixels wide: let their captions use the whole width.
class TightButtonStyle final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_ButtonMargin || metric == PM_DefaultFrameWidth) return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QStyle* tightButtonStyle() {
    static QStyle* style = [] {
        auto* s = new TightButtonStyle;
        s->setParent(qApp);  // lives as long as the application
        return s;
    }();
    return style;
}

// A flat, unfocusable button with one of the program's icons.
QToolButton* iconButton(QWidget* parent, const char* name, const char* icon, int iconSize) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(icon))));
    b->setIconSize(QSize(iconSize, iconSize));
    b->setAutoRaise(true);  // flat
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QToolButton* toolButton(QWidget* parent, const char* name, const QString& caption, const char* icon, int x) {
    auto* b = iconButton(parent, name, icon, 28);
    b->setText(caption);
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setStyle(tightButtonStyle());
    b->setGeometry(x, 3, 49, 59);
    return b;
}

QToolButton* controlButton(QWidget* parent, const char* name, const QString& hint, const char* icon, int x) {
    auto* b = iconButton(parent, name, icon, 16);
    b->setToolTip(hint);
    b->setGeometry(x, 4, 23, 22);
    return b;
}

void separator(QWidget* parent, int x) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(x, 3, 2, 59);
}

QAction* item(QMenu* menu, const char* name, const QString& caption) {
    auto* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

bool sameTextIgnoringCase(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

TMainForm::TMainForm(StartupOptions options, QWidget* parent)
    : QMainWindow(parent), m_options(std::move(options)) {
    initShellResources();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Torvane Audio Editor"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    // Tahoma is a Windows font; where it is missing, prefer faces of similar width to the
    // fontconfig default so that the tool captions fit their 49-pixel buttons.
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans Condensed")});
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setPrompts(m_options.prompts);
    setAcceptDrops(true);

    buildLayout();
    buildMenus();

    // Client area 714 x 421 below the menu bar, centred on the desktop.
    resize(714, 421 + menuBar()->sizeHint().height());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = geometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    createView();

    FormCreate();
    buildDialogs();
    Timer1->start();
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::setPrompts(Prompts* prompts) {
    if (prompts) {
        m_prompts = prompts;
        return;
    }
    if (!m_qtPrompts) m_qtPrompts = std::make_unique<QtPrompts>(this);
    m_prompts = m_qtPrompts.get();
}

std::string TMainForm::languageFolder() const {
    return m_doc.programFolder + "VKLanguage" + folderSeparator();
}

// --- layout -----------------------------------------------------------------------------

void TMainForm::buildLayout() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Tool bar: flat buttons at fixed places, the banner at its right end.
    Panel1 = new QWidget(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(65);
    Panel1->setMinimumWidth(0);
    ButtonOpen = toolButton(Panel1, "ButtonOpen", tr("Open"), "open", 0);
    ButtonClose = toolButton(Panel1, "ButtonClose", tr("Close"), "close", 48);
    ButtonSave = toolButton(Panel1, "ButtonSave", tr("Save"), "save", 96);
    ButtonSaveAs = toolButton(Panel1, "ButtonSaveAs", tr("Save As"), "saveas", 144);
    separator(Panel1, 199);
    ButtonDelete = toolButton(Panel1, "ButtonDelete", tr("Delete"), "delete", 207);
    ButtonCutOut = toolButton(Panel1, "ButtonCutOut", tr("Cut Out"), "cutout", 256);
    separator(Panel1, 311);
    ButtonVolume = toolButton(Panel1, "ButtonVolume", tr("Volume"), "volume", 319);
    ButtonFadeIn = toolButton(Panel1, "ButtonFadeIn", tr("Fade In"), "fadein", 368);
    ButtonFadeOut = toolButton(Panel1, "ButtonFadeOut", tr("Fade Out"), "fadeout", 416);
    separator(Panel1, 471);
    ButtonZoomIn = toolButton(Panel1, "ButtonZoomIn", tr("Zoom In"), "zoomin", 479);
    ButtonZoomOut = toolButton(Panel1, "ButtonZoomOut", tr("Zoom Out"), "zoomout", 528);
    separator(Panel1, 583);
    ButtonHelp = toolButton(Panel1, "ButtonHelp", tr("Help"), "help", 591);
    ButtonUpdate = toolButton(Panel1, "ButtonUpdate", tr("Update"), "update", 640);
    BannerBrowser = new QWidget(Panel1);
    BannerBrowser->setObjectName(QStringLiteral("BannerBrowser"));
    BannerBrowser->setGeometry(695, 0, 257, 65);
    column->addWidget(Panel1);

    // Waveform: the paint box sits in a content widget so that its top can be placed.
    ScrollBox1 = new QScrollArea(client);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setMinimumSize(0, 0);
    auto* contents = new QWidget;
    contents->setObjectName(QStringLiteral("ScrollBox1Contents"));
    PaintBox1 = new QWidget(contents);
    PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
    PaintBox1->setGeometry(0, 0, 10, kWaveHeight);
    contents->resize(10, kWaveHeight);
    ScrollBox1->setWidget(contents);
    ScrollBox1->installEventFilter(this);
    column->addWidget(ScrollBox1, 1);

    // Control bar: spectrum, level meter, transport and marker buttons.
    ControlBar1 = new QFrame(client);
    ControlBar1->setObjectName(QStringLiteral("ControlBar1"));
    ControlBar1->setFixedHeight(71);
    auto* cool = new QWidget(ControlBar1);
    cool->setObjectName(QStringLiteral("CoolBar1"));
    cool->setGeometry(0, 0, 400, 71);
    PaintBox2 = new QWidget(cool);
    PaintBox2->setObjectName(QStringLiteral("PaintBox2"));
    PaintBox2->setGeometry(8, 5, 97, 49);
    PaintBox3 = new QWidget(cool);
    PaintBox3->setObjectName(QStringLiteral("PaintBox3"));
    PaintBox3->setGeometry(111, 36, 161, 17);
    CButtonPlay = controlButton(cool, "CButtonPlay", tr("Play"), "play", 111);
    CButtonPlayFromHere = controlButton(cool, "CButtonPlayFromHere", tr("Play From Here"), "playfromhere", 134);
    CButtonPause = controlButton(cool, "CButtonPause", tr("Pause"), "pause", 157);
    CButtonStop = controlButton(cool, "CButtonStop", tr("Stop"), "stop", 180);
    CButtonSetStart = controlButton(cool, "CButtonSetStart", tr("Set Start Marker"), "setstart", 224);
    CButtonSetFinish = controlButton(cool, "CButtonSetFinish", tr("Set Finish Marker"), "setfinish", 247);
    column->addWidget(ControlBar1);

    // Status bar: three sunken panels of fixed width; a narrow window clips them.
    auto* status = new QWidget(client);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setFixedHeight(19);
    const int widths[3] = {250, 200, 300};
    int x = 0;
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(status);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setIndent(2);
        panel->setGeometry(x, 1, widths[i] - 2, 18);
        StatusPanels[std::size_t(i)] = panel;
        x += widths[i];
    }
    column->addWidget(status);

    setCentralWidget(client);

    connect(ButtonOpen, &QToolButton::clicked, this, &TMainForm::ButtonOpenClick);
    connect(ButtonClose, &QToolButton::clicked, this, &TMainForm::ButtonCloseClick);
    connect(ButtonSave, &QToolButton::clicked, this, &TMainForm::ButtonSaveClick);
    connect(ButtonSaveAs, &QToolButton::clicked, this, &TMainForm::ButtonSaveAsClick);
    connect(ButtonDelete, &QToolButton::clicked, this, &TMainForm::ButtonDeleteClick);
    connect(ButtonCutOut, &QToolButton::clicked, this, &TMainForm::ButtonCutOutClick);
    connect(ButtonVolume, &QToolButton::clicked, this, &TMainForm::ButtonVolumeClick);
    connect(ButtonFadeIn, &QToolButton::clicked, this, &TMainForm::ButtonFadeInClick);
    connect(ButtonFadeOut, &QToolButton::clicked, this, &TMainForm::ButtonFadeOutClick);
    connect(ButtonZoomIn, &QToolButton::clicked, this, &TMainForm::ButtonZoomInClick);
    connect(ButtonZoomOut, &QToolButton::clicked, this, &TMainForm::ButtonZoomOutClick);
    connect(ButtonHelp, &QToolButton::clicked, this, &TMainForm::ButtonHelpClick);
    connect(ButtonUpdate, &QToolButton::clicked, this, &TMainForm::ButtonUpdateClick);
    connect(CButtonPlay, &QToolButton::clicked, this, &TMainForm::CButtonPlayClick);
    connect(CButtonPlayFromHere, &QToolButton::clicked, this, &TMainForm::CButtonPlayFromHereClick);
    connect(CButtonPause, &QToolButton::clicked, this, &TMainForm::CButtonPauseClick);
    connect(CButtonStop, &QToolButton::clicked, this, &TMainForm::CButtonStopClick);
    connect(CButtonSetStart, &QToolButton::clicked, this, &TMainForm::CButtonSetStartClick);
    connect(CButtonSetFinish, &QToolButton::clicked, this, &TMainForm::CButtonSetFinishClick);
}

void TMainForm::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu* file = bar->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("MenuFile"));
    MOpen = item(file, "MOpen", tr("Open ..."));
    MClose = item(file, "MClose", tr("Close"));
    file->addSeparator();
    MSave = item(file, "MSave", tr("Save"));
    MSaveAs = item(file, "MSaveAs", tr("Save As ..."));
    file->addSeparator();
    MExit = item(file, "MExit", tr("Exit"));

    QMenu* edit = bar->addMenu(tr("&Edit"));
    edit->setObjectName(QStringLiteral("MenuEdit"));
    MSelectAll = item(edit, "MSelectAll", tr("Select All"));
    edit->addSeparator();
    MDelete = item(edit, "MDelete", tr("Delete"));
    MCutOut = item(edit, "MCutOut", tr("Cut Out"));
    edit->addSeparator();
    MVolume = item(edit, "MVolume", tr("Volume"));
    edit->addSeparator();
    MFadeIn = item(edit, "MFadeIn", tr("Fade In"));
    MFadeOut = item(edit, "MFadeOut", tr("Fade Out"));

    QMenu* zoom = bar->addMenu(tr("&Zoom"));
    zoom->setObjectName(QStringLiteral("MenuZoom"));
    MZoom10 = item(zoom, "MZoom10", tr("10 : 1"));
    MZoom8 = item(zoom, "MZoom8", tr("8 : 1"));
    MZoom6 = item(zoom, "MZoom6", tr("6 : 1"));
    MZoom4 = item(zoom, "MZoom4", tr("4 : 1"));
    MZoom2 = item(zoom, "MZoom2", tr("2 : 1"));
    MZoom1 = item(zoom, "MZoom1", tr("1 : 1"));

    QMenu* control = bar->addMenu(tr("&Control"));
    control->setObjectName(QStringLiteral("MenuControl"));
    MPlay = item(control, "MPlay", tr("Play"));
    MPlayFromHere = item(control, "MPlayFromHere", tr("Play From Here"));
    MPause = item(control, "MPause", tr("Pause"));
    MStop = item(control, "MStop", tr("Stop"));
    control->addSeparator();
    MSetStart = item(control, "MSetStart", tr("Set Start Marker"));
    MSetFinish = item(control, "MSetFinish", tr("Set Finish Marker"));

    MenuLanguage = bar->addMenu(tr("&Language"));
    MenuLanguage->setObjectName(QStringLiteral("MenuLanguage"));

    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("MenuHelp"));
    MHelp = item(help, "MHelp", tr("Help"));
    MHome = item(help, "MHome", tr("Home Page"));
    help->addSeparator();
    MAbout = item(help, "MAbout", tr("About"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    MPopSetStart = item(PopupMenu1, "MPopSetStart", tr("Set Start Marker"));
    MPopSetFinish = item(PopupMenu1, "MPopSetFinish", tr("Set Finish Marker"));
    MPopPlayFromHere = item(PopupMenu1, "MPopPlayFromHere", tr("Play From Here"));
    MPopSelectAll = item(PopupMenu1, "MPopSelectAll", tr("Select All"));

    // The zoom items show the zoom level; their handlers set the checks themselves, so a
    // click does not toggle the mark on its own.
    const std::pair<QAction*, void (TMainForm::*)()> zooms[] = {
        {MZoom10, &TMainForm::MZoom10Click}, {MZoom8, &TMainForm::MZoom8Click}, {MZoom6, &TMainForm::MZoom6Click},
        {MZoom4, &TMainForm::MZoom4Click},   {MZoom2, &TMainForm::MZoom2Click}, {MZoom1, &TMainForm::MZoom1Click}};
    for (const auto& [action, handler] : zooms) {
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, action = action, handler = handler] {
            action->setChecked(!action->isChecked());
            (this->*handler)();
        });
    }
    MZoom10->setChecked(true);

    connect(MOpen, &QAction::triggered, this, &TMainForm::MOpenClick);
    connect(MClose, &QAction::triggered, this, &TMainForm::MCloseClick);
    connect(MSave, &QAction::triggered, this, &TMainForm::MSaveClick);
    connect(MSaveAs, &QAction::triggered, this, &TMainForm::MSaveAsClick);
    connect(MExit, &QAction::triggered, this, &TMainForm::MExitClick);
    connect(MSelectAll, &QAction::triggered, this, &TMainForm::MSelectAllClick);
    connect(MDelete, &QAction::triggered, this, &TMainForm::MDeleteClick);
    connect(MCutOut, &QAction::triggered, this, &TMainForm::MCutOutClick);
    connect(MVolume, &QAction::triggered, this, &TMainForm::MVolumeClick);
    connect(MFadeIn, &QAction::triggered, this, &TMainForm::MFadeInClick);
    connect(MFadeOut, &QAction::triggered, this, &TMainForm::MFadeOutClick);
    connect(MPlay, &QAction::triggered, this, &TMainForm::CButtonPlayClick);
    connect(MPlayFromHere, &QAction::triggered, this, &TMainForm::CButtonPlayFromHereClick);
    connect(MPause, &QAction::triggered, this, &TMainForm::CButtonPauseClick);
    connect(MStop, &QAction::triggered, this, &TMainForm::CButtonStopClick);
    connect(MSetStart, &QAction::triggered, this, &TMainForm::CButtonSetStartClick);
    connect(MSetFinish, &QAction::triggered, this, &TMainForm::CButtonSetFinishClick);
    connect(MHelp, &QAction::triggered, this, &TMainForm::MHelpClick);
    connect(MHome, &QAction::triggered, this, &TMainForm::MHomeClick);
    connect(MAbout, &QAction::triggered, this, &TMainForm::MAboutClick);
    connect(MPopSetStart, &QAction::triggered, this, &TMainForm::CButtonSetStartClick);
    connect(MPopSetFinish, &QAction::triggered, this, &TMainForm::CButtonSetFinishClick);
    connect(MPopPlayFromHere, &QAction::triggered, this, &TMainForm::CButtonPlayFromHereClick);
    connect(MPopSelectAll, &QAction::triggered, this, &TMainForm::MSelectAllClick);

    // Keyboard shortcuts, shown in the menus. A disabled action takes no shortcut, so a key
    // does nothing while its command is disabled.
    MOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    MClose->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    MSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    MSaveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    MExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    MSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    MDelete->setShortcut(QKeySequence(Qt::Key_Delete));
    MHelp->setShortcut(QKeySequence(Qt::Key_F1));
    MSetStart->setShortcut(QKeySequence(Qt::Key_BracketLeft));
    MSetFinish->setShortcut(QKeySequence(Qt::Key_BracketRight));

    KeyZoomIn = new QAction(this);
    KeyZoomIn->setObjectName(QStringLiteral("KeyZoomIn"));
    KeyZoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)});
    connect(KeyZoomIn, &QAction::triggered, this, &TMainForm::ButtonZoomInClick);
    KeyZoomOut = new QAction(this);
    KeyZoomOut->setObjectName(QStringLiteral("KeyZoomOut"));
    KeyZoomOut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    connect(KeyZoomOut, &QAction::triggered, this, &TMainForm::ButtonZoomOutClick);
    KeySpace = new QAction(this);
    KeySpace->setObjectName(QStringLiteral("KeySpace"));
    KeySpace->setShortcut(QKeySequence(Qt::Key_Space));
    connect(KeySpace, &QAction::triggered, this, &TMainForm::onSpace);
    addActions({KeyZoomIn, KeyZoomOut, KeySpace});
}

void TMainForm::buildDialogs() {
    // Created in start-up order; they live as long as the main window.
    OpenForm = new TOpenForm(this);
    ReloadForm = new TReloadForm(this);
    SaveForm = new TSaveForm(this);
    AboutForm = new TAboutForm(this);
    ProcessForm = new TProcessForm(this);
    VolumeForm = new TVolumeForm(this);
}

void TMainForm::buildLanguageMenu() {
    for (std::size_t i = 0; i < m_languageFiles.size(); ++i) {
        IniFile file(languageFolder() + m_languageFiles[i]);
        auto* action = MenuLanguage->addAction(
            QString::fromLatin1(QByteArray::fromStdString(file.readString("LanguageProperty", "Name", ""))));
        action->setObjectName(QStringLiteral("MLanguage%1").arg(i));
        action->setCheckable(true);
        action->setChecked(sameTextIgnoringCase(m_languageFiles[i], m_doc.languageFileName));
        connect(action, &QAction::triggered, this, [this, action] {
            action->setChecked(!action->isChecked());
            LanguageItemClick(action);
        });
        languageItems.push_back(action);
    }
}

void TMainForm::onSpace() {
    if (m_doc.uiMode == ModePlaying) {
        if (MPause->isEnabled()) CButtonPauseClick();
    } else if (MPlayFromHere->isEnabled()) {
        CButtonPlayFromHereClick();
    }
}

void TMainForm::setWaveWidth(int width) {
    PaintBox1->resize(width, kWaveHeight);
    // The bitmap never grows past what the view can show (an hour at 1 : 1 is 158 760
    // columns); the paint resizes it to the exposed part anyway. With no document it is the
    // view's 10 columns.
    const int shown = std::min(width, std::max(ScrollBox1->viewport()->width(), 10));
    if (m_waveBitmap.width() != shown || m_waveBitmap.height() != kWaveHeight) {
        m_waveBitmap = QImage(shown, kWaveHeight, QImage::Format_RGB32);
        m_waveBitmap.fill(Qt::black);
    }
    ScrollBox1->widget()->resize(width, PaintBox1->y() + kWaveHeight);
}

// --- start-up ---------------------------------------------------------------------------

void TMainForm::FormCreate() {
    if ((BASS_GetVersion() >> 16) != 0x0204) {
        m_prompts->messageBox(
            {"An incorrect version of BASS.DLL was loaded", "", PromptButtons::Ok, PromptIcon::Information});
        return;
    }
    if (!BASS_Init(-1, 44100, 0, reinterpret_cast<void*>(winId()), nullptr)) {
        BASS_Free();
        m_prompts->messageBox({"Can not start default recording device!", "", PromptButtons::Ok, PromptIcon::Error});
        return;
    }
    m_engineReady = true;

    // Each running editor keeps its working file in a folder of its own (removed at exit),
    // so two windows never share one.
    const std::string base =
        withTrailingSeparator(m_options.tempBase.empty() ? systemTempFolder() : m_options.tempBase);
    m_workDir = std::make_unique<QTemporaryDir>(QString::fromStdString(base + "torvane-XXXXXX"));
    m_doc.tempFolder = m_workDir->isValid()
                           ? withTrailingSeparator(QDir::toNativeSeparators(m_workDir->path()).toStdString())
                           : base;
    m_doc.bannerFilePath = m_doc.tempFolder + "_VelkoraAd.swf";

    PaintBox1->move(0, 0);
    setWaveWidth(10);
    createMeters();

    m_doc.resetDocument();
    for (QAction* z : {MZoom8, MZoom6, MZoom4, MZoom2, MZoom1}) z->setChecked(false);
    MZoom10->setChecked(true);
    setWaveWidth(10);

    if (!m_options.arguments.empty()) {
        const std::string joined = joinCommandLine(m_options.arguments);
        if (QFileInfo(QString::fromStdString(joined)).isFile()) {
            m_doc.openAtShow = true;
            m_doc.documentPath = joined;
        }
    }

    m_doc.programFolder = withTrailingSeparator(m_options.programFolder.empty() ? programFolder()
                                                                                : m_options.programFolder);
    IniFile settings(m_doc.programFolder + "Velkora.ini");

    m_adSetting = settings.readString("General", "Ad", "");
    SetupBanner();

    m_languageFiles = listLanguageFiles(languageFolder());

    const std::uint16_t languageId = m_options.localeName.empty() ? userDefaultLanguageId()
                                                                  : languageIdFromLocale(m_options.localeName);
    m_doc.languageFileName = chooseLanguageFile(settings, languageId);

    buildLanguageMenu();

    if (bannerOn()) LoadBanner();
    m_created = true;
}

void TMainForm::runFirstShow() {
    FormActivate();
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TMainForm::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!m_shown) QTimer::singleShot(0, this, &TMainForm::runFirstShow);
}

void TMainForm::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TMainForm::FormActivate() {
    // Once only: dialogs closing later re-activate the window.
    if (m_activated) return;
    m_activated = true;
    if (m_created) ApplyLanguage();
    SetUIMode(ModeNoDocument);
}

void TMainForm::FormShow() {
    if (!m_doc.openAtShow) return;
    m_doc.openAtShow = false;
    OpenFromDocumentPath();
}

void TMainForm::OpenFromDocumentPath() {
    if (!isOpenableSource(m_doc.documentPath)) {
        m_prompts->message("Can not open the file.");
        return;
    }
    RunOpen();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
    if (watched == ScrollBox1 && e->type() == QEvent::Resize) FormResize();
    if (viewEventFilter(watched, e)) return true;
    return QMainWindow::eventFilter(watched, e);
}

void TMainForm::FormResize() {
    PaintBox1->move(PaintBox1->x(), waveformTop(ScrollBox1->height()));
    ScrollBox1->widget()->resize(PaintBox1->width(), PaintBox1->y() + kWaveHeight);
}

// --- UI modes ---------------------------------------------------------------------------

std::uint32_t TMainForm::currentPlayColumn() const {
    return playColumn(m_doc.columnCount, BASS_ChannelGetPosition(m_doc.stream, BASS_POS_BYTE), m_doc.streamLength);
}

void TMainForm::SetUIMode(std::uint32_t mode) {
    m_doc.uiMode = mode;
    UIModeInputs in;
    in.mode = mode;
    in.modified = m_doc.modified;
    in.zoom1Checked = MZoom1->isChecked();
    in.zoom10Checked = MZoom10->isChecked();
    in.playColumn = mode != ModeNoDocument ? currentPlayColumn() : 0;
    in.startMarker = m_doc.startMarker;
    in.finishMarker = m_doc.finishMarker;
    const UIModeStates s = uiModeStates(in);

    auto enable = [](bool on, std::initializer_list<QObject*> items) {
        for (QObject* o : items) {
            if (auto* a = qobject_cast<QAction*>(o)) a->setEnabled(on);
            else if (auto* w = qobject_cast<QWidget*>(o)) w->setEnabled(on);
        }
    };
    enable(s.open, {MOpen, ButtonOpen});
    enable(s.close, {MClose, ButtonClose});
    enable(s.save, {MSave, ButtonSave});
    enable(s.saveAs, {MSaveAs, ButtonSaveAs});
    enable(s.selectAll, {MSelectAll, MPopSelectAll});
    enable(s.cut, {MDelete, ButtonDelete, MCutOut, ButtonCutOut});
    enable(s.effects, {MVolume, ButtonVolume, MFadeIn, ButtonFadeIn, MFadeOut, ButtonFadeOut});
    enable(s.zoomItems, {MZoom10, MZoom8, MZoom6, MZoom4, MZoom2, MZoom1});
    enable(s.zoomIn, {ButtonZoomIn, KeyZoomIn});
    enable(s.zoomOut, {ButtonZoomOut, KeyZoomOut});
    enable(s.play, {MPlay, CButtonPlay});
    enable(s.playFromHere, {MPlayFromHere, CButtonPlayFromHere, MPopPlayFromHere});
    enable(s.pause, {MPause, CButtonPause});
    enable(s.stop, {MStop, CButtonStop});
    enable(s.setStart, {MSetStart, CButtonSetStart, MPopSetStart});
    enable(s.setFinish, {MSetFinish, CButtonSetFinish, MPopSetFinish});
    KeySpace->setEnabled(s.pause || s.playFromHere);

    if (mode == ModeNoDocument) {
        for (QLabel* p : StatusPanels) p->clear();
    } else if (mode == ModeStopped) {
        const auto texts = statusBarTexts(m_doc, m_languageFile.get());
        for (std::size_t i = 0; i < 3; ++i) StatusPanels[i]->setText(QString::fromStdString(texts[i]));
    }
}

// --- close and shut-down ----------------------------------------------------------------

void TMainForm::ButtonCloseClick() { closeDocument(); }

bool TMainForm::closeDocument() {
    if (BASS_ChannelIsActive(m_doc.stream) != BASS_ACTIVE_STOPPED) CButtonStopClick();
    if (m_doc.modified) {
        const int answer = m_prompts->messageBox({"File has been modified.\nDo you want to save the changes?", "",
                                                  PromptButtons::YesNoCancel, PromptIcon::Question});
        if (answer == IDCANCEL) return false;
        if (answer == IDYES) ButtonSaveClick();
    }
    BASS_StreamFree(m_doc.stream);
    m_doc.stream = 0;
    m_doc.streamLength = 0;
    if (!m_doc.workingFilePath.empty() && fileExists(m_doc.workingFilePath)) removeFile(m_doc.workingFilePath);
    m_doc.resetDocument();
    for (QAction* z : {MZoom8, MZoom6, MZoom4, MZoom2, MZoom1}) z->setChecked(false);
    MZoom10->setChecked(true);
    setWaveWidth(10);
    SetUIMode(ModeNoDocument);
    return true;
}

void TMainForm::MExitClick() { close(); }

void TMainForm::closeEvent(QCloseEvent* e) {
    // FormClose: Close runs when a document is named; Cancel in its save question keeps
    // the window open, so unsaved edits are never dropped by accident.
    if (!m_doc.documentPath.empty() && !closeDocument()) {
        e->ignore();
        return;
    }
    e->accept();
}

void TMainForm::FormDestroy() {
    if (m_destroyed) return;
    m_destroyed = true;
    if (Timer1) Timer1->stop();
    destroyMeters();
    if (m_engineReady) BASS_Free();
    m_engineReady = false;
    m_waveBitmap = QImage();
    if (!m_doc.bannerFilePath.empty() && fileExists(m_doc.bannerFilePath)) removeFile(m_doc.bannerFilePath);
    m_workDir.reset();  // removes this instance's working folder with whatever is left in it
}

}  // namespace torvane
