// The default sound device through PortAudio, in callback mode.

#include <portaudio.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/AudioOutput.h"

namespace torvane {
namespace {

// The sound back-ends PortAudio probes (ALSA, JACK) print pages of diagnostics to stderr
// on a machine without sound hardware; the editor has its own fallback, so keep them quiet
// while probing.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        m_saved = ::dup(2);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (m_saved >= 0 && null >= 0) ::dup2(null, 2);
        if (null >= 0) ::close(null);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (m_saved >= 0) {
            ::dup2(m_saved, 2);
            ::close(m_saved);
        }
    }

private:
    int m_saved = -1;
};

class PortAudioOutput final : public AudioOutput {
public:
    PortAudioOutput() = default;
    ~PortAudioOutput() override {
        stop();
        if (m_initialised) Pa_Terminate();
    }

    bool init() {
        QuietStderr quiet;
        if (Pa_Initialize() != paNoError) return false;
        m_initialised = true;
        return Pa_GetDefaultOutputDevice() != paNoDevice;
    }

    bool start(unsigned rate, Render render) override {
        QuietStderr quiet;
        m_render = std::move(render);
        return open(rate);
    }

    void stop() override { close(); }

    unsigned rate() const override { return m_rate; }

    bool setRate(unsigned rate) override {
        if (rate == m_rate) return true;
        if (!supports(rate)) return false;
        const unsigned old = m_rate;
        close();
        if (open(rate)) return true;
        open(old);
        return false;
    }

    unsigned latencyFrames() const override { return m_latency.load(); }

private:
    bool supports(unsigned rate) const {
        PaStreamParameters p{};
        p.device = Pa_GetDefaultOutputDevice();
        if (p.device == paNoDevice) return false;
        p.channelCount = 2;
        p.sampleFormat = paFloat32;
        p.suggestedLatency = Pa_GetDeviceInfo(p.device)->defaultLowOutputLatency;
        return Pa_IsFormatSupported(nullptr, &p, rate) == paFormatIsSupported;
    }

    bool open(unsigned rate) {
        PaStreamParameters p{};
        p.device = Pa_GetDefaultOutputDevice();
        if (p.device == paNoDevice) return false;
        p.channelCount = 2;
        p.sampleFormat = paFloat32;
        p.suggestedLatency = Pa_GetDeviceInfo(p.device)->defaultLowOutputLatency;
        if (Pa_OpenStream(&m_stream, nullptr, &p, rate, paFramesPerBufferUnspecified, paNoFlag,
                          &PortAudioOutput::callback, this) != paNoError) {
            m_stream = nullptr;
            return false;
        }
        m_rate = rate;
        if (const PaStreamInfo* info = Pa_GetStreamInfo(m_stream))
            m_latency = unsigned(info->outputLatency * rate);
        if (Pa_StartStream(m_stream) != paNoError) {
            Pa_CloseStream(m_stream);
            m_stream = nullptr;
            return false;
        }
        return true;
    }

    void close() {
        if (!m_stream) return;
        Pa_StopStream(m_stream);
        Pa_CloseStream(m_stream);
        m_stream = nullptr;
    }

    static int callback(const void*, void* out, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* self) {
        auto* me = static_cast<PortAudioOutput*>(self);
        me->m_render(static_cast<float*>(out), unsigned(frames));
        return paContinue;
    }

    Render m_render;
    PaStream* m_stream = nullptr;
    unsigned m_rate = 0;
    std::atomic<unsigned> m_latency{0};
    bool m_initialised = false;
};

}  // namespace

std::unique_ptr<AudioOutput> makePortAudioOutput() {
    auto out = std::make_unique<PortAudioOutput>();
    if (!out->init()) return nullptr;
    return out;
}

}  // namespace torvane
