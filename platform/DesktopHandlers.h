#pragma once
// Whether the desktop has a program that opens a kind of file.

#include <string>

namespace torvane {

// True when the desktop names a default application for `mimeType` (on Linux, as
// `xdg-mime query default` answers within two seconds). Windows always has one for its own
// compiled help.
bool desktopHasHandlerFor(const std::string& mimeType);

}  // namespace torvane
