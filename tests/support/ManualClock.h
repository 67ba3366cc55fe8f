#pragma once
// An engine on the manual clock: sound is consumed only when a test says so, so positions,
// levels and spectra are exact.

#include <gtest/gtest.h>

#include <memory>

#include "platform/AudioEngine.h"
#include "platform/AudioOutput.h"
#include "support/TestFiles.h"

namespace torvane::test {

// A manual clock that refuses every rate but its first with `fixedRate`, as a device may.
inline std::shared_ptr<ManualClockOutput> manualClock(bool fixedRate = false) {
    auto clock = std::make_shared<ManualClockOutput>();
    clock->setFixedRate(fixedRate);
    return clock;
}

inline std::shared_ptr<AudioEngine> engineOn(std::shared_ptr<AudioOutput> output) {
    EngineOptions o;
    o.output = std::move(output);
    auto engine = AudioEngine::start(std::move(o));
    return engine ? std::shared_ptr<AudioEngine>(std::move(*engine)) : nullptr;
}

// A test with an engine on a fresh manual clock and a folder for its files.
class ManualClockTest : public ::testing::Test {
protected:
    void SetUp() override { init(false); }
    // Starts a new engine; a fixed rate refuses every other rate, as a device may.
    void init(bool fixedRate) {
        clock = manualClock(fixedRate);
        engine = engineOn(clock);
        ASSERT_NE(engine, nullptr);
    }
    Player open(const std::string& path) {
        auto p = engine->openPlayer(path);
        EXPECT_TRUE(bool(p)) << path;
        return std::move(*p);
    }

    TempDir dir;
    std::shared_ptr<ManualClockOutput> clock;
    std::shared_ptr<AudioEngine> engine;
};

}  // namespace torvane::test
