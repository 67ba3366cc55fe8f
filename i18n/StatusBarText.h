#pragma once
// The three status bar texts of a stopped document: format, duration, path.

#include <array>
#include <string>

#include "doc/DocumentState.h"

namespace torvane {

class LanguageFile;

// languageFile supplies the words "Mono", "Stereo" and "Bits" of section "StatusBar"; a
// missing key (or no language file) leaves its word empty, the numbers stay.
std::array<std::string, 3> statusBarTexts(const DocumentState& doc, const LanguageFile* languageFile);

}  // namespace torvane
