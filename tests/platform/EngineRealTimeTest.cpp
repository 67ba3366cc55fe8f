// The output's callback never waits, and the player's owner never reads the file: not on a
// slow disk, not on a stuck one. The seek case runs on the silent real-time output and
// listens to what it was given; the rest run under the manual clock, against a plain model of
// playback where it matters.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <numbers>
#include <random>
#include <thread>

#include "platform/AudioOutput.h"
#include "platform/AudioEngine.h"
#include "support/ManualClock.h"
#include "support/TestFiles.h"

using namespace torvane;
using namespace torvane::test;

namespace {

using namespace std::chrono_literals;

// Each frame carries its own index: left = 1 + low 14 bits, right = 1 + the rest. Never
// silent, so silence heard while playing is a gap, and any frame tells where it came from.
std::vector<std::uint8_t> indexedWav(std::uint32_t rate, std::uint32_t frames) {
    std::vector<std::int16_t> s;
    s.reserve(size_t(frames) * 2);
    for (std::uint32_t i = 0; i < frames; ++i) {
        s.push_back(std::int16_t(1 + (i & 0x3FFF)));
        s.push_back(std::int16_t(1 + (i >> 14)));
    }
    return makeWav(rate, 2, 16, samples16(s));
}

// Follows what the output rendered, on the output's thread, without allocating.
struct Listener {
    static constexpr std::size_t kMaxJumps = 1024;
    std::atomic<std::int64_t> next{-1};      // frame expected next; -1 before any sound
    std::atomic<std::uint64_t> heard{0};     // non-silent frames
    std::atomic<std::uint64_t> gaps{0};      // silence between sounding frames
    std::atomic<std::uint64_t> badOrder{0};  // a frame other than the next, not a jump
    std::array<std::atomic<std::int64_t>, kMaxJumps> jumps{};
    std::atomic<std::size_t> jumpCount{0};
    std::atomic<bool> jumpsAllowed{false};
    std::uint64_t silentRun = 0;  // output thread only

