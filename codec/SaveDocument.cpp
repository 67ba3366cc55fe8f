#include "codec/SaveDocument.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "codec/TagWriter.h"
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

Outcome copyEnd(CopyEnd end) {
    switch (end) {
    case CopyEnd::Done:
    case CopyEnd::EndOfFile: return Outcome::done();
    case CopyEnd::Stopped: return Outcome::cancelled();
    case CopyEnd::ReadFailed: return Outcome::failed(MessageId::CannotReadWorkingFile);
    case CopyEnd::WriteFailed: break;
    }
    return Outcome::failed(MessageId::SaveWriteFailed);
}

// The source's own tag chunks before the data (copied with a WAV source) become JUNK: the tags
// read from them are written anew after the data.
bool blankOldTagChunks(const DocumentState& doc, const File& in, File& out) {
    if (std::uint32_t(doc.format.dataOffset) < 20) return true;
    const std::uint64_t dataHeader = std::uint64_t(std::uint32_t(doc.format.dataOffset)) - 8;
    for (std::uint64_t at = 12; at + 12 <= dataHeader;) {
        unsigned char h[12];
        if (!in.readAt(at, h, sizeof h)) return false;
        const std::string id(h, h + 4), form(h + 8, h + 12);
        if (((id == "LIST" && form == "INFO") || id == "id3 " || id == "ID3 ") && !out.writeAt(at, "JUNK", 4))
            return false;
        const std::uint64_t size = std::uint64_t(h[4]) | std::uint64_t(h[5]) << 8 | std::uint64_t(h[6]) << 16 |
                                   std::uint64_t(h[7]) << 24;
        at += 8 + size + (size & 1);
    }
    return true;
}

// With tags, the file ends with the data chunk (and its pad byte) and then their LIST INFO
// chunk: whatever followed the data in the working file (the source's own tag chunks, copied
// with a WAV) is left out, as the tags read from them are written anew. `dropTags` does the
// same with no chunk written: the tags a WAV source carried are gone.
Outcome saveWav(const DocumentState& doc, SaveTarget& out, TagBytes info, bool dropTags, bool take, Progress& progress) {
    File in = File::open(doc.workingFilePath, File::Mode::Read);
    const std::int64_t size = in.size();
    if (!in || size < 0) return Outcome::failed(MessageId::CannotReadWorkingFile).because(errno);
    const std::uint64_t audioEnd = std::min<std::uint64_t>(std::uint64_t(size), std::uint32_t(doc.format.dataEnd));
    if (!info.empty() && (audioEnd & 1)) info.insert(info.begin(), 0);
    const bool tagged = (!info.empty() || dropTags) && audioEnd >= 12 && audioEnd + info.size() - 8 <= 0xFFFFFFFFull;
    const std::uint64_t total = tagged ? audioEnd : std::uint64_t(size);
    if (take && !tagged && out.adopt(doc.workingFilePath)) return Outcome::done();
    CopyBar bar(progress, 0, total, true);
    const Copied copied = copyBlocks(in, 0, out.file(), 0, total, &bar);
    if (Outcome r = copyEnd(copied.end); !r.ok() || !tagged) return r;
    if (copied.bytes != total) return Outcome::failed(MessageId::CannotReadWorkingFile);
    const std::uint32_t riffSize = std::uint32_t(total + info.size() - 8);
    const unsigned char riff[4] = {static_cast<unsigned char>(riffSize), static_cast<unsigned char>(riffSize >> 8),
                                   static_cast<unsigned char>(riffSize >> 16), static_cast<unsigned char>(riffSize >> 24)};
    if ((!info.empty() && !out.file().writeAt(total, info.data(), info.size())) || !out.file().writeAt(4, riff, 4) ||
        !blankOldTagChunks(doc, in, out.file()))
        return Outcome::failed(MessageId::SaveWriteFailed);
    return Outcome::done();
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

Outcome saveMp3(DocumentState& doc, SaveTarget& target, const SaveOptions& options, Progress& progress) {
    const std::string file = target.pathForLibraries();
    if (doc.sourceBitRate == 0) doc.sourceBitRate = 128;
    std::uint32_t bitRate = std::uint32_t(doc.sourceBitRate);
    if (doc.format.sampleRate <= 11025 && bitRate > 64) bitRate = 64;  // not stored
    const int mode = doc.format.channels == 2 ? 1 : 4;
    Mp3FileEncoder encoder(options.encoderFolder + lameLibraryFileName());
    if (Outcome started = encoder.start(file, std::uint32_t(doc.format.sampleRate), mode, bitRate, false, false,
                                        false, false);
        !started.ok())
        return started;
    if (Outcome r = encodeAll(doc, encoder, progress); !r.ok()) return r;
    // The encoder wrote the temporary file by its name; the tag goes in front of it now.
    if (!options.keepTags) return Outcome::done();
    const TagBytes tag = id3v2Tag(doc.source.tags);
    if (!tag.empty() && !insertAtStart(target.file(), tag)) return Outcome::failed(MessageId::SaveWriteFailed);
    return Outcome::done();
}

Outcome saveWma(DocumentState& doc, const std::string& file, const SaveOptions& options, Progress& progress) {
    if (doc.sourceBitRate == 0) doc.sourceBitRate = 96;
    WmaFileEncoder encoder(options.encoderFolder + wmaLibraryFileName());
    if (Outcome started = encoder.start(file, std::uint32_t(doc.format.sampleRate),
                                        std::uint32_t(doc.format.channels == 1 ? 1 : 2),
                                        std::uint32_t(doc.sourceBitRate) * 1000u,
                                        options.keepTags ? doc.source.tags : SourceTags{});
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
    // A document opened from a kind nothing writes (AIFF, Opus, M4A) is not given its name back:
    // WAV samples under an .m4a name would be a file no player reads.
    default: return chosen + (isSaveExtension(documentPath) ? extensionAsWritten(documentPath) : ".wav");
    }
}

Outcome saveDocument(DocumentState& doc, const std::string& destination, const SaveOptions& options,
                     Progress& progress) {
    std::unique_ptr<SaveTarget> target;
    if (Outcome prepared = SaveTarget::prepare(destination, options.target, target); !prepared.ok()) return prepared;
    Outcome r;
    switch (options.format ? *options.format : saveFormatOf(destination)) {
    case SaveFormat::Mp3: r = saveMp3(doc, *target, options, progress); break;
    case SaveFormat::Wma: r = saveWma(doc, target->pathForLibraries(), options, progress); break;
    case SaveFormat::Wav:
        r = saveWav(doc, *target, options.keepTags ? riffInfoChunk(doc.source.tags) : TagBytes{},
                    !options.keepTags && !doc.source.tags.empty(), options.takeWorkingFile, progress);
        break;
    case SaveFormat::Flac: r = saveWithFfmpeg(doc, *target, EncodedFormat::Flac, options, progress); break;
    case SaveFormat::Ogg: r = saveWithFfmpeg(doc, *target, EncodedFormat::Vorbis, options, progress); break;
    }
    if (!r.ok()) return r;  // the target removes its temporary file
    r = target->commit();
    if (r.ok()) progress.setPercent(0, 100);
    return r;
}

}  // namespace torvane
