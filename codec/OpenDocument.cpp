#include "codec/OpenDocument.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "codec/TagReader.h"
#include "doc/WorkingFile.h"
#include "platform/Decoder.h"
#include "platform/File.h"
#include "platform/FileIo.h"
#include "platform/Mp3Split.h"
#include "platform/WaveHeader.h"
#include "doc/PeakScan.h"

namespace torvane {
namespace {

constexpr std::uint32_t kDecodeChunk = 10000;  // bytes asked of the decoder per round
// An MP3 this long or longer is decoded on every core, in parts of half as much at least: a
// shorter one is over before the threads would pay.
constexpr std::uint64_t kSplitSourceBytes = std::uint64_t(1) << 20;
constexpr std::size_t kPartBlockBytes = std::size_t(1) << 20;  // written at once by each part
// Read, scanned and written per round of a WAV's copy: small enough that what was read is still
// in the processor's cache when it is written (measured: half the processor time of 1 MB, less
// than the kernel's own copy followed by a scan of the copy).
constexpr std::size_t kCopyBytes = std::size_t(128) << 10;

// The peak table built while the working file was written, and the data it was built over:
// it stands when the working file's header says the same.
struct PassPeaks {
    PeakAccumulator table;
    std::uint64_t dataOffset;
    std::uint64_t dataBytes;
};

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

enum class SplitEnd { Done, OneThread, Cancelled, WriteFailed };

struct SplitResult {
    SplitEnd end = SplitEnd::Done;
    std::uint64_t dataBytes = 0;  // decoded; for Cancelled, those in order from the start
    int error = 0;
};

// Decodes each part of `split` on a thread of its own into its place in the working file (after
// its 44-byte header), its peaks taken as its blocks are written; this thread moves the bar
// and watches for Cancel. OneThread: a part did not decode as planned, start again on one thread.
SplitResult decodeSplit(const Mp3Split& split, File& out, PeakAccumulator& peaks, Progress& progress,
                        const std::function<void(std::uint64_t)>& decodedSoFar, std::int32_t framesPerColumn,
                        int channels) {
    struct PartState {
        Mp3Split::PartEnd end = Mp3Split::PartEnd::Stopped;
        std::uint64_t written = 0;
        int error = 0;
        std::optional<PeakAccumulator> peaks;
    };
    const std::size_t count = split.partCount();
    std::vector<PartState> parts(count);
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> delivered{0};
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t finished = 0;

    auto decodePart = [&](std::size_t k) {
        PartState& state = parts[k];
        const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kPartBlockBytes);
        std::size_t filled = 0;
        const std::uint64_t at = 44 + split.partOffset(k);
        auto flush = [&] {
            if (!out.writeAt(at + state.written, buffer.get(), filled)) {
                state.error = errno;
                return false;
            }
            state.peaks->add(buffer.get(), filled);
            state.written += filled;
            filled = 0;
            return true;
        };
        auto sink = [&](const unsigned char* bytes, std::size_t size) {
            delivered.fetch_add(size, std::memory_order_relaxed);
            while (size > 0) {
                const std::size_t n = std::min(size, kPartBlockBytes - filled);
                std::memcpy(buffer.get() + filled, bytes, n);
                filled += n;
                bytes += n;
                size -= n;
                if (filled == kPartBlockBytes && !flush()) return false;
            }
            return true;
        };
        state.end = split.decodePart(k, sink, stop);
        if (filled && (state.end == Mp3Split::PartEnd::Done || state.end == Mp3Split::PartEnd::Stopped) && !flush())
            state.end = Mp3Split::PartEnd::SinkFailed;
        if (state.end != Mp3Split::PartEnd::Done) stop = true;  // the others need not go on
        const std::lock_guard lock(mutex);
        ++finished;
        changed.notify_one();
    };

