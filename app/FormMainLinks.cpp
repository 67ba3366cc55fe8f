// Help, the home page and the About box.

#include "app/FormMain.h"
#include "app/TAboutForm.h"
#include "platform/DesktopHandlers.h"
#include "platform/Prompts.h"

namespace torvane {

const char* const kHomePageAddress = "https://torvane.org/";

// The compiled help beside the program; where the desktop has nothing that opens compiled
// help (most Linux desktops), the same pages as HTML.
void TMainForm::ButtonHelpClick() {
    const std::string chm = m_settings.programFolder + "Velkora.chm";
    if (desktopHasHandlerFor("application/vnd.ms-htmlhelp")) m_prompts->openExternal(chm);
    else m_prompts->openExternal(m_settings.programFolder + "help/index.html");
}

void TMainForm::ButtonUpdateClick() { m_prompts->openExternal(kHomePageAddress); }

void TMainForm::MAboutClick() {
    AboutForm->setHomePage(kHomePageAddress);
    AboutForm->openLink = [this](const std::string& address) { m_prompts->openExternal(address); };
    AboutForm->exec();
}

}  // namespace torvane
