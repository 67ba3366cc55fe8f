#pragma once
// FfmpegFileEncoder: FLAC and Ogg Vorbis output through the FFmpeg libraries the program is
// linked with. It writes through the save's own temporary file (its descriptor, not a name), so
// every destination a save can reach (a FIFO, a device, standard output) works as for WAV.
// The output is reproducible and names no library version: the same document gives the same
// bytes. Tags go into the stream's Vorbis comments; a FLAC file also gets the front cover as a
// picture block, an Ogg file as the base64 picture comment players read.

#include <cstdint>
#include <memory>

#include "codec/FileEncoder.h"

namespace torvane {

class File;
struct SourceTags;

enum class EncodedFormat { Flac, Vorbis };

struct EncoderSettings {
    EncodedFormat format = EncodedFormat::Flac;
    int sampleRate = 44100;
    int channels = 2;
    // Vorbis only: the average bit rate aimed at, in bit/s; where the encoder cannot reach it
    // at this sample rate and channel count, the nearest one it can.
    std::int64_t bitRate = 128000;
    const SourceTags* tags = nullptr;  // none written when null
};

class FfmpegFileEncoder final : public FileEncoder {
public:
    FfmpegFileEncoder();
    ~FfmpegFileEncoder() override;
    FfmpegFileEncoder(const FfmpegFileEncoder&) = delete;
    FfmpegFileEncoder& operator=(const FfmpegFileEncoder&) = delete;

    // Writes from the start of `out`, which must outlive the encoder. A failure is marked as
    // the encoder not started (nothing of the audio was read).
    Outcome start(File& out, const EncoderSettings& settings);
    int chunkBytes() const override;
    Outcome write(const void* pcm, std::uint32_t byteCount) override;
    // Encodes what is left, ends the stream and completes the file's headers.
    Outcome finish() override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace torvane
