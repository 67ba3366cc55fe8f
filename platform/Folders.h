#pragma once
// The folders the editor works in. Paths are UTF-8 and folders end in the separator.

#include <string>
#include <vector>

namespace torvane {

// The native separator ("\" on Windows, "/" elsewhere).
char folderSeparator();

// folder with the separator appended when it does not already end in one (either kind).
std::string withTrailingSeparator(const std::string& folder);

// The system temporary folder, ending in a separator.
std::string systemTempFolder();

// The folder of the running program, ending in a separator.
std::string programFolder();

// Where the program's own files are, for a program in programFolder (ending in a separator).
// In the build tree, or a folder copied whole, everything sits beside the program (its
// VKLanguage folder says so); installed in <prefix>/bin, the language files and help are in
// <prefix>/share/torvane/ and the encoder libraries in <prefix>/lib/torvane/, so any prefix works.
std::string programDataFolder(const std::string& programFolder);
std::string programLibraryFolder(const std::string& programFolder);

// The editor's folders in the user's freedesktop base directories, ending in a separator; they
// may not exist yet. Settings: $XDG_CONFIG_HOME/torvane/ (by default ~/.config/torvane/).
// State that must outlive a reboot, as the instance folders with their recovery state do:
// $XDG_STATE_HOME/torvane/ (by default ~/.local/state/torvane/).
std::string userConfigFolder();
std::string userStateFolder();

// Makes folder and each missing folder above it with mode 0700, as the base directory rules
// ask; true when folder is a folder afterwards.
bool makePrivateFolder(const std::string& folder);

// The sorted names (without folder) of the regular files in folder whose names end in
// suffix, compared without regard to case; folders are left out.
std::vector<std::string> listFiles(const std::string& folder, const std::string& suffix);

}  // namespace torvane
