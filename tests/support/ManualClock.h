#pragma once
// The engine started on the manual clock: sound is consumed only when a test says so, so
// positions, levels and spectra are exact.

#include <memory>

#include "platform/AudioOutput.h"
#include "platform/Bass.h"

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

}  // namespace torvane::test
