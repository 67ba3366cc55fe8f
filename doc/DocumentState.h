#pragma once
// Everything that describes the open document, split into its natural parts: the working
// file's wave format, the view (zoom and columns), the selection, the peak table and the
// length of what the player plays (the player itself is the session's). Widths follow the stored file format and the arithmetic the editor relies on
// (32-bit sizes, unsigned divisions); the stream length and positions are 64-bit so that
// documents of 2 GiB and more keep their columns.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "doc/SourceInfo.h"

namespace torvane {

enum UIMode : std::uint32_t { ModeNoDocument = 0, ModeStopped = 1, ModePlaying = 2, ModePaused = 3 };

// Frames per column of the six zoom levels, 10 : 1 first.
inline constexpr std::array<std::int32_t, 6> kZoomLevels{10000, 8000, 6000, 4000, 2000, 1000};
inline constexpr std::int32_t kDefaultFramesPerColumn = kZoomLevels[0];

// The header values of the working file and what follows from them.
struct WaveFormat {
    std::int32_t channels = 0;
    std::int32_t sampleRate = 0;
    std::int32_t bitsPerSample = 0;
    std::uint32_t dataSize = 0;
    std::int32_t dataEnd = 0;
    std::uint32_t duration = 0;  // whole seconds
    std::int32_t dataOffset = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t frameCount = 0;
};

// The zoom and the width of the waveform in columns.
struct ViewState {
    std::int32_t framesPerColumn = kDefaultFramesPerColumn;
    std::uint32_t columnCount = 0;
};

// Start and finish markers, as column indices.
struct Selection {
    std::uint32_t startMarker = 0;
    std::uint32_t finishMarker = 0;
};

// One value 0..100 per column and channel; right equals left for mono.
struct PeakTable {
    std::vector<std::int16_t> left;
    std::vector<std::int16_t> right;
};

struct DocumentState {
    std::uint32_t uiMode = ModeNoDocument;
    bool modified = false;
    bool loaded = false;

    WaveFormat format;
    std::int32_t sourceBitRate = 0;
    SourceInfo source;  // set by open; empty for a recovered document
    ViewState view;
    Selection selection;
    PeakTable peaks;

    std::uint64_t streamLength = 0;  // bytes of the playback stream

    // Paths are UTF-8; folders end in a separator.
    std::string tempFolder;
    std::string workingFilePath;
    std::string documentPath;

    // Back to "no document": what start-up and Close leave behind. Folders are not part of
    // the document.
    void resetDocument() {
        loaded = false;
        workingFilePath.clear();
        documentPath.clear();
        view.framesPerColumn = kDefaultFramesPerColumn;
        modified = false;
        selection = {};
        source = {};
    }
};

}  // namespace torvane
