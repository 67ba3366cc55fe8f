#pragma once
// Where the editor keeps Velkora.ini. The program folder comes first, as it always has; an
// installed program's folder belongs to the administrator, so when the editor cannot write
// there the settings live in the user's configuration folder instead
// ($XDG_CONFIG_HOME/torvane/, by default ~/.config/torvane/). A Velkora.ini the administrator
// left in a read-only program folder holds the defaults until the user saves a setting.
// Paths are UTF-8; folders end in the separator.

#include <string>

namespace torvane {

// The settings file's name, in whichever folder it lives.
inline constexpr const char* kSettingsFileName = "Velkora.ini";

// Whether a new file can be made in folder, found by making one and removing it again:
// permission bits say nothing for root, and a read-only file system or a missing folder
// fails the same way.
bool folderIsWritable(const std::string& folder);

// The user's configuration folder for the editor, ending in the separator; it may not exist yet.
std::string userSettingsFolder();

// The settings file to open at start-up, read and written through one profile: the program
// folder's while that folder is writable; otherwise the user's copy when there is one, else
// the administrator's in the program folder, else the user's, with its folder made so that the
// first write creates it.
std::string settingsFilePath(const std::string& programFolder);

// The settings file to write: the program folder's while that folder is writable; otherwise
// the user's, with its folder made and, the first time, the administrator's defaults copied in
// so that one saved setting does not lose the rest. Empty when the user's folder cannot be made.
std::string writableSettingsFilePath(const std::string& programFolder);

}  // namespace torvane
