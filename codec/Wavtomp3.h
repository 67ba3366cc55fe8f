#pragma once
// Mp3FileEncoder: MP3 output through the encoder library the program loads at run time from
// its own folder (lame_enc, five entry points). It fills the library's configuration record,
// writes the encoded bytes to a buffered output file and shows each failure once, in its own
// system message box (caption "Lame Encoder").

#include <cstdint>
#include <memory>
#include <string>

namespace torvane {

class Prompts;
class DynamicLibrary;

// The library's file name in the program folder ("lame_enc.dll" on Windows).
std::string lameLibraryFileName();

// The encoded bit rate for a requested one (kbit/s): 32, 40, 48, 56, 64, 80, 96, 112, 128,
// 160, 192, 224, 256 or 320.
std::uint32_t snapMp3BitRate(std::uint32_t requested);

class Mp3FileEncoder {
public:
    // Loads `libraryPath` and looks the five entry points up, in order; a failure is shown and
    // leaves the adapter unusable (Start then returns -1 without calling the library).
    Mp3FileEncoder(Prompts& prompts, const std::string& libraryPath);
    ~Mp3FileEncoder();
    Mp3FileEncoder(const Mp3FileEncoder&) = delete;
    Mp3FileEncoder& operator=(const Mp3FileEncoder&) = delete;

    // Mode 1 stereo, 2 joint stereo, 3 dual channel, 4 mono. The chunk size in bytes to pass to
    // EncodeChunk, or -1 after a failure that has been shown.
    int Start(const std::string& fileName, std::uint32_t sampleRate, int mode, std::uint32_t bitRate,
              bool copyright, bool crc, bool original, bool privateBit);
    // 16-bit little-endian PCM, interleaved; an even byte count. The MP3 bytes written, or -1
    // after a failure that has been shown.
    int EncodeChunk(const void* buffer, std::uint32_t byteCount);
    // Ends the stream, writes its last bytes, flushes the file to disk and closes it. 0 when all
    // of the output reached the file; non-zero when any write, the flush or the close failed
    // (a full disk): the caller then must not use the file.
    int Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace torvane
