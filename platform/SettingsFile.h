#pragma once
// Where the editor keeps Velkora.ini: in the user's configuration folder
// ($XDG_CONFIG_HOME/torvane/, by default ~/.config/torvane/), always. A program folder is
// shared by every user of the machine, so a Velkora.ini there is read only as the defaults of a
// user who has no file yet, and is never written: writing it let one user's choice of language
// become everybody's. Paths are UTF-8.

#include <string>

#include "platform/IniFile.h"

namespace torvane {

inline constexpr const char* kSettingsFileName = "Velkora.ini";

// The user's settings file; it may not exist yet.
std::string userSettingsFilePath();

// The settings, read and written through one profile: the user's file or, while there is none,
// the program folder's as its defaults. The first write makes the user's file from those
// defaults and the change, so that one saved setting does not lose the rest. The user's folder
// is made here, so that the first write can succeed.
IniFile openSettings(const std::string& programFolder);

}  // namespace torvane
