#include "platform/WaveHeader.h"

#include <algorithm>
#include <cstring>

#include "platform/File.h"
#include "platform/FileIo.h"

namespace torvane {
namespace {

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
std::uint16_t le16(const unsigned char* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
void put32(unsigned char* p, std::uint32_t v) {
    p[0] = v & 0xFF; p[1] = (v >> 8) & 0xFF; p[2] = (v >> 16) & 0xFF; p[3] = (v >> 24) & 0xFF;
}
void put16(unsigned char* p, std::uint16_t v) { p[0] = v & 0xFF; p[1] = (v >> 8) & 0xFF; }


// KSDATAFORMAT_SUBTYPE_PCM after its first two bytes (0x0001).
const unsigned char kPcmGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

// The header read through `readAt(offset, to, size)`, true when all `size` bytes were read.
template <typename ReadAt>
WaveHeaderError readHeader(ReadAt readAt, std::uint64_t fileLength, WaveHeader& out) {
    unsigned char riff[12];
    unsigned char fmt[24];
    if (!readAt(0, riff, 12) || !readAt(12, fmt, 24)) return WaveHeaderError::NotValid;
    // Only a little-endian RIFF file of form WAVE is a Wave file ("RIFX" is big-endian).
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) return WaveHeaderError::NotValid;
    if (std::memcmp(fmt, "fmt ", 4) != 0) return WaveHeaderError::NotValid;

    const std::uint32_t fmtSize = le32(fmt + 4);
    std::uint16_t tag = le16(fmt + 8);
    if (tag == kFormatExtensible) {
        // An extensible header with the PCM or float sub-format is that format.
        unsigned char ext[24];
        const bool known = fmtSize >= 40 && readAt(36, ext, 24) && std::memcmp(ext + 10, kPcmGuidTail, 14) == 0 &&
                           (le16(ext + 8) == kFormatPcm || le16(ext + 8) == kFormatFloat);
        tag = known ? le16(ext + 8) : 0;
    }
    // What a caller needs to tell a float or wide file from a compressed one is there even
    // when the answer is no.
    out.formatTag = tag;
    out.channels = std::int32_t(le16(fmt + 10));
    out.bitsPerSample = std::int32_t(le16(fmt + 22));
    if (tag != kFormatPcm) return WaveHeaderError::Compressed;

    // A rate of 2^31 or more does not fit the editor's signed rate: not a real file.
    if (le32(fmt + 12) > 0x7FFFFFFFu) return WaveHeaderError::NotValid;
    out.sampleRate = std::int32_t(le32(fmt + 12));
    if (out.channels == 0 || out.sampleRate == 0) return WaveHeaderError::NotValid;
    // Frames of 3+ channels read as stereo would be garbage: refuse them before anything else.
    if (out.channels > 2) return WaveHeaderError::TooManyChannels;

    std::uint64_t pos = 36;
    if (fmtSize > 16) pos += fmtSize - 16;
    if (fmtSize & 1) pos += 1;

    unsigned char chunk[8];
    for (;;) {
        if (!readAt(pos, chunk, 8)) return WaveHeaderError::NotValid;
        if (std::memcmp(chunk, "data", 4) == 0) break;
        const std::uint32_t size = le32(chunk + 4);
        pos += 8 + std::uint64_t(size) + (size & 1);
    }

    const std::uint64_t dataOffset = pos + 8;
    std::uint64_t dataSize = le32(chunk + 4);
    // A size running past the end (a truncated file, or a streaming writer's 0xFFFFFFFF)
    // means "up to the end of the file".
    if (dataOffset + dataSize > fileLength) dataSize = fileLength > dataOffset ? fileLength - dataOffset : 0;
    if (dataOffset > 0xFFFFFFFFull) return WaveHeaderError::NotValid;

    out.dataOffset = std::uint32_t(dataOffset);
    out.dataSize = std::uint32_t(dataSize);
    out.dataEnd = out.dataOffset + out.dataSize;
    const std::uint32_t bytesPerSecond =
        std::uint32_t(out.sampleRate) * std::uint32_t(out.channels) * std::uint32_t(out.bitsPerSample) / 8;
    out.duration = bytesPerSecond ? out.dataSize / bytesPerSecond : 0;

    if (out.bitsPerSample != 8 && out.bitsPerSample != 16) return WaveHeaderError::NotPcm;

    const std::uint32_t bytes = std::uint32_t(out.bitsPerSample) / 8;
    out.blockSize = out.channels == 1 ? bytes : 2 * bytes;
    out.frameCount = out.dataSize / out.blockSize;
    return WaveHeaderError::None;
}

}  // namespace

WaveHeaderError readWaveHeader(std::FILE* f, std::uint64_t fileLength, WaveHeader& out) {
    const auto readAt = [f](std::uint64_t at, void* to, std::size_t size) {
        return seekTo(f, at) && std::fread(to, 1, size, f) == size;
    };
    const WaveHeaderError e = readHeader(readAt, fileLength, out);
    if (e == WaveHeaderError::None && !seekTo(f, out.dataOffset)) return WaveHeaderError::NotValid;
    return e;
}

WaveHeaderError readWaveHeader(const File& f, std::uint64_t fileLength, WaveHeader& out) {
    return readHeader([&f](std::uint64_t at, void* to, std::size_t size) { return f.readAt(at, to, size); },
                      fileLength, out);
}

WaveHeaderError readWaveHeaderFile(const std::string& path, WaveHeader& out) {
    const File f = File::open(path, File::Mode::Read);
    if (!f) return WaveHeaderError::CannotOpen;
    return readWaveHeader(f, std::uint64_t(std::max<std::int64_t>(f.size(), 0)), out);
}

void writeWaveHeader44(unsigned char out[44], std::uint32_t sampleRate, std::uint16_t channels,
                       std::uint16_t bitsPerSample, std::uint32_t riffSize, std::uint32_t dataSize) {
    const std::uint16_t block = std::uint16_t(channels * bitsPerSample / 8);
    std::memcpy(out, "RIFF", 4);
    put32(out + 4, riffSize);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    put32(out + 16, 16);
    put16(out + 20, kFormatPcm);
    put16(out + 22, channels);
    put32(out + 24, sampleRate);
    put32(out + 28, sampleRate * block);
    put16(out + 32, block);
    put16(out + 34, bitsPerSample);
    std::memcpy(out + 36, "data", 4);
    put32(out + 40, dataSize);
}

}  // namespace torvane
