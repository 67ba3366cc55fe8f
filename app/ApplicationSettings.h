#pragma once
// What the editor keeps about itself rather than about the document: where it is installed,
// its language, its banner, and whether a file named on the command line waits to be opened.

#include <string>

namespace torvane {

struct ApplicationSettings {
    std::string programFolder;  // ends in a separator
    // Where the language files and help are: the program folder, or share/torvane when
    // installed (programDataFolder); ends in a separator.
    std::string dataFolder;
    std::string languageFileName;
    std::string bannerFilePath;  // empty: no working folder to put the banner's movie in
    bool openAtShow = false;
};

}  // namespace torvane
