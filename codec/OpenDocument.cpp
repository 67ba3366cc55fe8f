#include "codec/OpenDocument.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <memory>
#include <vector>

#include "doc/WorkingFile.h"
#include "platform/Bass.h"
#include "platform/FileIo.h"
#include "platform/WaveHeader.h"
#include "doc/PeakScan.h"

#if defined(__linux__) && !defined(TORVANE_NO_COPY_RANGE)
#include <cerrno>
#include <unistd.h>
#define TORVANE_HAVE_COPY_RANGE 1
#endif

namespace torvane {
namespace {

constexpr DWORD kDecodeChunk = 10000;           // bytes asked of the decoder per round
constexpr std::size_t kWriteBlock = 1u << 20;   // decoded bytes gathered before each write
constexpr std::size_t kCopyBlock = 1u << 20;    // WAV copy block
constexpr std::size_t kCopyRangeBlock = 8u << 20;  // in-kernel WAV copy step (one bar update each)

Outcome failed(MessageId message, int error = 0) { return Outcome::failed(message).because(error); }

Outcome decodeToWorkingFile(DocumentState& doc, SourceKind kind, Progress& progress, std::uint64_t limit) {
    const char* path = doc.documentPath.c_str();
    const HSTREAM dec = kind == SourceKind::Wma ? BASS_WMA_StreamCreateFile(0, path, 0, 0, BASS_STREAM_DECODE)
                                                : BASS_StreamCreateFile(0, path, 0, 0, BASS_STREAM_DECODE);
    if (!dec) return failed(MessageId::NoDecodeStream);

    const QWORD sourceSize = BASS_StreamGetFilePosition(dec, BASS_FILEPOS_END);

    BASS_CHANNELINFO info;
    BASS_ChannelGetInfo(dec, &info);
    const std::uint16_t bits = (info.flags & BASS_SAMPLE_8BITS) ? 8 : 16;
    const std::uint16_t channels = info.chans == 1 ? 1 : 2;

    std::FILE* out = openFile(doc.workingFilePath, "wb");
    if (!out) {
        const int e = errno;
        BASS_StreamFree(dec);
        return failed(kind == SourceKind::Wma ? MessageId::WmaNoTempFile : MessageId::Mp3NoTempFile, e);
    }
    unsigned char header[44];
    writeWaveHeader44(header, info.freq, channels, bits, 0, 0);
    bool writeOk = std::fwrite(header, 1, 44, out) == 44;
    const int headerError = writeOk ? 0 : errno;

    // Decoded chunks are gathered and written in large blocks. The decoder fills the buffer
    // before anything reads it: no need to clear a megabyte first.
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kWriteBlock + kDecodeChunk);
    std::size_t filled = 0;
    std::uint64_t fileBytes = 44;
    bool cancelled = false, tooLong = false;
    PercentBar bar(progress, 0);
    PumpThrottle pump(progress);
    int writeError = 0;  // errno where the writing failed
    auto flush = [&] {
        if (filled && writeOk) writeOk = std::fwrite(buffer.get(), 1, filled, out) == filled;
        if (!writeOk && !writeError) writeError = errno;
        filled = 0;
    };

