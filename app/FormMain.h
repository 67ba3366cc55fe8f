#pragma once
// The editor's main window: tool bar, waveform, control bar, status bar, menus, and every
// command handler. The menus and bars are built from the command table (CommandTable.h).
// Each handler asks the user what it needs, runs the session's command (inside its progress
// dialog when it is long), shows the outcome's message and calls SetUIMode. The handlers of
// other areas live in their own files: FormMainOpen.cpp (open), FormMainView.cpp (view,
// transport, zoom, meters), FormMainEdit.cpp (the five edits), FormMainSave.cpp (saving) and FormMainPending.cpp (not
// built yet).

#include <QImage>
#include <QPixmap>
#include <QMainWindow>
#include <QTranslator>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ApplicationSettings.h"
#include "app/UiThreadPrompts.h"
#include "app/WorkerThread.h"
#include "doc/DocumentState.h"
#include "platform/Prompts.h"
#include "session/Session.h"
#include "view/WaveformRenderer.h"

class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QMenu;
class QScrollArea;
class QTimer;
class QToolButton;
class QWheelEvent;
class QWidget;

namespace torvane {

class BannerView;
class IniFile;
class LanguageFile;
class Prompts;
class ProgressForm;
class QtPrompts;
class TAboutForm;
class TOpenForm;
class TProcessForm;
class TReloadForm;
class TSaveForm;
class TSpectrum;
class TVolume;
class TVolumeForm;

// What start-up takes from its surroundings. Defaults are the real ones; tests pass their
// own so that start-up runs without touching the program folder or the user's locale.
struct StartupOptions {
    std::vector<std::string> arguments;  // command-line arguments after the program name
    std::string programFolder;           // empty: the executable's folder
    std::string tempBase;                // where instance folders go; empty: the user's state folder
    std::string localeName;              // empty: the user's locale
    int audioDevice = -1;                // the engine's output device; -1 the default
    std::shared_ptr<AudioOutput> audioOutput;  // used instead of the device (tests: a manual clock)
    Prompts* prompts = nullptr;          // null: the toolkit's message boxes and dialogs
};

// The product's home page: the Update button, Home Page and the About box open it.
extern const char* const kHomePageAddress;

// The filter texts of the open and the save dialog, without a language file.
extern const std::string kFileDialogFilter;
extern const std::string kSaveDialogFilter;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(StartupOptions options = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Test and collaboration hooks.
    Session& session() { return m_session; }
    const DocumentState& doc() const { return m_session.doc(); }
    const ApplicationSettings& settings() const { return m_settings; }
    Prompts& prompts() const { return *m_prompts; }
    void setPrompts(Prompts* prompts);  // null: back to the toolkit's
    LanguageFile* languageFile() const { return m_languageFile.get(); }
    const std::vector<std::string>& languageFiles() const { return m_languageFiles; }
    std::string languageFolder() const;
    const std::string& adSetting() const { return m_adSetting; }
    bool bannerOn() const { return m_adSetting != "0"; }
    bool engineReady() const { return m_engine != nullptr; }
    // Open and every command on a document need the engine and this instance's own folder.
    bool documentCommandsAvailable() const { return m_engine && m_session.hasFolder(); }
    QImage& waveBitmap() { return m_waveBitmap; }
    // Runs the first activation and the command-line open now, as the first showing does.
    void runFirstShow();

    // Components, by their design names.
    QWidget* Panel1 = nullptr;
    BannerView* BannerBrowser = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    QWidget* PaintBox1 = nullptr;
    QWidget* ControlBar1 = nullptr;
    QWidget* PaintBox2 = nullptr;
    QWidget* PaintBox3 = nullptr;
    std::array<QLabel*, 3> StatusPanels{};
    QMenu *MenuFile = nullptr, *MenuEdit = nullptr, *MenuZoom = nullptr, *MenuControl = nullptr,
          *MenuLanguage = nullptr, *MenuHelp = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QActionGroup* ZoomGroup = nullptr;
    QTimer* Timer1 = nullptr;
    TOpenForm* OpenForm = nullptr;
    TReloadForm* ReloadForm = nullptr;
    TSaveForm* SaveForm = nullptr;
    TAboutForm* AboutForm = nullptr;
    TProcessForm* ProcessForm = nullptr;
    TVolumeForm* VolumeForm = nullptr;

    QToolButton *ButtonOpen = nullptr, *ButtonClose = nullptr, *ButtonSave = nullptr, *ButtonSaveAs = nullptr,
                *ButtonDelete = nullptr, *ButtonCutOut = nullptr, *ButtonVolume = nullptr,
                *ButtonFadeIn = nullptr, *ButtonFadeOut = nullptr, *ButtonZoomIn = nullptr,
                *ButtonZoomOut = nullptr, *ButtonHelp = nullptr, *ButtonUpdate = nullptr;
    QToolButton* ToolBarMore = nullptr;
    QToolButton *CButtonPlay = nullptr, *CButtonPlayFromHere = nullptr, *CButtonPause = nullptr,
                *CButtonStop = nullptr, *CButtonSetStart = nullptr, *CButtonSetFinish = nullptr;
    QAction *MOpen = nullptr, *MClose = nullptr, *MSave = nullptr, *MSaveAs = nullptr, *MExit = nullptr;
    QAction *MUndo = nullptr, *MRedo = nullptr;
    QAction *MSelectAll = nullptr, *MDelete = nullptr, *MCutOut = nullptr, *MVolume = nullptr,
            *MFadeIn = nullptr, *MFadeOut = nullptr;
    QAction *MZoom10 = nullptr, *MZoom8 = nullptr, *MZoom6 = nullptr, *MZoom4 = nullptr, *MZoom2 = nullptr,
            *MZoom1 = nullptr;
    QAction *MPlay = nullptr, *MPlayFromHere = nullptr, *MPause = nullptr, *MStop = nullptr,
            *MSetStart = nullptr, *MSetFinish = nullptr;
    QAction *MHelp = nullptr, *MHome = nullptr, *MAbout = nullptr;
    QAction *MPopSetStart = nullptr, *MPopSetFinish = nullptr, *MPopPlayFromHere = nullptr,
            *MPopSelectAll = nullptr;
    // Keyboard-only commands: zoom in and out (the tool buttons' handlers), Space, and Home
    // and End, which scroll the view to the document's start and end.
    QAction *KeyZoomIn = nullptr, *KeyZoomOut = nullptr, *KeySpace = nullptr, *KeyHome = nullptr,
            *KeyEnd = nullptr;
    std::vector<QAction*> languageItems;

    // UI state update: enables every command for mode and fills the status bar.
    void SetUIMode(std::uint32_t mode);
    // The tool tips of Undo and Redo name the edit they would undo or redo.
    void updateUndoTips();

    // A message of the catalogue in the window's language (English without a language file).
    std::string messageText(MessageId id, const std::vector<std::string>& args = {}) const;
    int showMessage(MessageId id, const std::vector<std::string>& args = {}, PromptButtons buttons = PromptButtons::Ok,
                    PromptIcon icon = PromptIcon::None);
    // A failed outcome's message, in the box its message belongs in; nothing for the others.
    void showOutcome(const Outcome& outcome);

    // The waveform view, transport and meters (FormMainView.cpp).
    TSpectrum* spectrum() const { return m_spectrum.get(); }  // null when the engine failed
    TVolume* volume() const { return m_volume.get(); }
    // Draws the waveform now and applies the stop rule to the column the cursor was drawn on.
    void PaintBox1Paint();
    void PaintBox1MouseDown(Qt::MouseButton button, int x, int y);
    void PaintBox1MouseUp(Qt::MouseButton button, int x, int y);
    // A drag with the left button selects from where it began to where the pointer is.
    void waveDrag(int x);
    // The scene with this window's system colours and label font.
    WaveformScene waveScene();
    // The view (paint box and scroll area) becomes this many columns wide.
    void setWaveWidth(int width);

public slots:
    // Start-up, close and shut-down.
    void FormCreate();
    void FormActivate();
    void FormShow();
    void FormDestroy();
    void FormResize();
    void layoutToolBar();
    void fillToolBarMore();
    void ButtonCloseClick();
    void MCloseClick() { ButtonCloseClick(); }
    void MExitClick();

    // Commands of the other areas (FormMainOpen.cpp, FormMainView.cpp, FormMainPending.cpp).
    void ButtonOpenClick();
    void MOpenClick() { ButtonOpenClick(); }
    void ButtonSaveClick();
    void MSaveClick() { ButtonSaveClick(); }
    void ButtonSaveAsClick();
    void MSaveAsClick() { ButtonSaveAsClick(); }
    void MSelectAllClick();
    void MUndoClick();
    void MRedoClick();
    void ButtonDeleteClick();
    void MDeleteClick() { ButtonDeleteClick(); }
    void ButtonCutOutClick();
    void MCutOutClick() { ButtonCutOutClick(); }
    void ButtonVolumeClick();
    void MVolumeClick() { ButtonVolumeClick(); }
    void ButtonFadeInClick();
    void MFadeInClick() { ButtonFadeInClick(); }
    void ButtonFadeOutClick();
    void MFadeOutClick() { ButtonFadeOutClick(); }
    void MZoom10Click();
    void MZoom8Click();
    void MZoom6Click();
    void MZoom4Click();
    void MZoom2Click();
    void MZoom1Click();
    void ButtonZoomInClick();
    void ButtonZoomOutClick();
    void CButtonPlayClick();
    void CButtonPlayFromHereClick();
    void CButtonPauseClick();
    void CButtonStopClick();
    void CButtonSetStartClick();
    void CButtonSetFinishClick();
    void ButtonHelpClick();
    void MHelpClick() { ButtonHelpClick(); }
    void ButtonUpdateClick();
    void MHomeClick() { ButtonUpdateClick(); }
    void MAboutClick();
    // Hands target to the desktop; says where it is when nothing could show it.
    void openLink(const std::string& target);
    void LanguageItemClick(QAction* item);
    void Timer1Timer();
    // Space: pauses while playing, plays from here otherwise.
    void KeySpacePress();
    // Home and End only scroll: the play position and the markers stay where they are.
    void KeyHomePress();
    void KeyEndPress();

public:
    // The open from its extension check on (the Open command after its dialog, a dropped file
    // and the command-line open): bars, worker, dialog, then the document is loaded.
    void openFile(std::string path);
    // After an open or a recovery: the player, the zoom checks, the view and the mode.
    bool showOpenedDocument();
    // Offers the documents that editors which died left unsaved; true when one was taken.
    bool offerRecovery();
    // Replaces the language file and applies its font and texts to all seven windows
    // (FormMainLanguage.cpp).
    void ApplyLanguage();
    // The banner area (FormMainBanner.cpp): shown or hidden by "General"/"Ad", its movie
    // written to the temp folder and its page loaded from the program's resources.
    void SetupBanner();
    void LoadBanner();
    void BannerBrowserDocumentComplete(BannerView* sender);
    // The application-wide message filter: a right-button press strictly inside the visible
    // banner is discarded. True when the event was taken.
    bool ApplicationEvents1Message(QEvent* e);

protected:
    // A file dropped on the window while no document is open is opened like a chosen one
    // (FormMainOpen.cpp).
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildLayout();
    void buildMenus();
    void buildDialogs();
    void buildLanguageMenu();
    // Close steps 1 to 6; false when the document stays open (the user cancelled the save
    // question, or the save it asked for did not complete).
    bool closeDocument();
    // Save or Save As (FormMainSave.cpp); true only when the document was saved completely.
    bool saveDocument(bool saveAs);
    // Save As's file dialog with the name rule and the overwrite question; nothing on Cancel.
    std::optional<std::string> askSaveAsName();
    // An edit inside the process dialog (FormMainEdit.cpp).
    void runEdit(const std::function<Outcome(Progress&)>& edit);
    // A session command behind its progress dialog, on the worker thread (see WorkerThread).
    // Meanwhile the timer leaves the session alone and the view shows what it showed before.
    int runCommand(ProgressForm& dialog, const std::function<void(WorkerProgress&)>& body);

    // The view's share of start-up, event filtering and shut-down (FormMainView.cpp).
    void createView();
    void createMeters();
    void destroyMeters();
    bool viewEventFilter(QObject* watched, QEvent* e);
    void paintWaveExposed(const QRect& exposed);
    // Draws the whole view now (scrolling to keep the cursor visible while playing), then
    // applies the stop rule to the column drawn.
    void repaintWave();
    void applyWindowLook(WaveformScene& scene) const;
    // Changes the zoom level, keeping the time under view x m_zoomAnchorX (the view's centre
    // when unset) under that x, as far as the document's ends allow.
    void zoomTo(std::int32_t framesPerColumn);
    // The mouse wheel over the view: scrolls it sideways, or with Ctrl steps the zoom around
    // the pointer. False when the wheel is not the view's to take.
    bool waveWheel(QWheelEvent* e);
    void syncZoomChecks(std::int32_t framesPerColumn);
    // The window's share of a transport command: SetUIMode and, for the commands that move
    // the cursor or the markers, the repaint.
    void afterTransport(bool repaint);

    StartupOptions m_options;
    bool m_othersLeftOnCommandLine = false;  // more files were named than the one opened
    Session m_session;
    const DocumentState& m_doc = m_session.doc();
    ApplicationSettings m_settings;
    std::unique_ptr<QtPrompts> m_qtPrompts;
    Prompts* m_prompts = nullptr;
    // What a command's body on the worker thread asks and tells through.
    UiThreadPrompts m_workerPrompts{*this, m_prompts};
    bool m_commandRunning = false;
    QPixmap m_viewDuringCommand;  // the visible waveform as it was when the command started
    QPoint m_viewDuringCommandAt;
    std::unique_ptr<LanguageFile> m_languageFile;
    // The filters of the open and save dialogs (the language file replaces them whole).
    std::string m_openFilter = kFileDialogFilter;
    std::string m_saveFilter = kSaveDialogFilter;
    std::vector<std::string> m_languageFiles;
    std::string m_adSetting;
    QImage m_waveBitmap;  // the exposed part of the view, drawn offscreen then copied
    std::unique_ptr<TSpectrum> m_spectrum;
    std::unique_ptr<TVolume> m_volume;
    // The scene repaintWave() is drawing right now; null outside it, when a paint reads the
    // document itself.
    const WaveformScene* m_pendingScene = nullptr;
    // Set by a Ctrl+wheel zoom for the zoom it runs: the view x whose time stays put.
    std::optional<int> m_zoomAnchorX;
    // What a high-resolution wheel turned short of a pixel or of a zoom notch, carried to
    // its next event so that slow turns add up.
    int m_wheelScrollRest = 0;
    int m_wheelZoomRest = 0;
    std::optional<int> m_dragFrom;  // the column a left press began on, while the button is down
    bool m_dragging = false;
    // What the save dialog keeps between showings.
    std::string m_saveDialogFileName;
    std::string m_lastOpenFolder;  // with a separator; empty before the first Open
    int m_saveDialogFilterIndex = 1;
    std::shared_ptr<AudioEngine> m_engine;  // null until start-up has started it
    bool m_recoveryOffered = false;  // once per run, at the first show
    bool m_created = false;  // FormCreate ran to its end
    // The toolkit's own texts (standard buttons, file dialogs) in the language of the window.
    std::vector<std::unique_ptr<QTranslator>> m_qtTranslators;
    void applyToolkitLanguage();
    bool m_activated = false;
    bool m_shown = false;
    bool m_destroyed = false;
};

}  // namespace torvane
