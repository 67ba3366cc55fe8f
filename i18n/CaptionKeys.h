#pragma once
// Every (section, key) the program reads from a language file, with the built-in English
// caption that stands in when a language file lacks the key. A language file is complete when
// it carries all of them with a value; the shipped files are checked against this list.

#include <string>
#include <string_view>
#include <vector>

namespace torvane {

class LanguageFile;

struct CaptionKey {
    std::string_view section;
    std::string_view key;
    std::string_view english;  // empty for the status bar words and the language's properties
};

// In the order of the files' sections, "LanguageProperty" last.
const std::vector<CaptionKey>& captionKeys();

// The caption under section/key: the language file's (UTF-8) when it has one, else the
// built-in English one, never blank for a caption that has one.
std::string captionText(const LanguageFile* language, std::string_view section, std::string_view key);

}  // namespace torvane
