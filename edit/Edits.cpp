#include "edit/Edits.h"

#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "doc/PeakScan.h"
#include "doc/WorkingFile.h"
#include "edit/BlockFile.h"
#include "platform/FileIo.h"

namespace torvane {
namespace {

constexpr std::size_t kBlock = 4u << 20;  // bytes moved or rewritten per read and write

std::uint32_t startOffset(const DocumentState& doc) { return columnToByte(doc, doc.selection.startMarker); }
std::uint32_t finishOffset(const DocumentState& doc) { return columnToByte(doc, doc.selection.finishMarker); }

// Frames of the selection, in the unsigned 32-bit arithmetic of the markers.
std::uint32_t selectedFrames(const DocumentState& doc) {
    const auto fpc = std::uint32_t(doc.view.framesPerColumn);
    return doc.selection.finishMarker * fpc - doc.selection.startMarker * fpc;
}

// All of `size` bytes at `pos` of descriptor `fd`.
bool writeWholeAt(int fd, const unsigned char* data, std::size_t size, std::uint64_t pos) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, off_t(pos));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= std::size_t(n);
        pos += std::uint64_t(n);
    }
    return true;
}

// Moves the bytes [from, end) down to `to` (never above `from`), in blocks; the write position
// afterwards is returned through `written`. A short read ends the move, as at the end of the
// file.
bool moveTowardsStart(BlockFile& f, std::uint64_t to, std::uint64_t from, std::uint64_t end, Progress& progress,
                      std::uint64_t& written, const MovedBytes& told) {
    std::vector<unsigned char> buffer(std::size_t(std::min<std::uint64_t>(kBlock, std::max<std::uint64_t>(end - from, 1))));
    // With someone told how far the move got, no single write may overwrite bytes that are
    // still to be moved: each block goes out in pieces no longer than the gap, each told once
    // it is in the file, so whatever a crash cuts short, the count told gives the file before
    // the edit. The pieces go straight to the descriptor: a stream's buffer would hold them back.
    const std::uint64_t piece = from > to ? from - to : kBlock;
    if (told && std::fflush(f.get()) != 0) return false;
    const std::uint64_t total = end > from ? end - from : 0;
    std::uint64_t moved = 0;
    PercentBar bar(progress, 0);
    PumpThrottle pump(progress);
    while (from < end) {
        const std::size_t want = std::size_t(std::min<std::uint64_t>(buffer.size(), end - from));
        const std::size_t n = f.readSomeAt(from, buffer.data(), want);
        if (n == 0) break;
        if (!told) {
            if (!f.writeAt(to, buffer.data(), n)) return false;
        } else {
            for (std::size_t at = 0; at < n;) {
                const std::size_t size = std::size_t(std::min<std::uint64_t>(piece, n - at));
                if (!writeWholeAt(fileno(f.get()), buffer.data() + at, size, to + at)) return false;
                at += size;
                told(moved + at);
            }
        }
        to += n;
        from += n;
        moved += n;
        bar.set(percentOf(moved, total));
        pump.tick();
        if (n < want) break;
    }
    written = to;
    return true;
}

// After a change of length: the file ends at `end`, its sizes are patched, the values
// re-derived, and the peak table rebuilt for the new column count.
Outcome finishLengthChange(BlockFile& f, DocumentState& doc, std::uint64_t end, Progress& progress) {
    if (!f.truncateAt(end) || !patchSizesAfterLengthChange(f.get(), doc) || !f.close())
        return Outcome::failed(MessageId::CannotWriteWorkingFile);
    return reloadPeakTable(doc, progress, 1);
}