    for (std::size_t k = 0; k < count; ++k) parts[k].peaks.emplace(framesPerColumn, 16, channels, split.partOffset(k));
    std::vector<std::thread> threads;
    SplitResult r;
    try {
        for (std::size_t k = 0; k < count; ++k) threads.emplace_back(decodePart, k);
    } catch (const std::system_error&) {  // no thread to be had: one thread it is
        stop = true;
        for (std::thread& t : threads) t.join();
        r.end = SplitEnd::OneThread;
        return r;
    }
    bool cancelled = false;
    {
        std::unique_lock lock(mutex);
        do {  // Cancel is looked at once at least, however soon the parts end
            changed.wait_for(lock, std::chrono::milliseconds(50), [&] { return finished == count; });
            if (!cancelled && progress.cancelRequested()) {
                cancelled = true;
                stop = true;
            }
            decodedSoFar(delivered.load(std::memory_order_relaxed));
        } while (finished < count);
    }
    for (std::thread& t : threads) t.join();

    for (const PartState& p : parts)
        if (p.end == Mp3Split::PartEnd::SinkFailed) {
            r.end = SplitEnd::WriteFailed;
            r.error = p.error;
            return r;
        }
    if (cancelled) {
        // What was decoded in order from the start stays, as when one thread is cancelled.
        r.end = SplitEnd::Cancelled;
        for (std::size_t k = 0; k < count; ++k) {
            r.dataBytes = split.partOffset(k) + parts[k].written;
            if (parts[k].end != Mp3Split::PartEnd::Done) break;
        }
        return r;
    }
    for (const PartState& p : parts)
        if (p.end != Mp3Split::PartEnd::Done) {
            r.end = SplitEnd::OneThread;
            return r;
        }
    for (const PartState& p : parts) peaks.merge(*p.peaks);
    r.dataBytes = split.partOffset(count - 1) + parts.back().written;
    return r;
}

Outcome decodeToWorkingFile(DocumentState& doc, SourceKind kind, Progress& progress, std::uint64_t limit,
                            std::optional<PassPeaks>& passPeaks) {
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

    // One bar for a split decode and the one-thread decode that may follow it: it never goes back.
    PercentBar bar(progress, 0);
    int shown = -1;
    auto decodedSoFar = [&](std::uint64_t bytes) {
        const int percent = percentOf(bytes, dec->expectedBytes());
        if (percent > shown) bar.set(shown = percent);
    };
    const PeakAccumulator blank(doc.view.framesPerColumn, bits, channels);
    PeakAccumulator peaks = blank;
    std::uint64_t fileBytes = 44;
    bool cancelled = false, tooLong = false, decoded = false;

    // A long MP3 is cut into as many parts as there are cores, decoded at once. Whatever the
    // cut cannot promise to decode as one thread would, one thread decodes.
    const unsigned parts = sourceSize < kSplitSourceBytes
                               ? 1
                               : unsigned(std::min<std::uint64_t>(std::max(1u, std::thread::hardware_concurrency()),
                                                                  sourceSize / (kSplitSourceBytes / 2)));
    if (writeOk && kind == SourceKind::Mp3 && parts > 1) {
        const std::unique_ptr<Mp3Split> split =
            Mp3Split::plan(doc.documentPath, parts, [&] { return progress.cancelRequested(); });
        if (split && 44 + split->totalBytes() <= limit) {
            const SplitResult r =
                decodeSplit(*split, out, peaks, progress, decodedSoFar, doc.view.framesPerColumn, channels);
            decoded = r.end != SplitEnd::OneThread;
            switch (r.end) {
            case SplitEnd::OneThread:
                peaks = blank;
                if (!out.truncate(44)) writeOk = false, writeError = errno;
                break;
            case SplitEnd::WriteFailed:
                writeOk = false;
                writeError = r.error;
                break;
            case SplitEnd::Cancelled:
                // What came in order from the start is kept, and nothing after it.
                cancelled = true;
                fileBytes = 44 + r.dataBytes;
                if (!out.truncate(fileBytes)) writeOk = false, writeError = errno;
                break;
            case SplitEnd::Done:
                fileBytes = 44 + r.dataBytes;
                tooLong = fileBytes > limit;
                break;
            }
        }
    }

    if (!decoded) {
        // Decoded chunks are gathered and written in large blocks. The decoder fills the buffer
        // before anything reads it: no need to clear a megabyte first.
        const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kBlockBytes + kDecodeChunk);
        std::size_t filled = 0;
        auto flush = [&] {
            if (filled && writeOk) writeOk = out.writeAt(fileBytes - filled, buffer.get(), filled);
            if (!writeOk && !writeError) writeError = errno;
            if (writeOk) peaks.add(buffer.get(), filled);
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
            decodedSoFar(dec->delivered());
        }
        flush();
    }
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
    passPeaks = PassPeaks{peaks, 44, fileBytes - 44};
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

// Feeds the peaks what of `size` bytes written at `at` of the working file lies past its header.
void addPastHeader(PeakAccumulator& peaks, const unsigned char* bytes, std::size_t size, std::uint64_t at,
                   std::uint64_t dataOffset) {
    if (at + size <= dataOffset) return;
    const std::uint64_t skip = at < dataOffset ? dataOffset - at : 0;
    peaks.add(bytes + skip, std::size_t(size - skip));
}

// Takes the peaks of the working file's data on a thread of its own, reading back what the
// kernel has just copied there (still in the page cache): the copy and the scan share the two
// cores, and the table is the working file's own whatever happens to the source meanwhile.
class PeakReader {
public:
    PeakReader(const std::string& workingFile, PeakAccumulator& peaks, std::uint64_t dataOffset)
        : m_file(File::open(workingFile, File::Mode::Read)), m_peaks(peaks), m_next(dataOffset) {
        if (!m_file) return;
        try {
            m_thread = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            m_file.close();
        }
    }
    ~PeakReader() { finish(); }
    bool running() const { return m_thread.joinable(); }
    // Bytes below `end` are in the working file.
    void advance(std::uint64_t end) {
        {
            const std::lock_guard lock(m_mutex);
            m_end = end;
        }
        m_changed.notify_one();
    }
    // Waits until everything below the last end is taken. False when a read back failed: the
    // table is then incomplete.
    bool finish() {
        if (!m_thread.joinable()) return false;
        {
            const std::lock_guard lock(m_mutex);
            m_last = true;
        }
        m_changed.notify_one();
        m_thread.join();
        return !m_failed;
    }

private:
    void run() {
        const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kCopyBytes);
        for (;;) {
            std::uint64_t end = 0;
            bool last = false;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_end > m_next || m_last; });
                end = m_end;
                last = m_last;
            }
            while (m_next < end) {
                const std::size_t n = std::size_t(std::min<std::uint64_t>(kCopyBytes, end - m_next));
                if (!m_file.readAt(m_next, buffer.get(), n)) {
                    m_failed = true;
                    return;
                }
                m_peaks.add(buffer.get(), n);
                m_next += n;
            }
            if (last) return;
        }
    }

    File m_file;
    PeakAccumulator& m_peaks;
    std::uint64_t m_next;
    std::uint64_t m_end = 0;
    bool m_last = false;
    bool m_failed = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};

