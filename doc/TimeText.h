#pragma once
#include <cstdint>
#include <string>

namespace torvane {

// Whole seconds as hours:minutes:seconds, two digits a part ("00" for zero or less);
// hours keep all their digits (360000 s is "100:00:00"). Negative input reads 00:00:00.
std::string timeText(std::int64_t seconds);

}  // namespace torvane
