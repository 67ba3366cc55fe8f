#pragma once
// The source's tags, as FFmpeg's demuxers present them whatever the container: ID3v1/v2 and APE
// in an MP3, ASF attributes, a WAV's LIST INFO and id3 chunks, Vorbis comments in FLAC, Ogg and
// Opus, AIFF's text chunks, an M4A's item list. The front cover comes from an attached picture.

#include <string>

#include "doc/SourceInfo.h"

namespace torvane {

// Text tags longer than this many bytes are cut (on a character boundary); a cover larger than
// kMaxCoverBytes, or not JPEG or PNG, is left out.
inline constexpr std::size_t kMaxTagTextBytes = 16 * 1024;
inline constexpr std::size_t kMaxCoverBytes = std::size_t(16) << 20;

// Empty tags when the file cannot be read or holds none. Every string is valid UTF-8: a tag that
// is not (an ID3v1 in Latin-1, say) is taken as Latin-1.
SourceTags readSourceTags(const std::string& path);

// `text` as valid UTF-8, cut to at most `maxBytes` bytes on a character boundary.
std::string cleanTagText(const std::string& text, std::size_t maxBytes = kMaxTagTextBytes);

}  // namespace torvane
