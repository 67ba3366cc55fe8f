#pragma once
// A decode-only source: a compressed file turned into 16-bit interleaved PCM at its own
// rate, mono kept mono, more than two channels mixed down to stereo. The rate and channel
// count are those of the first frame; a stream that changes either part-way (two files joined
// with cat, a chained Ogg) has the rest converted to them, so it never plays at a wrong speed.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct SwrContext;
struct AVPacket;
struct AVFrame;
struct AVChannelLayout;
struct AVCodec;
struct AVCodecParameters;
struct AVRational;

namespace torvane {

class Decoder {
public:
    // MpegOrWave and Asf are the engine's two decode streams; Other takes the formats the
    // editor opens beyond them (wide and float WAV, RF64, AIFF, FLAC, Ogg, Opus, MP4 audio).
    enum class Container { MpegOrWave, Asf, Other };

    // nullptr when the file cannot be opened or holds no decodable audio of that kind. With
    // `dither`, samples of more than 16 bits (integer or float) are reduced to 16 with TPDF
    // dither; without it they are rounded as the engine's streams always were.
    static std::unique_ptr<Decoder> open(const std::string& utf8Path, Container container, bool dither = false);
    ~Decoder();

    unsigned rate() const { return m_rate; }
    unsigned channels() const { return m_channels; }
    std::uint64_t expectedBytes() const { return m_expectedBytes; }
    std::uint64_t fileSize() const { return m_fileSize; }
    std::uint64_t delivered() const { return m_delivered; }
    // The source as it is stored: codec name, bits per sample (0 for a lossy codec), rate,
    // channel count before any mix-down, and whether the codec is lossless.
    const std::string& sourceCodec() const { return m_sourceCodec; }
    int sourceBits() const { return m_sourceBits; }
    int sourceRate() const { return m_sourceRate; }
    int sourceChannels() const { return m_sourceChannels; }
    bool lossless() const { return m_lossless; }
    // The demuxer's name ("wav", "flac", "ogg" ...).
    const std::string& container() const { return m_container; }
    // True while more data may come.
    bool active() const { return !m_ended || m_pendingPos < m_pending.size(); }

    // Places up to `length` bytes; returns how many (0 at the end).
    std::uint32_t read(void* buffer, std::uint32_t length);

    // For a caller that cuts the stream itself (and then never calls read()): the next packet of
    // the audio stream as the demuxer hands it out; false at the end of the file.
    bool nextPacket(AVPacket* packet);
    // A decoder of the same stream with the same conversion, fed packets by its caller.
    std::unique_ptr<Decoder> fedTwin() const;
    // Decodes one packet (nullptr: the end of the stream) and appends the samples, converted as
    // read() gives them, to `out`; returns the number of frames the codec gave, -1 on a failure
    // of the conversion.
    int decodePacket(const AVPacket* packet, std::vector<std::uint8_t>& out);

private:
    Decoder() = default;
    bool openCodec(const AVCodec* codec, const AVCodecParameters* parameters, AVRational timeBase, Container container);
    bool decodeMore();  // appends to m_pending; false at the end of the data
    bool convert(const AVFrame* frame);
    // Sets the converter up for input of this rate, layout and sample format; what the old
    // converter still holds is flushed into m_pending first.
    bool configure(int inRate, const AVChannelLayout& inLayout, int inFormat);

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    SwrContext* m_swr = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    int m_streamIndex = -1;
    Container m_kind = Container::MpegOrWave;
    unsigned m_rate = 0;
    unsigned m_channels = 0;
    std::string m_sourceCodec, m_container;
    int m_sourceBits = 0, m_sourceRate = 0, m_sourceChannels = 0;
    bool m_lossless = false;
    bool m_dither = false;
    int m_inRate = 0;          // what the converter is set up for
    int m_inFormat = -1;
    int m_inChannels = 0;
    std::uint64_t m_inMask = 0;  // 0 for a layout without a channel mask
    std::uint64_t m_expectedBytes = 0;
    std::uint64_t m_fileSize = 0;
    std::uint64_t m_delivered = 0;
    bool m_demuxEnded = false;
    bool m_ended = false;
    std::vector<std::uint8_t> m_pending;
    size_t m_pendingPos = 0;
};

}  // namespace torvane
