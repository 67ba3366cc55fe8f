#include "codec/FfmpegFileEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/base64.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "doc/SourceInfo.h"
#include "platform/File.h"

namespace torvane {

namespace {

#if LIBAVFORMAT_VERSION_MAJOR >= 61
using IoBuffer = const std::uint8_t*;
#else
using IoBuffer = std::uint8_t*;
#endif

constexpr int kIoBytes = 1 << 16;
// Samples per channel the save body hands over at a time, about: a whole number of codec frames.
constexpr int kChunkFrames = 16384;
// A FLAC picture block's length is a 24-bit field; a cover beyond it is left out.
constexpr std::size_t kMaxCoverBytes = (std::size_t(1) << 24) - 1024;

std::uint32_t be16(const unsigned char* p) { return std::uint32_t(p[0]) << 8 | p[1]; }
std::uint32_t be32(const unsigned char* p) { return be16(p) << 16 | be16(p + 2); }

// An image's kind and size as its own header tells them; no codec for kinds not written.
struct Picture {
    AVCodecID codec = AV_CODEC_ID_NONE;
    const char* mime = "";
    std::uint32_t width = 0, height = 0;
};

// By the bytes rather than the MIME type the source claimed: a mislabelled cover still goes in
// as what it is.
Picture pictureOf(const std::vector<unsigned char>& b) {
    Picture p;
    if (b.size() >= 24 && std::memcmp(b.data(), "\x89PNG\r\n\x1a\n", 8) == 0) {
        p = {AV_CODEC_ID_PNG, "image/png", be32(&b[16]), be32(&b[20])};
    } else if (b.size() >= 4 && b[0] == 0xFF && b[1] == 0xD8) {
        p = {AV_CODEC_ID_MJPEG, "image/jpeg"};
        // The size is in the first start-of-frame segment (any SOFn but DHT, JPG and DAC).
        std::size_t at = 2;
        while (at + 9 <= b.size() && b[at] == 0xFF) {
            const unsigned marker = b[at + 1];
            if (marker == 0xFF) {
                ++at;  // a fill byte
                continue;
            }
            if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
                p.height = be16(&b[at + 5]);
                p.width = be16(&b[at + 7]);
                break;
            }
            at += 2 + be16(&b[at + 2]);
        }
    }
    return p;
}

// A FLAC picture block's body, the form an Ogg stream carries base64-encoded in a comment.
std::string pictureBlock(const Picture& p, const std::vector<unsigned char>& data) {
    std::string s;
    auto put32 = [&s](std::uint32_t v) {
        for (int i = 3; i >= 0; --i) s.push_back(char(v >> (8 * i)));
    };
    put32(3);  // the front cover
    put32(std::uint32_t(std::strlen(p.mime)));
    s += p.mime;
    put32(0);  // no description
    put32(p.width);
    put32(p.height);
    put32(0);  // colour depth and palette size: not known
    put32(0);
    put32(std::uint32_t(data.size()));
    s.append(data.begin(), data.end());
    return s;
}

// The text tags as Vorbis comment fields. The comment goes in as DESCRIPTION: the usual Vorbis
// field for it, and the one FFmpeg-based readers report as "comment".
void putTextTags(AVDictionary** to, const SourceTags& t) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"TITLE", &t.title},         {"ARTIST", &t.artist}, {"ALBUM", &t.album},         {"DATE", &t.year},
        {"TRACKNUMBER", &t.track}, {"GENRE", &t.genre},   {"DESCRIPTION", &t.comment}};
    for (const auto& [key, value] : fields)
        if (!value->empty()) av_dict_set(to, key, value->c_str(), 0);
}

}  // namespace

struct FfmpegFileEncoder::Impl {
    File* out = nullptr;
    std::uint64_t position = 0;
    bool writeFailed = false;
    int writeError = 0;
    const char* name = "";

    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* audio = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    bool streaming = false;

    int channels = 0;
    int frameSize = 0;
    bool padLastFrame = false;
    std::vector<std::int16_t> pending;  // samples short of a whole codec frame
    std::int64_t nextPts = 0;

    ~Impl() { release(); }