// Rewrites the selection's samples in place, block by block. `rewrite` is called with whole
// frames: (bytes, frame count, index of the first frame within the selection).
template <typename Rewrite>
Outcome rewriteSelection(DocumentState& doc, Progress& progress, Rewrite rewrite) {
    BlockFile f(doc.workingFilePath, "r+b");
    if (!f) return Outcome::failed(MessageId::CannotOpenTempFile);
    const std::uint32_t block = doc.format.blockSize;
    const std::uint32_t frames = selectedFrames(doc);
    if (block != 0 && frames != 0) {
        const std::size_t framesPerRead = kBlock / block;
        std::vector<unsigned char> buffer(std::min<std::size_t>(framesPerRead, frames) * block);
        PercentBar bar(progress, 0);
        PumpThrottle pump(progress);
        std::uint64_t pos = startOffset(doc);
        for (std::uint32_t done = 0; done < frames;) {
            const std::size_t want = std::min<std::size_t>(framesPerRead, frames - done);
            const std::size_t got = f.readSomeAt(pos, buffer.data(), want * block) / block;
            if (got == 0) break;  // the data ends early
            rewrite(buffer.data(), got, done);
            if (!f.writeAt(pos, buffer.data(), got * block)) return Outcome::failed(MessageId::CannotWriteWorkingFile);
            pos += got * block;
            done += std::uint32_t(got);
            bar.set(percentOf(done, frames));
            pump.tick();
            if (got < want) break;
        }
    }
    if (!f.close()) return Outcome::failed(MessageId::CannotWriteWorkingFile);
    return reloadPeakTable(doc, progress, 1);
}

inline std::int32_t get16(const unsigned char* p) { return std::int16_t(std::uint16_t(p[0] | (p[1] << 8))); }
inline void put16(unsigned char* p, std::int32_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

// 16-bit samples of a block as machine words: on a little-endian machine the bytes are the
// words, so the kernels below run over them as arrays (vector code); elsewhere they are
// assembled one by one.
template <typename Kernel>
void eachWordRun(unsigned char* bytes, std::size_t samples, Kernel kernel) {
    std::int16_t words[4096];
    for (std::size_t done = 0; done < samples;) {
        const std::size_t n = std::min<std::size_t>(samples - done, 4096);
        unsigned char* p = bytes + done * 2;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(words, p, n * 2);
        } else {
            for (std::size_t i = 0; i < n; ++i) words[i] = std::int16_t(get16(p + 2 * i));
        }
        kernel(words, n);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(p, words, n * 2);
        } else {
            for (std::size_t i = 0; i < n; ++i) put16(p + 2 * i, words[i]);
        }
        done += n;
    }
}

// trunc(s * factor) clamped to -32767 .. 32767. Clamping the exact product before truncating
// gives the same value (the bounds are whole numbers), and keeps the loop in vector registers.
void scaleWords(std::int16_t* w, std::size_t n, float factor) {
    for (std::size_t i = 0; i < n; ++i) {
        float p = float(w[i]) * factor;
        p = p < -32767.0f ? -32767.0f : p;
        p = p > 32767.0f ? 32767.0f : p;
        w[i] = std::int16_t(std::int32_t(p));
    }
}

void scaleBytes(unsigned char* b, std::size_t n, float factor) {
    for (std::size_t i = 0; i < n; ++i) {
        float p = float(std::int32_t(b[i]) - 128) * factor;
        p = p < -128.0f ? -128.0f : p;
        p = p > 127.0f ? 127.0f : p;
        b[i] = static_cast<unsigned char>(std::int32_t(p) + 128);
    }
}

// (s * g) / 100, truncated toward zero, clamped; g is 0 .. 100, so only -32768 needs the clamp.
void gainWords(std::int16_t* w, std::size_t n, std::int32_t g) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t v = std::int32_t(w[i]) * g / 100;
        w[i] = std::int16_t(v < -32767 ? -32767 : v);
    }
}

void gainBytes(unsigned char* b, std::size_t n, std::int32_t g) {
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>((std::int32_t(b[i]) - 128) * g / 100 + 128);
}

