#pragma once
// A playback stream on a PCM WAV file (8 or 16 bits, mono or stereo). The file is read as
// the output asks for sound; positions are byte offsets into the sample data and report
// what is being heard, not what has been handed to the device.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/WaveHeader.h"

namespace torvane {

class WavePlayback {
public:
    enum class State { Stopped, Playing, Paused };

    static std::unique_ptr<WavePlayback> open(const std::string& utf8Path);
    ~WavePlayback();

    const WaveHeader& header() const { return m_header; }
    std::uint32_t length() const { return m_length; }
    std::uint64_t fileSize() const { return m_fileSize; }
    unsigned block() const { return m_header.blockSize; }

    State state() const { return m_state; }
    // Playing streams that have run out (everything heard) become Stopped here.
    State refreshState(unsigned latencyFrames, unsigned outRate);

    void play(bool restart);
    bool pause(unsigned latencyFrames, unsigned outRate);
    void stop(unsigned latencyFrames, unsigned outRate);
    bool setPosition(std::uint64_t pos);
    std::uint64_t position(unsigned latencyFrames, unsigned outRate) const;

    // Adds `frames` stereo frames at `outRate` into `mix`.
    void render(float* mix, unsigned frames, unsigned outRate);

    // The last `count` frames before the heard position, as left/right values in
    // -32768..32767 (8-bit samples are scaled up); missing frames are silence.
    void recentFrames(std::uint64_t heardPos, unsigned count, std::vector<std::int32_t>& left,
                      std::vector<std::int32_t>& right) const;

private:
    WavePlayback() = default;
    // Reads frames [first, first + count) as left/right floats; past the end gives silence.
    size_t readFrames(std::uint64_t first, size_t count, std::vector<float>& lr) const;

    int m_fd = -1;
    WaveHeader m_header;
    std::uint32_t m_length = 0;  // data bytes, whole frames only
    std::uint64_t m_fileSize = 0;
    State m_state = State::Stopped;
    std::uint64_t m_pos = 0;         // position while not playing
    std::uint64_t m_playFrom = 0;    // where this run of playback started
    double m_srcFrame = 0;           // next source frame to render (fractional when resampling)
    std::vector<float> m_scratch;
};

}  // namespace torvane
