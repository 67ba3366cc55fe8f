#pragma once
// Every (section, key) the program reads from a language file. A language file is complete
// when it carries all of them with a value; the shipped files are checked against this list.

#include <string_view>
#include <vector>

namespace torvane {

struct CaptionKey {
    std::string_view section;
    std::string_view key;
};

// In the order of the files' sections, "LanguageProperty" last.
const std::vector<CaptionKey>& captionKeys();

}  // namespace torvane
