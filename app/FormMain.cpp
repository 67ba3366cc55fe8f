#include "app/FormMain.h"

#include <algorithm>

#include <QAction>
#include <QActionGroup>
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

#include "app/CommandTable.h"
#include "app/QtPrompts.h"
#include "extras/BannerView.h"
#include "i18n/CaptionKeys.h"
#include "i18n/LanguageFile.h"
#include "i18n/Messages.h"
#include "app/Startup.h"
#include "app/TAboutForm.h"
#include "app/TOpenForm.h"
#include "app/TProcessForm.h"
#include "app/TReloadForm.h"
#include "app/TSaveForm.h"
#include "app/TVolumeForm.h"
#include "codec/OpenDocument.h"
#include "i18n/LanguageFiles.h"
#include "i18n/StatusBarText.h"
#include "session/UIModeTable.h"
#include "platform/AudioEngine.h"
#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/SettingsFile.h"
#include "platform/UserLanguage.h"
#include "view/Spectrum.h"
#include "view/Volume.h"

// Resources of a static library must be registered by hand.
static void initShellResources() { Q_INIT_RESOURCE(icons); }

namespace torvane {

const std::string kFileDialogFilter = captionText(nullptr, "OpenDialog", "Filter");
const std::string kSaveDialogFilter = captionText(nullptr, "SaveDialog", "Filter");

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

QToolButton* toolButton(QWidget* parent, const CommandItem& c) {
    auto* b = iconButton(parent, c.objectName, c.icon, 28);
    b->setText(QString::fromUtf8(c.caption));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setStyle(tightButtonStyle());
    b->setGeometry(c.x, 3, 49, 59);
    return b;
}

QToolButton* controlButton(QWidget* parent, const CommandItem& c) {
    auto* b = iconButton(parent, c.objectName, c.icon, 16);
    b->setToolTip(QString::fromUtf8(c.caption));
    b->setGeometry(c.x, 4, 23, 22);
    return b;
}

void separator(QWidget* parent, int x) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(x, 3, 2, 59);
}

QList<QKeySequence> shortcutsOf(const CommandItem& c) {
    return c.shortcut ? QKeySequence::listFromString(QString::fromLatin1(c.shortcut), QKeySequence::PortableText)
                      : QList<QKeySequence>{};
}


}  // namespace

TMainForm::TMainForm(StartupOptions options, QWidget* parent)
    : QMainWindow(parent), m_options(std::move(options)) {
    initShellResources();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromStdString(torvane::messageText(MessageId::AppTitle)));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    // The desktop matches the window to its menu entry and icon by this id.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.torvane.Editor"));
    // Tahoma is a Windows font; where it is missing, prefer faces of similar width to the
    // fontconfig default so that the tool captions fit their 49-pixel buttons.
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans Condensed")});
    // The faces the Chinese language files ask for, where Windows has them: a face with the
    // glyphs of both scripts and plain Latin digits.
    for (const char* face : {"SimSun", "NSimSun", "MingLiU", "PMingLiU"})
        QFont::insertSubstitutions(QString::fromLatin1(face),
                                   {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                                    QStringLiteral("Noto Sans CJK TC"), QStringLiteral("Droid Sans Fallback")});
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setPrompts(m_options.prompts);
    setAcceptDrops(true);

    buildLayout();
    buildMenus();

    // Client area 714 x 421 below the menu bar, centred on the desktop; wide enough for the
    // whole banner where the screen has room for it.
    const QScreen* primary = QGuiApplication::primaryScreen();
    const int wide = BannerBrowser->geometry().right() + 1;
    resize(primary && primary->availableGeometry().width() >= wide + 64 ? wide : 714,
           421 + menuBar()->sizeHint().height());
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

    // An edit too large for the undo journal asks before it changes anything.
    m_session.setWithoutUndoQuestion([this](MessageId reason) {
        const std::string question = messageText(reason) + '\n' + messageText(MessageId::GoOnWithoutUndo);
        return m_workerPrompts.messageBox({question, "", PromptButtons::YesNo, PromptIcon::Question}) == IDYES;
    });
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
    if (!m_qtPrompts) {
        m_qtPrompts = std::make_unique<QtPrompts>(this);
        m_qtPrompts->setTexts([this](MessageId id) { return messageText(id); });
    }
    m_prompts = m_qtPrompts.get();
}

