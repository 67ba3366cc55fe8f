#pragma once
// A playback stream on the working WAV file, made by AudioEngine::openPlayer. Positions are
// byte offsets into the sample data and report what is being heard. play, pause, stop and
// seek only post to the stream's reader and return at once: the calling thread never reads
// the file. After seek(p), position() is p at once.
//
// One thread at a time uses a Player (the session's owner); the output's callback and the
// reader run beside it without taking any lock it holds.

#include <array>
#include <cstdint>
#include <memory>

#include "platform/WaveHeader.h"

namespace torvane {

class EngineCore;
class WavePlayback;

enum class EngineError {
    NoSuchDevice,  // AudioEngine::start: a device number the engine does not know
    CannotOpen,    // openPlayer: the file cannot be opened (or too many streams)
    NotPlayable,   // openPlayer: not a PCM WAV of one or two channels
};

enum class PlayerState { Stopped, Playing, Paused };

class Player {
public:
    Player(Player&&) noexcept;
    Player& operator=(Player&&) noexcept;
    ~Player();  // stops and lets go of the file

    const WaveHeader& format() const;
    // Bytes of sample data, whole frames only.
    std::uint64_t length() const;
    // Seconds of a byte position at the file's rate.
    double seconds(std::uint64_t bytes) const;

    // A playing stream that has run out (everything heard) is Stopped from here on.
    PlayerState state();

    // From the start with `restart`, else from the current position (a no-op while playing).
    void play(bool restart);
    // False when it was not playing.
    bool pause();
    void stop();
    // Rounded down to a whole frame; false (nothing changes) past the end.
    bool seek(std::uint64_t bytes);
    std::uint64_t position();

    // What was last heard: the peak of the last 20 ms, 0..32768 per channel, left in the low
    // word (0 unless playing) ...
    std::uint32_t level();
    // ... and the magnitudes of 512 bins of the last 1024 frames, mono mix, Hann window.
    // False, with `out` cleared, when stopped.
    bool spectrum(std::array<float, 512>& out);

private:
    friend class AudioEngine;
    struct Meters;
    Player(std::shared_ptr<EngineCore> core, std::unique_ptr<WavePlayback> stream);
    void release();

    std::shared_ptr<EngineCore> m_core;
    std::unique_ptr<WavePlayback> m_stream;
    std::unique_ptr<Meters> m_meters;
};

}  // namespace torvane
