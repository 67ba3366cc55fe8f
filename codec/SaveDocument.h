#pragma once
// Saving the document: the working file copied (WAV) or encoded (MP3, WMA, FLAC, Ogg Vorbis)
// to a destination.
// Every format is written into a temporary file first (see SaveTarget: beside a regular
// destination, in the instance folder for a FIFO, a device or standard output) and reaches
// the destination only when the whole file was written: a failed or cancelled save leaves the
// destination byte for byte as it was and no temporary file behind.

#include <cstdint>
#include <optional>
#include <string>

#include "doc/DocumentState.h"
#include "platform/Outcome.h"
#include "platform/Progress.h"
#include "platform/SaveTarget.h"

namespace torvane {

enum class SaveFormat { Wav, Mp3, Wma, Flac, Ogg };

// By the destination's extension, without regard to case: ".mp3", ".wma", ".flac", ".ogg" and
// ".oga" name theirs; anything else is WAV.
SaveFormat saveFormatOf(const std::string& destination);

// Whether the destination's extension names a format a save writes (".wav" included).
bool isSaveExtension(const std::string& destination);

// Save As's name: kept when its extension names a format a save writes (any case); otherwise
// the extension of the dialog's filter (2 ".wav", 3 ".mp3", 4 ".wma", 5 ".flac", 6 ".ogg") is
// appended, or for the other filters the document path's own extension, as written there (".wav"
// when Save does not write that kind).
std::string saveAsName(const std::string& chosen, int filterIndex, const std::string& documentPath);

struct SaveOptions {
    std::string encoderFolder;  // where the encoder libraries are (the program folder), with a separator
    std::optional<SaveFormat> format;  // instead of the destination's extension
    SaveTargetOptions target;          // the scratch folder, and whether "-" is standard output
    // The source's tags (doc.source.tags) go with the audio: an ID3v2 tag in front of an MP3,
    // a WMA's attributes, a LIST INFO chunk after a WAV's data. Without any, or off, the file
    // is written as the audio alone.
    bool keepTags = true;
    // The document ends with this save: a WAV that is the working file as it is may take the
    // working file itself (see SaveTarget::adopt) rather than a copy.
    bool takeWorkingFile = false;
};

// The save body. MP3 takes the document's source bit rate (128 stored when it is 0; 64 at
// 11025 Hz and below, not stored), WMA its source bit rate × 1000 (96 stored when it is 0), Ogg
// Vorbis about its source bit rate (128 kbit/s when it is 0, not stored); FLAC is lossless.
// 8-bit documents are converted to 16 bits for the encoders. Cancel is honoured between
// chunks. An encoder's failure carries its own message (for its own box); one that could not
// even start (nothing was read) is marked encoderNotStarted.
Outcome saveDocument(DocumentState& doc, const std::string& destination, const SaveOptions& options,
                     Progress& progress);

}  // namespace torvane
