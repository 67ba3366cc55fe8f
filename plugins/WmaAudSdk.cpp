// wmaudsdk: the WMA writer library the editor loads from its own folder. One entry point,
// WMAudioCreateWriter, returns a COM-style writer object (a table of operations first, each
// taking the object and returning an HRESULT) that turns 16-bit PCM into WMA version 2 in an
// ASF file, over FFmpeg. The file goes through our own write and seek callbacks so a failed
// write (a full disk) reaches the caller as a failed operation, and Finish can sync it.
//
// Test builds of this file rename the entry point or make an operation fail (the WMAUDSDK_*
// compile definitions), so the editor's handling of a broken library can be exercised.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#define WMAUDSDK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kFail = std::int32_t(0x80004005u);         // E_FAIL
constexpr std::int32_t kNoInterface = std::int32_t(0x80004002u);  // E_NOINTERFACE
constexpr std::int32_t kNotImplemented = std::int32_t(0x80004001u);  // E_NOTIMPL
constexpr std::int32_t kInvalidArg = std::int32_t(0x80070057u);   // E_INVALIDARG
constexpr std::int32_t kUnexpected = std::int32_t(0x8000FFFFu);   // E_UNEXPECTED
constexpr std::int32_t kDiskFull = std::int32_t(0x80070070u);     // HRESULT_FROM_WIN32(ERROR_DISK_FULL)

#ifdef WMAUDSDK_INPUT_FAILS
constexpr bool kInputFails = true;
#else
constexpr bool kInputFails = false;
#endif
#ifdef WMAUDSDK_OUTPUT_FAILS
constexpr bool kOutputFails = true;
#else
constexpr bool kOutputFails = false;
#endif
#ifdef WMAUDSDK_THIRD_WRITE_FAILS
constexpr bool kThirdWriteFails = true;
#else
constexpr bool kThirdWriteFails = false;
#endif

constexpr int kOutputRate = 44100;
constexpr int kAvioBufferSize = 64 * 1024;

