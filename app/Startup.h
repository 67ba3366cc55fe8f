#pragma once
// The pure steps of the window's start-up: the command line and the waveform's placement.

#include <string>
#include <vector>

namespace torvane {

// All arguments joined with one blank between them, so that an unquoted path with blanks
// is rebuilt; empty when there are none.
std::string joinCommandLine(const std::vector<std::string>& args);

// The height rule that keeps the 221-pixel waveform centred in its scroll box.
int waveformTop(int scrollBoxHeight);

}  // namespace torvane
