#include "codec/SaveDocument.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "codec/Wavtomp3.h"
#include "codec/Wavtowma.h"
#include "platform/FileIo.h"


namespace torvane {
namespace {

constexpr std::size_t kCopyBlock = 1u << 20;

std::string extensionAsWritten(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot);
}

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The working file positioned at its data, read through a large buffer.
File openWorkingData(const DocumentState& doc) {
    File f(openFile(doc.workingFilePath, "rb"));
    if (f) {
        std::setvbuf(f.get(), nullptr, _IOFBF, kCopyBlock);
        if (!seekTo(f.get(), std::uint32_t(doc.format.dataOffset))) f.reset();
    }
    return f;
}

Outcome saveWav(const DocumentState& doc, const SaveTarget& out, Progress& progress) {
    File in(openFile(doc.workingFilePath, "rb"));
    if (!in) return Outcome::failed(MessageId::CannotReadWorkingFile).because(errno);
    const std::uint64_t total = fileLengthOf(in.get());
    std::vector<unsigned char> buffer(kCopyBlock);
    std::uint64_t copied = 0;
    PercentBar bar(progress, 0);
    PumpThrottle pump(progress);
    for (;;) {
        if (progress.cancelRequested()) return Outcome::cancelled();
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (n == 0) break;
        if (!out.append(buffer.data(), n)) return Outcome::failed(MessageId::SaveWriteFailed).because(errno);
        copied += n;
        bar.set(percentOf(copied, total));
        pump.tick();
    }
    if (std::ferror(in.get())) return Outcome::failed(MessageId::CannotReadWorkingFile).because(errno);
    return Outcome::done();
}

// Feeds the working file's samples to an encoder in its chunks, converting 8-bit samples to
// 16 bits: (b * 32767 - 4194176) / 128, truncated toward zero.
Outcome feedEncoder(const DocumentState& doc, FileEncoder& encoder, Progress& progress) {
    File in = openWorkingData(doc);
    if (!in) return Outcome::failed(MessageId::CannotReadWorkingFile).because(errno);
    const std::size_t chunk = std::size_t(encoder.chunkBytes()) & ~std::size_t(1);
    if (chunk == 0) return Outcome::failed(MessageId::SaveWriteFailed);
    const bool eightBit = doc.format.bitsPerSample == 8;
    std::vector<unsigned char> raw(eightBit ? chunk / 2 : chunk);
    std::vector<std::int16_t> samples(chunk / 2);
    const std::uint64_t total = doc.format.dataSize;
    std::uint64_t consumed = 0;
    PercentBar bar(progress, 0);
    PumpThrottle pump(progress);
    while (consumed < total) {
        if (progress.cancelRequested()) return Outcome::cancelled();
        const std::size_t want = std::size_t(std::min<std::uint64_t>(raw.size(), total - consumed));
        const std::size_t n = std::fread(raw.data(), 1, want, in.get());
        if (n == 0) break;
        consumed += n;
        const void* data = raw.data();
        std::uint32_t bytes = std::uint32_t(n & ~std::size_t(1));
        if (eightBit) {
            for (std::size_t i = 0; i < n; ++i) samples[i] = std::int16_t((std::int32_t(raw[i]) * 32767 - 4194176) / 128);
            data = samples.data();
            bytes = std::uint32_t(n * 2);
        }
        if (Outcome r = encoder.write(data, bytes); !r.ok()) return r;
        bar.set(percentOf(consumed, total));
        pump.tick();
    }
    return Outcome::done();
}

// The samples fed, then the stream ended whatever happened: a failing end is a failed save.
Outcome encodeAll(const DocumentState& doc, FileEncoder& encoder, Progress& progress) {
    Outcome r = feedEncoder(doc, encoder, progress);
    Outcome finished = encoder.finish();
    return r.ok() ? finished : r;
}

Outcome saveMp3(DocumentState& doc, const std::string& file, const SaveOptions& options, Progress& progress) {
    if (doc.sourceBitRate == 0) doc.sourceBitRate = 128;
    std::uint32_t bitRate = std::uint32_t(doc.sourceBitRate);
    if (doc.format.sampleRate <= 11025 && bitRate > 64) bitRate = 64;  // not stored
    const int mode = doc.format.channels == 2 ? 1 : 4;
    Mp3FileEncoder encoder(options.encoderFolder + lameLibraryFileName());
    if (Outcome started = encoder.start(file, std::uint32_t(doc.format.sampleRate), mode, bitRate, false, false,
                                        false, false);
        !started.ok())
        return started;
    return encodeAll(doc, encoder, progress);
}

Outcome saveWma(DocumentState& doc, const std::string& file, const SaveOptions& options, Progress& progress) {
    if (doc.sourceBitRate == 0) doc.sourceBitRate = 96;
    WmaFileEncoder encoder(options.encoderFolder + wmaLibraryFileName());
    if (Outcome started = encoder.start(file, std::uint32_t(doc.format.sampleRate),
                                        std::uint32_t(doc.format.channels == 1 ? 1 : 2),
                                        std::uint32_t(doc.sourceBitRate) * 1000u);
        !started.ok())
        return started;
    return encodeAll(doc, encoder, progress);
}

}  // namespace

SaveFormat saveFormatOf(const std::string& destination) {
    const std::string ext = lowerExtension(destination);
    if (ext == ".mp3") return SaveFormat::Mp3;
    if (ext == ".wma") return SaveFormat::Wma;
    return SaveFormat::Wav;
}

std::string saveAsName(const std::string& chosen, int filterIndex, const std::string& documentPath) {
    const std::string ext = lowerExtension(chosen);
    if (ext == ".mp3" || ext == ".wma" || ext == ".wav") return chosen;
    switch (filterIndex) {
    case 2: return chosen + ".wav";
    case 3: return chosen + ".mp3";
    case 4: return chosen + ".wma";
    default: return chosen + extensionAsWritten(documentPath);
    }
}

Outcome saveDocument(DocumentState& doc, const std::string& destination, const SaveOptions& options,
                     Progress& progress) {
    std::unique_ptr<SaveTarget> target;
    if (Outcome prepared = SaveTarget::prepare(destination, options.target, target); !prepared.ok()) return prepared;
    Outcome r;
    switch (options.format ? *options.format : saveFormatOf(destination)) {
    case SaveFormat::Mp3: r = saveMp3(doc, target->pathForLibraries(), options, progress); break;
    case SaveFormat::Wma: r = saveWma(doc, target->pathForLibraries(), options, progress); break;
    case SaveFormat::Wav: r = saveWav(doc, *target, progress); break;
    }
    if (!r.ok()) return r;  // the target removes its temporary file
    r = target->commit();
    if (r.ok()) progress.setPercent(0, 100);
    return r;
}

}  // namespace torvane
