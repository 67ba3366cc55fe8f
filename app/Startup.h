#pragma once
// The GUI-free steps of start-up: the command line, the language choice, the language folder.

#include <cstdint>
#include <string>
#include <vector>

namespace torvane {

class IniFile;

// All arguments joined with one blank between them, so that an unquoted path with blanks
// is rebuilt; empty when there are none.
std::string joinCommandLine(const std::vector<std::string>& args);

// "General"/"Language" of the settings, trimmed. When that is empty, the default for the
// user's language is chosen and written back to the settings file.
std::string chooseLanguageFile(IniFile& settings, std::uint16_t userLanguageId);

// The language files of the language folder: "*.ini" entries that are files, sorted.
std::vector<std::string> listLanguageFiles(const std::string& languageFolder);

// The height rule that keeps the 221-pixel waveform centred in its scroll box.
int waveformTop(int scrollBoxHeight);

}  // namespace torvane