std::string TMainForm::languageFolder() const {
    return m_settings.dataFolder + "VKLanguage" + folderSeparator();
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
    for (const CommandItem& c : commandTable()) {
        if (c.kind == ItemKind::ToolButton) this->*c.button = toolButton(Panel1, c);
        if (c.kind == ItemKind::ToolSeparator) separator(Panel1, c.x);
    }
    BannerBrowser = new BannerView(Panel1);
    BannerBrowser->setObjectName(QStringLiteral("BannerBrowser"));
    connect(BannerBrowser, &BannerView::DocumentComplete, this, &TMainForm::BannerBrowserDocumentComplete);
    BannerBrowser->setGeometry(695, 0, 257, 65);
    // A window too narrow for every tool button shows the ones cut off in this button's menu.
    ToolBarMore = new QToolButton(Panel1);
    ToolBarMore->setObjectName(QStringLiteral("ToolBarMore"));
    ToolBarMore->setText(QStringLiteral("\u00BB"));
    ToolBarMore->setAutoRaise(true);
    ToolBarMore->setPopupMode(QToolButton::InstantPopup);
    ToolBarMore->setMenu(new QMenu(ToolBarMore));
    ToolBarMore->hide();
    connect(ToolBarMore->menu(), &QMenu::aboutToShow, this, &TMainForm::fillToolBarMore);
    Panel1->installEventFilter(this);
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
    for (const CommandItem& c : commandTable())
        if (c.kind == ItemKind::ControlButton) this->*c.button = controlButton(cool, c);
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

    for (const CommandItem& c : commandTable()) {
        if (c.kind == ItemKind::ToolButton || c.kind == ItemKind::ControlButton)
            connect(this->*c.button, &QToolButton::clicked, this, c.handler);
    }
}

void TMainForm::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    // The zoom items show the zoom level, exactly one checked.
    ZoomGroup = new QActionGroup(this);
    ZoomGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);

    QMenu* current = nullptr;
    for (const CommandItem& c : commandTable()) {
        QAction* a = nullptr;
        switch (c.kind) {
        case ItemKind::Menu:
            current = bar->addMenu(QString::fromUtf8(c.caption));
            current->setObjectName(QString::fromLatin1(c.objectName));
            this->*c.menu = current;
            continue;
        case ItemKind::MenuSeparator: current->addSeparator(); continue;
        case ItemKind::MenuItem: a = current->addAction(QString::fromUtf8(c.caption)); break;
        case ItemKind::PopupItem: a = PopupMenu1->addAction(QString::fromUtf8(c.caption)); break;
        case ItemKind::Key:
            // Keyboard-only: the window holds the action so that its shortcut works.
            a = new QAction(this);
            addAction(a);
            break;
        default: continue;
        }
        a->setObjectName(QString::fromLatin1(c.objectName));
        // A disabled action takes no shortcut, so a key does nothing while its command is
        // disabled.
        a->setShortcuts(shortcutsOf(c));
        if (c.group == EnableGroup::ZoomItems) {
            a->setCheckable(true);
            ZoomGroup->addAction(a);
        }
        this->*c.action = a;
        connect(a, &QAction::triggered, this, c.handler);
    }
    MZoom10->setChecked(true);
    // Undo and Redo name the edit in their tool tips ("Undo Fade In").
    MenuEdit->setToolTipsVisible(true);
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

