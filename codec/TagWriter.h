#pragma once
// The source's tags as the saved formats carry them: an ID3v2.3 tag in front of an MP3, a LIST
// INFO chunk after a WAV's data. (A WMA's attributes go through its writer library.)

#include <cstdint>
#include <string>
#include <vector>

#include "doc/SourceInfo.h"
#include "platform/File.h"

namespace torvane {

using TagBytes = std::vector<unsigned char>;

// UTF-16 of UTF-8 text; a malformed sequence becomes U+FFFD.
std::u16string utf8ToUtf16(const std::string& s);

// An ID3v2.3 tag: UTF-16 text frames TIT2, TPE1, TALB, TYER, TRCK, TCON, a COMM, and the cover
// as an APIC of the front-cover type. Empty when the tags are.
TagBytes id3v2Tag(const SourceTags& tags);

// A "LIST" chunk of form "INFO" (INAM, IART, IPRD, ICRD, ITRK, IGNR, ICMT, each text ending in
// a zero and padded to an even length). Empty when there is no text.
TagBytes riffInfoChunk(const SourceTags& tags);

// Puts `bytes` in front of what `file` holds, in place: the file is grown first (a full disk
// fails there), its content moved towards the end block by block from its last block back, and
// the bytes written at the start. False when any of it failed; the file is unusable then.
bool insertAtStart(File& file, const TagBytes& bytes);

}  // namespace torvane
