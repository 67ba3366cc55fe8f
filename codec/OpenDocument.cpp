#include "codec/OpenDocument.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

#include <unistd.h>

#include "codec/TagReader.h"
#include "doc/WorkingFile.h"
#include "platform/Decoder.h"
#include "platform/File.h"
#include "platform/FileIo.h"
#include "platform/WaveHeader.h"
#include "doc/PeakScan.h"

#if defined(__linux__) && !defined(TORVANE_NO_COPY_RANGE)
#include <unistd.h>
#define TORVANE_HAVE_COPY_RANGE 1
#endif

namespace torvane {
namespace {

constexpr std::uint32_t kDecodeChunk = 10000;  // bytes asked of the decoder per round

Outcome failed(MessageId message, int error = 0) { return Outcome::failed(message).because(error); }

// What the decoder found, as the document keeps it.
SourceInfo sourceInfoOf(const Decoder& dec) {
    SourceInfo s;
    s.codec = dec.sourceCodec();
    s.bits = dec.sourceBits();
    s.rate = dec.sourceRate();
    s.channels = dec.sourceChannels();
    return s;
}

// A WAV that reaches the decoder (wide, float, RF64) keeps the refusals of a WAV: more than two
// channels, or samples that are not PCM.
MessageId waveRefusal(const Decoder& dec) {
    if (dec.container() != "wav") return MessageId::CompressedWave;
    if (dec.sourceChannels() > 2) return MessageId::TooManyChannels;
    if (dec.sourceCodec().rfind("pcm_", 0) != 0) return MessageId::CompressedWave;
    return MessageId::None;
}

Outcome decodeToWorkingFile(DocumentState& doc, SourceKind kind, Progress& progress, std::uint64_t limit) {
    const bool engineKind = kind == SourceKind::Mp3 || kind == SourceKind::Wma;
    const Decoder::Container container = kind == SourceKind::Wma   ? Decoder::Container::Asf
                                         : kind == SourceKind::Mp3 ? Decoder::Container::MpegOrWave
                                                                   : Decoder::Container::Other;
    // MP3 and WMA decode as they always have; the wider sources are dithered down to 16 bits.
    const std::unique_ptr<Decoder> dec = Decoder::open(doc.documentPath, container, !engineKind);
    // A file that is not there (or cannot be read) says so with the system's reason, not as damaged audio.
    if (!dec && !engineKind && ::access(doc.documentPath.c_str(), R_OK) != 0)
        return failed(MessageId::CannotReadSource, errno);
    if (!dec)
        return failed(engineKind ? MessageId::NoDecodeStream
                      : kind == SourceKind::Wav ? MessageId::NotValidWave : MessageId::UnreadableAudio);
    if (kind == SourceKind::Wav)
        if (const MessageId refusal = waveRefusal(*dec); refusal != MessageId::None) return failed(refusal);
    doc.source = sourceInfoOf(*dec);

    const std::uint64_t sourceSize = dec->fileSize();
    const std::uint32_t rate = dec->rate();
    const std::uint16_t bits = 16;  // the decoder's output
    const std::uint16_t channels = dec->channels() == 1 ? 1 : 2;

    File out = File::open(doc.workingFilePath, File::Mode::Create);
    if (!out)
        return failed(kind == SourceKind::Wma   ? MessageId::WmaNoTempFile
                      : kind == SourceKind::Mp3 ? MessageId::Mp3NoTempFile
                                                : MessageId::WavNoWorkingFile,
                      errno);
    unsigned char header[44];
    writeWaveHeader44(header, rate, channels, bits, 0, 0);
    bool writeOk = out.writeAt(0, header, 44);
    int writeError = writeOk ? 0 : errno;  // errno where the writing failed

    // Decoded chunks are gathered and written in large blocks. The decoder fills the buffer
    // before anything reads it: no need to clear a megabyte first.
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kBlockBytes + kDecodeChunk);
    std::size_t filled = 0;
    std::uint64_t fileBytes = 44;
    bool cancelled = false, tooLong = false;
    PercentBar bar(progress, 0);
    auto flush = [&] {
        if (filled && writeOk) writeOk = out.writeAt(fileBytes - filled, buffer.get(), filled);
        if (!writeOk && !writeError) writeError = errno;
        filled = 0;
    };

