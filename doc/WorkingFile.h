#pragma once
// The working file: the one PCM WAV file every command works on. Where it lives, how its
// header is read into the document, and how its size fields are kept true after a write.

#include <cstdint>
#include <cstdio>
#include <string>

#include "doc/DocumentState.h"
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

// Reads the header of an open file (positioned anywhere) into the document. On success the
// file is left at the data offset and every header value of the document is set. On a failure
// the values read before it stay in the document.
WaveHeaderError readWorkingHeader(std::FILE* f, DocumentState& doc);

// Opens the document's working file read-only and reads its header; the file is handed
// back, positioned at the data offset, through `opened` when it is not null (the caller
// closes it), and closed otherwise. CannotOpen when the file cannot be opened.
WaveHeaderError readWorkingHeader(DocumentState& doc, std::FILE** opened = nullptr);

// After a decode wrote a 44-byte header with zero sizes: RIFF size = L - 8 at byte 4 and
// data size = L - 44 at byte 40, L being the file's length. False when a write failed.
bool patchDecodedSizes(std::FILE* f);

// After an edit changed the file's length (file open for reading and writing): RIFF size at
// byte 4, data size = L - data offset at data offset - 4, then the derived values again.
bool patchSizesAfterLengthChange(std::FILE* f, DocumentState& doc);

}  // namespace torvane
