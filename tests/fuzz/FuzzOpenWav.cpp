// The whole open of a WAV source: the copy into the working file, its header, the peaks.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A WAV is copied whole, so the limit only matters for inputs far past -max_len.
    torvane::fuzz::openAndCheck(data, size, "x.wav", true, 64u << 20);
    return 0;
}
