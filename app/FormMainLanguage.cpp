// Languages: the Language menu, applying a language file's font and texts to all seven
// windows (the main window's from the command table), choosing another language, and the
// messages shown in the window's language.

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

#include "app/CommandTable.h"
#include "app/QtPrompts.h"
#include "app/FormMain.h"
#include "app/TAboutForm.h"
#include "app/TOpenForm.h"
#include "app/TProcessForm.h"
#include "app/TReloadForm.h"
#include "app/TSaveForm.h"
#include "app/TVolumeForm.h"
#include "i18n/LanguageFile.h"
#include "i18n/CaptionKeys.h"
#include "i18n/LanguageFiles.h"
#include "i18n/Messages.h"
#include "platform/IniFile.h"
#include "platform/SettingsFile.h"

namespace torvane {

namespace {

// Sets a label's text and lets it grow to fit (labels are placed, not laid out).
void setLabel(QWidget* parent, const char* name, const QString& text) {
    if (auto* l = parent->findChild<QLabel*>(QString::fromLatin1(name))) {
        l->setText(text);
        l->adjustSize();
    }
}

void setButton(QWidget* parent, const char* name, const QString& text) {
    if (auto* b = parent->findChild<QAbstractButton*>(QString::fromLatin1(name))) b->setText(text);
}

bool sameTextIgnoringCase(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

}  // namespace

void TMainForm::buildLanguageMenu() {
    for (std::size_t i = 0; i < m_languageFiles.size(); ++i) {
        const QString name = QString::fromStdString(languageDisplayName(languageFolder() + m_languageFiles[i]));
        auto* action = MenuLanguage->addAction(name);
        action->setObjectName(QStringLiteral("MLanguage%1").arg(i));
        action->setCheckable(true);
        action->setChecked(sameTextIgnoringCase(QString::fromStdString(m_languageFiles[i]),
                                                QString::fromStdString(m_settings.languageFileName)));
        connect(action, &QAction::triggered, this, [this, action] {
            action->setChecked(!action->isChecked());  // the handler sets the marks itself
            LanguageItemClick(action);
        });
        languageItems.push_back(action);
    }
}

void TMainForm::ApplyLanguage() {
    m_languageFile = std::make_unique<LanguageFile>(languageFolder() + m_settings.languageFileName);
    const LanguageFile& lf = *m_languageFile;
    // A caption the file lacks keeps the built-in English one: a window never shows a blank.
    auto text = [&](const char* section, const char* key) { return QString::fromStdString(captionText(&lf, section, key)); };

    // The font of the seven windows, in their order of creation; controls follow their window.
    const QFont font(QString::fromStdString(lf.fontName()), lf.fontSize());
    for (QWidget* w : std::initializer_list<QWidget*>{this, OpenForm, ReloadForm, SaveForm, AboutForm, ProcessForm,
                                                       VolumeForm})
        if (w) w->setFont(font);

    for (const CommandItem& c : commandTable()) {
        if (!c.key) continue;
        const QString t = text(c.section, c.key);
        switch (c.kind) {
        case ItemKind::Menu: (this->*c.menu)->setTitle(t); break;
        case ItemKind::MenuItem:
        case ItemKind::PopupItem: (this->*c.action)->setText(t); break;
        case ItemKind::ToolButton: (this->*c.button)->setText(t); break;
        case ItemKind::ControlButton: (this->*c.button)->setToolTip(t); break;
        default: break;
        }
    }
    updateUndoTips();
    m_openFilter = captionText(&lf, "OpenDialog", "Filter");
    m_saveFilter = captionText(&lf, "SaveDialog", "Filter");

    // The dialogs' texts: window, object ("" for the caption), section, key.
    struct DialogText {
        QWidget* window;
        const char* object;
        const char* section;
        const char* key;
    };
    const DialogText texts[] = {
        {AboutForm, "", "AboutForm", "Caption"},       {AboutForm, "Label2", "AboutForm", "Version"},
        {AboutForm, "Label4", "AboutForm", "HomePage"}, {AboutForm, "ButtonOk", "Common", "Ok"},
        {OpenForm, "", "OpenForm", "Caption"},         {OpenForm, "Label1", "OpenForm", "Decoding"},
        {OpenForm, "Label2", "OpenForm", "Loading"},    {OpenForm, "ButtonCancel", "Common", "Cancel"},
        {ReloadForm, "", "ReloadForm", "Caption"},     {SaveForm, "", "SaveForm", "Caption"},
        {SaveForm, "ButtonCancel", "Common", "Cancel"}, {ProcessForm, "", "ProcessForm", "Caption"},
        {ProcessForm, "Label1", "ProcessForm", "Processing"},
        {ProcessForm, "Label2", "ProcessForm", "Reloading"},
        {VolumeForm, "", "VolumeForm", "Caption"},     {VolumeForm, "Label1", "VolumeForm", "Volume"},
        {VolumeForm, "CheckBoxMute", "VolumeForm", "Mute"}, {VolumeForm, "ButtonOk", "Common", "Ok"},
        {VolumeForm, "ButtonCancel", "Common", "Cancel"},
    };
    for (const DialogText& d : texts) {
        if (!d.window) continue;
        const QString t = text(d.section, d.key);
        if (!*d.object) d.window->setWindowTitle(t);
        else if (d.object[0] == 'L') setLabel(d.window, d.object, t);
        else setButton(d.window, d.object, t);
    }
    if (AboutForm)
        AboutForm->setNotices(text("AboutForm", "Copyright"), text("AboutForm", "Reserved"),
                              QString::fromStdString(messageText(MessageId::AboutNotice, {"%1", "%2"})));
    applyToolkitLanguage();
}

void TMainForm::applyToolkitLanguage() {
    for (const auto& t : m_qtTranslators) QCoreApplication::removeTranslator(t.get());
    m_qtTranslators.clear();
    // The toolkit's own texts (Yes, No, Cancel, the file dialogs) in the language of the
    // window's Chinese files; English is the toolkit's own.
    const int charSet = m_languageFile ? m_languageFile->charSet() : kCharSetDefault;
    const char* locale = charSet == kCharSetGb2312 ? "zh_CN" : charSet == kCharSetChineseBig5 ? "zh_TW" : nullptr;
    if (!locale) return;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(QStringLiteral("qtbase_") + QLatin1String(locale), folder) &&
        QCoreApplication::installTranslator(translator.get()))
        m_qtTranslators.push_back(std::move(translator));
}

std::string TMainForm::messageText(MessageId id, const std::vector<std::string>& args) const {
    return torvane::messageText(id, args, m_languageFile.get());
}

int TMainForm::showMessage(MessageId id, const std::vector<std::string>& args, PromptButtons buttons,
                           PromptIcon icon) {
    const MessageEntry& entry = messageEntry(id);
    MessageRequest request{messageText(id, args), std::string(), buttons, icon};
    if (entry.caption != MessageId::None) request.caption = messageText(entry.caption);
    request.ownerless = entry.ownerless;
    return m_workerPrompts.messageBox(request);  // a plain call on the interface thread
}

void TMainForm::showOutcome(const Outcome& outcome) {
    if (outcome.failedWithMessage()) showMessage(outcome.message, outcome.args);
}

void TMainForm::LanguageItemClick(QAction* item) {
    const QString caption = item->text();
    for (QAction* a : languageItems) a->setChecked(a->text() == caption);
    // The folder again (files may have come or gone): the first file of that name wins.
    std::vector<std::string> files = listLanguageFiles(languageFolder());
    std::stable_sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
        return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0;
    });
    for (const std::string& file : files) {
        if (sameTextIgnoringCase(QString::fromStdString(languageDisplayName(languageFolder() + file)), caption)) {
            m_settings.languageFileName = file;
            IniFile settings = openSettings(m_settings.dataFolder);
            settings.writeString("General", "Language", file);
            break;
        }
    }
    ApplyLanguage();
}

}  // namespace torvane
