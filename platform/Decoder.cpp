#include "platform/Decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/FileIo.h"

namespace torvane {
namespace {

// What each creation call accepts, by demuxer name: the formats the engine's original
// file stream opens, so a file that is something else entirely is refused at creation.
bool containerAccepted(const char* name, Decoder::Container c) {
    const std::string n = name ? name : "";
    if (c == Decoder::Container::Asf) return n == "asf";
    static const std::set<std::string> engine = {"mp3", "wav", "ogg", "aiff"};
    static const std::set<std::string> other = {"wav", "w64", "aiff", "flac", "ogg", "aac", "mov,mp4,m4a,3gp,3g2,mj2"};
    return (c == Decoder::Container::Other ? other : engine).count(n) != 0;
}

// Bits per sample as stored, for a PCM or lossless codec; 0 for a lossy one.
int storedBits(const AVCodecParameters& p, bool lossless) {
    if (!lossless) return 0;
    if (const int pcm = av_get_bits_per_sample(p.codec_id); pcm > 0) return pcm;
    return p.bits_per_raw_sample > 0 ? p.bits_per_raw_sample : p.bits_per_coded_sample;
}

// A layout with a known order as it is; an unspecified one as the default for its count.
void normalisedLayout(const AVChannelLayout& in, AVChannelLayout& out) {
    if (in.order == AV_CHANNEL_ORDER_UNSPEC || in.nb_channels <= 0)
        av_channel_layout_default(&out, std::max(in.nb_channels, 1));
    else
        av_channel_layout_copy(&out, &in);
}

std::uint64_t maskOf(const AVChannelLayout& l) {
    return l.order == AV_CHANNEL_ORDER_NATIVE ? l.u.mask : 0;
}

}  // namespace

bool Decoder::openCodec(const AVCodec* codec, const AVCodecParameters* parameters, AVRational timeBase,
                        Container container) {
    m_kind = container;
    m_codec = avcodec_alloc_context3(codec);
    if (!m_codec || avcodec_parameters_to_context(m_codec, parameters) < 0) return false;
    m_codec->pkt_timebase = timeBase;
    // Codecs that decode frames in parallel (FLAC among them) use every core: the samples are
    // the same as from one thread. The engine's streams stay as they were.
    if (container == Container::Other) m_codec->thread_count = 0;
    if (avcodec_open2(m_codec, codec, nullptr) < 0) return false;

    const AVCodecDescriptor* desc = avcodec_descriptor_get(parameters->codec_id);
    m_lossless = desc && (desc->props & AV_CODEC_PROP_LOSSLESS);
    m_sourceCodec = avcodec_get_name(parameters->codec_id);
    m_sourceBits = storedBits(*parameters, m_lossless);
    m_sourceRate = m_codec->sample_rate;
    m_sourceChannels = m_codec->ch_layout.nb_channels;

    const int inChannels = m_codec->ch_layout.nb_channels;
    if (inChannels <= 0 || m_codec->sample_rate <= 0) return false;
    m_rate = unsigned(m_codec->sample_rate);
    m_channels = inChannels == 1 ? 1 : 2;
    if (!configure(m_codec->sample_rate, m_codec->ch_layout, m_codec->sample_fmt)) return false;

    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    return m_packet && m_frame;
}

std::unique_ptr<Decoder> Decoder::open(const std::string& utf8Path, Container container, bool dither) {
    std::unique_ptr<Decoder> d(new Decoder);
    d->m_dither = dither;
    const std::int64_t size = torvane::fileSize(utf8Path);
    if (size <= 0) return nullptr;
    d->m_fileSize = std::uint64_t(size);

    av_log_set_level(AV_LOG_QUIET);
    if (avformat_open_input(&d->m_format, utf8Path.c_str(), nullptr, nullptr) < 0) {
        d->m_format = nullptr;
        return nullptr;
    }
    if (!containerAccepted(d->m_format->iformat->name, container)) return nullptr;
    d->m_container = d->m_format->iformat->name;
    if (avformat_find_stream_info(d->m_format, nullptr) < 0) return nullptr;

    const AVCodec* codec = nullptr;
    d->m_streamIndex = av_find_best_stream(d->m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (d->m_streamIndex < 0 || !codec) return nullptr;
    AVStream* st = d->m_format->streams[d->m_streamIndex];
    if (!d->openCodec(codec, st->codecpar, st->time_base, container)) return nullptr;

    double seconds = 0;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        seconds = double(st->duration) * av_q2d(st->time_base);
    else if (d->m_format->duration != AV_NOPTS_VALUE && d->m_format->duration > 0)
        seconds = double(d->m_format->duration) / AV_TIME_BASE;
    d->m_expectedBytes = std::uint64_t(seconds * d->m_rate) * d->m_channels * 2;
    return d;
}

Decoder::~Decoder() {
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    swr_free(&m_swr);
    avcodec_free_context(&m_codec);
    if (m_format) avformat_close_input(&m_format);
}

bool Decoder::configure(int inRate, const AVChannelLayout& layout, int inFormat) {
    if (inRate <= 0 || layout.nb_channels <= 0 || inFormat < 0) return false;
    if (m_swr) {
        if (!convert(nullptr)) return false;  // the old converter's tail belongs before the change
        swr_free(&m_swr);
    }
    AVChannelLayout inLayout{};  // a copy into it first clears it: it must start empty
    normalisedLayout(layout, inLayout);
    AVChannelLayout outLayout{};
    av_channel_layout_default(&outLayout, int(m_channels));
    int rc = swr_alloc_set_opts2(&m_swr, &outLayout, AV_SAMPLE_FMT_S16, int(m_rate), &inLayout,
                                 AVSampleFormat(inFormat), inRate, 0, nullptr);
    const int inChannels = inLayout.nb_channels;
    m_inMask = maskOf(inLayout);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0) return false;
    // Between mono and stereo the mix is plain: a mono part of a stereo document sounds on both
    // sides at its own level, a stereo part of a mono document is the mean of its two sides.
    if (inChannels == 1 && m_channels == 2) {
        const double matrix[2] = {1.0, 1.0};
        if (swr_set_matrix(m_swr, matrix, 1) < 0) return false;
    } else if (inChannels == 2 && m_channels == 1) {
        const double matrix[2] = {0.5, 0.5};
        if (swr_set_matrix(m_swr, matrix, 2) < 0) return false;
    }
    // TPDF dither only where there is something below the 16th bit to spread: an input of
    // 16 bits or fewer stays exact.
    if (m_dither && av_get_bytes_per_sample(AVSampleFormat(inFormat)) > 2 &&
        av_opt_set_int(m_swr, "dither_method", SWR_DITHER_TRIANGULAR, 0) < 0)
        return false;
    if (swr_init(m_swr) < 0) return false;
    m_inRate = inRate;
    m_inFormat = inFormat;
    m_inChannels = inChannels;
    return true;
}

bool Decoder::convert(const AVFrame* frame) {
    if (frame) {
        const AVChannelLayout& l = frame->ch_layout;
        const int channels = l.nb_channels;
        const std::uint64_t mask =
            l.order == AV_CHANNEL_ORDER_UNSPEC ? 0 : maskOf(l);
        if (frame->sample_rate != m_inRate || frame->format != m_inFormat || channels != m_inChannels ||
            (mask != 0 && m_inMask != 0 && mask != m_inMask)) {
            if (!configure(frame->sample_rate, l, frame->format)) return false;
        }
    }
    if (!m_swr) return false;
    const int outMax = swr_get_out_samples(m_swr, frame ? frame->nb_samples : 0);
    if (outMax <= 0) return true;
    const size_t frameBytes = size_t(m_channels) * 2;
    const size_t old = m_pending.size();
    m_pending.resize(old + size_t(outMax) * frameBytes);
    uint8_t* out = m_pending.data() + old;
    const int n = swr_convert(m_swr, &out, outMax, frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                              frame ? frame->nb_samples : 0);
    m_pending.resize(old + size_t(std::max(n, 0)) * frameBytes);
    return n >= 0;
}

bool Decoder::decodeMore() {
    // Compact what has been handed out already.
    if (m_pendingPos > 0) {
        m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(m_pendingPos));
        m_pendingPos = 0;
    }
    for (;;) {
        int rc = avcodec_receive_frame(m_codec, m_frame);
        if (rc == 0) {
            bool ok = convert(m_frame);
            av_frame_unref(m_frame);
            if (!ok) return false;
            if (!m_pending.empty()) return true;
            continue;
        }
        if (rc == AVERROR_EOF) {
            convert(nullptr);  // whatever the converter still holds
            return false;
        }
        if (rc != AVERROR(EAGAIN)) return false;
        if (m_demuxEnded) return false;

        rc = av_read_frame(m_format, m_packet);
        if (rc < 0) {
            m_demuxEnded = true;
            avcodec_send_packet(m_codec, nullptr);  // drain
            continue;
        }
        if (m_packet->stream_index == m_streamIndex) {
            // A damaged packet is skipped; the decoder carries on with the next one.
            avcodec_send_packet(m_codec, m_packet);
        }
        av_packet_unref(m_packet);
    }
}

