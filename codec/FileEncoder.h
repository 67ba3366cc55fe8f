#pragma once
// What a save feeds an encoder through once it has started: 16-bit PCM in chunks, then the
// end of the stream. Each answers with an Outcome whose message names what went wrong in the
// encoder's own words (shown in its own box), so the save body shows nothing itself.

#include <cstdint>

#include "platform/Outcome.h"

namespace torvane {

class FileEncoder {
public:
    virtual ~FileEncoder() = default;
    // The bytes of PCM each write takes (an even count), valid once started.
    virtual int chunkBytes() const = 0;
    // 16-bit little-endian PCM, interleaved; an even byte count.
    virtual Outcome write(const void* pcm, std::uint32_t byteCount) = 0;
    // Ends the stream and completes the file on disk; failed when any of it did not reach the
    // file (a full disk): the file must not be used then.
    virtual Outcome finish() = 0;
};

}  // namespace torvane
