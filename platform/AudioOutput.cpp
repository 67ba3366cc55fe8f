#include "platform/AudioOutput.h"

#include <chrono>
#include <condition_variable>
#include <vector>

namespace torvane {

bool ManualClockOutput::start(unsigned rate, Render render) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rate = rate;
    m_render = std::move(render);
    return true;
}

void ManualClockOutput::stop() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_render = nullptr;
}

bool ManualClockOutput::setRate(unsigned rate) {
    if (m_fixedRate) return rate == m_rate;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rate = rate;
    return true;
}

bool ManualClockOutput::advance(unsigned frames) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_render) return false;
    m_last.assign(size_t(frames) * 2, 0.0f);
    m_render(m_last.data(), frames);
    return true;
}

namespace {

// Renders in 10 ms slices, paced by the steady clock.
class NullOutput final : public AudioOutput {
public:
    ~NullOutput() override { stop(); }

    bool start(unsigned rate, Render render) override {
        stop();
        m_rate = rate;
        m_render = std::move(render);
        m_running = true;
        m_thread = std::thread([this] { run(); });
        return true;
    }
    void stop() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_running = false;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }
    unsigned rate() const override { return m_rate; }
    bool setRate(unsigned rate) override {
        m_rate = rate;  // read by the thread at its next slice
        return true;
    }
    unsigned latencyFrames() const override { return 0; }

private:
    void run() {
        using clock = std::chrono::steady_clock;
        std::vector<float> buf;
        auto last = clock::now();
        double owed = 0.0;  // fractional frames carried between slices
        std::unique_lock<std::mutex> lock(m_mutex);
        while (m_running) {
            m_wake.wait_for(lock, std::chrono::milliseconds(10));
            if (!m_running) break;
            auto now = clock::now();
            owed += std::chrono::duration<double>(now - last).count() * m_rate.load();
            last = now;
            // After a long stall (a suspended machine) do not race to catch up.
            if (owed > m_rate.load()) owed = m_rate.load() / 10.0;
            unsigned frames = unsigned(owed);
            owed -= frames;
            if (frames == 0) continue;
            buf.resize(size_t(frames) * 2);
            lock.unlock();
            m_render(buf.data(), frames);
            lock.lock();
        }
    }

    std::atomic<unsigned> m_rate{44100};
    Render m_render;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_running = false;
};

}  // namespace

std::unique_ptr<AudioOutput> makeNullOutput() { return std::make_unique<NullOutput>(); }

}  // namespace torvane