    void release() {
        avcodec_free_context(&codec);
        av_frame_free(&frame);
        av_packet_free(&packet);
        if (format) avformat_free_context(format);  // the I/O context is ours to free
        format = nullptr;
        audio = nullptr;
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        streaming = false;
    }

    // What went wrong: the file could not be written, or else the encoder failed.
    Outcome failure() const {
        if (writeFailed) return Outcome::failed(MessageId::SaveWriteFailed).because(writeError);
        return Outcome::failed(MessageId::SaveEncoderFailed, name);
    }

    static int writeBytes(void* opaque, IoBuffer buffer, int size) {
        auto* m = static_cast<Impl*>(opaque);
        if (m->writeFailed) return AVERROR(EIO);
        errno = 0;
        if (!m->out->writeAt(m->position, buffer, std::size_t(size))) {
            m->writeFailed = true;
            m->writeError = errno ? errno : EIO;
            return AVERROR(m->writeError);
        }
        m->position += std::uint64_t(size);
        return size;
    }

    static std::int64_t seekTo(void* opaque, std::int64_t offset, int whence) {
        auto* m = static_cast<Impl*>(opaque);
        whence &= ~AVSEEK_FORCE;
        const std::int64_t size = m->out->size();
        if (whence == AVSEEK_SIZE) return size < 0 ? AVERROR(EIO) : size;
        std::int64_t to = offset;
        if (whence == SEEK_CUR) to += std::int64_t(m->position);
        else if (whence == SEEK_END) to += size;
        else if (whence != SEEK_SET) return AVERROR(EINVAL);
        if (to < 0 || (whence == SEEK_END && size < 0)) return AVERROR(EINVAL);
        m->position = std::uint64_t(to);
        return to;
    }

    static AVSampleFormat sampleFormatFor(const AVCodec* encoder) {
        bool flt = false, fltp = false;
        for (const AVSampleFormat* f = encoder->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) {
            if (*f == AV_SAMPLE_FMT_S16) return AV_SAMPLE_FMT_S16;
            fltp = fltp || *f == AV_SAMPLE_FMT_FLTP;
            flt = flt || *f == AV_SAMPLE_FMT_FLT;
        }
        return fltp ? AV_SAMPLE_FMT_FLTP : flt ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_NONE;
    }

    // libvorbis takes an average bit rate only within the range of its tuning for the sample
    // rate and channel count: the one asked for is tried first, then others ever further
    // from it, below and above in turn, in 5% steps.
    bool openCodec(const AVCodec* encoder, const EncoderSettings& s) {
        const AVSampleFormat sampleFormat = sampleFormatFor(encoder);
        if (sampleFormat == AV_SAMPLE_FMT_NONE) return false;
        const bool averageRate = std::strcmp(encoder->name, "libvorbis") == 0;
        const int attempts = averageRate ? 129 : 1;
        double lower = double(s.bitRate), higher = double(s.bitRate);
        for (int k = 0; k < attempts; ++k) {
            double rate = double(s.bitRate);
            if (k % 2 == 1) rate = lower *= 0.95;
            else if (k > 0) rate = higher /= 0.95;
            avcodec_free_context(&codec);
            codec = avcodec_alloc_context3(encoder);
            if (!codec) return false;
            codec->sample_rate = s.sampleRate;
            codec->sample_fmt = sampleFormat;
            av_channel_layout_default(&codec->ch_layout, s.channels);
            codec->time_base = AVRational{1, s.sampleRate};
            codec->flags |= AV_CODEC_FLAG_BITEXACT;
            if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            codec->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;  // FFmpeg's own Vorbis, where it is the one
            if (averageRate) codec->bit_rate = std::int64_t(rate);
            if (avcodec_open2(codec, encoder, nullptr) >= 0) return true;
        }
        return false;
    }

