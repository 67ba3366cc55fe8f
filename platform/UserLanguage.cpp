#include "platform/UserLanguage.h"

#include <QLocale>

namespace torvane {

std::uint16_t languageIdFromLocale(const std::string& localeName) {
    // Language and territory only; the code set and modifier do not matter.
    std::string name = localeName.substr(0, localeName.find_first_of(".@"));
    for (char& c : name) {
        if (c == '-') c = '_';
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    if (name == "zh_cn") return kLangChineseSimplified;
    if (name == "zh_sg") return kLangChineseSingapore;
    if (name == "zh_tw") return kLangChineseTaiwan;
    if (name == "zh_hk") return kLangChineseHongKong;
    return kLangEnglishUS;
}

std::uint16_t userDefaultLanguageId() {
    return languageIdFromLocale(QLocale::system().name().toStdString());
}

std::string defaultLanguageFileName(std::uint16_t languageId) {
    switch (languageId) {
    case kLangChineseSimplified:
    case kLangChineseSingapore: return "ChineseGB.ini";
    case kLangChineseTaiwan:
    case kLangChineseHongKong: return "ChineseBig5.ini";
    default: return "English.ini";
    }
}

}  // namespace torvane
