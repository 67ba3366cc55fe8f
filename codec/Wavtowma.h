#pragma once
// WmaFileEncoder: WMA output through the audio writer library the program loads at run time
// from its own folder (wmaudsdk, entry point "WMAudioCreateWriter" returning a writer object
// with a table of operations). Start-up failures are shown once, in its own system message box
// (caption "WMA Audio SDK").

#include <cstdint>
#include <memory>
#include <string>

namespace torvane {

class Prompts;

// The library's file name in the program folder ("wmaudsdk.dll" on Windows).
std::string wmaLibraryFileName();

class WmaFileEncoder {
public:
    WmaFileEncoder(Prompts& prompts, const std::string& libraryPath);
    ~WmaFileEncoder();
    WmaFileEncoder(const WmaFileEncoder&) = delete;
    WmaFileEncoder& operator=(const WmaFileEncoder&) = delete;

    // 16384 (the chunk size in bytes), or -1 after a failure that has been shown. The output is
    // always 44100 Hz stereo at `bitRate` bit/s.
    int Start(const std::string& fileName, std::uint32_t sampleRate, std::uint32_t channels, std::uint32_t bitRate);
    // 16-bit little-endian PCM, interleaved. False when the writer refused it (nothing shown).
    bool WriteChunk(const void* buffer, std::uint32_t byteCount);
    // Completes the file (flushed to disk). True on success or when there is no writer.
    bool Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace torvane
