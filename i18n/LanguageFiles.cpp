#include "i18n/LanguageFiles.h"

#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/UserLanguage.h"

namespace torvane {

std::string chooseLanguageFile(IniFile& settings, std::uint16_t userLanguageId) {
    std::string name = settings.readString("General", "Language", "");
    const char* blanks = " \t";
    std::size_t b = name.find_first_not_of(blanks);
    name = (b == std::string::npos) ? std::string() : name.substr(b, name.find_last_not_of(blanks) - b + 1);
    if (name.empty()) {
        name = defaultLanguageFileName(userLanguageId);
        settings.writeString("General", "Language", name);
    }
    return name;
}

std::vector<std::string> listLanguageFiles(const std::string& languageFolder) {
    return listFiles(languageFolder, ".ini");
}

}  // namespace torvane
