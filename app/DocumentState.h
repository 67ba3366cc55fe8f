#pragma once
// Everything that describes the open document, its selection, its view and its player.
// Owned by the main window; the command-line tool keeps one too. Widths follow the stored
// file format and the arithmetic the editor relies on (32-bit sizes, unsigned divisions).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Bass.h"

namespace torvane {

enum UIMode : std::uint32_t { ModeNoDocument = 0, ModeStopped = 1, ModePlaying = 2, ModePaused = 3 };

constexpr std::int32_t kDefaultFramesPerColumn = 10000;

struct DocumentState {
    std::uint32_t uiMode = ModeNoDocument;
    bool modified = false;
    std::int32_t streamLength = 0;
    bool openAtShow = false;
    std::string languageFileName;

    // Header values of the working file.
    std::int32_t channels = 0;
    std::int32_t sampleRate = 0;
    std::int32_t bitsPerSample = 0;
    std::uint32_t dataSize = 0;
    std::int32_t dataEnd = 0;
    std::uint32_t duration = 0;
    std::int32_t sourceBitRate = 0;
    std::int32_t framesPerColumn = kDefaultFramesPerColumn;
    std::int32_t dataOffset = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t frameCount = 0;
    std::uint32_t columnCount = 0;

    std::uint32_t startMarker = 0;
    std::uint32_t finishMarker = 0;
    std::vector<std::int16_t> leftPeaks;
    std::vector<std::int16_t> rightPeaks;

    HSTREAM stream = 0;
    bool loaded = false;

    // Paths are UTF-8; folders end in a separator.
    std::string tempFolder;
    std::string workingFilePath;
    std::string documentPath;
    std::string programFolder;
    std::string bannerFilePath;

    // Back to "no document": what start-up and Close leave behind. Folders, the language
    // and the stream handle are not part of the document.
    void resetDocument() {
        loaded = false;
        workingFilePath.clear();
        documentPath.clear();
        framesPerColumn = kDefaultFramesPerColumn;
        modified = false;
        startMarker = 0;
        finishMarker = 0;
        openAtShow = false;
    }
};

}  // namespace torvane