std::string utf16ToUtf8(const char16_t* s) {
    std::string out;
    for (; *s; ++s) {
        std::uint32_t c = *s;
        if (c >= 0xD800 && c < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (std::uint32_t(s[1]) - 0xDC00);
            ++s;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

struct Writer;

struct Operations {
    std::int32_t (*queryInterface)(Writer*, const void*, void**);
    std::uint32_t (*addRef)(Writer*);
    std::uint32_t (*release)(Writer*);
    std::int32_t (*reserved3)(Writer*);
    std::int32_t (*setInputFormat)(Writer*, const void*);
    std::int32_t (*setOutputFormat)(Writer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t);
    std::int32_t (*setAttribute)(Writer*, const char16_t*, const char16_t*);
    std::int32_t (*writeAudio)(Writer*, const std::uint8_t*, std::uint32_t);
    std::int32_t (*finish)(Writer*);
};

struct Writer {
    const Operations* operations;  // must stay first: callers reach the table through it
    std::atomic<std::uint32_t> refs{1};

    int fd = -1;
    int lastErrno = 0;
    bool finished = false;
    int writeCalls = 0;

    // The input, once set.
    int inChannels = 0;
    int inRate = 0;
    int inBlockAlign = 0;
    std::vector<std::uint8_t> partialFrame;  // bytes of an input frame split across calls
    AVDictionary* attributes = nullptr;      // by their ASF names, for the header

    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* encoder = nullptr;
    SwrContext* resampler = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::int64_t nextPts = 0;
    bool headerWritten = false;

    ~Writer() {
        av_dict_free(&attributes);
        if (format) avformat_free_context(format);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        avcodec_free_context(&encoder);
        swr_free(&resampler);
        if (fifo) av_audio_fifo_free(fifo);
        av_frame_free(&frame);
        av_packet_free(&packet);
        if (fd >= 0) ::close(fd);
    }

    std::int32_t failure() const { return lastErrno == ENOSPC ? kDiskFull : kFail; }
    bool ioFailed() const { return lastErrno != 0 || (io && io->error < 0); }
};

int writePacket(void* opaque, std::uint8_t* buf, int size) {
    auto* w = static_cast<Writer*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = ::write(w->fd, buf + done, std::size_t(size - done));
        if (n > 0) {
            done += int(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            w->lastErrno = n < 0 ? errno : EIO;
            return AVERROR(w->lastErrno);
        }
    }
    return size;
}

std::int64_t seekFile(void* opaque, std::int64_t offset, int whence) {
    auto* w = static_cast<Writer*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(w->fd, &st) == 0 ? std::int64_t(st.st_size) : AVERROR(errno);
    }
    const off_t r = ::lseek(w->fd, off_t(offset), whence & ~AVSEEK_FORCE);
    return r < 0 ? AVERROR(errno) : std::int64_t(r);
}

std::int32_t queryInterface(Writer*, const void*, void** out) {
    if (out) *out = nullptr;
    return kNoInterface;
}

std::uint32_t addRef(Writer* w) { return ++w->refs; }

std::uint32_t release(Writer* w) {
    const std::uint32_t left = --w->refs;
    if (left == 0) delete w;
    return left;
}

std::int32_t reserved(Writer*) { return kNotImplemented; }

std::int32_t setInputFormat(Writer* w, const void* waveFormat) {
    if (kInputFails) return kInvalidArg;
    if (!waveFormat) return kInvalidArg;
    if (w->encoder) return kUnexpected;
    const auto* p = static_cast<const std::uint8_t*>(waveFormat);
    auto u16 = [p](int at) { return int(p[at] | (p[at + 1] << 8)); };
    auto u32 = [p](int at) {
        return std::uint32_t(p[at]) | (std::uint32_t(p[at + 1]) << 8) | (std::uint32_t(p[at + 2]) << 16) |
               (std::uint32_t(p[at + 3]) << 24);
    };
    const int tag = u16(0), channels = u16(2), blockAlign = u16(12), bits = u16(14);
    const std::uint32_t rate = u32(4);
    if (tag != 1 || bits != 16 || channels < 1 || channels > 2 || blockAlign != channels * 2 || rate < 1000 ||
        rate > 384000)
        return kInvalidArg;
    w->inChannels = channels;
    w->inRate = int(rate);
    w->inBlockAlign = blockAlign;
    return kOk;
}

// Sends one frame (or, with null, the end) to the encoder and writes what comes out.
std::int32_t encode(Writer* w, AVFrame* frame) {
    int r = avcodec_send_frame(w->encoder, frame);
    if (r < 0) return kFail;
    for (;;) {
        r = avcodec_receive_packet(w->encoder, w->packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
        if (r < 0) return kFail;
        av_packet_rescale_ts(w->packet, w->encoder->time_base, w->format->streams[0]->time_base);
        w->packet->stream_index = 0;
        r = av_write_frame(w->format, w->packet);
        av_packet_unref(w->packet);
        if (r < 0 || w->ioFailed()) return w->failure();
    }
    return w->ioFailed() ? w->failure() : kOk;
}

// Encodes whole frames from the queue; at the end, the last short one padded with silence.
std::int32_t drainFifo(Writer* w, bool atEnd) {
    const int frameSize = w->encoder->frame_size;
    while (av_audio_fifo_size(w->fifo) >= frameSize || (atEnd && av_audio_fifo_size(w->fifo) > 0)) {
        av_frame_unref(w->frame);
        w->frame->nb_samples = frameSize;
        w->frame->format = w->encoder->sample_fmt;
        w->frame->sample_rate = kOutputRate;
        if (av_channel_layout_copy(&w->frame->ch_layout, &w->encoder->ch_layout) < 0) return kFail;
        if (av_frame_get_buffer(w->frame, 0) < 0) return kFail;
        const int got = av_audio_fifo_read(w->fifo, reinterpret_cast<void**>(w->frame->data), frameSize);
        if (got < 0) return kFail;
        if (got < frameSize)
            av_samples_set_silence(w->frame->data, got, frameSize - got, w->encoder->ch_layout.nb_channels,
                                   w->encoder->sample_fmt);
        w->frame->pts = w->nextPts;
        w->nextPts += frameSize;
        const std::int32_t r = encode(w, w->frame);
        if (r < 0) return r;
    }
    return kOk;
}

// Resamples `frames` input frames (none: what the resampler still holds) into the queue.
std::int32_t resampleIntoFifo(Writer* w, const std::uint8_t* pcm, int frames) {
    const int room = swr_get_out_samples(w->resampler, frames);
    if (room < 0) return kFail;
    if (room == 0) return kOk;
    std::uint8_t** out = nullptr;
    if (av_samples_alloc_array_and_samples(&out, nullptr, 2, room, w->encoder->sample_fmt, 0) < 0) return kFail;
    const std::uint8_t* in[1] = {pcm};
    const int got = swr_convert(w->resampler, out, room, pcm ? in : nullptr, frames);
    std::int32_t r = kOk;
    if (got < 0 || (got > 0 && av_audio_fifo_write(w->fifo, reinterpret_cast<void**>(out), got) < got)) r = kFail;
    av_freep(&out[0]);
    av_freep(&out);
    return r;
}

// A content attribute ("Title", "Author", "WM/AlbumTitle" ...), before the output format is set:
// the header is written then. A second value for a name replaces the first.
std::int32_t setAttribute(Writer* w, const char16_t* name, const char16_t* value) {
    if (!name || !*name || !value) return kInvalidArg;
    if (w->format) return kUnexpected;
    return av_dict_set(&w->attributes, utf16ToUtf8(name).c_str(), utf16ToUtf8(value).c_str(), 0) < 0 ? kFail : kOk;
}

std::int32_t setOutputFormat(Writer* w, std::uint32_t bitRate, std::uint32_t sampleRate, std::uint32_t channels,
                             std::uint32_t flags) {
    (void)flags;
    if (kOutputFails) return kInvalidArg;
    if (!w->inChannels || w->encoder) return kUnexpected;
    if (sampleRate != std::uint32_t(kOutputRate) || channels != 2 || bitRate == 0) return kInvalidArg;

    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!codec) return kFail;
    if (avformat_alloc_output_context2(&w->format, nullptr, "asf", nullptr) < 0 || !w->format) return kFail;
    // Only what the caller asked for goes into the header: no attribute naming our muxer.
    w->format->flags |= AVFMT_FLAG_BITEXACT;
    if (av_dict_copy(&w->format->metadata, w->attributes, 0) < 0) return kFail;
    w->encoder = avcodec_alloc_context3(codec);
    w->frame = av_frame_alloc();
    w->packet = av_packet_alloc();
    if (!w->encoder || !w->frame || !w->packet) return kFail;
    w->encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    w->encoder->sample_rate = kOutputRate;
    w->encoder->bit_rate = std::int64_t(bitRate);
    w->encoder->time_base = AVRational{1, kOutputRate};
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (av_channel_layout_copy(&w->encoder->ch_layout, &stereo) < 0) return kFail;
    if (w->format->oformat->flags & AVFMT_GLOBALHEADER) w->encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(w->encoder, codec, nullptr) < 0) return kInvalidArg;
    if (w->encoder->frame_size <= 0) return kFail;

    AVStream* stream = avformat_new_stream(w->format, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, w->encoder) < 0) return kFail;
    stream->time_base = w->encoder->time_base;

    AVChannelLayout inLayout{};
    av_channel_layout_default(&inLayout, w->inChannels);
    const int r = swr_alloc_set_opts2(&w->resampler, &w->encoder->ch_layout, w->encoder->sample_fmt, kOutputRate,
                                      &inLayout, AV_SAMPLE_FMT_S16, w->inRate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    if (r < 0 || swr_init(w->resampler) < 0) return kFail;
    w->fifo = av_audio_fifo_alloc(w->encoder->sample_fmt, 2, w->encoder->frame_size * 2);
    if (!w->fifo) return kFail;

    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kAvioBufferSize));
    if (!buffer) return kFail;
    w->io = avio_alloc_context(buffer, kAvioBufferSize, 1, w, nullptr, writePacket, seekFile);
    if (!w->io) {
        av_free(buffer);
        return kFail;
    }
    w->format->pb = w->io;
    w->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // A header that did not reach the file (a full disk) is reported by the next WriteAudio,
    // with the audio: this call answers for the format alone.
    if (avformat_write_header(w->format, nullptr) < 0 && !w->ioFailed()) return kFail;
    w->headerWritten = true;
    return kOk;
}

