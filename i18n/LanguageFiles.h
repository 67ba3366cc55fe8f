#pragma once
// Which language file the editor starts with, and which ones the language folder holds.

#include <cstdint>
#include <string>
#include <vector>

namespace torvane {

class IniFile;

// "General"/"Language" of the settings, trimmed. When that is empty, the default for the
// user's language is chosen and written back to the settings file.
std::string chooseLanguageFile(IniFile& settings, std::uint16_t userLanguageId);

// The language files of the language folder: "*.ini" entries that are files, sorted.
std::vector<std::string> listLanguageFiles(const std::string& languageFolder);

}  // namespace torvane
