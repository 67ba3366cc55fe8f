#pragma once
// Where the engine's sound goes. The engine renders interleaved stereo float frames at the
// output's rate; an output decides when it asks for them.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace torvane {

class AudioOutput {
public:
    // Fills `frames` stereo frames (2 floats each) of sound.
    using Render = std::function<void(float* out, unsigned frames)>;

    virtual ~AudioOutput() = default;
    // Starts asking for sound at `rate`; false when the output cannot run.
    virtual bool start(unsigned rate, Render render) = 0;
    virtual void stop() = 0;
    virtual unsigned rate() const = 0;
    // Asks for another rate; false keeps the current one (the engine then resamples).
    // May wait for a callback in progress: never called from one.
    virtual bool setRate(unsigned rate) = 0;
    // Frames handed to the output that have not been heard yet.
    virtual unsigned latencyFrames() const = 0;
    // False for an output whose clock moves only when told to; its render calls may then
    // wait for the file to be read, where a real device's must never wait.
    virtual bool realTime() const { return true; }
};

// The default sound device through PortAudio; nullptr when the machine has none.
std::unique_ptr<AudioOutput> makePortAudioOutput();

// Consumes sound in real time and plays nothing: a machine without a sound device still
// plays, positions move, and the meters work.
std::unique_ptr<AudioOutput> makeNullOutput();

// Sound is consumed only when a test says so: positions, levels and spectra become exact.
// By default its render tops a short ring up on the calling thread, so runs are
// deterministic; `realTime` makes it behave as a device, which never waits for the file.
class ManualClockOutput final : public AudioOutput {
public:
    explicit ManualClockOutput(bool realTime = false) : m_realTime(realTime) {}
    bool start(unsigned rate, Render render) override;
    void stop() override;
    unsigned rate() const override { return m_rate; }
    bool setRate(unsigned rate) override;
    unsigned latencyFrames() const override { return 0; }
    bool realTime() const override { return m_realTime; }

    // Consumes `frames` frames now, on the calling thread. Returns false when not started.
    bool advance(unsigned frames);
    // Refuse every rate but the one given to start(), as a device would that lacks them.
    void setFixedRate(bool fixed) { m_fixedRate = fixed; }
    // What the last advance() produced, for tests that listen.
    const std::vector<float>& lastRendered() const { return m_last; }

private:
    std::mutex m_mutex;
    Render m_render;
    unsigned m_rate = 0;
    bool m_fixedRate = false;
    bool m_realTime = false;
    std::vector<float> m_last;
};

}  // namespace torvane