void TMainForm::KeySpacePress() {
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
    if ((AudioEngine::version() >> 16) != 0x0204) {
        showMessage(MessageId::EngineWrongVersion, {}, PromptButtons::Ok, PromptIcon::Information);
        return;
    }
    EngineOptions engineOptions;
    engineOptions.device = m_options.audioDevice;
    engineOptions.output = m_options.audioOutput;
    auto engine = AudioEngine::start(std::move(engineOptions));
    if (!engine) {
        // A system box of its own: no owner window and no caption of the program's.
        showMessage(MessageId::EngineCannotStart, {}, PromptButtons::Ok, PromptIcon::Error);
        return;
    }
    m_engine = std::move(*engine);
    m_session.setEngine(m_engine);

    // Each running editor keeps its working file in a folder of its own (removed at exit),
    // so two windows never share one. They live in the user's state folder, which a reboot
    // keeps (a temp folder is emptied at boot): an editor that went down with the machine is
    // offered for recovery at the next start. Without a folder nothing can be opened: the
    // shared temp folder is never used instead.
    std::string instanceParent = m_options.tempBase;
    if (instanceParent.empty() && makePrivateFolder(userStateFolder())) instanceParent = userStateFolder();
    if (instanceParent.empty() || !m_session.createFolder(instanceParent)) showMessage(MessageId::NoInstanceFolder);
    m_session.keepRecoveryState(true);
    if (m_session.hasFolder()) m_settings.bannerFilePath = m_doc.tempFolder + "_VelkoraAd.swf";

    PaintBox1->move(0, 0);
    setWaveWidth(10);
    createMeters();

    syncZoomChecks(m_doc.view.framesPerColumn);
    setWaveWidth(10);

    // A file named on the command line is opened as the Open command would open it: one that
    // is not there gets Open's own message rather than an empty window.
    const StartupFile named = startupFile(m_options.arguments, [](const std::string& path) {
        return QFileInfo(QString::fromStdString(path)).isFile();
    });
    if (!named.path.empty()) {
        m_settings.openAtShow = true;
        m_session.nameDocument(named.path);
        m_othersLeftOnCommandLine = named.othersLeft;
    }

    m_settings.programFolder = withTrailingSeparator(m_options.programFolder.empty() ? programFolder()
                                                                                : m_options.programFolder);
    m_settings.dataFolder = programDataFolder(m_settings.programFolder);
    m_session.setProgramFolder(m_settings.programFolder);
    IniFile settings = openSettings(m_settings.dataFolder);

    m_adSetting = settings.readString("General", "Ad", "");
    SetupBanner();

    m_languageFiles = listLanguageFiles(languageFolder());

    const std::uint16_t languageId = m_options.localeName.empty() ? userDefaultLanguageId()
                                                                  : languageIdFromLocale(m_options.localeName);
    m_settings.languageFileName = chooseLanguageFile(settings, languageId);

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
    const bool recovered = !m_recoveryOffered && offerRecovery();
    m_recoveryOffered = true;
    if (!m_settings.openAtShow) return;
    m_settings.openAtShow = false;
    // A recovered document takes the window: the file named on the command line waits.
    if (recovered) return;
    const std::string named = m_doc.documentPath;
    openFile(named);
    if (m_othersLeftOnCommandLine && m_doc.loaded) showMessage(MessageId::OneFileAtATime, {named});
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
    if (ApplicationEvents1Message(e)) return true;
    if (watched == ScrollBox1 && e->type() == QEvent::Resize) FormResize();
    if (watched == Panel1 && e->type() == QEvent::Resize) layoutToolBar();
    if (viewEventFilter(watched, e)) return true;
    return QMainWindow::eventFilter(watched, e);
}

// Tool buttons that end past the panel (less the overflow button) are hidden and offered in
// the overflow button's menu instead.
void TMainForm::layoutToolBar() {
    const int moreWidth = 24;
    bool anyCut = false;
    for (const CommandItem& c : commandTable())
        if (c.kind == ItemKind::ToolButton && (this->*c.button)->geometry().right() >= Panel1->width()) anyCut = true;
    for (const CommandItem& c : commandTable()) {
        if (c.kind != ItemKind::ToolButton) continue;
        QToolButton* b = this->*c.button;
        b->setVisible(!anyCut || b->geometry().right() < Panel1->width() - moreWidth);
    }
    ToolBarMore->setGeometry(Panel1->width() - moreWidth, 0, moreWidth, Panel1->height());
    ToolBarMore->setVisible(anyCut);
    if (anyCut) ToolBarMore->raise();
}

void TMainForm::fillToolBarMore() {
    QMenu* menu = ToolBarMore->menu();
    menu->clear();
    for (const CommandItem& c : commandTable()) {
        if (c.kind != ItemKind::ToolButton) continue;
        QToolButton* b = this->*c.button;
        if (b->isVisible()) continue;
        QAction* a = menu->addAction(b->icon(), b->text(), b, &QToolButton::click);
        a->setEnabled(b->isEnabled());
    }
}

