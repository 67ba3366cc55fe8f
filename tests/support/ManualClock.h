#pragma once
// The engine started on the manual clock: sound is consumed only when a test says so, so
// positions, levels and spectra are exact.

#include <gtest/gtest.h>

#include <memory>

#include "platform/AudioOutput.h"
#include "platform/Bass.h"
#include "support/TestFiles.h"

namespace torvane::test {

// The clock the next BASS_Init will use (owned by the engine once it runs).
inline ManualClockOutput* useManualClockForNextInit(bool fixedRate = false) {
    auto* clock = new ManualClockOutput;
    clock->setFixedRate(fixedRate);
    engineUseOutputForNextInit(std::unique_ptr<AudioOutput>(clock));
    return clock;
}

// Restarts the engine on a new manual clock; null when it would not start.
inline ManualClockOutput* restartEngineOnManualClock(bool fixedRate = false) {
    BASS_Free();
    ManualClockOutput* clock = useManualClockForNextInit(fixedRate);
    return BASS_Init(-1, 44100, 0, nullptr, nullptr) ? clock : nullptr;
}

// A test with the engine on a fresh manual clock and a folder for its files.
class ManualClockTest : public ::testing::Test {
protected:
    void SetUp() override { init(false); }
    void TearDown() override { BASS_Free(); }
    // Restarts the engine; a fixed rate refuses every other rate, as a device may.
    void init(bool fixedRate) {
        clock = restartEngineOnManualClock(fixedRate);
        ASSERT_NE(clock, nullptr);
    }

    TempDir dir;
    ManualClockOutput* clock = nullptr;
};

}  // namespace torvane::test
