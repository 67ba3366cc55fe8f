#include "platform/AudioEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <thread>

#include "platform/EngineCore.h"
#include "platform/WavePlayback.h"

namespace torvane {

EngineCore::EngineCore() {
    m_planIn = fftwf_alloc_real(kFftSize);
    m_planOut = fftwf_alloc_complex(kFftSize / 2 + 1);
    fftPlan = fftwf_plan_dft_r2c_1d(int(kFftSize), m_planIn, m_planOut, FFTW_ESTIMATE);
    window.resize(kFftSize);
    for (unsigned n = 0; n < kFftSize; ++n)
        window[n] = float(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / kFftSize));
}

EngineCore::~EngineCore() {
    halt();
    fftwf_destroy_plan(fftPlan);
    fftwf_free(m_planIn);
    fftwf_free(m_planOut);
}

void EngineCore::run(std::shared_ptr<AudioOutput> out, unsigned rate) {
    m_output = std::move(out);
    AudioOutput* o = m_output.get();
    const bool fillInline = !o->realTime();
    if (!o->start(rate, [this, o, fillInline](float* buf, unsigned frames) { render(buf, frames, o->rate(), fillInline); })) {
        // No usable sound device: keep time without sound so the editor works all the same.
        m_output = makeNullOutput();
        o = m_output.get();
        o->start(rate, [this, o](float* buf, unsigned frames) { render(buf, frames, o->rate(), false); });
    }
    m_running = true;
}

void EngineCore::halt() {
    if (!m_running.exchange(false)) return;
    m_output->stop();
}

void EngineCore::render(float* out, unsigned frames, unsigned rate, bool fillInline) {
    m_renderSeq.fetch_add(1);
    std::memset(out, 0, sizeof(float) * 2 * frames);
    for (auto& slot : m_live)
        if (WavePlayback* s = slot.load())
            if (s->render(out, frames, rate, fillInline)) underruns.fetch_add(1, std::memory_order_relaxed);
    for (unsigned i = 0; i < 2 * frames; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
    if (renderTap) renderTap(out, frames);
    m_renderSeq.fetch_add(1);
    // Wakes a settle() only when one waits: without waiters this makes no system call.
    m_renderSeq.notify_all();
}

void EngineCore::settle() const {
    const std::uint64_t s = m_renderSeq.load();
    if (!(s & 1)) return;
    m_renderSeq.wait(s);  // the callback in progress ends within one buffer
}

bool EngineCore::join(WavePlayback* stream) {
    for (auto& slot : m_live) {
        WavePlayback* expected = nullptr;
        if (slot.compare_exchange_strong(expected, stream)) return true;
    }
    return false;
}

void EngineCore::leave(WavePlayback* stream) {
    for (auto& slot : m_live) {
        WavePlayback* expected = stream;
        slot.compare_exchange_strong(expected, nullptr);
    }
    settle();
}

void EngineCore::preferRate(unsigned rate) {
    // A halted output is never started again.
    if (m_running && m_output->rate() != rate) m_output->setRate(rate);
}

// ---------------------------------------------------------------------------------------

Expected<std::unique_ptr<AudioEngine>, EngineError> AudioEngine::start(EngineOptions options) {
    if (options.device < -1 || options.device > 1) return EngineError::NoSuchDevice;
    const unsigned rate = options.rate ? options.rate : 44100;
    std::shared_ptr<AudioOutput> out = std::move(options.output);
    const char* forced = std::getenv("TORVANE_AUDIO");
    const bool silent = options.device == 0 || (forced && std::strcmp(forced, "null") == 0);
    if (!out && !silent) out = makePortAudioOutput();
    if (!out) out = makeNullOutput();
    auto core = std::make_shared<EngineCore>();
    core->beforeRead = std::move(options.beforeRead);
    core->renderTap = std::move(options.renderTap);
    core->run(std::move(out), rate);
    return std::unique_ptr<AudioEngine>(new AudioEngine(std::move(core)));
}

AudioEngine::~AudioEngine() { m_core->halt(); }

std::uint64_t AudioEngine::underruns() const { return m_core->underruns.load(); }

Expected<Player, EngineError> AudioEngine::openPlayer(const std::string& utf8Path) {
    auto opened = WavePlayback::open(utf8Path, m_core->beforeRead);
    if (!opened) return opened.error();
    std::unique_ptr<WavePlayback> stream = std::move(*opened);
    if (!m_core->join(stream.get())) return EngineError::CannotOpen;
    return Player(m_core, std::move(stream));
}

}  // namespace torvane