std::int32_t writeAudio(Writer* w, const std::uint8_t* pcm, std::uint32_t byteCount) {
    ++w->writeCalls;
    if (kThirdWriteFails && w->writeCalls == 3) return kFail;
    if (!w->headerWritten || w->finished) return kUnexpected;
    if (byteCount == 0) return kOk;
    if (!pcm) return kInvalidArg;
    if (w->ioFailed()) return w->failure();
    // A frame split across calls is completed from the front of this one.
    std::int32_t r = kOk;
    if (!w->partialFrame.empty()) {
        const std::uint32_t take =
            std::min<std::uint32_t>(byteCount, std::uint32_t(w->inBlockAlign) - std::uint32_t(w->partialFrame.size()));
        w->partialFrame.insert(w->partialFrame.end(), pcm, pcm + take);
        pcm += take;
        byteCount -= take;
        if (int(w->partialFrame.size()) == w->inBlockAlign) {
            r = resampleIntoFifo(w, w->partialFrame.data(), 1);
            w->partialFrame.clear();
            if (r < 0) return r;
        }
    }
    const int frames = int(byteCount / std::uint32_t(w->inBlockAlign));
    if (frames > 0) {
        r = resampleIntoFifo(w, pcm, frames);
        if (r < 0) return r;
    }
    const std::uint32_t used = std::uint32_t(frames) * std::uint32_t(w->inBlockAlign);
    w->partialFrame.insert(w->partialFrame.end(), pcm + used, pcm + byteCount);
    return drainFifo(w, false);
}