// Copies up to `size` bytes from `from` in `in` to `to` in `out` inside the kernel, as cp does,
// telling `reader` how far the working file is written. Returns the bytes copied: fewer than
// `size` at the source's end, or where the kernel cannot go on (other file systems, an error),
// and the caller goes on by hand from there and meets any error itself.
std::uint64_t copyInKernel(const File& in, std::uint64_t from, const File& out, std::uint64_t to,
                           std::uint64_t size, CopyBar& bar, PeakReader& reader) {
    constexpr std::uint64_t kRound = std::uint64_t(8) << 20;  // the bar moves, the scan follows closely
    std::uint64_t copied = 0;
    while (copied < size) {
        const std::uint64_t want = std::min(kRound, size - copied);
        const std::uint64_t n = copyInKernel(in, from + copied, out, to + copied, want);
        copied += n;
        bar.add(n);
        reader.advance(to + copied);
        if (n < want) break;
    }
    return copied;
}

// The source is read once: each block's peaks are taken between its read and its write.
Outcome copyToWorkingFile(DocumentState& doc, Progress& progress, std::uint64_t limit, const WaveHeader* h,
                          std::optional<PassPeaks>& passPeaks) {
    File in = File::open(doc.documentPath, File::Mode::Read);
    const std::int64_t size = in.size();
    if (!in || size < 0) return failed(MessageId::CannotReadSource, errno);
    if (std::uint64_t(size) > limit) return failed(MessageId::TooLong);
    File out = File::open(doc.workingFilePath, File::Mode::Create);
    if (!out) return failed(MessageId::WavNoWorkingFile, errno);
    ::posix_fadvise(in.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    CopyBar bar(progress, 0, std::uint64_t(size));
    std::optional<PeakAccumulator> peaks;
    if (h) peaks.emplace(doc.view.framesPerColumn, h->bitsPerSample, h->channels, 0, h->dataSize);
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kCopyBytes);
    // Up to the end of the source, and one byte past the limit at most: a source that grows
    // while it is copied is caught.
    std::uint64_t copied = 0;
    if (peaks) {
        // The kernel copies while another thread takes the peaks; by hand from wherever it stops.
        PeakReader reader(doc.workingFilePath, *peaks, h->dataOffset);
        if (reader.running()) copied = copyInKernel(in, 0, out, 0, limit + 1, bar, reader);
        if (!reader.finish() && copied > 0) peaks.reset();  // the working file is scanned instead
    }
    bool readFailed = false, writeFailed = false;
    int error = 0;
    while (copied <= limit) {
        const std::size_t want = std::size_t(std::min<std::uint64_t>(kCopyBytes, limit + 1 - copied));
        const std::int64_t n = in.readSomeAt(copied, buffer.get(), want);
        if (n < 0) readFailed = true;
        if (n <= 0) break;
        if (!out.writeAt(copied, buffer.get(), std::size_t(n))) {
            writeFailed = true;
            break;
        }
        if (peaks) addPastHeader(*peaks, buffer.get(), std::size_t(n), copied, h->dataOffset);
        copied += std::uint64_t(n);
        bar.add(std::uint64_t(n));
        if (std::size_t(n) < want) break;
    }
    if (readFailed || writeFailed) error = errno;
    const bool tooLong = copied > limit;
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
    if (peaks) passPeaks = PassPeaks{*peaks, h->dataOffset, h->dataSize};
    return {};
}

