#include "platform/SettingsFile.h"

#include "platform/Folders.h"

namespace torvane {

std::string userSettingsFilePath() { return userConfigFolder() + kSettingsFileName; }

IniFile openSettings(const std::string& programFolder) {
    makePrivateFolder(userConfigFolder());
    return IniFile(userSettingsFilePath(), withTrailingSeparator(programFolder) + kSettingsFileName);
}

}  // namespace torvane
