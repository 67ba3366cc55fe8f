#include "codec/SaveDocument.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "codec/FfmpegFileEncoder.h"
#include "codec/Wavtomp3.h"
#include "codec/Wavtowma.h"
#include "platform/File.h"
#include "platform/FileIo.h"

namespace torvane {
namespace {

std::string extensionAsWritten(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot);
}

Outcome saveWav(const DocumentState& doc, SaveTarget& out, Progress& progress) {
    File in = File::open(doc.workingFilePath, File::Mode::Read);
    const std::int64_t total = in.size();
    if (!in || total < 0) return Outcome::failed(MessageId::CannotReadWorkingFile).because(errno);
    CopyBar bar(progress, 0, std::uint64_t(total), true);
    switch (copyBlocks(in, 0, out.file(), 0, std::uint64_t(total), &bar).end) {
    case CopyEnd::Done:
    case CopyEnd::EndOfFile: return Outcome::done();
    case CopyEnd::Stopped: return Outcome::cancelled();
    case CopyEnd::ReadFailed: return Outcome::failed(MessageId::CannotReadWorkingFile);
    case CopyEnd::WriteFailed: break;
    }
    return Outcome::failed(MessageId::SaveWriteFailed);
}

// Feeds the working file's samples to an encoder in its chunks, converting 8-bit samples to
// 16 bits: (b * 32767 - 4194176) / 128, truncated toward zero.
Outcome feedEncoder(const DocumentState& doc, FileEncoder& encoder, Progress& progress) {
    const File in = File::open(doc.workingFilePath, File::Mode::Read);
    if (!in) return Outcome::failed(MessageId::CannotReadWorkingFile).because(errno);
    const std::size_t chunk = std::size_t(encoder.chunkBytes()) & ~std::size_t(1);
    if (chunk == 0) return Outcome::failed(MessageId::SaveWriteFailed);
    const bool eightBit = doc.format.bitsPerSample == 8;
    std::vector<unsigned char> raw(eightBit ? chunk / 2 : chunk);
    std::vector<std::int16_t> samples(chunk / 2);
    const std::uint64_t total = doc.format.dataSize;
    std::uint64_t consumed = 0;
    PercentBar bar(progress, 0);
    while (consumed < total) {
        if (progress.cancelRequested()) return Outcome::cancelled();
        const std::size_t want = std::size_t(std::min<std::uint64_t>(raw.size(), total - consumed));
        const std::int64_t got = in.readSomeAt(std::uint32_t(doc.format.dataOffset) + consumed, raw.data(), want);
        if (got <= 0) break;
        const std::size_t n = std::size_t(got);
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

// FLAC and Ogg Vorbis, written by FFmpeg's encoders through the temporary file itself. Ogg aims
// at the document's source bit rate, 128 kbit/s when it has none (nothing stored either way).
Outcome saveWithFfmpeg(const DocumentState& doc, SaveTarget& out, EncodedFormat format, const SaveOptions& options,
                       Progress& progress) {
    EncoderSettings settings;
    settings.format = format;
    settings.sampleRate = doc.format.sampleRate;
    settings.channels = doc.format.channels == 1 ? 1 : 2;
    settings.bitRate = std::int64_t(doc.sourceBitRate > 0 ? doc.sourceBitRate : 128) * 1000;
    if (options.keepTags) settings.tags = &doc.source.tags;
    FfmpegFileEncoder encoder;
    if (Outcome started = encoder.start(out.file(), settings); !started.ok()) return started;
    return encodeAll(doc, encoder, progress);
}

}  // namespace

SaveFormat saveFormatOf(const std::string& destination) {
    const std::string ext = lowerExtension(destination);
    if (ext == ".mp3") return SaveFormat::Mp3;
    if (ext == ".wma") return SaveFormat::Wma;
    if (ext == ".flac") return SaveFormat::Flac;
    if (ext == ".ogg" || ext == ".oga") return SaveFormat::Ogg;
    return SaveFormat::Wav;
}

bool isSaveExtension(const std::string& destination) {
    const std::string ext = lowerExtension(destination);
    return ext == ".wav" || saveFormatOf(destination) != SaveFormat::Wav;
}

std::string saveAsName(const std::string& chosen, int filterIndex, const std::string& documentPath) {
    const std::string ext = lowerExtension(chosen);
    if (isSaveExtension(chosen)) return chosen;
    switch (filterIndex) {
    case 2: return chosen + ".wav";
    case 3: return chosen + ".mp3";
    case 4: return chosen + ".wma";
    case 5: return chosen + ".flac";
    case 6: return chosen + ".ogg";
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
    case SaveFormat::Flac: r = saveWithFfmpeg(doc, *target, EncodedFormat::Flac, options, progress); break;
    case SaveFormat::Ogg: r = saveWithFfmpeg(doc, *target, EncodedFormat::Vorbis, options, progress); break;
    }
    if (!r.ok()) return r;  // the target removes its temporary file
    r = target->commit();
    if (r.ok()) progress.setPercent(0, 100);
    return r;
}

}  // namespace torvane