std::uint32_t Decoder::read(void* buffer, std::uint32_t length) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t done = 0;
    while (done < length) {
        if (m_pendingPos >= m_pending.size()) {
            if (m_ended) break;
            if (!decodeMore()) m_ended = true;
            if (m_pendingPos >= m_pending.size()) continue;
        }
        const size_t n = std::min<size_t>(length - done, m_pending.size() - m_pendingPos);
        std::memcpy(out + done, m_pending.data() + m_pendingPos, n);
        m_pendingPos += n;
        done += std::uint32_t(n);
    }
    m_delivered += done;
    return done;
}

bool Decoder::nextPacket(AVPacket* packet) {
    for (;;) {
        if (av_read_frame(m_format, packet) < 0) return false;
        if (packet->stream_index == m_streamIndex) return true;
        av_packet_unref(packet);
    }
}

std::unique_ptr<Decoder> Decoder::fedTwin() const {
    if (!m_format || m_streamIndex < 0) return nullptr;
    std::unique_ptr<Decoder> d(new Decoder);
    d->m_dither = m_dither;
    const AVStream* st = m_format->streams[m_streamIndex];
    if (!d->openCodec(m_codec->codec, st->codecpar, st->time_base, m_kind)) return nullptr;
    return d;
}

int Decoder::decodePacket(const AVPacket* packet, std::vector<std::uint8_t>& out) {
    m_pending.swap(out);
    int frames = 0;
    bool ok = true;
    // A damaged packet gives no frame, as in read().
    avcodec_send_packet(m_codec, packet);
    while (ok && avcodec_receive_frame(m_codec, m_frame) == 0) {
        ++frames;
        ok = convert(m_frame);
        av_frame_unref(m_frame);
    }
    if (ok && !packet) ok = convert(nullptr);  // whatever the converter still holds
    m_pending.swap(out);
    return ok ? frames : -1;
}

}  // namespace torvane
