#pragma once
// Reading the header of a RIFF/WAVE file: the "fmt " chunk first, a "data" chunk somewhere
// after it. Shared by the engine's playback stream and the editor's working file.

#include <cstdint>
#include <cstdio>
#include <string>

namespace torvane {

enum class WaveHeaderError {
    None,
    CannotOpen,   // the file cannot be opened for reading
    NotValid,     // first chunk not "fmt ", no "data" chunk, a rate or channel count of 0
    Compressed,   // a format other than PCM
    NotPcm,       // bits per sample neither 8 nor 16
    TooManyChannels,  // PCM with 3 or more channels: the editor works on mono and stereo only
};

struct WaveHeader {
    // PCM 1 or float 3 (an extensible header's sub-format), 0 for one not known. It, the
    // channels and the bits are set even when the header is refused as compressed.
    std::uint32_t formatTag = 0;
    std::int32_t channels = 0;       // 1 or 2
    std::int32_t sampleRate = 0;
    std::int32_t bitsPerSample = 0;
    std::uint32_t dataOffset = 0;    // position of the first sample byte
    std::uint32_t dataSize = 0;      // bounded by the end of the file
    std::uint32_t dataEnd = 0;
    std::uint32_t duration = 0;      // whole seconds
    std::uint32_t blockSize = 0;     // 1, 2, 2 or 4: derived from bits and channels
    std::uint32_t frameCount = 0;
};

// Reads from the current start of `f` (positioned at byte 0). On success `f` is left at the
// data offset. `fileLength` bounds a data chunk that claims to run past the end.
WaveHeaderError readWaveHeader(std::FILE* f, std::uint64_t fileLength, WaveHeader& out);

class File;
// The same from a File, read at explicit offsets.
WaveHeaderError readWaveHeader(const File& f, std::uint64_t fileLength, WaveHeader& out);

// Opens `path` (UTF-8) and reads its header; the file is closed again.
WaveHeaderError readWaveHeaderFile(const std::string& path, WaveHeader& out);

// Writes the 44-byte canonical header with both size fields as given.
void writeWaveHeader44(unsigned char out[44], std::uint32_t sampleRate, std::uint16_t channels,
                       std::uint16_t bitsPerSample, std::uint32_t riffSize, std::uint32_t dataSize);

}  // namespace torvane
