#pragma once
// The pure steps of the window's start-up: the command line and the waveform's placement.

#include <functional>
#include <string>
#include <vector>

namespace torvane {

// All arguments joined with one blank between them, so that an unquoted path with blanks
// is rebuilt; empty when there are none.
std::string joinCommandLine(const std::vector<std::string>& args);

// What the command line asks before any window exists.
enum class StartupRequest { Window, Help, Version };

// -h/--help and -V/--version, anywhere before a "--" (which is then dropped from `args`), are
// answered in the terminal; anything else is for the window.
StartupRequest startupRequest(std::vector<std::string>& args);

// The text `torvane --help` prints.
std::string startupUsage();

// The file the window opens: the arguments rejoined when they name an existing file (an
// unquoted path with blanks), else the one argument, else the first when it is a file, the
// others being left (`othersLeft`), else the rejoined name, which the open then refuses as it
// would any name. Empty without arguments.
struct StartupFile {
    std::string path;
    bool othersLeft = false;
};
StartupFile startupFile(const std::vector<std::string>& args, const std::function<bool(const std::string&)>& isFile);

// The height rule that keeps the 221-pixel waveform centred in its scroll box.
int waveformTop(int scrollBoxHeight);

}  // namespace torvane