    while (BASS_ChannelIsActive(dec) != BASS_ACTIVE_STOPPED) {
        if (progress.cancelRequested()) {
            cancelled = true;
            break;
        }
        const DWORD n = BASS_ChannelGetData(dec, buffer.get() + filled, kDecodeChunk);
        if (n == BASS_DATA_ERROR) break;  // the decoder failed: keep what came so far
        if (fileBytes + n > limit) {
            tooLong = true;
            break;
        }
        filled += n;
        fileBytes += n;
        if (filled >= kWriteBlock) {
            flush();
            if (!writeOk) break;
        }
        bar.set(percentOf(BASS_ChannelGetPosition(dec, BASS_POS_BYTE), BASS_ChannelGetLength(dec, BASS_POS_BYTE)));
        pump.tick();
    }
    flush();
    BASS_StreamFree(dec);
    // Over what was decoded, not the container's claimed length: that is the audio the
    // document holds.
    doc.sourceBitRate = sourceBitRateOf(sourceSize == QWORD(-1) ? 0 : sourceSize, fileBytes - 44,
                                        std::uint64_t(info.freq) * channels * (bits / 8), kind);
    if (headerError) writeError = headerError;
    if (writeOk && !(writeOk = patchDecodedSizes(out))) writeError = errno;
    if (std::fclose(out) != 0 && writeOk) {
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

// How a copy ended.
enum class CopyEnd { Done, ReadFailed, WriteFailed, Unsupported, TooLong };

struct CopyState {
    std::uint64_t size;
    std::uint64_t limit;  // a source that grows while it is copied stops here
    std::uint64_t copied = 0;
    PercentBar bar;
    PumpThrottle pump;
    void advance(std::uint64_t n) {
        copied += n;
        bar.set(percentOf(copied, size));
        pump.tick();
    }
};

// The kernel copies between the two files without a trip through this process.
CopyEnd copyInKernel(std::FILE* in, std::FILE* out, CopyState& st) {
#ifdef TORVANE_HAVE_COPY_RANGE
    // Explicit offsets: the stdio streams may have buffered (and so moved) the descriptors.
    loff_t inPos = 0, outPos = 0;
    for (;;) {
        const ssize_t n = copy_file_range(fileno(in), &inPos, fileno(out), &outPos, kCopyRangeBlock, 0);
        if (n > 0) {
            st.advance(std::uint64_t(n));
            if (st.copied > st.limit) return CopyEnd::TooLong;
            continue;
        }
        if (n == 0) return CopyEnd::Done;
        const int e = errno;
        if (st.copied == 0 && (e == EXDEV || e == ENOSYS || e == EINVAL || e == EOPNOTSUPP || e == EBADF || e == EPERM))
            return CopyEnd::Unsupported;
        return e == ENOSPC || e == EFBIG || e == EDQUOT ? CopyEnd::WriteFailed : CopyEnd::ReadFailed;
    }
#else
    (void)in;
    (void)out;
    (void)st;
    return CopyEnd::Unsupported;
#endif
}

CopyEnd copyByBlocks(std::FILE* in, std::FILE* out, CopyState& st) {
    if (!seekTo(in, 0)) return CopyEnd::ReadFailed;
    std::vector<unsigned char> buffer(kCopyBlock);
    for (;;) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
        if (n == 0) return std::ferror(in) ? CopyEnd::ReadFailed : CopyEnd::Done;
        if (std::fwrite(buffer.data(), 1, n, out) != n) return CopyEnd::WriteFailed;
        st.advance(n);
        if (st.copied > st.limit) return CopyEnd::TooLong;
    }
}

Outcome copyToWorkingFile(DocumentState& doc, Progress& progress, std::uint64_t limit) {
    std::FILE* in = openFile(doc.documentPath, "rb");
    if (!in) return failed(MessageId::CannotReadSource, errno);
    const std::uint64_t size = fileLengthOf(in);
    if (size > limit) {
        std::fclose(in);
        return failed(MessageId::TooLong);
    }
    std::FILE* out = openFile(doc.workingFilePath, "wb");
    if (!out) {
        const int e = errno;
        std::fclose(in);
        return failed(MessageId::WavNoWorkingFile, e);
    }
    CopyState st{size, limit, 0, PercentBar(progress, 0), PumpThrottle(progress)};
    CopyEnd end = copyInKernel(in, out, st);
    if (end == CopyEnd::Unsupported) end = copyByBlocks(in, out, st);
    int error = errno;
    std::fclose(in);
    if (std::fclose(out) != 0 && end == CopyEnd::Done) {
        end = CopyEnd::WriteFailed;
        error = errno;
    }
    doc.sourceBitRate = 0;
    if (end == CopyEnd::TooLong) {
        removeFile(doc.workingFilePath);
        return failed(MessageId::TooLong);
    }
    if (end == CopyEnd::WriteFailed) return failed(MessageId::CannotWriteWorkingFile, error);
    if (end == CopyEnd::ReadFailed) return failed(MessageId::CannotReadSource, error);
    return {};
}

}  // namespace

bool isOpenableSource(const std::string& path) {
    const std::string ext = lowerExtension(path);
    return ext == ".mp3" || ext == ".wma" || ext == ".wav";
}

SourceKind sourceKindOf(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext == ".mp3") return SourceKind::Mp3;
    if (ext == ".wma") return SourceKind::Wma;
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
    if (fileExists(doc.workingFilePath)) removeFile(doc.workingFilePath);

    const SourceKind kind = sourceKindOf(doc.documentPath);
    if (kind == SourceKind::Wav) {
        // A WAV the editor would refuse is refused before it is copied: a multi-gigabyte
        // six-channel file is not worth copying to learn that.
        WaveHeader h;
        const WaveHeaderError e = readWaveHeaderFile(doc.documentPath, h);
        if (e != WaveHeaderError::None && e != WaveHeaderError::CannotOpen) return failed(headerErrorMessage(e));
    }
    Outcome r = kind == SourceKind::Wav ? copyToWorkingFile(doc, progress, workingFileLimit)
                                           : decodeToWorkingFile(doc, kind, progress, workingFileLimit);
    if (!r.ok()) return r;

    std::FILE* f = nullptr;
    const WaveHeaderError e = readWorkingHeader(doc, &f);
    if (e != WaveHeaderError::None) return failed(headerErrorMessage(e));
    replacePeakArrays(doc);
    scanPeaks(f, doc, progress, 1);
    std::fclose(f);
    return {};
}

}  // namespace torvane