    void onRender(const float* out, unsigned frames) {
        for (unsigned i = 0; i < frames; ++i) {
            const long l = std::lround(out[2 * i] * 32768.0f);
            const long r = std::lround(out[2 * i + 1] * 32768.0f);
            if (l == 0 && r == 0) {
                ++silentRun;
                continue;
            }
            const std::int64_t idx = std::int64_t((r - 1) << 14 | (l - 1));
            const std::int64_t want = next.load();
            if (want >= 0 && silentRun > 0) gaps.fetch_add(1);
            silentRun = 0;
            if (want >= 0 && idx != want) {
                const std::size_t j = jumpCount.load();
                if (jumpsAllowed.load() && j < kMaxJumps) {
                    jumps[j].store(idx);
                    jumpCount.store(j + 1);
                } else {
                    badOrder.fetch_add(1);
                }
            } else if (want < 0 && idx != 0) {
                badOrder.fetch_add(1);
            }
            next.store(idx + 1);
            heard.fetch_add(1);
        }
    }
};

template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// On an engine whose every read first sleeps, listened to by `listener`.
std::shared_ptr<AudioEngine> listenedEngine(Listener& listener, std::shared_ptr<AudioOutput> output) {
    EngineOptions o;
    o.device = 0;  // without `output`: the silent real-time output
    o.output = std::move(output);
    o.beforeRead = [] { std::this_thread::sleep_for(30ms); };
    o.renderTap = [&listener](const float* out, unsigned frames) { listener.onRender(out, frames); };
    auto e = AudioEngine::start(std::move(o));
    return e ? std::shared_ptr<AudioEngine>(std::move(*e)) : nullptr;
}

TEST(RealTimePlayback, SeeksOnASlowDiskNeverPlayWhatWasQueuedBefore) {
    TempDir dir;
    Listener listener;
    auto engine = listenedEngine(listener, nullptr);
    ASSERT_NE(engine, nullptr);
    constexpr std::uint32_t kRate = 44100;
    constexpr std::uint32_t kFrames = 30 * kRate;
    const std::string path = dir.file("seek.wav");
    writeFile(path, indexedWav(kRate, kFrames));
    auto opened = engine->openPlayer(path);
    ASSERT_TRUE(opened);
    Player& h = *opened;
    listener.jumpsAllowed = true;
    h.play(true);

    std::mt19937 rng(7);
    std::uniform_int_distribution<std::uint32_t> where(0, kFrames - 5 * kRate);
    std::vector<std::int64_t> targets;
    ASSERT_TRUE(waitFor([&] { return listener.heard.load() >= 2000; }, 5000ms));
    for (int i = 0; i < 12; ++i) {
        std::uint32_t t = where(rng);
        while (std::abs(std::int64_t(t) - listener.next.load()) < 2 * std::int64_t(kRate)) t = where(rng);
        ASSERT_TRUE(h.seek(std::uint64_t(t) * 4));
        const std::uint64_t pos = h.position();
        EXPECT_GE(pos, std::uint64_t(t) * 4);
        EXPECT_LT(pos, std::uint64_t(t + kRate) * 4);
        targets.push_back(t);
        // The new place is heard, and a little of it, before the next seek supersedes it with
        // a ring full of queued sound again.
        ASSERT_TRUE(waitFor([&] { return listener.jumpCount.load() == targets.size(); }, 5000ms));
        ASSERT_TRUE(waitFor([&] { return listener.next.load() >= t + 2000; }, 5000ms));
    }
    ASSERT_TRUE(waitFor([&] { return listener.next.load() >= targets.back() + 4410; }, 5000ms));
    h.stop();

    // Every change of place heard lands exactly on a place asked for, in the order asked, and
    // the sound went on until it did: no silence between.
    std::vector<std::int64_t> jumps;
    for (std::size_t i = 0; i < listener.jumpCount.load(); ++i) jumps.push_back(listener.jumps[i].load());
    EXPECT_EQ(jumps, targets);
    EXPECT_EQ(listener.badOrder.load(), 0u);
    EXPECT_EQ(listener.gaps.load(), 0u);
    EXPECT_EQ(engine->underruns(), 0u);
    EXPECT_EQ(h.position(), std::uint64_t(listener.next.load()) * 4);
}

// ---------------------------------------------------------------------------------------
// Under the manual clock.

class ManualPlayback : public ManualClockTest {};

// A minute of playback while the owner reads positions and meters between the output's
// calls, as the editor's timer does: every frame in order, once, and a pause is one gap.
TEST(ManualMinute, AMinutePlaysEveryFrameInOrderWhileTheMetersAreRead) {
    TempDir dir;
    Listener listener;
    auto clock = manualClock();
    auto engine = listenedEngine(listener, clock);
    ASSERT_NE(engine, nullptr);
    constexpr std::uint32_t kRate = 44100;
    const std::string path = dir.file("long.wav");
    writeFile(path, indexedWav(kRate, 63 * kRate));
    auto opened = engine->openPlayer(path);
    ASSERT_TRUE(opened);
    Player& h = *opened;

    h.play(true);
    std::uint64_t last = 0;
    std::array<float, 512> fft;
    for (int tick = 0; tick < 600; ++tick) {
        ASSERT_TRUE(clock->advance(kRate / 10));
        const std::uint64_t pos = h.position();
        ASSERT_EQ(pos, last + kRate / 10 * 4);
        last = pos;
        ASSERT_EQ(h.state(), PlayerState::Playing);
        ASSERT_GT(h.level(), 0u);
        ASSERT_TRUE(h.spectrum(fft));
    }
    ASSERT_TRUE(h.pause());
    clock->advance(kRate / 10);
    EXPECT_EQ(listener.gaps.load(), 0u);
    EXPECT_EQ(listener.badOrder.load(), 0u);
    EXPECT_EQ(h.position(), listener.heard.load() * 4);
    EXPECT_EQ(std::int64_t(listener.heard.load()), listener.next.load());
    EXPECT_EQ(listener.heard.load(), 60u * kRate);
    h.play(false);
    clock->advance(kRate / 10);
    EXPECT_EQ(listener.gaps.load(), 1u);  // the pause itself
    EXPECT_EQ(listener.badOrder.load(), 0u);
    EXPECT_EQ(engine->underruns(), 0u);
}

// A disk that does not answer at all: play, seek, the meters and the output's calls all
// return meanwhile, the owner's thread never reads the file, and once the disk answers the
// sound starts exactly where the last seek asked, nothing queued before it.
TEST(ManualStuckDisk, NothingWaitsForAStuckDisk) {
    TempDir dir;
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    std::atomic<int> readsHere{0};
    const std::thread::id owner = std::this_thread::get_id();
    auto clock = std::make_shared<ManualClockOutput>(true);  // a device: it never waits
    EngineOptions o;
    o.output = clock;
    o.beforeRead = [&] {
        if (std::this_thread::get_id() == owner) {
            ++readsHere;  // counted, not held: the test would never end
            return;
        }
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return open; });
    };
    auto started = AudioEngine::start(std::move(o));
    ASSERT_TRUE(started);
    const std::string path = dir.file("stuck.wav");
    writeFile(path, indexedWav(44100, 5 * 44100));
    auto opened = (*started)->openPlayer(path);
    ASSERT_TRUE(opened);
    Player& h = *opened;
    // Before the player goes, or its reader would never come back.
    struct Unstick {
        std::function<void()> f;
        ~Unstick() { f(); }
    } unstick{[&] {
        {
            std::lock_guard<std::mutex> lock(m);
            open = true;
        }
        cv.notify_all();
    }};

    h.play(true);
    std::array<float, 512> fft;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(clock->advance(441));
        EXPECT_EQ(*std::max_element(clock->lastRendered().begin(), clock->lastRendered().end()), 0.0f);
        EXPECT_EQ(h.position(), 0u);
        EXPECT_EQ(h.level(), 0u);
        EXPECT_TRUE(h.spectrum(fft));
    }
    const std::uint64_t at = 3 * 44100 + 17;
    ASSERT_TRUE(h.seek(at * 4));
    EXPECT_EQ(h.position(), at * 4);
    clock->advance(441);
    EXPECT_EQ(h.position(), at * 4);
    EXPECT_EQ(h.state(), PlayerState::Playing);

    unstick.f();
    std::int64_t next = std::int64_t(at);
    bool sounding = false, inOrder = true;
    ASSERT_TRUE(waitFor(
        [&] {
            clock->advance(441);
            for (std::size_t f = 0; f < 441; ++f) {
                const long l = std::lround(clock->lastRendered()[2 * f] * 32768.0f);
                const long r = std::lround(clock->lastRendered()[2 * f + 1] * 32768.0f);
                if (l == 0 && r == 0 && !sounding) continue;
                sounding = true;
                inOrder = inOrder && ((r - 1) << 14 | (l - 1)) == next++;
            }
            return sounding;
        },
        5000ms));
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(h.position(), std::uint64_t(next) * 4);
    EXPECT_EQ(readsHere.load(), 0);
    EXPECT_EQ((*started)->underruns(), 0u);
}

