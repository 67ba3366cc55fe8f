// Help, the home page and the About box.

#include <QFileInfo>

#include "app/FormMain.h"
#include "app/TAboutForm.h"
#include "platform/DesktopHandlers.h"
#include "platform/Prompts.h"

namespace torvane {

const char* const kHomePageAddress = "https://torvane.org/";

// The help in the language of the current language file: help/<its name>/index.html when that
// language has pages of its own. Otherwise the compiled help beside the program, or, where the
// desktop has nothing that opens compiled help (most Linux desktops), the same pages as HTML.
void TMainForm::ButtonHelpClick() {
    const std::string help = m_settings.dataFolder + "help/";
    const std::string stem = QFileInfo(QString::fromStdString(m_settings.languageFileName)).completeBaseName().toStdString();
    const std::string translated = help + stem + "/index.html";
    if (!stem.empty() && QFileInfo(QString::fromStdString(translated)).isFile()) openLink(translated);
    else if (desktopHasHandlerFor("application/vnd.ms-htmlhelp")) openLink(m_settings.dataFolder + "Velkora.chm");
    else openLink(help + "index.html");
}

void TMainForm::ButtonUpdateClick() { openLink(kHomePageAddress); }

void TMainForm::MAboutClick() {
    AboutForm->setHomePage(kHomePageAddress);
    AboutForm->openLink = [this](const std::string& address) { openLink(address); };
    AboutForm->exec();
}

void TMainForm::openLink(const std::string& target) {
    if (!m_prompts->openExternal(target))
        showMessage(MessageId::CannotOpenLink, {target}, PromptButtons::Ok, PromptIcon::Information);
}

}  // namespace torvane
