#pragma once
// WmaFileEncoder: WMA output through the audio writer library the program loads at run time
// from its own folder (wmaudsdk, entry point "WMAudioCreateWriter" returning a writer object
// with a table of operations). Its start-up failures are the library's messages, for a box of
// their own (caption "WMA Audio SDK").

#include <cstdint>
#include <memory>
#include <string>

#include "codec/FileEncoder.h"
#include "doc/SourceInfo.h"

namespace torvane {

// The library's file name in the program folder ("wmaudsdk.dll" on Windows).
std::string wmaLibraryFileName();

class WmaFileEncoder final : public FileEncoder {
public:
    explicit WmaFileEncoder(const std::string& libraryPath);
    ~WmaFileEncoder() override;
    WmaFileEncoder(const WmaFileEncoder&) = delete;
    WmaFileEncoder& operator=(const WmaFileEncoder&) = delete;

    // The library and its entry point, or why not.
    const Outcome& loaded() const;
    // The output is always 44100 Hz stereo at `bitRate` bit/s; chunks are 16384 bytes. The text
    // of `tags` becomes the file's attributes (none are set when it has none). A failure is
    // marked as the encoder not started.
    Outcome start(const std::string& fileName, std::uint32_t sampleRate, std::uint32_t channels,
                  std::uint32_t bitRate, const SourceTags& tags = {});
    int chunkBytes() const override;
    // The writer refusing a chunk or the end of the file is a failed write (it says no more).
    Outcome write(const void* pcm, std::uint32_t byteCount) override;
    // Completes the file (flushed to disk); done when there is no writer.
    Outcome finish() override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace torvane
