#pragma once
// The audio engine: one output device and the playback streams mixed into it. Start it once;
// it plays until it is destroyed. Players made by it keep what they need of it alive, so one
// outliving the engine is harmless (it only falls silent).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/AudioOutput.h"
#include "platform/Expected.h"
#include "platform/Player.h"

namespace torvane {

class EngineCore;

struct EngineOptions {
    // -1 the default device (a silent real-time output when the machine has none, or when
    // TORVANE_AUDIO=null); 0 the silent real-time output itself; 1 the default device too.
    int device = -1;
    unsigned rate = 44100;
    // Used instead of opening a device (tests pass a manual clock).
    std::shared_ptr<AudioOutput> output;
    // Runs before every block read of every player (tests of a slow or stuck disk).
    std::function<void()> beforeRead;
    // Sees every buffer the output gets, on the output's thread (tests that listen).
    std::function<void(const float* out, unsigned frames)> renderTap;
};

class AudioEngine {
public:
    // The interface the program is written against: 2.4 in the high word.
    static constexpr std::uint32_t kVersion = 0x02040100;
    static std::uint32_t version() { return kVersion; }

    static Expected<std::unique_ptr<AudioEngine>, EngineError> start(EngineOptions options = {});
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // A stopped playback stream on a PCM WAV file (UTF-8 path), at position 0.
    Expected<Player, EngineError> openPlayer(const std::string& utf8Path);

    // Output calls that found a playing stream's ring short of sound before its end.
    std::uint64_t underruns() const;

private:
    explicit AudioEngine(std::shared_ptr<EngineCore> core) : m_core(std::move(core)) {}
    std::shared_ptr<EngineCore> m_core;
};

}  // namespace torvane