// The working file just written, read as the document: its header values, the peak table
// (taken while it was written when that is the file's), the source's tags.
Outcome readWrittenDocument(DocumentState& doc, Progress& progress, std::optional<PassPeaks>& peaks) {
    File f;
    const WaveHeaderError e = readWorkingHeader(doc, &f);
    if (e != WaveHeaderError::None) return failed(headerErrorMessage(e));
    // The table taken while the file was written stands if the file is what it was taken over
    // (a source that changed while it was copied is scanned again).
    if (peaks && peaks->table.fits(doc) && std::uint64_t(doc.format.dataOffset) == peaks->dataOffset &&
        doc.format.dataSize == peaks->dataBytes) {
        peaks->table.store(doc);
        if (doc.view.columnCount > 0) progress.setPercent(1, 100);
    } else {
        replacePeakArrays(doc);
        scanPeaks(f, doc, progress, 1);
    }
    doc.source.tags = readSourceTags(doc.documentPath);
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
    std::optional<WaveHeader> header;  // the source's, when it could be read
    if (copy) {
        // A WAV the editor would refuse is refused before it is copied: a multi-gigabyte
        // six-channel file is not worth copying to learn that. One with samples wider than
        // 16 bits, float samples or 64-bit sizes is decoded instead.
        WaveHeader& h = header.emplace();
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
        if (e != WaveHeaderError::None) header.reset();
    }
    std::optional<PassPeaks> peaks;
    Outcome r = copy ? copyToWorkingFile(doc, progress, workingFileLimit, header ? &*header : nullptr, peaks)
                     : decodeToWorkingFile(doc, kind, progress, workingFileLimit, peaks);
    if (!r.ok()) return r;
    return readWrittenDocument(doc, progress, peaks);
}

