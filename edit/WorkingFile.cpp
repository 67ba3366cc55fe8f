#include "edit/WorkingFile.h"

#include "platform/FileIo.h"

namespace torvane {
namespace {

bool write32At(std::FILE* f, std::uint64_t pos, std::uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>((v >> 8) & 0xFF),
                                static_cast<unsigned char>((v >> 16) & 0xFF), static_cast<unsigned char>(v >> 24)};
    return seekTo(f, pos) && std::fwrite(b, 1, 4, f) == 4;
}

}  // namespace

std::string workingFilePathIn(const std::string& folder) { return folder + kWorkingFileName; }

const char* headerErrorMessage(WaveHeaderError e) {
    switch (e) {
    case WaveHeaderError::None: return "";
    case WaveHeaderError::CannotOpen: return "Cannot open the file.";
    case WaveHeaderError::NotValid: return "This is not a valid Wave file.";
    case WaveHeaderError::Compressed: return "Cannot handle compressed Wave file.";
    case WaveHeaderError::NotPcm: return "Not PCM formats!";
    }
    return "This is not a valid Wave file.";
}

std::uint32_t columnCountFor(std::uint32_t frameCount, std::uint32_t framesPerColumn) {
    if (framesPerColumn == 0) return 0;
    return frameCount / framesPerColumn + (frameCount % framesPerColumn ? 1u : 0u);
}

std::uint32_t columnToByte(const DocumentState& doc, std::uint32_t column) {
    return std::uint32_t(doc.dataOffset) + column * std::uint32_t(doc.framesPerColumn) * doc.blockSize;
}

void deriveHeaderValues(DocumentState& doc) {
    doc.dataEnd = std::int32_t(std::uint32_t(doc.dataOffset) + doc.dataSize);
    const std::uint32_t bytesPerSecond = std::uint32_t(doc.sampleRate) * std::uint32_t(doc.channels) *
                                         std::uint32_t(doc.bitsPerSample) / 8;
    doc.duration = bytesPerSecond ? doc.dataSize / bytesPerSecond : 0;
    const std::uint32_t bytes = std::uint32_t(doc.bitsPerSample) / 8;
    doc.blockSize = doc.channels == 1 ? bytes : 2 * bytes;
    doc.frameCount = doc.blockSize ? doc.dataSize / doc.blockSize : 0;
    doc.columnCount = columnCountFor(doc.frameCount, std::uint32_t(doc.framesPerColumn));
}

WaveHeaderError readWorkingHeader(std::FILE* f, DocumentState& doc) {
    if (!f || !seekTo(f, 0)) return WaveHeaderError::CannotOpen;
    WaveHeader h;
    const WaveHeaderError e = readWaveHeader(f, fileLengthOf(f), h);
    if (e != WaveHeaderError::None) return e;
    doc.sampleRate = h.sampleRate;
    doc.channels = h.channels;
    doc.bitsPerSample = h.bitsPerSample;
    doc.dataOffset = std::int32_t(h.dataOffset);
    doc.dataSize = h.dataSize;
    deriveHeaderValues(doc);
    return WaveHeaderError::None;
}

WaveHeaderError readWorkingHeader(DocumentState& doc, std::FILE** opened) {
    if (opened) *opened = nullptr;
    std::FILE* f = openFile(doc.workingFilePath, "rb");
    if (!f) return WaveHeaderError::CannotOpen;
    const WaveHeaderError e = readWorkingHeader(f, doc);
    if (e == WaveHeaderError::None && opened)
        *opened = f;
    else
        std::fclose(f);
    return e;
}

bool patchDecodedSizes(std::FILE* f) {
    if (std::fflush(f) != 0) return false;
    const std::uint32_t length = std::uint32_t(fileLengthOf(f));
    const bool ok = write32At(f, 4, length - 8) && write32At(f, 40, length - 44);
    return std::fflush(f) == 0 && ok;
}

bool patchSizesAfterLengthChange(std::FILE* f, DocumentState& doc) {
    if (std::fflush(f) != 0) return false;
    const std::uint32_t length = std::uint32_t(fileLengthOf(f));
    const std::uint32_t offset = std::uint32_t(doc.dataOffset);
    const std::uint32_t dataSize = length - offset;
    const bool ok = write32At(f, 4, length - 8) && write32At(f, offset - 4, dataSize);
    if (std::fflush(f) != 0 || !ok) return false;
    doc.dataSize = dataSize;
    deriveHeaderValues(doc);
    return true;
}

}  // namespace torvane