    // Every packet the encoder has ready, into the file.
    bool drain() {
        for (;;) {
            const int r = avcodec_receive_packet(codec, packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
            if (r < 0) return false;
            packet->stream_index = audio->index;
            av_packet_rescale_ts(packet, codec->time_base, audio->time_base);
            const int written = av_write_frame(format, packet);
            av_packet_unref(packet);
            if (written < 0 || writeFailed) return false;
        }
    }

    bool encode(const std::int16_t* samples, int frames) {
        av_frame_unref(frame);
        frame->nb_samples = frames;
        frame->format = codec->sample_fmt;
        frame->sample_rate = codec->sample_rate;
        if (av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout) < 0 || av_frame_get_buffer(frame, 0) < 0)
            return false;
        const std::size_t count = std::size_t(frames) * std::size_t(channels);
        if (codec->sample_fmt == AV_SAMPLE_FMT_S16) {
            std::memcpy(frame->data[0], samples, count * sizeof(std::int16_t));
        } else if (codec->sample_fmt == AV_SAMPLE_FMT_FLT) {
            auto* to = reinterpret_cast<float*>(frame->data[0]);
            for (std::size_t i = 0; i < count; ++i) to[i] = float(samples[i]) / 32768.0f;
        } else {
            for (int c = 0; c < channels; ++c) {
                auto* to = reinterpret_cast<float*>(frame->extended_data[c]);
                for (int i = 0; i < frames; ++i) to[i] = float(samples[std::size_t(i) * channels + c]) / 32768.0f;
            }
        }
        frame->pts = nextPts;
        nextPts += frames;
        return avcodec_send_frame(codec, frame) >= 0 && drain();
    }

    bool addCover(const EncoderSettings& s, AVStream*& pictureStream) {
        const std::vector<unsigned char>& bytes = *s.tags->cover;
        const Picture p = pictureOf(bytes);
        if (p.codec == AV_CODEC_ID_NONE || bytes.size() > kMaxCoverBytes) return true;
        if (s.format == EncodedFormat::Vorbis) {
            const std::string block = pictureBlock(p, bytes);
            std::string text(AV_BASE64_SIZE(block.size()), '\0');
            if (!av_base64_encode(text.data(), int(text.size()), reinterpret_cast<const std::uint8_t*>(block.data()),
                                  int(block.size())))
                return false;
            return av_dict_set(&audio->metadata, "METADATA_BLOCK_PICTURE", text.c_str(), 0) >= 0;
        }
        // The FLAC muxer takes the cover as an attached picture: a one-packet video stream.
        pictureStream = avformat_new_stream(format, nullptr);
        if (!pictureStream) return false;
        pictureStream->disposition = AV_DISPOSITION_ATTACHED_PIC;
        pictureStream->time_base = AVRational{1, 90000};
        pictureStream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        pictureStream->codecpar->codec_id = p.codec;
        pictureStream->codecpar->width = int(p.width);
        pictureStream->codecpar->height = int(p.height);
        return av_dict_set(&pictureStream->metadata, "comment", "Cover (front)", 0) >= 0;
    }

    bool writeCover(const EncoderSettings& s, AVStream* pictureStream) {
        const std::vector<unsigned char>& bytes = *s.tags->cover;
        if (av_new_packet(packet, int(bytes.size())) < 0) return false;
        std::memcpy(packet->data, bytes.data(), bytes.size());
        packet->stream_index = pictureStream->index;
        packet->flags |= AV_PKT_FLAG_KEY;
        packet->pts = packet->dts = 0;
        const int written = av_write_frame(format, packet);
        av_packet_unref(packet);
        return written >= 0 && !writeFailed;
    }

