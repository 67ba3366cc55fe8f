#include "platform/WavePlayback.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "platform/FileIo.h"

namespace torvane {

std::unique_ptr<WavePlayback> WavePlayback::open(const std::string& utf8Path) {
    std::unique_ptr<WavePlayback> p(new WavePlayback);
    std::FILE* f = openFile(utf8Path, "rb");
    if (!f) return nullptr;
    const std::uint64_t len = fileLengthOf(f);
    const WaveHeaderError e = readWaveHeader(f, len, p->m_header);
    std::fclose(f);
    if (e != WaveHeaderError::None) return nullptr;
    if (p->m_header.channels != 1 && p->m_header.channels != 2) return nullptr;
    p->m_fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (p->m_fd < 0) return nullptr;
    p->m_fileSize = len;
    p->m_length = p->m_header.frameCount * p->m_header.blockSize;
    return p;
}

WavePlayback::~WavePlayback() {
    if (m_fd >= 0) ::close(m_fd);
}

size_t WavePlayback::readFrames(std::uint64_t first, size_t count, std::vector<float>& lr) const {
    lr.assign(count * 2, 0.0f);
    const std::uint64_t total = m_header.frameCount;
    if (first >= total) return 0;
    const size_t n = size_t(std::min<std::uint64_t>(count, total - first));
    const unsigned block = m_header.blockSize;
    std::vector<std::uint8_t> raw(n * block);
    size_t got = 0;
    const off_t base = off_t(m_header.dataOffset + first * block);
    while (got < raw.size()) {
        ssize_t r = ::pread(m_fd, raw.data() + got, raw.size() - got, base + off_t(got));
        if (r <= 0) break;
        got += size_t(r);
    }
    const size_t frames = got / block;
    const bool stereo = m_header.channels == 2;
    const bool eight = m_header.bitsPerSample == 8;
    for (size_t i = 0; i < frames; ++i) {
        const std::uint8_t* p = raw.data() + i * block;
        float l, r;
        if (eight) {
            l = float(int(p[0]) - 128) / 128.0f;
            r = stereo ? float(int(p[1]) - 128) / 128.0f : l;
        } else {
            l = float(std::int16_t(p[0] | (p[1] << 8))) / 32768.0f;
            r = stereo ? float(std::int16_t(p[2] | (p[3] << 8))) / 32768.0f : l;
        }
        lr[2 * i] = l;
        lr[2 * i + 1] = r;
    }
    return frames;
}

void WavePlayback::render(float* mix, unsigned frames, unsigned outRate) {
    if (m_state != State::Playing) return;
    const unsigned srcRate = unsigned(m_header.sampleRate);
    const std::uint64_t total = m_header.frameCount;
    if (srcRate == outRate) {
        const std::uint64_t first = std::uint64_t(m_srcFrame);
        const size_t n = readFrames(first, frames, m_scratch);
        for (size_t i = 0; i < n * 2; ++i) mix[i] += m_scratch[i];
        m_srcFrame = double(std::min<std::uint64_t>(first + frames, total));
    } else {
        // The device cannot run at the file's rate: linear interpolation between frames.
        const double step = double(srcRate) / double(outRate);
        const double start = m_srcFrame;
        const std::uint64_t first = std::uint64_t(start);
        const size_t span = size_t(std::ceil(step * frames)) + 2;
        readFrames(first, span, m_scratch);
        for (unsigned i = 0; i < frames; ++i) {
            const double sp = start + step * i;
            if (sp >= double(total)) break;
            const size_t i0 = size_t(sp) - size_t(first);
            const float frac = float(sp - std::floor(sp));
            const size_t i1 = std::min(i0 + 1, span - 1);
            mix[2 * i] += m_scratch[2 * i0] * (1 - frac) + m_scratch[2 * i1] * frac;
            mix[2 * i + 1] += m_scratch[2 * i0 + 1] * (1 - frac) + m_scratch[2 * i1 + 1] * frac;
        }
        m_srcFrame = std::min(start + step * frames, double(total));
    }
}

std::uint64_t WavePlayback::position(unsigned latencyFrames, unsigned outRate) const {
    if (m_state != State::Playing) return m_pos;
    const unsigned srcRate = unsigned(m_header.sampleRate);
    // What has left the device: rendered source frames less what is still queued.
    const double queuedSrc = outRate ? double(latencyFrames) * srcRate / outRate : 0.0;
    double heard = m_srcFrame - queuedSrc;
    const double from = double(m_playFrom / m_header.blockSize);
    if (heard < from) heard = from;
    return std::uint64_t(heard) * m_header.blockSize;
}

WavePlayback::State WavePlayback::refreshState(unsigned latencyFrames, unsigned outRate) {
    if (m_state == State::Playing && std::uint64_t(m_srcFrame) >= m_header.frameCount &&
        position(latencyFrames, outRate) >= m_length) {
        m_pos = m_length;
        m_state = State::Stopped;
    }
    return m_state;
}

void WavePlayback::play(bool restart) {
    if (restart) m_pos = 0;
    if (m_state == State::Playing && !restart) return;
    m_playFrom = m_pos;
    m_srcFrame = double(m_pos / m_header.blockSize);
    m_state = State::Playing;
}

bool WavePlayback::pause(unsigned latencyFrames, unsigned outRate) {
    if (m_state != State::Playing) return false;
    m_pos = position(latencyFrames, outRate);
    m_state = State::Paused;
    return true;
}

void WavePlayback::stop(unsigned latencyFrames, unsigned outRate) {
    if (m_state == State::Playing) m_pos = position(latencyFrames, outRate);
    m_state = State::Stopped;
}

bool WavePlayback::setPosition(std::uint64_t pos) {
    if (pos > m_length) return false;
    pos -= pos % m_header.blockSize;
    m_pos = pos;
    if (m_state == State::Playing) {
        // Carry on from there; what was queued for the device is superseded.
        m_playFrom = pos;
        m_srcFrame = double(pos / m_header.blockSize);
    }
    return true;
}

void WavePlayback::recentFrames(std::uint64_t heardPos, unsigned count, std::vector<std::int32_t>& left,
                                std::vector<std::int32_t>& right) const {
    const std::uint64_t end = heardPos / m_header.blockSize;
    const std::uint64_t first = end > count ? end - count : 0;
    const size_t missing = size_t(count - (end - first));
    std::vector<float> lr;
    readFrames(first, size_t(end - first), lr);
    left.assign(count, 0);
    right.assign(count, 0);
    for (size_t i = 0; i < size_t(end - first); ++i) {
        left[missing + i] = std::int32_t(std::lround(lr[2 * i] * 32768.0f));
        right[missing + i] = std::int32_t(std::lround(lr[2 * i + 1] * 32768.0f));
    }
}

}  // namespace torvane