std::optional<Outcome> openDocumentKeeping(DocumentState& doc, const KeptSourcePlan& plan, Progress& progress,
                                           std::uint64_t workingFileLimit) {
    // Only what openDocument would copy as it is, read through one descriptor from the header on.
    if (sourceKindOf(doc.documentPath) != SourceKind::Wav || !isRegularFile(doc.documentPath)) return std::nullopt;
    File in = File::open(doc.documentPath, File::Mode::Read);
    const std::int64_t size = in.size();
    WaveHeader h;
    if (!in || size < 0 || std::uint64_t(size) > workingFileLimit ||
        readWaveHeader(in, std::uint64_t(size), h) != WaveHeaderError::None)
        return std::nullopt;
    doc.workingFilePath = workingFilePathIn(doc.tempFolder);
    if (fileExists(doc.workingFilePath)) removeFile(doc.workingFilePath);
    doc.source = {};
    doc.source.codec = h.bitsPerSample == 8 ? "pcm_u8" : "pcm_s16le";
    doc.source.bits = h.bitsPerSample;
    doc.source.rate = h.sampleRate;
    doc.source.channels = h.channels;
    takeHeaderValues(doc, h);
    const std::optional<std::vector<SourceRange>> ranges = plan(doc, std::uint64_t(size));
    // The header stays whole: the size fields are written into it afterwards.
    if (!ranges || ranges->empty() || ranges->front().at != 0 || ranges->front().size < h.dataOffset)
        return std::nullopt;
    std::uint64_t length = 0;
    for (const SourceRange& k : *ranges) {
        if (k.at > std::uint64_t(size) || k.size > std::uint64_t(size) - k.at) return std::nullopt;
        length += k.size;
    }

    File out = File::open(doc.workingFilePath, File::Mode::Create);
    if (!out) return failed(MessageId::WavNoWorkingFile, errno);
    ::posix_fadvise(in.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    CopyBar bar(progress, 0, length);
    PassPeaks peaks{PeakAccumulator(doc.view.framesPerColumn, h.bitsPerSample, h.channels, 0, length - h.dataOffset),
                    h.dataOffset, length - h.dataOffset};
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kCopyBytes);
    std::uint64_t written = 0;
    // The kernel copies while another thread takes the peaks, until it stops short; from there
    // on by hand, the peaks taken between read and write.
    std::optional<PeakReader> reader;
    reader.emplace(doc.workingFilePath, peaks.table, h.dataOffset);
    if (!reader->running()) reader.reset();
    bool peaksComplete = true;
    for (const SourceRange& k : *ranges) {
        std::uint64_t inKernel = 0;
        if (reader && reader->running()) {
            inKernel = copyInKernel(in, k.at, out, written, k.size, bar, *reader);
            written += inKernel;
            if (inKernel < k.size) {
                peaksComplete = reader->finish();
                reader.reset();
            }
        }
        for (std::uint64_t done = inKernel; done < k.size;) {
            const std::size_t want = std::size_t(std::min<std::uint64_t>(kCopyBytes, k.size - done));
            const std::int64_t n = in.readSomeAt(k.at + done, buffer.get(), want);
            if (n < 0) return failed(MessageId::CannotReadSource, errno);
            if (std::size_t(n) < want) {
                // Shorter than when its header was read: the plan no longer holds.
                out.close();
                removeFile(doc.workingFilePath);
                return std::nullopt;
            }
            if (!out.writeAt(written, buffer.get(), want)) return failed(MessageId::CannotWriteWorkingFile, errno);
            addPastHeader(peaks.table, buffer.get(), want, written, h.dataOffset);
            written += want;
            done += want;
            bar.add(want);
        }
    }
    if (reader) peaksComplete = reader->finish();
    in.close();
    if (!patchSizesAfterLengthChange(out, doc)) return failed(MessageId::CannotWriteWorkingFile, errno);
    if (!out.close()) return failed(MessageId::CannotWriteWorkingFile, errno);
    doc.sourceBitRate = 0;
    std::optional<PassPeaks> table;
    if (peaksComplete) table.emplace(std::move(peaks));  // else the working file is scanned
    return readWrittenDocument(doc, progress, table);
}

}  // namespace torvane
