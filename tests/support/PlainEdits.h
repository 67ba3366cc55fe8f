#pragma once
// The five edits transcribed plainly from their description: the working file's bytes in
// memory, rewritten one sample (or one 10 240-byte block) at a time. Tests compare the fast
// paths of the editor and torvane-cli with it.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "support/TestFiles.h"

namespace torvane::test {

struct Plain {
    Bytes file;
    std::uint32_t dataOffset, dataEnd, block, fpc, start, finish;
    int bits;

    std::uint32_t offsetOf(std::uint32_t column) const { return dataOffset + column * fpc * block; }
    void put32(std::uint32_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = std::uint8_t(v >> (8 * i));
    }
    // Moves bytes towards the start with one 10 240-byte buffer, reading never past `end`.
    std::uint32_t move(std::uint32_t w, std::uint32_t r, std::uint32_t end) {
        for (;;) {
            const std::uint32_t limit = std::min<std::uint32_t>(end, std::uint32_t(file.size()));
            const std::uint32_t n = r < limit ? std::min<std::uint32_t>(10240, limit - r) : 0;
            if (n == 0) return w;
            std::copy(file.begin() + r, file.begin() + r + n, file.begin() + w);
            w += n;
            r += n;
        }
    }
    void truncatePatch(std::uint32_t w) {
        file.resize(w);
        put32(4, w - 8);
        put32(dataOffset - 4, w - dataOffset);
    }
    void deleteSelection() { truncatePatch(move(offsetOf(start), offsetOf(finish), dataEnd)); }
    void cutOut() {
        file.resize(offsetOf(finish));
        truncatePatch(move(dataOffset, offsetOf(start), offsetOf(finish)));
    }
    template <typename F>
    void eachSample(std::uint32_t frames, F f) {
        std::uint32_t pos = offsetOf(start);
        const std::uint32_t perFrame = block / (bits / 8);
        for (std::uint32_t i = 0; i < frames; ++i)
            for (std::uint32_t c = 0; c < perFrame; ++c) {
                if (bits == 8) {
                    file[pos] = std::uint8_t(f(i, int(file[pos]) - 128, true) + 128);
                    pos += 1;
                } else {
                    const auto s = std::int16_t(std::uint16_t(file[pos] | (file[pos + 1] << 8)));
                    const int v = f(i, s, false);
                    file[pos] = std::uint8_t(v & 0xFF);
                    file[pos + 1] = std::uint8_t((v >> 8) & 0xFF);
                    pos += 2;
                }
            }
    }
    std::uint32_t frames() const { return finish * fpc - start * fpc; }
    void volume(float factor, bool mute) {
        if (factor == 1.0f && !mute) return;
        eachSample(frames(), [&](std::uint32_t, int x, bool eight) {
            if (mute) return 0;
            const int v = int(std::trunc(float(x) * factor));
            return eight ? std::clamp(v, -128, 127) : std::clamp(v, -32767, 32767);
        });
    }
    void fade(bool in) {
        const std::uint32_t n = frames(), stair = n / 100;
        eachSample(n, [&](std::uint32_t i, int x, bool eight) {
            const int g = in ? int(i / stair) : 100 - int(i / stair);
            const int v = (x * g) / 100;
            return eight ? std::clamp(v, -128, 127) : std::clamp(v, -32767, 32767);
        });
    }
};

}  // namespace torvane::test
