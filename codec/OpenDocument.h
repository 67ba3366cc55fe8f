#pragma once
// Opening a source into the document: decode (MP3, WMA) or copy (WAV) it into the working
// file, read the working file's header and build the peak table. No window is involved: the
// caller passes a Progress (bar 0 "Decoding:", bar 1 "Loading:") and shows the message of a
// failed result.

#include <cstdint>
#include <string>

#include "doc/DocumentState.h"
#include "platform/Outcome.h"
#include "platform/Progress.h"

namespace torvane {

// Wav: copied when it is 8- or 16-bit PCM, decoded when its samples are wider or float or it
// is an RF64/BW64 file. Other: AIFF, FLAC, Ogg Vorbis, Opus, MP4 audio, always decoded.
enum class SourceKind { Mp3, Wma, Wav, Other };

// True for the extensions Open takes (".mp3", ".wma", ".wav" and those of the other kinds),
// compared without regard to case.
bool isOpenableSource(const std::string& path);

// By extension, without regard to case; anything not known is taken as a WAV.
SourceKind sourceKindOf(const std::string& path);

// Average bit rate in kbit/s of a compressed source over its exact duration, the decoded
// length: fileSize * 8 / 1000 / (decodedBytes / bytesPerSecond), rounded down. A WMA's odd
// result is lowered by one. 0 when nothing was decoded.
std::int32_t sourceBitRateOf(std::uint64_t fileSize, std::uint64_t decodedBytes, std::uint64_t bytesPerSecond,
                             SourceKind kind);

// The open body. Needs doc.tempFolder (ending in a separator), doc.documentPath and
// doc.view.framesPerColumn (10000 whenever the editor opens). Sets the working file path (any old
// working file there is deleted first), the source bit rate, every header value, the column
// count and new peak arrays. Cancel is honoured while decoding only: the result is then
// Cancelled and the header is not read. After a failure the working file may be left with
// partial content; the next open or Close deletes it.
// `workingFileLimit` is the largest working file allowed (4 GiB - 1: 32-bit sizes); tests
// lower it to reach the too-long path without gigabytes of audio.
inline constexpr std::uint64_t kMaxWorkingFileBytes = 0xFFFFFFFFull;
Outcome openDocument(DocumentState& doc, Progress& progress,
                        std::uint64_t workingFileLimit = kMaxWorkingFileBytes);

}  // namespace torvane
