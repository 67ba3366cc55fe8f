// The RIFF/WAVE header reader on arbitrary bytes, read from memory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/WaveHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // fmemopen wants a writable buffer; a copy also keeps the input itself untouched.
    std::vector<std::uint8_t> bytes(data, data + size);
    std::FILE* f = fmemopen(size ? bytes.data() : nullptr, size, "rb");
    if (!f) return 0;

    torvane::WaveHeader h;
    if (torvane::readWaveHeader(f, size, h) == torvane::WaveHeaderError::None) {
        // What the working file and the playback stream rely on after a successful read.
        FUZZ_CHECK((h.channels == 1 || h.channels == 2) && h.sampleRate > 0);
        FUZZ_CHECK(h.bitsPerSample == 8 || h.bitsPerSample == 16);
        FUZZ_CHECK(std::uint64_t(h.dataOffset) + h.dataSize <= size);
        FUZZ_CHECK(h.dataEnd == h.dataOffset + h.dataSize);
        FUZZ_CHECK(h.blockSize != 0 && std::uint64_t(h.frameCount) * h.blockSize <= h.dataSize);
        FUZZ_CHECK(h.dataSize - std::uint64_t(h.frameCount) * h.blockSize < h.blockSize);
        FUZZ_CHECK(std::ftell(f) == long(h.dataOffset));
    }
    std::fclose(f);
    return 0;
}
