// Commands of TMainForm whose behaviour belongs to the view, edit, codec, i18n and extras
// areas. They are wired to their menu items, buttons and keys already; each area replaces
// its bodies here when it lands. Handlers that change no UI mode re-run SetUIMode with the
// current one, as the finished versions will.

#include "app/FormMain.h"
#include "platform/IniFile.h"

namespace torvane {

// Open: dialog, extension check (OpenFromDocumentPath), worker, loading.
void TMainForm::ButtonOpenClick() {}
void TMainForm::RunOpen() {}

// Save and Save As.
void TMainForm::ButtonSaveClick() { SetUIMode(m_doc.uiMode); }
void TMainForm::ButtonSaveAsClick() { SetUIMode(m_doc.uiMode); }

// Edits.
void TMainForm::ButtonDeleteClick() {}
void TMainForm::ButtonCutOutClick() {}
void TMainForm::ButtonVolumeClick() {}
void TMainForm::ButtonFadeInClick() {}
void TMainForm::ButtonFadeOutClick() {}

// Selection and markers.
void TMainForm::MSelectAllClick() { SetUIMode(m_doc.uiMode); }
void TMainForm::CButtonSetStartClick() { SetUIMode(m_doc.uiMode); }
void TMainForm::CButtonSetFinishClick() { SetUIMode(m_doc.uiMode); }

// Zoom.
void TMainForm::MZoom10Click() {}
void TMainForm::MZoom8Click() {}
void TMainForm::MZoom6Click() {}
void TMainForm::MZoom4Click() {}
void TMainForm::MZoom2Click() {}
void TMainForm::MZoom1Click() {}
void TMainForm::ButtonZoomInClick() {}
void TMainForm::ButtonZoomOutClick() {}

// Transport.
void TMainForm::CButtonPlayClick() {}
void TMainForm::CButtonPlayFromHereClick() {}
void TMainForm::CButtonPauseClick() {}
void TMainForm::CButtonStopClick() {}

// Play cursor and meters.
void TMainForm::Timer1Timer() {}

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