Outcome fade(DocumentState& doc, Progress& progress, bool in) {
    const std::uint32_t stair = selectedFrames(doc) / 100;
    const bool eightBit = doc.format.bitsPerSample == 8;
    const std::uint32_t block = doc.format.blockSize;
    const std::uint32_t sampleBytes = eightBit ? 1 : 2;
    return rewriteSelection(doc, progress, [&](unsigned char* bytes, std::size_t frames, std::uint32_t first) {
        // The gain holds for a whole stair: rewrite run by run.
        for (std::size_t f = 0; f < frames;) {
            const std::uint32_t i = first + std::uint32_t(f);
            const std::uint32_t step = stair ? i / stair : 0;
            const std::int32_t g = in ? std::int32_t(step) : 100 - std::int32_t(step);
            const std::size_t runEnd =
                stair ? std::min<std::size_t>(frames, std::size_t((step + 1) * std::uint64_t(stair) - first)) : frames;
            const std::size_t samples = (runEnd - f) * block / sampleBytes;
            if (eightBit) gainBytes(bytes + f * block, samples, g);
            else eachWordRun(bytes + f * block, samples, [g](std::int16_t* w, std::size_t n) { gainWords(w, n, g); });
            f = runEnd;
        }
    });
}

}  // namespace

Outcome deleteSelection(DocumentState& doc, Progress& progress, const MovedBytes& moved) {
    BlockFile f(doc.workingFilePath, "r+b");
    if (!f) return Outcome::failed(MessageId::CannotOpenTempFile);
    std::uint64_t end = startOffset(doc);
    if (!moveTowardsStart(f, startOffset(doc), finishOffset(doc), std::uint32_t(doc.format.dataEnd), progress, end, moved))
        return Outcome::failed(MessageId::CannotWriteWorkingFile);
    return finishLengthChange(f, doc, end, progress);
}

Outcome cutOutSelection(DocumentState& doc, Progress& progress, const MovedBytes& moved) {
    if (doc.selection.startMarker >= doc.selection.finishMarker) return Outcome::failed(MessageId::NothingToKeep);
    BlockFile f(doc.workingFilePath, "r+b");
    if (!f) return Outcome::failed(MessageId::CannotOpenTempFile);
    const std::uint32_t offset = std::uint32_t(doc.format.dataOffset);
    // What follows the selection goes first; then the selection moves to the data's start.
    if (!f.truncateAt(finishOffset(doc))) return Outcome::failed(MessageId::CannotWriteWorkingFile);
    std::uint64_t end = offset;
    if (!moveTowardsStart(f, offset, startOffset(doc), finishOffset(doc), progress, end, moved))
        return Outcome::failed(MessageId::CannotWriteWorkingFile);
    return finishLengthChange(f, doc, end, progress);
}

float volumeFactor(int index) {
    static constexpr float kFactors[] = {2.5f, 2.0f, 1.5f, 1.0f, 0.75f, 0.5f};
    return index >= 0 && index < 6 ? kFactors[index] : 0.25f;
}

Outcome changeVolume(DocumentState& doc, float factor, bool mute, Progress& progress) {
    if (factor == 1.0f && !mute) return Outcome::done();
    const bool eightBit = doc.format.bitsPerSample == 8;
    const std::uint32_t samplesPerFrame = doc.format.channels == 1 ? 1 : 2;
    return rewriteSelection(doc, progress, [&](unsigned char* bytes, std::size_t frames, std::uint32_t) {
        const std::size_t samples = frames * samplesPerFrame;
        if (mute) {
            if (eightBit) std::fill_n(bytes, samples, static_cast<unsigned char>(128));
            else std::fill_n(bytes, samples * 2, static_cast<unsigned char>(0));
            return;
        }
        // The product of a sample and any of the seven factors is exact in single precision;
        // the conversion truncates toward zero.
        if (eightBit) scaleBytes(bytes, samples, factor);
        else eachWordRun(bytes, samples, [factor](std::int16_t* w, std::size_t n) { scaleWords(w, n, factor); });
    });
}

Outcome fadeIn(DocumentState& doc, Progress& progress) { return fade(doc, progress, true); }
Outcome fadeOut(DocumentState& doc, Progress& progress) { return fade(doc, progress, false); }

}  // namespace torvane
