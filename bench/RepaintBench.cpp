// Repainting the waveform view: the part a window shows (714 columns, the main window's
// width) of a ten-second document against a one-hour document at 10 : 1 and at 1 : 1, and
// for scale the whole bitmap of the hour-long document, which is what repainting every
// column on every tick would cost.
//
//   bench_repaint [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include <QGuiApplication>

#include "view/WaveformRenderer.h"

using namespace torvane;

namespace {

constexpr int kViewWidth = 714;

struct Document {
    std::vector<std::int16_t> left, right;
    WaveformScene scene;
};

Document makeDocument(std::uint32_t seconds, std::int32_t framesPerColumn) {
    Document d;
    const std::uint64_t frames = std::uint64_t(seconds) * 44100;
    const auto columns = std::uint32_t((frames + std::uint64_t(framesPerColumn) - 1) / std::uint64_t(framesPerColumn));
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> peak(0, 100);
    d.left.resize(columns);
    d.right.resize(columns);
    for (std::uint32_t c = 0; c < columns; ++c) {
        d.left[c] = std::int16_t(peak(rng));
        d.right[c] = std::int16_t(peak(rng));
    }
    WaveformScene& s = d.scene;
    s.leftPeaks = d.left.data();
    s.rightPeaks = d.right.data();
    s.columnCount = columns;
    s.width = std::int32_t(columns);
    s.channels = 2;
    s.sampleRate = 44100;
    s.framesPerColumn = framesPerColumn;
    s.duration = seconds;
    s.startMarker = columns / 4;
    s.finishMarker = columns / 4 * 3;
    s.startSeconds = seconds / 4;
    s.finishSeconds = seconds / 4 * 3;
    s.playColumn = columns / 2 + 10;
    s.playSeconds = seconds / 2;
    return d;
}

// The exposed part around the play cursor, as a playing view repaints it every tick.
void exposed(benchmark::State& state, std::uint32_t seconds, std::int32_t framesPerColumn, int viewWidth = kViewWidth) {
    const Document d = makeDocument(seconds, framesPerColumn);
    const int w = std::min<int>(viewWidth, d.scene.width);
    const std::int64_t x0 = std::max<std::int64_t>(0, std::int64_t(d.scene.playColumn) - w / 2);
    QImage target(w, kWaveBitmapHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        renderWaveformPart(d.scene, x0, target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["columns"] = double(d.scene.columnCount);
    state.counters["drawn"] = w;
}

void whole(benchmark::State& state, std::uint32_t seconds, std::int32_t framesPerColumn) {
    const Document d = makeDocument(seconds, framesPerColumn);
    for (auto _ : state) {
        QImage im = renderWaveform(d.scene);
        benchmark::DoNotOptimize(im.constBits());
    }
    state.counters["columns"] = double(d.scene.columnCount);
    state.counters["drawn"] = double(d.scene.width);
}

BENCHMARK_CAPTURE(exposed, ten_seconds_10to1, 10, 10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(exposed, ten_seconds_1to1, 10, 1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(exposed, one_hour_10to1, 3600, 10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(exposed, one_hour_1to1, 3600, 1000)->Unit(benchmark::kMicrosecond);
// The same 441 columns that the whole ten-second document at 1 : 1 has.
BENCHMARK_CAPTURE(exposed, one_hour_10to1_441px, 3600, 10000, 441)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(exposed, one_hour_1to1_441px, 3600, 1000, 441)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(whole, ten_seconds_1to1, 10, 1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(whole, one_hour_10to1, 3600, 10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(whole, one_hour_1to1, 3600, 1000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // Labels need fonts, which need a GUI application (offscreen is enough).
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qargc = 1;
    QGuiApplication app(qargc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
