#pragma once
// The working file: the one PCM WAV file every command works on. Where it lives, how its
// header is read into the document, and how its size fields are kept true after a write.

#include <cstdint>
#include <string>

#include "doc/DocumentState.h"
#include "platform/File.h"
#include "platform/MessageId.h"
#include "platform/WaveHeader.h"

namespace torvane {

inline constexpr const char* kWorkingFileName = "AudioTemp.wav";

// The working file's path inside a folder that ends in a separator.
std::string workingFilePathIn(const std::string& folder);

// The message the user sees for a header failure; None for WaveHeaderError::None.
MessageId headerErrorMessage(WaveHeaderError e);

// Column count for a frame count at a zoom: frames / framesPerColumn, rounded up
// (0 when either is 0).
std::uint32_t columnCountFor(std::uint32_t frameCount, std::uint32_t framesPerColumn);

// Byte offset of column (or marker) `column`, in the 32-bit arithmetic the editor uses.
std::uint32_t columnToByte(const DocumentState& doc, std::uint32_t column);

// Fills duration, data end, frame count and column count from the document's data size,
// data offset, rate, channels, bits and frames per column.
void deriveHeaderValues(DocumentState& doc);

// The document's format from a header read elsewhere, and the values derived from it.
void takeHeaderValues(DocumentState& doc, const WaveHeader& h);

// Reads the header of an open file into the document. On success every header value of the
// document is set. On a failure the values read before it stay in the document.
WaveHeaderError readWorkingHeader(const File& f, DocumentState& doc);

// Opens the document's working file read-only and reads its header; the open file is handed
// over to `opened` when that is not null and the header was read. CannotOpen when the file
// cannot be opened.
WaveHeaderError readWorkingHeader(DocumentState& doc, File* opened = nullptr);

// After a decode wrote a 44-byte header with zero sizes: RIFF size = L - 8 at byte 4 and
// data size = L - 44 at byte 40, L being the file's length. False when a write failed.
bool patchDecodedSizes(File& f);

// After an edit changed the file's length (file open for reading and writing): RIFF size at
// byte 4, data size = L - data offset at data offset - 4, then the derived values again.
bool patchSizesAfterLengthChange(File& f, DocumentState& doc);

}  // namespace torvane
