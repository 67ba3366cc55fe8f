// The open of a decoded source: FFmpeg's demuxers and decoders, then the working file they
// wrote. The first byte picks the extension, and with it the route: 0 .mp3 (which also takes
// WAV, Ogg and AIFF content), 1 .wma (ASF), then .flac, .ogg, .opus, .m4a, .aiff and .rf64 (a
// WAV the header reader hands to the decoder).
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const char* const kNames[] = {"x.mp3", "x.wma", "x.flac", "x.ogg", "x.opus", "x.m4a", "x.aiff", "x.rf64"};
    const char* name = kNames[data[0] % 8];
    // 64 KiB of a well-compressed stream can stand for hours of audio: 16 MiB of output is
    // enough to reach the too-long path and keeps one input well under a second.
    torvane::fuzz::openAndCheck(data + 1, size - 1, name, false, 16u << 20);
    return 0;
}
