// Commands of TMainForm whose behaviour belongs to the i18n and extras areas. They are wired to their menu items, buttons and keys already; each area replaces
// its bodies here when it lands. Handlers that change no UI mode re-run SetUIMode with the
// current one, as the finished versions will.

#include "app/FormMain.h"
#include "platform/IniFile.h"

namespace torvane {

// Languages: for now only the reader the status bar words come from.
void TMainForm::ApplyLanguage() {
    m_languageFile = std::make_unique<IniFile>(languageFolder() + m_doc.languageFileName);
}
void TMainForm::LanguageItemClick(QAction*) {}

// Help, home page, About, banner.
void TMainForm::ButtonHelpClick() {}
void TMainForm::ButtonUpdateClick() {}
void TMainForm::MAboutClick() {}
void TMainForm::SetupBanner() {}
void TMainForm::LoadBanner() {}

}  // namespace torvane
