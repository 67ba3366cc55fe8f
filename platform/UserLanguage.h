#pragma once
// The user's default language identifier, derived from the locale as Windows numbers
// languages. Only the Chinese variants matter to the editor; everything else is US English.

#include <cstdint>
#include <string>

namespace torvane {

constexpr std::uint16_t kLangChineseSimplified = 0x0804;  // zh_CN
constexpr std::uint16_t kLangChineseSingapore = 0x1004;   // zh_SG
constexpr std::uint16_t kLangChineseTaiwan = 0x0404;      // zh_TW
constexpr std::uint16_t kLangChineseHongKong = 0x0C04;    // zh_HK
constexpr std::uint16_t kLangEnglishUS = 0x0409;

// From a locale name such as "zh_HK", "zh-TW", "zh_CN.UTF-8" or "en_US@euro".
std::uint16_t languageIdFromLocale(const std::string& localeName);

// The language identifier of the user running the program (the system locale).
std::uint16_t userDefaultLanguageId();

// The language file to use when the settings name none.
std::string defaultLanguageFileName(std::uint16_t languageId);

}  // namespace torvane
