// The open of a compressed source: FFmpeg's demuxers and decoders behind the engine's decode
// stream, then the working file it wrote. The first byte picks the extension (bit 0 set:
// .wma, the ASF path; clear: .mp3, which also takes WAV, Ogg and AIFF content).
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const char* name = (data[0] & 1) ? "x.wma" : "x.mp3";
    // 64 KiB of a well-compressed stream can stand for hours of audio: 16 MiB of output is
    // enough to reach the too-long path and keeps one input well under a second.
    torvane::fuzz::openAndCheck(data + 1, size - 1, name, false, 16u << 20);
    return 0;
}
