#pragma once
// Opening a source into the document: decode (MP3, WMA) or copy (WAV) it into the working
// file, read the working file's header and build the peak table. No window is involved: the
// caller passes a Progress (bar 0 "Decoding:", bar 1 "Loading:") and shows the message of a
// failed result.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

namespace torvane {

// Bytes of a source, from `at` on.
struct SourceRange {
    std::uint64_t at = 0;
    std::uint64_t size = 0;
};

// Told the document as openDocument would read it (header values, column count at its zoom)
// and the source's length, says which ranges of the source make the working file; none: the
// open is not done this way.
using KeptSourcePlan = std::function<std::optional<std::vector<SourceRange>>(DocumentState& doc, std::uint64_t length)>;

// openDocument of a WAV it copies byte for byte (8- or 16-bit PCM), followed by an edit that
// only cuts (Delete, Cut Out), in one pass: only the planned ranges are copied, one after the
// other, the size fields are written for the new length (as an edit writes them) and the peak
// table is built as the bytes go by. The document is then what the open and the edit leave,
// but for what the session keeps (markers, modified flag). None when the source is not such a
// WAV, the plan declines, or the source does not hold what was read of it (changed meanwhile):
// nothing is left then, and openDocument is the way. Failures and messages are openDocument's.
std::optional<Outcome> openDocumentKeeping(DocumentState& doc, const KeptSourcePlan& plan, Progress& progress,
                                           std::uint64_t workingFileLimit = kMaxWorkingFileBytes);

}  // namespace torvane
