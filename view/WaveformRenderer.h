#pragma once
// Drawing of the wave bitmap: peaks, selection, centre line, time ruler, the two markers
// and the play cursor. Pure drawing: everything it shows comes in through WaveformScene,
// so it runs without the audio engine and without a display.
//
// The view can be far wider than any window (one column per pixel, ~159 000 columns for an
// hour at 1 : 1), so the renderer can draw any column range on its own; the pixels of a
// range are exactly those the whole bitmap holds there.

#include <cstdint>

#include <QFont>
#include <QImage>
#include <QRgb>

namespace torvane {

constexpr int kWaveBitmapHeight = 221;       // wave area y 0..200, ruler band y 201..220
constexpr int kWaveCentreY = 100;
constexpr int kRulerTop = 201;
constexpr int kMarkerLabelShift = 48;  // labels this close to the right edge go left of their line

constexpr QRgb kWaveBackground = 0xFF000000;
constexpr QRgb kSelectionColour = 0xFF0033CC;   // RGB(0, 51, 204)
constexpr QRgb kLeftPeakColour = 0xFF00FF00;    // green; also the right channel of a mono document
constexpr QRgb kRightPeakColour = 0xFFFF0000;   // red, right channel of a stereo document
constexpr QRgb kCentreLineColour = 0xFF808000;  // olive
constexpr QRgb kTickColour = 0xFF000000;
constexpr QRgb kRulerTextColour = 0xFF808080;
constexpr QRgb kStartMarkerColour = 0xFF00FFFF; // aqua
constexpr QRgb kPlayCursorColour = 0xFFFFFF00;  // yellow
// Windows defaults of the two system colours; the window passes the platform's own.
constexpr QRgb kDefaultRulerColour = 0xFFFFFFE1;   // tool-tip background
constexpr QRgb kDefaultFinishColour = 0xFFE3E3E3;  // 3-D light

struct WaveformScene {
    const std::int16_t* leftPeaks = nullptr;   // columnCount values 0..100
    const std::int16_t* rightPeaks = nullptr;  // equal to leftPeaks for mono
    std::uint32_t columnCount = 0;
    std::int32_t width = 0;  // the bitmap's width: the column count while a document is loaded
    std::int32_t channels = 1;
    std::int32_t sampleRate = 0;
    std::int32_t framesPerColumn = 10000;
    std::uint32_t duration = 0;  // whole seconds
    std::uint32_t startMarker = 0;
    std::uint32_t finishMarker = 0;
    std::int64_t startSeconds = 0;
    std::int64_t finishSeconds = 0;
    std::int64_t playSeconds = 0;
    std::uint32_t playColumn = 0;
    QRgb rulerColour = kDefaultRulerColour;
    QRgb finishColour = kDefaultFinishColour;
    QFont font;  // time labels
};

// The whole bitmap: scene.width x 221.
QImage renderWaveform(const WaveformScene& scene);

// Columns [x0, x0 + target.width()) of the bitmap into `target` (Format_RGB32, 221 high);
// columns outside the bitmap are left black. Cost follows the target's width.
void renderWaveformPart(const WaveformScene& scene, std::int64_t x0, QImage& target);
QImage renderWaveformPart(const WaveformScene& scene, std::int64_t x0, int width);

// Pixels per ten seconds of the ruler, in single precision as the ruler accumulates it.
float rulerStep(std::int32_t sampleRate, std::int32_t framesPerColumn);

}  // namespace torvane