// A plain model of a playback stream: what the device gets, where playback is, what the
// meters read, written out as directly as possible from the raw samples.
struct Model {
    std::vector<std::int32_t> left, right;  // 16-bit scale
    unsigned srcRate = 0;
    bool playing = false, paused = false;
    std::uint64_t pos = 0;      // frames, while not playing
    std::uint64_t from = 0;     // frames, where this run started
    double src = 0;             // next source frame
    std::uint64_t histNext = 0; // next source frame that enters what was heard
    std::vector<std::int32_t> heardL, heardR;

    std::uint64_t total() const { return left.size(); }
    float l(std::uint64_t k) const { return k < total() ? float(left[k]) / 32768.0f : 0.0f; }
    float r(std::uint64_t k) const { return k < total() ? float(right[k]) / 32768.0f : 0.0f; }

    void start(std::uint64_t f) {
        from = f;
        src = double(f);
        histNext = f;
    }
    std::vector<float> render(unsigned frames, unsigned outRate) {
        std::vector<float> out(size_t(frames) * 2, 0.0f);
        if (!playing) return out;
        const double step = double(srcRate) / outRate;
        for (unsigned i = 0; i < frames; ++i) {
            const double sp = src + step * i;
            if (sp >= double(total())) break;
            const auto k = std::uint64_t(sp);
            const float frac = float(sp - std::floor(sp));
            out[2 * i] = srcRate == outRate ? l(k) : l(k) * (1 - frac) + l(k + 1) * frac;
            out[2 * i + 1] = srcRate == outRate ? r(k) : r(k) * (1 - frac) + r(k + 1) * frac;
        }
        src = std::min(src + step * frames, double(total()));
        for (; histNext < std::uint64_t(src); ++histNext) {
            heardL.push_back(left[histNext]);
            heardR.push_back(right[histNext]);
        }
        if (std::uint64_t(src) >= total()) {
            playing = false;
            pos = total();
        }
        return out;
    }
    std::uint64_t position() const { return playing ? std::uint64_t(src) : pos; }
    std::uint32_t level() const {
        if (!playing) return 0;
        const size_t n = std::max(1u, srcRate / 50);
        std::int32_t pl = 0, pr = 0;
        for (size_t i = heardL.size() > n ? heardL.size() - n : 0; i < heardL.size(); ++i) {
            pl = std::max(pl, std::abs(heardL[i]));
            pr = std::max(pr, std::abs(heardR[i]));
        }
        return std::uint32_t(pl) | std::uint32_t(pr) << 16;
    }
    // Hann-windowed DFT of the mono mix of the last 1024 frames heard.
    std::vector<double> spectrum() const {
        std::vector<double> x(1024, 0.0);
        const size_t n = heardL.size();
        for (size_t i = 0; i < 1024 && i < n; ++i)
            x[1023 - i] = double(heardL[n - 1 - i] + heardR[n - 1 - i]) / 65536.0;
        std::vector<std::complex<double>> turn(1024);
        for (int t = 0; t < 1024; ++t) {
            x[size_t(t)] *= 0.5 - 0.5 * std::cos(2 * std::numbers::pi * t / 1024);
            turn[size_t(t)] = std::polar(1.0, -2 * std::numbers::pi * t / 1024);
        }
        std::vector<double> mag(512);
        for (int k = 0; k < 512; ++k) {
            std::complex<double> acc = 0;
            for (int t = 0; t < 1024; ++t) acc += x[size_t(t)] * turn[size_t(k * t % 1024)];
            mag[size_t(k)] = std::abs(acc) * 4.0 / 1024;
        }
        return mag;
    }
};

