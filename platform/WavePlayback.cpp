#include "platform/WavePlayback.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/FileIo.h"

namespace torvane {
namespace {

constexpr std::uint64_t kChunkFrames = 1024;
constexpr std::uint64_t kReadBytes = 64 * 1024;  // at least this much per file read
constexpr std::uint64_t kHistoryFrames = 16384;  // well over an FFT window plus device latency

std::uint32_t epochOf(std::uint64_t cmd) { return std::uint32_t(cmd >> 32); }
std::uint64_t startOf(std::uint64_t cmd) { return cmd & 0xFFFFFFFFu; }
// True when epoch a was issued before b (epochs wrap).
bool olderEpoch(std::uint32_t a, std::uint32_t b) { return std::int32_t(a - b) < 0; }

std::int32_t toSample(float v) { return std::int32_t(std::lround(v * 32768.0f)); }
std::uint32_t pack(std::int32_t l, std::int32_t r) {
    return std::uint32_t(std::uint16_t(std::int16_t(l))) | (std::uint32_t(std::uint16_t(std::int16_t(r))) << 16);
}

}  // namespace

Expected<std::unique_ptr<WavePlayback>, EngineError> WavePlayback::open(const std::string& utf8Path,
                                                                 std::function<void()> beforeRead) {
    std::unique_ptr<WavePlayback> p(new WavePlayback);
    p->m_beforeRead = std::move(beforeRead);
    std::FILE* f = openFile(utf8Path, "rb");
    if (!f) return EngineError::CannotOpen;
    const std::uint64_t len = fileLengthOf(f);
    const WaveHeaderError e = readWaveHeader(f, len, p->m_header);
    std::fclose(f);
    if (e != WaveHeaderError::None) return EngineError::NotPlayable;
    if (p->m_header.channels != 1 && p->m_header.channels != 2) return EngineError::NotPlayable;
    p->m_fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (p->m_fd < 0) return EngineError::CannotOpen;
    p->m_fileSize = len;
    p->m_length = p->m_header.frameCount * p->m_header.blockSize;

    // Everything the callback touches is allocated here, once. The reader keeps about a
    // second queued; the ring has room for that twice over plus two reads, so a seek can
    // queue its new data at once while the superseded data still waits to be dropped.
    const std::uint64_t block = p->m_header.blockSize;
    const auto chunksFor = [](std::uint64_t frames) { return (frames + kChunkFrames - 1) / kChunkFrames; };
    const std::uint64_t readChunks = chunksFor((kReadBytes + block - 1) / block);
    const std::uint64_t rate = std::max<std::uint64_t>(1, std::uint64_t(p->m_header.sampleRate));
    const std::uint64_t targetChunks = std::max(readChunks, chunksFor(rate));
    p->m_readFrames = readChunks * kChunkFrames;
    p->m_target = targetChunks * kChunkFrames;
    p->m_chunks = 2 * (targetChunks + readChunks);
    p->m_ring.assign(p->m_chunks * kChunkFrames * 2, 0.0f);
    p->m_heads.resize(p->m_chunks);
    p->m_raw.resize(p->m_readFrames * block);
    p->m_hist.reset(new std::atomic<std::uint32_t>[kHistoryFrames]());
    p->startReader();
    return p;
}

WavePlayback::~WavePlayback() {
    if (m_reader.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_wakeMutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_reader.join();
    }
    if (m_fd >= 0) ::close(m_fd);
}

// ---------------------------------------------------------------------------------------
// The reader

void WavePlayback::startReader() {
    m_reader = std::thread([this] { readerLoop(); });
}

void WavePlayback::readerLoop() {
    std::unique_lock<std::mutex> lock(m_wakeMutex);
    while (!m_quit) {
        if (m_state.load() == State::Playing) {
            lock.unlock();
            fillAhead(m_target);
            lock.lock();
            // The callback cannot wake us without risking a wait, so poll while playing:
            // a few milliseconds is nothing against a second queued.
            m_wake.wait_for(lock, std::chrono::milliseconds(4));
        } else {
            m_wake.wait(lock);
        }
    }
}

void WavePlayback::readBlock(std::uint64_t first, std::size_t count) {
    if (m_beforeRead) m_beforeRead();
    const std::size_t bytes = count * m_header.blockSize;
    std::size_t got = 0;
    const off_t base = off_t(m_header.dataOffset + first * m_header.blockSize);
    while (got < bytes) {
        const ssize_t r = ::pread(m_fd, m_raw.data() + got, bytes - got, base + off_t(got));
        if (r <= 0) break;
        got += std::size_t(r);
    }
    // A file cut short plays silence where its data is missing.
    std::memset(m_raw.data() + got, 0, bytes - got);
}

std::uint64_t WavePlayback::fillAhead(std::uint64_t target) {
    std::lock_guard<std::mutex> lock(m_fillMutex);
    if (m_state.load() != State::Playing) return 0;
    const std::uint64_t cmd = m_cmd.load(std::memory_order_acquire);
    if (olderEpoch(m_fillEpoch, epochOf(cmd))) {
        m_fillEpoch = epochOf(cmd);
        m_fillNext = startOf(cmd);
    }
    return fillLocked(target);
}

std::uint64_t WavePlayback::fillLocked(std::uint64_t target) {
    const std::uint64_t total = m_header.frameCount;
    const unsigned block = m_header.blockSize;
    const bool stereo = m_header.channels == 2;
    const bool eight = m_header.bitsPerSample == 8;
    std::uint64_t added = 0;
    while (m_fillNext < total) {
        const std::uint64_t w = m_write.load(std::memory_order_relaxed);
        const std::uint64_t r = m_read.load(std::memory_order_acquire);
        std::uint64_t queued = 0;
        for (std::uint64_t i = r; i < w; ++i) {
            const ChunkHead& h = m_heads[i % m_chunks];
            if (h.epoch == m_fillEpoch) queued += h.count;
        }
        const std::uint64_t freeChunks = m_chunks - (w - r);
        if (queued >= target || freeChunks == 0) break;
        const std::uint64_t frames =
            std::min({freeChunks * kChunkFrames, m_readFrames, total - m_fillNext});
        readBlock(m_fillNext, std::size_t(frames));
        std::uint64_t done = 0;
        for (std::uint64_t c = w; done < frames; ++c) {
            const std::uint64_t n = std::min(kChunkFrames, frames - done);
            ChunkHead& h = m_heads[c % m_chunks];
            h.epoch = m_fillEpoch;
            h.first = m_fillNext + done;
            h.count = std::uint32_t(n);
            float* lr = m_ring.data() + (c % m_chunks) * kChunkFrames * 2;
            const std::uint8_t* p = m_raw.data() + done * block;
            for (std::uint64_t i = 0; i < n; ++i, p += block) {
                float l, rr;
                if (eight) {
                    l = float(int(p[0]) - 128) / 128.0f;
                    rr = stereo ? float(int(p[1]) - 128) / 128.0f : l;
                } else {
                    l = float(std::int16_t(p[0] | (p[1] << 8))) / 32768.0f;
                    rr = stereo ? float(std::int16_t(p[2] | (p[3] << 8))) / 32768.0f : l;
                }
                lr[2 * i] = l;
                lr[2 * i + 1] = rr;
            }
            done += n;
            m_write.store(c + 1, std::memory_order_release);
        }
        m_fillNext += frames;
        added += frames;
        // A seek while reading: the next round starts over from the new place.
        if (olderEpoch(m_fillEpoch, epochOf(m_cmd.load(std::memory_order_acquire)))) break;
    }
    return added;
}

// ---------------------------------------------------------------------------------------
// The callback

void WavePlayback::dropStale(std::uint32_t cmdEpoch) {
    std::uint64_t r = m_read.load(std::memory_order_relaxed);
    const std::uint64_t w = m_write.load(std::memory_order_acquire);
    while (r < w && olderEpoch(m_heads[r % m_chunks].epoch, cmdEpoch)) ++r;
    m_read.store(r, std::memory_order_release);
}

const float* WavePlayback::frameAt(std::uint64_t k, bool remember) {
    const std::uint64_t w = m_write.load(std::memory_order_acquire);
    for (std::uint64_t i = std::max(m_scan, m_read.load(std::memory_order_relaxed)); i < w; ++i) {
        const ChunkHead& h = m_heads[i % m_chunks];
        if (h.epoch != m_cbEpoch || k >= h.first + h.count) continue;
        if (k < h.first) return nullptr;
        if (remember) m_scan = i;  // lookups of the frame being played only move forward
        return m_ring.data() + ((i % m_chunks) * kChunkFrames + (k - h.first)) * 2;
    }
    return nullptr;
}

void WavePlayback::consumeBefore(std::uint64_t k) {
    // Everything the device has been given enters the history, in order.
    std::uint64_t n = m_histCount.load(std::memory_order_relaxed);
    m_scan = m_read.load(std::memory_order_relaxed);
    for (; m_histFrame < k; ++m_histFrame) {
        const float* f = frameAt(m_histFrame, true);
        const std::uint32_t v = f ? pack(toSample(f[0]), toSample(f[1])) : 0;
        m_hist[n % kHistoryFrames].store(v, std::memory_order_relaxed);
        ++n;
    }
    m_histCount.store(n, std::memory_order_release);
    std::uint64_t r = m_read.load(std::memory_order_relaxed);
    const std::uint64_t w = m_write.load(std::memory_order_acquire);
    while (r < w) {
        const ChunkHead& h = m_heads[r % m_chunks];
        if (h.epoch == m_cbEpoch && h.first + h.count > k) break;
        if (h.epoch != m_cbEpoch && !olderEpoch(h.epoch, m_cbEpoch)) break;  // a newer command's data
        ++r;
    }
    m_read.store(r, std::memory_order_release);
    m_scan = r;
}

bool WavePlayback::queued(std::uint32_t epoch, std::uint64_t k) const {
    const std::uint64_t w = m_write.load(std::memory_order_acquire);
    for (std::uint64_t i = m_read.load(std::memory_order_relaxed); i < w; ++i) {
        const ChunkHead& h = m_heads[i % m_chunks];
        if (h.epoch == epoch && k >= h.first && k < h.first + h.count) return true;
    }
    return false;
}

void WavePlayback::takeUp(std::uint64_t cmd) {
    dropStale(epochOf(cmd));
    m_cbEpoch = epochOf(cmd);
    m_cbRunning = true;
    m_cbSrc = double(startOf(cmd));
    m_histFrame = startOf(cmd);
    m_histBase.store(std::int64_t(m_histCount.load(std::memory_order_relaxed)) - std::int64_t(startOf(cmd)),
                     std::memory_order_relaxed);
    m_srcPub.store(m_cbSrc, std::memory_order_relaxed);
    m_applied.store(m_cbEpoch, std::memory_order_release);
}

bool WavePlayback::render(float* mix, unsigned frames, unsigned outRate, bool fillInline) {
    // The state first: play() publishes its command before it sets Playing, so a call that
    // sees Playing also sees the command and cannot resume sound left from before it.
    const State state = m_state.load();
    const std::uint64_t cmd = m_cmd.load(std::memory_order_acquire);
    if (state != State::Playing) {
        dropStale(epochOf(cmd));
        m_cbRunning = false;
        return false;
    }
    bool pending = false;  // carrying on until a seek's sound is queued
    if (epochOf(cmd) != m_cbEpoch || !m_cbRunning) {
        // A new place: taken up once its first frame is queued (at once past the end, where
        // nothing will be). Under a clock that may wait, the ring is topped up here.
        const std::uint64_t start = startOf(cmd);
        bool ready = start >= m_header.frameCount || queued(epochOf(cmd), start);
        if (!ready && fillInline) {
            dropStale(epochOf(cmd));  // makes room
            fillAhead(m_target);
            ready = queued(epochOf(cmd), start);
        }
        const std::uint64_t cont = m_continue.load(std::memory_order_acquire);
        const bool carryOn = epochOf(cont) == epochOf(cmd) && std::uint32_t(cont) == m_cbEpoch && m_cbRunning;
        if (ready) {
            takeUp(cmd);
        } else if (!carryOn) {
            // A new run of playback: silence until its sound is there, and nothing older.
            dropStale(epochOf(cmd));
            m_cbRunning = false;
            return false;
        } else {
            pending = true;
        }
    }
    m_scan = m_read.load(std::memory_order_relaxed);

    const unsigned srcRate = unsigned(m_header.sampleRate);
    const std::uint64_t total = m_header.frameCount;
    const bool same = srcRate == outRate;
    // The device cannot run at the file's rate: linear interpolation between frames.
    const double step = same ? 1.0 : double(srcRate) / double(outRate);
    const double start = m_cbSrc;
    bool shortRing = false;
    unsigned i = 0;
    for (; i < frames; ++i) {
        const double sp = start + step * i;
        if (sp >= double(total)) break;
        const auto k0 = std::uint64_t(sp);
        const bool needNext = !same && k0 + 1 < total;
        const float* f0 = frameAt(k0, true);
        const float* f1 = f0 && needNext ? frameAt(k0 + 1, false) : nullptr;
        if (!f0 || (needNext && !f1)) {
            while (fillInline && (!f0 || (needNext && !f1))) {
                consumeBefore(k0);  // makes room
                // The reader may have queued the frames while this waited for it.
                const std::uint64_t added = fillAhead(m_target);
                f0 = frameAt(k0, true);
                f1 = f0 && needNext ? frameAt(k0 + 1, false) : nullptr;
                if (added == 0) break;
            }
            if (!f0 || (needNext && !f1)) {
                shortRing = true;
                break;
            }
        }
        if (same) {
            mix[2 * i] += f0[0];
            mix[2 * i + 1] += f0[1];
        } else {
            const float frac = float(sp - std::floor(sp));
            const float l1 = f1 ? f1[0] : 0.0f;  // past the end: silence
            const float r1 = f1 ? f1[1] : 0.0f;
            mix[2 * i] += f0[0] * (1 - frac) + l1 * frac;
            mix[2 * i + 1] += f0[1] * (1 - frac) + r1 * frac;
        }
    }
    // A short ring leaves a gap of silence but loses no audio: the next call carries on
    // from the first frame not played.
    m_cbSrc = shortRing ? start + step * i : std::min(start + step * frames, double(total));
    consumeBefore(std::uint64_t(m_cbSrc));
    m_srcPub.store(m_cbSrc, std::memory_order_release);
    // What ran out while a seek waits for its sound was superseded anyway.
    return shortRing && !pending;
}

// ---------------------------------------------------------------------------------------
// The UI side

void WavePlayback::issueCommand(std::uint64_t startFrame, bool seamless) {
    // Posted only: the reader queues the new place, the callback takes it up when it is there.
    const std::uint32_t previous = m_epoch++;
    if (seamless) m_continue.store((std::uint64_t(m_epoch) << 32) | previous, std::memory_order_release);
    m_cmd.store((std::uint64_t(m_epoch) << 32) | startFrame, std::memory_order_release);
}

void WavePlayback::wakeReader() {
    { std::lock_guard<std::mutex> lock(m_wakeMutex); }
    m_wake.notify_all();
}

double WavePlayback::currentSourceFrame() const {
    // Until the callback has taken up the latest command, playback sits at its start.
    if (m_applied.load(std::memory_order_acquire) != m_epoch) return double(m_playFrom / m_header.blockSize);
    return m_srcPub.load(std::memory_order_acquire);
}

std::uint64_t WavePlayback::position(unsigned latencyFrames, unsigned outRate) const {
    if (m_state.load() != State::Playing) return m_pos;
    return heardPosition(latencyFrames, outRate);
}

std::uint64_t WavePlayback::heardPosition(unsigned latencyFrames, unsigned outRate) const {
    const unsigned srcRate = unsigned(m_header.sampleRate);
    // What has left the device: rendered source frames less what is still queued.
    const double queuedSrc = outRate ? double(latencyFrames) * srcRate / outRate : 0.0;
    double heard = currentSourceFrame() - queuedSrc;
    const double from = double(m_playFrom / m_header.blockSize);
    if (heard < from) heard = from;
    return std::uint64_t(heard) * m_header.blockSize;
}

WavePlayback::State WavePlayback::refreshState(unsigned latencyFrames, unsigned outRate) {
    if (m_state.load() == State::Playing && std::uint64_t(currentSourceFrame()) >= m_header.frameCount &&
        position(latencyFrames, outRate) >= m_length) {
        m_pos = m_length;
        m_state = State::Stopped;
    }
    return m_state.load();
}

void WavePlayback::play(bool restart) {
    if (restart) m_pos = 0;
    if (m_state.load() == State::Playing && !restart) return;
    m_playFrom = m_pos;
    issueCommand(m_pos / m_header.blockSize, false);
    m_state = State::Playing;  // after the command: stale sound must not play in between
    wakeReader();
}

bool WavePlayback::pause(unsigned latencyFrames, unsigned outRate, const std::function<void()>& settle) {
    if (m_state.load() != State::Playing) return false;
    m_state = State::Paused;
    settle();  // the render that was in progress has finished: nothing more gets played
    m_pos = heardPosition(latencyFrames, outRate);
    return true;
}

void WavePlayback::stop(unsigned latencyFrames, unsigned outRate, const std::function<void()>& settle) {
    if (m_state.load() == State::Playing) {
        m_state = State::Stopped;
        settle();
        m_pos = heardPosition(latencyFrames, outRate);
    }
    m_state = State::Stopped;
}

bool WavePlayback::setPosition(std::uint64_t pos) {
    if (pos > m_length) return false;
    pos -= pos % m_header.blockSize;
    m_pos = pos;
    if (m_state.load() == State::Playing) {
        // Carry on from there; what was queued for the device is superseded.
        m_playFrom = pos;
        issueCommand(pos / m_header.blockSize, true);
        wakeReader();
    }
    return true;
}

void WavePlayback::recentFrames(unsigned latencyFrames, unsigned outRate, unsigned count,
                                std::vector<std::int32_t>& left, std::vector<std::int32_t>& right) const {
    left.assign(count, 0);
    right.assign(count, 0);
    const auto have = std::int64_t(m_histCount.load(std::memory_order_acquire));
    std::int64_t end;
    if (m_applied.load(std::memory_order_acquire) == m_epoch) {
        end = m_histBase.load(std::memory_order_relaxed) +
              std::int64_t(position(latencyFrames, outRate) / m_header.blockSize);
    } else {
        // A new command not yet taken up: the newest frames less what is still queued.
        const double queuedSrc = outRate ? double(latencyFrames) * m_header.sampleRate / outRate : 0.0;
        end = have - std::int64_t(queuedSrc);
    }
    end = std::min(end, have);
    const std::int64_t first = end - std::int64_t(count);
    for (std::int64_t idx = std::max<std::int64_t>(first, 0); idx < end; ++idx) {
        const std::uint32_t v = m_hist[std::uint64_t(idx) % kHistoryFrames].load(std::memory_order_relaxed);
        left[std::size_t(idx - first)] = std::int16_t(v & 0xFFFF);
        right[std::size_t(idx - first)] = std::int16_t(v >> 16);
    }
    // Entries the callback overwrote meanwhile (or long gone before) are unknown: silence.
    const auto oldest = std::int64_t(m_histCount.load(std::memory_order_acquire)) - std::int64_t(kHistoryFrames);
    for (std::int64_t idx = first; idx < std::min(oldest, end); ++idx) {
        left[std::size_t(idx - first)] = 0;
        right[std::size_t(idx - first)] = 0;
    }
}

}  // namespace torvane