    while (dec->active()) {
        if (progress.cancelRequested()) {
            cancelled = true;
            break;
        }
        // A decoder that fails part-way ends there: what came so far is kept.
        const std::uint32_t n = dec->read(buffer.get() + filled, kDecodeChunk);
        if (fileBytes + n > limit) {
            tooLong = true;
            break;
        }
        filled += n;
        fileBytes += n;
        if (filled >= kBlockBytes) {
            flush();
            if (!writeOk) break;
        }
        bar.set(percentOf(dec->delivered(), dec->expectedBytes()));
    }
    flush();
    // Over what was decoded, not the container's claimed length: that is the audio the
    // document holds.
    // A lossless source has no bit rate to keep, as a WAV has none.
    doc.sourceBitRate = !engineKind && dec->lossless()
                            ? 0
                            : sourceBitRateOf(sourceSize, fileBytes - 44, std::uint64_t(rate) * channels * (bits / 8), kind);
    if (writeOk && !(writeOk = patchDecodedSizes(out))) writeError = errno;
    if (!out.close() && writeOk) {
        writeOk = false;
        writeError = errno;
    }

    if (tooLong) {
        // Nothing of it can be edited; don't leave gigabytes behind.
        removeFile(doc.workingFilePath);
        return failed(MessageId::TooLong);
    }
    if (!writeOk) return failed(MessageId::CannotWriteWorkingFile, writeError);
    if (cancelled) return Outcome::cancelled();
    return {};
}

bool isRf64(const std::string& path) {
    unsigned char head[12];
    const File f = File::open(path, File::Mode::Read);
    return f && f.readAt(0, head, 12) && (std::memcmp(head, "RF64", 4) == 0 || std::memcmp(head, "BW64", 4) == 0) &&
           std::memcmp(head + 8, "WAVE", 4) == 0;
}

// None when a WAV the header reader refused is one the decoder takes: integer samples of 24 or
// 32 bits, float samples of 32 or 64, or an RF64/BW64 file; otherwise the refusal's message.
MessageId wideWaveRefusal(const std::string& path, WaveHeaderError e, const WaveHeader& h) {
    const bool wideInteger = e == WaveHeaderError::NotPcm && h.formatTag == 1 &&
                             (h.bitsPerSample == 24 || h.bitsPerSample == 32);
    const bool floating = e == WaveHeaderError::Compressed && h.formatTag == 3 &&
                          (h.bitsPerSample == 32 || h.bitsPerSample == 64);
    if (floating && h.channels > 2) return MessageId::TooManyChannels;
    if (wideInteger || floating || (e == WaveHeaderError::NotValid && isRf64(path))) return MessageId::None;
    return headerErrorMessage(e);
}

// The kernel copies between the two files without a trip through this process, up to the end
// of the source or one byte past `limit`. Stopped (before any byte) when it cannot copy these
// files at all.
Copied copyInKernel(File& in, File& out, std::uint64_t limit, CopyBar& bar) {
    Copied c;
#ifdef TORVANE_HAVE_COPY_RANGE
    loff_t inPos = 0, outPos = 0;
    while (c.bytes <= limit) {
        const ssize_t n = copy_file_range(in.fd(), &inPos, out.fd(), &outPos, kBlockBytes, 0);
        if (n > 0) {
            c.bytes += std::uint64_t(n);
            bar.add(std::uint64_t(n));
            continue;
        }
        if (n == 0) break;
        const int e = errno;
        if (c.bytes == 0 && (e == EXDEV || e == ENOSYS || e == EINVAL || e == EOPNOTSUPP || e == EBADF || e == EPERM))
            c.end = CopyEnd::Stopped;
        else
            c.end = e == ENOSPC || e == EFBIG || e == EDQUOT ? CopyEnd::WriteFailed : CopyEnd::ReadFailed;
        break;
    }
#else
    (void)in;
    (void)out;
    (void)limit;
    (void)bar;
    c.end = CopyEnd::Stopped;
#endif
    return c;
}

Outcome copyToWorkingFile(DocumentState& doc, Progress& progress, std::uint64_t limit) {
    File in = File::open(doc.documentPath, File::Mode::Read);
    const std::int64_t size = in.size();
    if (!in || size < 0) return failed(MessageId::CannotReadSource, errno);
    if (std::uint64_t(size) > limit) return failed(MessageId::TooLong);
    File out = File::open(doc.workingFilePath, File::Mode::Create);
    if (!out) return failed(MessageId::WavNoWorkingFile, errno);
    CopyBar bar(progress, 0, std::uint64_t(size));
    // Up to the end of the source, and one byte past the limit at most: a source that grows
    // while it is copied is caught.
    Copied c = copyInKernel(in, out, limit, bar);
    if (c.end == CopyEnd::Stopped) c = copyBlocks(in, 0, out, 0, limit + 1, &bar);
    const bool tooLong = c.bytes > limit;
    const bool readFailed = c.end == CopyEnd::ReadFailed;
    bool writeFailed = c.end == CopyEnd::WriteFailed;
    int error = readFailed || writeFailed ? errno : 0;
    in.close();
    if (!out.close() && !readFailed && !writeFailed && !tooLong) {
        writeFailed = true;
        error = errno;
    }
    doc.sourceBitRate = 0;
    if (tooLong && !readFailed && !writeFailed) {
        removeFile(doc.workingFilePath);
        return failed(MessageId::TooLong);
    }
    if (writeFailed) return failed(MessageId::CannotWriteWorkingFile, error);
    if (readFailed) return failed(MessageId::CannotReadSource, error);
    return {};
}

}  // namespace