// Random files, rates, device sizes and transport commands: the device gets exactly what
// the model says, and positions, state, level and spectrum agree with it throughout.
TEST_F(ManualPlayback, RandomPlaybackMatchesAPlainModel) {
    std::mt19937 rng(20261208);
    const unsigned rates[] = {8000, 11025, 22050, 44100, 48000};
    for (int round = 0; round < 8; ++round) {
        const bool fixed = round % 2 == 1;
        init(fixed);
        const unsigned rate = rates[rng() % 5];
        const unsigned channels = 1 + rng() % 2;
        const unsigned bits = rng() % 2 ? 16 : 8;
        const auto frames = std::uint32_t(rate * (2 + rng() % 3) + rng() % 5000);
        SCOPED_TRACE(testing::Message() << "round " << round << ": " << rate << " Hz, " << channels << " ch, "
                                        << bits << " bits, " << frames << " frames, fixed " << fixed);
        Model model;
        model.srcRate = rate;
        std::vector<std::uint8_t> data;
        for (std::uint32_t i = 0; i < frames; ++i) {
            std::int32_t v[2];
            for (unsigned c = 0; c < channels; ++c) {
                if (bits == 8) {
                    const auto b = std::uint8_t(rng());
                    data.push_back(b);
                    v[c] = (int(b) - 128) * 256;
                } else {
                    const auto s = std::int16_t(rng());
                    put16(data, std::uint16_t(s));
                    v[c] = s;
                }
            }
            model.left.push_back(v[0]);
            model.right.push_back(channels == 2 ? v[1] : v[0]);
        }
        const std::string path = dir.file("random" + std::to_string(round) + ".wav");
        writeFile(path, makeWav(rate, std::uint16_t(channels), std::uint16_t(bits), data));
        Player h = open(path);
        const unsigned block = channels * bits / 8;

        for (int op = 0; op < 150; ++op) {
            // Mostly playing; stopping and pausing now and then.
            const unsigned what = op == 0 ? 5 : std::array{0u, 0u, 0u, 0u, 0u, 0u, 0u, 5u, 5u, 6u, 7u, 8u, 8u, 9u, 9u, 9u}[rng() % 16];
            if (what == 0) {
                const unsigned n = 1 + rng() % 20000;
                const std::vector<float> want = model.render(n, clock->rate());
                ASSERT_TRUE(clock->advance(n));
                ASSERT_EQ(clock->lastRendered(), want) << "op " << op;
            } else if (what == 5) {
                const bool restart = rng() % 3 == 0;
                h.play(restart);
                if (restart) model.pos = 0;
                if (!model.playing || restart) {
                    model.start(model.pos);
                    model.playing = true;
                    model.paused = false;
                }
            } else if (what == 6) {
                EXPECT_EQ(h.pause(), model.playing);
                if (model.playing) {
                    model.pos = model.position();
                    model.playing = false;
                    model.paused = true;
                }
            } else if (what == 7) {
                h.stop();
                model.pos = model.position();
                model.playing = model.paused = false;
            } else if (what == 8) {
                const std::uint64_t to = rng() % (frames + 1);
                const std::uint64_t within = to < frames ? rng() % block : 0;  // rounded down to the frame
                ASSERT_TRUE(h.seek(to * block + within));
                model.pos = to;
                if (model.playing) model.start(to);
            } else {
                std::array<float, 512> fft;
                const bool got = h.spectrum(fft);
                if (!model.playing && !model.paused) {
                    EXPECT_FALSE(got);
                } else {
                    ASSERT_TRUE(got);
                    const std::vector<double> want = model.spectrum();
                    for (int k = 0; k < 512; ++k) ASSERT_NEAR(fft[k], want[size_t(k)], 2e-4) << "bin " << k;
                }
            }
            if (model.position() >= frames && !model.paused) model.playing = false;
            ASSERT_EQ(h.position(), model.position() * block) << "op " << op;
            ASSERT_EQ(h.state(), model.playing  ? PlayerState::Playing
                                 : model.paused ? PlayerState::Paused
                                                : PlayerState::Stopped)
                << "op " << op;
            ASSERT_EQ(h.level(), model.level()) << "op " << op;
        }
        EXPECT_EQ(engine->underruns(), 0u);
    }
}

// A slow disk under the manual clock: render waits for the file only there, and plays the
// same sound as ever.
TEST(ManualSlowDisk, SlowReadsStillPlayEveryFrame) {
    TempDir dir;
    Listener listener;
    auto clock = manualClock();
    auto engine = listenedEngine(listener, clock);
    ASSERT_NE(engine, nullptr);
    const std::string path = dir.file("slow.wav");
    writeFile(path, indexedWav(44100, 3 * 44100));
    auto opened = engine->openPlayer(path);
    ASSERT_TRUE(opened);
    Player& h = *opened;
    h.play(true);
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(clock->advance(4410));
    EXPECT_EQ(listener.heard.load(), 30u * 4410u);
    EXPECT_EQ(listener.badOrder.load() + listener.gaps.load(), 0u);
    EXPECT_EQ(h.position(), 30u * 4410u * 4u);
    clock->advance(100);
    EXPECT_EQ(h.state(), PlayerState::Stopped);
}

}  // namespace
