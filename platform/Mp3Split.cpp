#include "platform/Mp3Split.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cstring>

#include "platform/Decoder.h"
#include "platform/File.h"

namespace torvane {
namespace {

// What a Layer III frame header says; size 0 for anything else (another layer, free format,
// reserved values).
struct FrameHeader {
    std::uint32_t size = 0;
    std::uint32_t mainData = 0;  // after header, check word and side info
    std::uint32_t key = 0;       // what must not change from frame to frame
    bool lsf = false;            // MPEG-2 or 2.5: one granule of 576 samples
};

FrameHeader parseHeader(const std::uint8_t* p, std::size_t n) {
    FrameHeader f;
    if (n < 4) return f;
    const std::uint32_t h = std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
    const unsigned version = (h >> 19) & 3, layer = (h >> 17) & 3, bitRate = (h >> 12) & 15, rate = (h >> 10) & 3;
    if ((h & 0xFFE00000u) != 0xFFE00000u || version == 1 || layer != 1 || bitRate == 0 || bitRate == 15 || rate == 3)
        return f;
    static const unsigned kRates[3] = {44100, 48000, 32000};
    static const unsigned kKbps[2][15] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
                                          {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
    f.lsf = version != 3;
    const unsigned hz = kRates[rate] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const bool mono = ((h >> 6) & 3) == 3;
    const bool check = ((h >> 16) & 1) == 0;
    f.size = (f.lsf ? 72000 : 144000) * kKbps[f.lsf][bitRate] / hz + ((h >> 9) & 1);
    const std::uint32_t side = f.lsf ? (mono ? 9 : 17) : (mono ? 17 : 32);
    const std::uint32_t overhead = 4 + (check ? 2 : 0) + side;
    f.mainData = f.size > overhead ? f.size - overhead : 0;
    f.key = h & 0xFFFF0CC0u;  // sync, version, layer, check word, rate, channel mode
    return f;
}

// The bytes of a file read in order through one buffer: a range is handed out whole.
class ByteWindow {
public:
    explicit ByteWindow(const File& f) : m_file(f), m_buffer(std::size_t(1) << 20) {}
    // [pos, pos + n), nullptr when the file ends first or cannot be read.
    const std::uint8_t* at(std::uint64_t pos, std::size_t n) {
        if (pos < m_start || pos + n > m_start + m_size) {
            if (n > m_buffer.size()) return nullptr;
            const std::int64_t got = m_file.readSomeAt(pos, m_buffer.data(), m_buffer.size());
            m_start = pos;
            m_size = got < 0 ? 0 : std::size_t(got);
            if (n > m_size) return nullptr;
        }
        return m_buffer.data() + (pos - m_start);
    }

private:
    const File& m_file;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_start = 0;
    std::size_t m_size = 0;
};

struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

}  // namespace

Mp3Split::~Mp3Split() = default;

std::unique_ptr<Mp3Split> Mp3Split::plan(const std::string& utf8Path, unsigned parts,
                                         const std::function<bool()>& stop, const std::vector<std::size_t>& starts) {
    if (parts < 2) return nullptr;
    std::unique_ptr<Mp3Split> s(new Mp3Split);
    s->m_path = utf8Path;
    s->m_decoder = Decoder::open(utf8Path, Decoder::Container::MpegOrWave);
    if (!s->m_decoder || s->m_decoder->container() != "mp3" || s->m_decoder->sourceCodec() != "mp3") return nullptr;
    const File file = File::open(utf8Path, File::Mode::Read);
    if (!file) return nullptr;

    // Every packet the demuxer hands out must be one whole frame of the same stream, lying
    // in the file right after the one before (its bytes compared with the file's): then a part
    // can read its packets from the file itself. Only the last may be a frame cut short.
    ByteWindow window(file);
    const PacketPtr packet(av_packet_alloc());
    if (!packet) return nullptr;
    std::uint32_t key = 0;
    bool lsf = false, cutShort = false;
    while (s->m_decoder->nextPacket(packet.get())) {
        const std::size_t frame = s->m_mainData.size();
        const FrameHeader h = parseHeader(packet->data, std::size_t(packet->size));
        const std::uint64_t pos = std::uint64_t(packet->pos);
        const std::uint8_t* bytes = packet->pos >= 0 ? window.at(pos, std::size_t(packet->size)) : nullptr;
        const bool fits = h.size != 0 && (frame == 0 || (h.key == key && pos == s->m_pos.back())) && !cutShort &&
                          std::uint32_t(packet->size) <= h.size && bytes &&
                          std::memcmp(bytes, packet->data, std::size_t(packet->size)) == 0;
        if (!fits || (frame % 4096 == 0 && stop && stop())) return nullptr;
        cutShort = std::uint32_t(packet->size) < h.size;
        key = h.key;
        lsf = h.lsf;
        if (frame == 0) s->m_pos.push_back(pos);
        s->m_pos.push_back(pos + std::uint64_t(packet->size));
        s->m_mainData.push_back(h.mainData);
        for (int i = 0; i < packet->side_data_elems; ++i) {
            const AVPacketSideData& d = packet->side_data[i];
            s->m_side.push_back({frame, int(d.type), std::vector<std::uint8_t>(d.data, d.data + d.size)});
        }
        av_packet_unref(packet.get());
    }
    const std::size_t frames = s->m_mainData.size();
    if (frames < 2) return nullptr;

    const std::uint64_t samplesPerFrame = lsf ? 576 : 1152;
    s->m_frameBytes = samplesPerFrame * s->m_decoder->channels() * 2;
    // The start skip rides on the first packet and is taken from the first frames decoded:
    // the first part must give something past it. Any other side data (the end trim) belongs
    // to frames of the last part.
    std::uint64_t skip = 0;
    std::size_t firstSide = frames;
    for (const SideData& d : s->m_side) {
        if (d.frame == 0 && d.type == AV_PKT_DATA_SKIP_SAMPLES && d.bytes.size() >= 4)
            skip = std::uint64_t(d.bytes[0]) | std::uint64_t(d.bytes[1]) << 8 | std::uint64_t(d.bytes[2]) << 16 |
                   std::uint64_t(d.bytes[3]) << 24;
        if (d.frame > 0) firstSide = std::min(firstSide, d.frame);
    }
    std::vector<std::size_t> cuts = starts;
    if (cuts.empty())
        for (unsigned k = 1; k < parts; ++k) cuts.push_back(frames * k / parts);
    std::size_t previous = std::size_t(skip / samplesPerFrame);  // the first part's frames at least
    s->m_parts.push_back({0, 0, 0, 0});
    for (const std::size_t b : cuts) {
        if (b <= previous || b > firstSide || b >= frames) continue;
        // The frames before b - 2 carry at least 512 bytes of frame data, so that frames b - 2
        // and b - 1 decode whole and b starts with the state of a decode from the start; one
        // more frame for good measure. From the first frame on, the state is the same anyway.
        std::size_t warm = b >= 3 ? b - 3 : 0;
        for (std::uint64_t data = 0; warm > 0 && data < 512; --warm) data += s->m_mainData[warm];
        s->m_parts.back().end = b;
        s->m_parts.push_back({warm, b, 0, 0});
        previous = b;
    }
    s->m_parts.back().end = frames;
    if (s->m_parts.size() < 2) return nullptr;
    for (std::size_t k = 1; k < s->m_parts.size(); ++k) {
        const Part& p = s->m_parts[k - 1];
        std::uint64_t samples = (p.end - p.first) * samplesPerFrame;
        if (k == 1) samples -= skip;
        s->m_parts[k].offset = p.offset + samples * (s->m_frameBytes / samplesPerFrame);
    }
    const Part& last = s->m_parts.back();
    s->m_total = last.offset + (last.end - last.first) * s->m_frameBytes;
    return s;
}

Mp3Split::PartEnd Mp3Split::decodePart(std::size_t k, const Sink& sink, const std::atomic<bool>& stop) const {
    const Part& part = m_parts[k];
    const bool last = k + 1 == m_parts.size();
    const std::uint64_t share = last ? 0 : m_parts[k + 1].offset - part.offset;
    const std::unique_ptr<Decoder> dec = m_decoder->fedTwin();
    const File file = File::open(m_path, File::Mode::Read);
    const PacketPtr packet(av_packet_alloc());
    if (!dec || !file || !packet) return PartEnd::Diverged;
    ByteWindow window(file);
    auto side = std::lower_bound(m_side.begin(), m_side.end(), part.first,
                                 [](const SideData& d, std::size_t frame) { return d.frame < frame; });
    std::vector<std::uint8_t> out;
    std::uint64_t given = 0;
    for (std::size_t i = part.warm; i < part.end; ++i) {
        if (i % 64 == 0 && stop.load(std::memory_order_relaxed)) return PartEnd::Stopped;
        const std::size_t size = std::size_t(m_pos[i + 1] - m_pos[i]);
        const std::uint8_t* bytes = window.at(m_pos[i], size);
        if (!bytes || av_new_packet(packet.get(), int(size)) < 0) return PartEnd::Diverged;
        std::memcpy(packet->data, bytes, size);
        // The frames decoded only to fill the decoder's state go without side data: the start
        // skip belongs to the first part's samples.
        for (; i >= part.first && side != m_side.end() && side->frame == i; ++side) {
            std::uint8_t* to = av_packet_new_side_data(packet.get(), AVPacketSideDataType(side->type), side->bytes.size());
            if (!to) return PartEnd::Diverged;
            std::memcpy(to, side->bytes.data(), side->bytes.size());
        }
        out.clear();
        const int frames = dec->decodePacket(packet.get(), out);
        av_packet_unref(packet.get());
        if (frames < 0) return PartEnd::Diverged;
        if (i < part.first) {
            if (frames != 1 || out.size() != m_frameBytes) return PartEnd::Diverged;
            continue;
        }
        given += out.size();
        if (!last && given > share) return PartEnd::Diverged;
        if (!out.empty() && !sink(out.data(), out.size())) return PartEnd::SinkFailed;
    }
    if (last) {
        out.clear();
        if (dec->decodePacket(nullptr, out) < 0) return PartEnd::Diverged;
        if (!out.empty() && !sink(out.data(), out.size())) return PartEnd::SinkFailed;
    }
    return last || given == share ? PartEnd::Done : PartEnd::Diverged;
}

}  // namespace torvane