std::int32_t finish(Writer* w) {
    if (!w->headerWritten) return kUnexpected;
    if (w->finished) return kOk;
    std::int32_t r = resampleIntoFifo(w, nullptr, 0);
    if (r >= 0) r = drainFifo(w, true);
    if (r >= 0) r = encode(w, nullptr);
    if (r >= 0 && av_write_trailer(w->format) < 0) r = w->failure();
    if (r >= 0) {
        avio_flush(w->io);
        if (w->ioFailed()) r = w->failure();
    }
    if (r >= 0 && ::fsync(w->fd) != 0) {
        w->lastErrno = errno;
        r = w->failure();
    }
    if (r < 0) return r;
    const int fd = w->fd;
    w->fd = -1;
    if (::close(fd) != 0) {
        w->lastErrno = errno;
        return w->failure();
    }
    w->finished = true;
    return kOk;
}

const Operations kOperations = {queryInterface,  addRef,       release,    reserved, setInputFormat,
                                setOutputFormat, setAttribute, writeAudio, finish};

}  // namespace

#ifdef WMAUDSDK_OTHER_NAME
#define WMAUDSDK_CREATE WMAudioCreateWriterEx
#else
#define WMAUDSDK_CREATE WMAudioCreateWriter
#endif

// Creates (truncates) the file and returns a writer with one reference.
WMAUDSDK_EXPORT std::int32_t WMAUDSDK_CREATE(const char16_t* utf16FileName, void** writer) {
    if (!writer) return kInvalidArg;
    *writer = nullptr;
    if (!utf16FileName || !*utf16FileName) return kInvalidArg;
    // FFmpeg logs to stderr by default; inside the editor there is no terminal to write to, and
    // every failure reaches the caller as a result.
    av_log_set_level(AV_LOG_QUIET);
    const std::string name = utf16ToUtf8(utf16FileName);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return errno == ENOSPC ? kDiskFull : kFail;
    auto* w = new Writer;
    w->operations = &kOperations;
    w->fd = fd;
    *writer = w;
    return kOk;
}
