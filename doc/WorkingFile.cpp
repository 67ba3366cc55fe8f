#include "doc/WorkingFile.h"

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

MessageId headerErrorMessage(WaveHeaderError e) {
    switch (e) {
    case WaveHeaderError::None: return MessageId::None;
    case WaveHeaderError::CannotOpen: return MessageId::HeaderCannotOpen;
    case WaveHeaderError::NotValid: return MessageId::NotValidWave;
    case WaveHeaderError::Compressed: return MessageId::CompressedWave;
    case WaveHeaderError::NotPcm: return MessageId::NotPcm;
    case WaveHeaderError::TooManyChannels: return MessageId::TooManyChannels;
    }
    return MessageId::NotValidWave;
}

std::uint32_t columnCountFor(std::uint32_t frameCount, std::uint32_t framesPerColumn) {
    if (framesPerColumn == 0) return 0;
    return frameCount / framesPerColumn + (frameCount % framesPerColumn ? 1u : 0u);
}

std::uint32_t columnToByte(const DocumentState& doc, std::uint32_t column) {
    return std::uint32_t(doc.format.dataOffset) + column * std::uint32_t(doc.view.framesPerColumn) * doc.format.blockSize;
}

void deriveHeaderValues(DocumentState& doc) {
    doc.format.dataEnd = std::int32_t(std::uint32_t(doc.format.dataOffset) + doc.format.dataSize);
    const std::uint32_t bytesPerSecond = std::uint32_t(doc.format.sampleRate) * std::uint32_t(doc.format.channels) *
                                         std::uint32_t(doc.format.bitsPerSample) / 8;
    doc.format.duration = bytesPerSecond ? doc.format.dataSize / bytesPerSecond : 0;
    const std::uint32_t bytes = std::uint32_t(doc.format.bitsPerSample) / 8;
    doc.format.blockSize = doc.format.channels == 1 ? bytes : 2 * bytes;
    doc.format.frameCount = doc.format.blockSize ? doc.format.dataSize / doc.format.blockSize : 0;
    doc.view.columnCount = columnCountFor(doc.format.frameCount, std::uint32_t(doc.view.framesPerColumn));
}

WaveHeaderError readWorkingHeader(std::FILE* f, DocumentState& doc) {
    if (!f || !seekTo(f, 0)) return WaveHeaderError::CannotOpen;
    WaveHeader h;
    const WaveHeaderError e = readWaveHeader(f, fileLengthOf(f), h);
    if (e != WaveHeaderError::None) return e;
    doc.format.sampleRate = h.sampleRate;
    doc.format.channels = h.channels;
    doc.format.bitsPerSample = h.bitsPerSample;
    doc.format.dataOffset = std::int32_t(h.dataOffset);
    doc.format.dataSize = h.dataSize;
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
    const std::uint32_t offset = std::uint32_t(doc.format.dataOffset);
    const std::uint32_t dataSize = length - offset;
    const bool ok = write32At(f, 4, length - 8) && write32At(f, offset - 4, dataSize);
    if (std::fflush(f) != 0 || !ok) return false;
    doc.format.dataSize = dataSize;
    deriveHeaderValues(doc);
    return true;
}

}  // namespace torvane
