#pragma once
// Inside the engine (AudioEngine and Player only): the output, the streams it mixes, and the
// spectrum's plan. Shared by the engine and its players.

#include <fftw3.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/AudioOutput.h"

namespace torvane {

class WavePlayback;

class EngineCore {
public:
    static constexpr unsigned kFftSize = 1024;
    static constexpr std::size_t kMaxStreams = 64;

    EngineCore();
    ~EngineCore();
    EngineCore(const EngineCore&) = delete;
    EngineCore& operator=(const EngineCore&) = delete;

    // Starts `out` (already chosen); the core owns it from here.
    void run(std::shared_ptr<AudioOutput> out, unsigned rate);
    // The output stops for good; streams keep their positions.
    void halt();

    // The streams as the output's callback sees them. A stream leaves before it is freed,
    // and leave() returns once no callback that could have seen it is still running.
    bool join(WavePlayback* stream);
    void leave(WavePlayback* stream);
    // Returns once no callback that began before the call is still running.
    void settle() const;

    unsigned outRate() const { return m_output ? m_output->rate() : 44100; }
    unsigned latency() const { return m_output ? m_output->latencyFrames() : 0; }
    // Runs the device at `rate` where it can; otherwise streams resample.
    void preferRate(unsigned rate);

    std::function<void()> beforeRead;
    std::function<void(const float*, unsigned)> renderTap;
    std::atomic<std::uint64_t> underruns{0};

    // Made once: FFTW's planner is not thread-safe; each player executes it on its own arrays.
    fftwf_plan fftPlan = nullptr;
    std::vector<float> window;

private:
    // The output's callback: no lock, no file access, no allocation.
    void render(float* out, unsigned frames, unsigned rate, bool fillInline);

    std::shared_ptr<AudioOutput> m_output;
    std::atomic<bool> m_running{false};
    std::array<std::atomic<WavePlayback*>, kMaxStreams> m_live{};
    std::atomic<std::uint64_t> m_renderSeq{0};  // odd while a callback is in progress
    float* m_planIn = nullptr;
    fftwf_complex* m_planOut = nullptr;
};

}  // namespace torvane
