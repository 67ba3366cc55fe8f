#include "doc/WorkingFile.h"

namespace torvane {
namespace {

bool write32At(File& f, std::uint64_t pos, std::uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>((v >> 8) & 0xFF),
                                static_cast<unsigned char>((v >> 16) & 0xFF), static_cast<unsigned char>(v >> 24)};
    return f.writeAt(pos, b, 4);
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

void takeHeaderValues(DocumentState& doc, const WaveHeader& h) {
    doc.format.sampleRate = h.sampleRate;
    doc.format.channels = h.channels;
    doc.format.bitsPerSample = h.bitsPerSample;
    doc.format.dataOffset = std::int32_t(h.dataOffset);
    doc.format.dataSize = h.dataSize;
    deriveHeaderValues(doc);
}

WaveHeaderError readWorkingHeader(const File& f, DocumentState& doc) {
    const std::int64_t length = f.size();
    if (length < 0) return WaveHeaderError::CannotOpen;
    WaveHeader h;
    const WaveHeaderError e = readWaveHeader(f, std::uint64_t(length), h);
    if (e != WaveHeaderError::None) return e;
    takeHeaderValues(doc, h);
    return WaveHeaderError::None;
}

WaveHeaderError readWorkingHeader(DocumentState& doc, File* opened) {
    File f = File::open(doc.workingFilePath, File::Mode::Read);
    if (!f) return WaveHeaderError::CannotOpen;
    const WaveHeaderError e = readWorkingHeader(f, doc);
    if (e == WaveHeaderError::None && opened) *opened = std::move(f);
    return e;
}

bool patchDecodedSizes(File& f) {
    const std::int64_t size = f.size();
    if (size < 0) return false;
    const std::uint32_t length = std::uint32_t(size);
    return write32At(f, 4, length - 8) && write32At(f, 40, length - 44);
}

bool patchSizesAfterLengthChange(File& f, DocumentState& doc) {
    const std::int64_t size = f.size();
    if (size < 0) return false;
    const std::uint32_t length = std::uint32_t(size);
    const std::uint32_t offset = std::uint32_t(doc.format.dataOffset);
    const std::uint32_t dataSize = length - offset;
    if (!write32At(f, 4, length - 8) || !write32At(f, offset - 4, dataSize)) return false;
    doc.format.dataSize = dataSize;
    deriveHeaderValues(doc);
    return true;
}

}  // namespace torvane
