#include "platform/Player.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/EngineCore.h"
#include "platform/WavePlayback.h"

namespace torvane {

// The spectrum's arrays, this player's own (FFTW executes one plan on many arrays at once),
// and the frames the meters read, allocated once.
struct Player::Meters {
    float* in = fftwf_alloc_real(EngineCore::kFftSize);
    fftwf_complex* out = fftwf_alloc_complex(EngineCore::kFftSize / 2 + 1);
    std::vector<std::int32_t> left, right;
    ~Meters() {
        fftwf_free(in);
        fftwf_free(out);
    }
};

Player::Player(std::shared_ptr<EngineCore> core, std::unique_ptr<WavePlayback> stream)
    : m_core(std::move(core)), m_stream(std::move(stream)), m_meters(std::make_unique<Meters>()) {}

Player::Player(Player&&) noexcept = default;

Player& Player::operator=(Player&& o) noexcept {
    if (this != &o) {
        release();
        m_core = std::move(o.m_core);
        m_stream = std::move(o.m_stream);
        m_meters = std::move(o.m_meters);
    }
    return *this;
}

Player::~Player() { release(); }

void Player::release() {
    if (!m_stream) return;
    // Out of the mix first, so that no callback still reads it; then the file is closed.
    m_core->leave(m_stream.get());
    m_stream.reset();
}

const WaveHeader& Player::format() const { return m_stream->header(); }
std::uint64_t Player::length() const { return m_stream->length(); }

double Player::seconds(std::uint64_t bytes) const {
    const double perSecond = double(m_stream->header().sampleRate) * m_stream->block();
    return perSecond > 0 ? double(bytes) / perSecond : 0.0;
}

PlayerState Player::state() {
    switch (m_stream->refreshState(m_core->latency(), m_core->outRate())) {
    case WavePlayback::State::Playing: return PlayerState::Playing;
    case WavePlayback::State::Paused: return PlayerState::Paused;
    default: return PlayerState::Stopped;
    }
}

void Player::play(bool restart) {
    m_core->preferRate(unsigned(m_stream->header().sampleRate));
    m_stream->play(restart);
}

bool Player::pause() {
    m_stream->refreshState(m_core->latency(), m_core->outRate());
    return m_stream->pause(m_core->latency(), m_core->outRate(), [this] { m_core->settle(); });
}

void Player::stop() { m_stream->stop(m_core->latency(), m_core->outRate(), [this] { m_core->settle(); }); }

bool Player::seek(std::uint64_t bytes) { return m_stream->setPosition(bytes); }

std::uint64_t Player::position() {
    m_stream->refreshState(m_core->latency(), m_core->outRate());
    return m_stream->position(m_core->latency(), m_core->outRate());
}

std::uint32_t Player::level() {
    if (state() != PlayerState::Playing) return 0;
    // Peak of the last 20 ms heard.
    const unsigned count = unsigned(std::max(1, m_stream->header().sampleRate / 50));
    m_stream->recentFrames(m_core->latency(), m_core->outRate(), count, m_meters->left, m_meters->right);
    std::uint32_t l = 0, r = 0;
    for (unsigned i = 0; i < count; ++i) {
        l = std::max(l, std::uint32_t(std::abs(m_meters->left[i])));
        r = std::max(r, std::uint32_t(std::abs(m_meters->right[i])));
    }
    return std::min<std::uint32_t>(l, 32768) | (std::min<std::uint32_t>(r, 32768) << 16);
}

bool Player::spectrum(std::array<float, 512>& out) {
    constexpr unsigned n = EngineCore::kFftSize;
    if (state() == PlayerState::Stopped) {
        out.fill(0.0f);
        return false;
    }
    // What was played, from memory: the file is the reader's alone.
    m_stream->recentFrames(m_core->latency(), m_core->outRate(), n, m_meters->left, m_meters->right);
    for (unsigned i = 0; i < n; ++i)
        m_meters->in[i] = m_core->window[i] * float(m_meters->left[i] + m_meters->right[i]) / 65536.0f;
    fftwf_execute_dft_r2c(m_core->fftPlan, m_meters->in, m_meters->out);
    // A full-scale sine centred on a bin reads 1.0: the Hann window's gain is N/4.
    const float scale = 4.0f / n;
    for (unsigned k = 0; k < n / 2; ++k) out[k] = std::hypot(m_meters->out[k][0], m_meters->out[k][1]) * scale;
    return true;
}

}  // namespace torvane
