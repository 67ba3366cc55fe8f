#pragma once
// Mp3FileEncoder: MP3 output through the encoder library the program loads at run time from
// its own folder (lame_enc, five entry points). It fills the library's configuration record and
// writes the encoded bytes to a buffered output file. Its failures are the library's messages,
// for a box of their own (caption "Lame Encoder").

#include <cstdint>
#include <memory>
#include <string>

#include "codec/FileEncoder.h"

namespace torvane {

class DynamicLibrary;

// The library's file name in the program folder ("lame_enc.dll" on Windows).
std::string lameLibraryFileName();

// The encoded bit rate for a requested one (kbit/s): 32, 40, 48, 56, 64, 80, 96, 112, 128,
// 160, 192, 224, 256 or 320.
std::uint32_t snapMp3BitRate(std::uint32_t requested);

class Mp3FileEncoder final : public FileEncoder {
public:
    // Loads `libraryPath` and looks the five entry points up, in order; a failure (loaded()
    // says which) leaves the adapter unusable: start then fails with it, calling nothing.
    explicit Mp3FileEncoder(const std::string& libraryPath);
    ~Mp3FileEncoder() override;
    Mp3FileEncoder(const Mp3FileEncoder&) = delete;
    Mp3FileEncoder& operator=(const Mp3FileEncoder&) = delete;

    const Outcome& loaded() const;
    // Mode 1 stereo, 2 joint stereo, 3 dual channel, 4 mono. A failure is marked as the encoder
    // not started.
    Outcome start(const std::string& fileName, std::uint32_t sampleRate, int mode, std::uint32_t bitRate,
                  bool copyright, bool crc, bool original, bool privateBit);
    int chunkBytes() const override;
    Outcome write(const void* pcm, std::uint32_t byteCount) override;
    // Ends the stream, writes its last bytes, flushes the file to disk and closes it.
    Outcome finish() override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace torvane