bool isOpenableSource(const std::string& path) {
    const std::string ext = lowerExtension(path);
    return ext == ".mp3" || ext == ".wma" || ext == ".wav" || sourceKindOf(path) != SourceKind::Wav ||
           ext == ".wave" || ext == ".rf64" || ext == ".bw64";
}

SourceKind sourceKindOf(const std::string& path) {
    static const char* const kOther[] = {".aif", ".aiff", ".aifc", ".flac", ".ogg", ".oga", ".opus", ".m4a", ".aac"};
    const std::string ext = lowerExtension(path);
    if (ext == ".mp3") return SourceKind::Mp3;
    if (ext == ".wma") return SourceKind::Wma;
    for (const char* other : kOther)
        if (ext == other) return SourceKind::Other;
    return SourceKind::Wav;
}

std::int32_t sourceBitRateOf(std::uint64_t fileSize, std::uint64_t decodedBytes, std::uint64_t bytesPerSecond,
                             SourceKind kind) {
    if (decodedBytes == 0) return 0;
    // fileSize * 8 / 1000 / (decodedBytes / bytesPerSecond), in one division so that nothing is
    // rounded before the end. 128 bits hold the product of any two 64-bit values, and
    // 125 * decodedBytes, so no size can overflow it.
    const unsigned __int128 q =
        (unsigned __int128)fileSize * bytesPerSecond / ((unsigned __int128)decodedBytes * 125u);
    std::uint64_t rate = std::uint64_t(std::min<unsigned __int128>(q, 0x7FFFFFFF));
    if (kind == SourceKind::Wma && (rate & 1)) --rate;
    return std::int32_t(rate);
}

Outcome openDocument(DocumentState& doc, Progress& progress, std::uint64_t workingFileLimit) {
    // Only regular files: a device never ends (/dev/zero would fill the disk), a FIFO blocks
    // for ever, a folder is no sound. (A missing file gets its decoder's or reader's message.)
    if (pathExists(doc.documentPath) && !isRegularFile(doc.documentPath)) return failed(MessageId::CannotOpenFile);
    doc.workingFilePath = workingFilePathIn(doc.tempFolder);
    doc.source = {};
    if (fileExists(doc.workingFilePath)) removeFile(doc.workingFilePath);

    const SourceKind kind = sourceKindOf(doc.documentPath);
    bool copy = kind == SourceKind::Wav;
    if (copy) {
        // A WAV the editor would refuse is refused before it is copied: a multi-gigabyte
        // six-channel file is not worth copying to learn that. One with samples wider than
        // 16 bits, float samples or 64-bit sizes is decoded instead.
        WaveHeader h;
        const WaveHeaderError e = readWaveHeaderFile(doc.documentPath, h);
        if (e != WaveHeaderError::None && e != WaveHeaderError::CannotOpen) {
            const MessageId m = wideWaveRefusal(doc.documentPath, e, h);
            if (m != MessageId::None) return failed(m);
            copy = false;
        } else if (e == WaveHeaderError::None) {
            doc.source.codec = h.bitsPerSample == 8 ? "pcm_u8" : "pcm_s16le";
            doc.source.bits = h.bitsPerSample;
            doc.source.rate = h.sampleRate;
            doc.source.channels = h.channels;
        }
    }
    Outcome r = copy ? copyToWorkingFile(doc, progress, workingFileLimit)
                     : decodeToWorkingFile(doc, kind, progress, workingFileLimit);
    if (!r.ok()) return r;

    File f;
    const WaveHeaderError e = readWorkingHeader(doc, &f);
    if (e != WaveHeaderError::None) return failed(headerErrorMessage(e));
    replacePeakArrays(doc);
    scanPeaks(f, doc, progress, 1);
    doc.source.tags = readSourceTags(doc.documentPath);
    return {};
}

}  // namespace torvane