    Outcome start(const EncoderSettings& s) {
        name = s.format == EncodedFormat::Flac ? "FLAC" : "Vorbis";
        av_log_set_level(AV_LOG_QUIET);
        const AVCodec* encoder = s.format == EncodedFormat::Flac ? avcodec_find_encoder(AV_CODEC_ID_FLAC)
                                                                 : avcodec_find_encoder_by_name("libvorbis");
        if (!encoder && s.format == EncodedFormat::Vorbis) encoder = avcodec_find_encoder(AV_CODEC_ID_VORBIS);
        if (!encoder || s.sampleRate <= 0 || s.channels <= 0 ||
            avformat_alloc_output_context2(&format, nullptr, s.format == EncodedFormat::Flac ? "flac" : "ogg",
                                           nullptr) < 0 ||
            !openCodec(encoder, s))
            return failure();
        // No library version in the file, and the same bytes for the same audio every time.
        format->flags |= AVFMT_FLAG_BITEXACT;
        auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBytes));
        if (!buffer) return failure();
        io = avio_alloc_context(buffer, kIoBytes, 1, this, nullptr, &Impl::writeBytes, &Impl::seekTo);
        if (!io) {
            av_free(buffer);
            return failure();
        }
        format->pb = io;
        audio = avformat_new_stream(format, nullptr);
        if (!audio || avcodec_parameters_from_context(audio->codecpar, codec) < 0) return failure();
        audio->time_base = codec->time_base;

        AVStream* pictureStream = nullptr;
        if (s.tags && !s.tags->empty()) {
            // FLAC keeps one comment block for the file; Ogg one comment header per stream.
            putTextTags(s.format == EncodedFormat::Flac ? &format->metadata : &audio->metadata, *s.tags);
            if (s.tags->hasCover() && !addCover(s, pictureStream)) return failure();
        }
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (!frame || !packet || avformat_write_header(format, nullptr) < 0) return failure();
        if (pictureStream && !writeCover(s, pictureStream)) return failure();

        channels = s.channels;
        const bool anySize = codec->frame_size <= 0 ||
                             (encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
        frameSize = anySize ? 4096 : codec->frame_size;
        padLastFrame = !anySize && (encoder->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) == 0;
        streaming = true;
        return Outcome::done();
    }

    bool encodeWholeFrames() {
        const std::size_t perFrame = std::size_t(frameSize) * std::size_t(channels);
        std::size_t at = 0;
        for (; pending.size() - at >= perFrame; at += perFrame)
            if (!encode(pending.data() + at, frameSize)) return false;
        pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(at));
        return true;
    }
};

FfmpegFileEncoder::FfmpegFileEncoder() : m(std::make_unique<Impl>()) {}

FfmpegFileEncoder::~FfmpegFileEncoder() = default;

Outcome FfmpegFileEncoder::start(File& out, const EncoderSettings& settings) {
    m = std::make_unique<Impl>();
    m->out = &out;
    Outcome r = m->start(settings);
    if (r.ok()) return r;
    m->release();
    return std::move(r).encoderDidNotStart();
}

int FfmpegFileEncoder::chunkBytes() const {
    if (!m->streaming) return 0;
    const int frames = m->frameSize * std::max(1, kChunkFrames / m->frameSize);
    return frames * m->channels * 2;
}

Outcome FfmpegFileEncoder::write(const void* pcm, std::uint32_t byteCount) {
    if (!m->streaming) return m->failure();
    const auto* bytes = static_cast<const unsigned char*>(pcm);
    const std::size_t had = m->pending.size(), count = byteCount / 2;
    m->pending.resize(had + count);
    for (std::size_t i = 0; i < count; ++i)
        m->pending[had + i] = std::int16_t(std::uint16_t(bytes[2 * i] | bytes[2 * i + 1] << 8));
    return m->encodeWholeFrames() ? Outcome::done() : m->failure();
}

Outcome FfmpegFileEncoder::finish() {
    if (!m->streaming) return m->failure();
    bool ok = m->encodeWholeFrames();
    // The last frame is short (or padded with silence for an encoder that needs whole ones);
    // a part of one sample frame is dropped.
    const int frames = int(m->pending.size() / std::size_t(m->channels));
    if (ok && frames > 0) {
        if (m->padLastFrame) m->pending.resize(std::size_t(m->frameSize) * std::size_t(m->channels), 0);
        ok = m->encode(m->pending.data(), m->padLastFrame ? m->frameSize : frames);
    }
    m->pending.clear();
    ok = ok && avcodec_send_frame(m->codec, nullptr) >= 0 && m->drain();
    // The trailer completes the headers (FLAC's stream length and checksum, written back at
    // the start of the file).
    ok = ok && av_write_trailer(m->format) >= 0;
    if (ok) avio_flush(m->io);
    ok = ok && m->io->error >= 0 && !m->writeFailed;
    Outcome r = ok ? Outcome::done() : m->failure();
    m->release();
    return r;
}

}  // namespace torvane