void TMainForm::FormResize() {
    PaintBox1->move(PaintBox1->x(), waveformTop(ScrollBox1->height()));
    ScrollBox1->widget()->resize(PaintBox1->width(), PaintBox1->y() + kWaveHeight);
}

// --- UI modes ---------------------------------------------------------------------------

namespace {
bool groupEnabled(EnableGroup group, const UIModeStates& s) {
    switch (group) {
    case EnableGroup::Always: return true;
    case EnableGroup::Open: return s.open;
    case EnableGroup::Close: return s.close;
    case EnableGroup::Save: return s.save;
    case EnableGroup::SaveAs: return s.saveAs;
    case EnableGroup::SelectAll: return s.selectAll;
    case EnableGroup::Cut: return s.cut;
    case EnableGroup::Effects: return s.effects;
    case EnableGroup::ZoomItems: return s.zoomItems;
    case EnableGroup::ZoomIn: return s.zoomIn;
    case EnableGroup::ZoomOut: return s.zoomOut;
    case EnableGroup::Play: return s.play;
    case EnableGroup::PlayFromHere: return s.playFromHere;
    case EnableGroup::Pause: return s.pause;
    case EnableGroup::Stop: return s.stop;
    case EnableGroup::SetStart: return s.setStart;
    case EnableGroup::SetFinish: return s.setFinish;
    case EnableGroup::Space: return s.pause || s.playFromHere;
    case EnableGroup::Undo:
    case EnableGroup::Redo: return s.effects && !s.pause;  // stopped or paused
    case EnableGroup::Scroll: return s.close;  // Close is enabled exactly while a document is open
    }
    return false;
}
}  // namespace

void TMainForm::SetUIMode(std::uint32_t mode) {
    m_session.setUIMode(UIMode(mode));
    UIModeInputs in;
    in.mode = mode;
    in.modified = m_doc.modified;
    in.zoom1Checked = MZoom1->isChecked();
    in.zoom10Checked = MZoom10->isChecked();
    in.playColumn = mode != ModeNoDocument ? m_session.playColumn() : 0;
    in.startMarker = m_doc.selection.startMarker;
    in.finishMarker = m_doc.selection.finishMarker;
    UIModeStates s = uiModeStates(in);
    // Without the engine or a working folder no document can be opened or worked on.
    if (!documentCommandsAvailable()) s = UIModeStates{};

    for (const CommandItem& c : commandTable()) {
        if (c.group == EnableGroup::Always) continue;
        bool on = groupEnabled(c.group, s);
        if (c.group == EnableGroup::Undo) on = on && m_session.canUndo();
        if (c.group == EnableGroup::Redo) on = on && m_session.canRedo();
        if (c.action) (this->*c.action)->setEnabled(on);
        if (c.button) (this->*c.button)->setEnabled(on);
    }

    updateUndoTips();

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
    if (m_session.playerActive()) CButtonStopClick();
    if (m_doc.modified) {
        const int answer =
            showMessage(MessageId::SaveChangesQuestion, {}, PromptButtons::YesNoCancel, PromptIcon::Question);
        if (answer == IDCANCEL) return false;
        // A save that failed or was cancelled keeps the document and its changes.
        if (answer == IDYES && !saveDocument(false)) return false;
    }
    m_session.close();
    syncZoomChecks(m_doc.view.framesPerColumn);
    setWaveWidth(10);
    SetUIMode(ModeNoDocument);
    return true;
}

void TMainForm::MExitClick() { close(); }

void TMainForm::closeEvent(QCloseEvent* e) {
    // The window manager may ask while a command's dialog is up: the command ends first.
    if (m_commandRunning) {
        e->ignore();
        return;
    }
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
    m_session.close();
    m_session.setEngine(nullptr);
    m_engine.reset();  // the output stops here
    m_waveBitmap = QImage();
    if (!m_settings.bannerFilePath.empty() && fileExists(m_settings.bannerFilePath)) removeFile(m_settings.bannerFilePath);
    m_session.removeFolder();  // this instance's working folder, with whatever is left in it
}

}  // namespace torvane
