#pragma once
// Checks of UTF-8 text: names on disk and tags are bytes that need not be valid.

#include <cstddef>
#include <string>

namespace torvane {

// The length of the well-formed UTF-8 sequence at `at` (no overlongs, surrogates or code points
// past U+10FFFF), 0 when there is none.
std::size_t utf8SequenceAt(const std::string& s, std::size_t at);

bool validUtf8(const std::string& s);

}  // namespace torvane
