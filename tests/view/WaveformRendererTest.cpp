// The wave bitmap, pixel by pixel: selection, peaks and their raster ends, centre line,
// ruler ticks and labels, markers; and drawing a column range equal to the whole bitmap.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "support/GuiApp.h"
#include "view/WaveformRenderer.h"

using namespace torvane;

namespace {

constexpr QRgb kRuler = 0xFFFFFFE1;
constexpr QRgb kFinish = 0xFFE3E3E3;

QRgb px(const QImage& im, int x, int y) { return im.pixel(x, y) | 0xFF000000; }

// Counts pixels of colour c in the rectangle [x0, x1) x [y0, y1).
int countColour(const QImage& im, int x0, int x1, int y0, int y1, QRgb c) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, im.width()); ++x) n += px(im, x, y) == c;
    return n;
}
int countNot(const QImage& im, int x0, int x1, int y0, int y1, QRgb c) {
    return (std::min(x1, im.width()) - std::max(x0, 0)) * (y1 - y0) - countColour(im, x0, x1, y0, y1, c);
}

class Waveform : public ::testing::Test {
protected:
    void SetUp() override { test::ensureGuiApp(); }

    // A scene of `columns` columns at 44100 Hz, 10 : 1, with peaks set by the test.
    void makeScene(std::uint32_t columns, std::int32_t channels, std::int32_t framesPerColumn = 10000) {
        left.assign(columns, 0);
        right.assign(columns, 0);
        scene = WaveformScene{};
        scene.leftPeaks = left.data();
        scene.rightPeaks = right.data();
        scene.columnCount = columns;
        scene.width = std::int32_t(columns);
        scene.channels = channels;
        scene.sampleRate = 44100;
        scene.framesPerColumn = framesPerColumn;
        scene.duration = std::uint32_t(std::uint64_t(columns) * framesPerColumn / 44100);
        scene.rulerColour = kRuler;
        scene.finishColour = kFinish;
    }
    void refresh() {
        scene.leftPeaks = left.data();
        scene.rightPeaks = right.data();
    }

    std::vector<std::int16_t> left, right;
    WaveformScene scene;
};

TEST_F(Waveform, SelectionCoversStartToFinishMinusOne) {
    makeScene(400, 2);
    scene.startMarker = 100;
    scene.finishMarker = 200;
    scene.playColumn = 100;
    const QImage im = renderWaveform(scene);
    ASSERT_EQ(im.width(), 400);
    ASSERT_EQ(im.height(), 221);
    EXPECT_EQ(px(im, 99, 150), kWaveBackground);
    EXPECT_EQ(px(im, 101, 150), kSelectionColour);
    EXPECT_EQ(px(im, 199, 150), kSelectionColour);
    EXPECT_EQ(px(im, 199, 200), kSelectionColour);  // the shading reaches into the gap above the ruler
    EXPECT_EQ(px(im, 200, 150), kFinish);           // the finish marker's own line
    EXPECT_EQ(px(im, 200, 200), kWaveBackground);   // the marker line stops at y 199
    EXPECT_EQ(px(im, 201, 150), kWaveBackground);
    // The ruler band is painted over the shading.
    EXPECT_EQ(px(im, 150, 215), kRuler);

    // Start and finish on the same column: no shading at all.
    scene.finishMarker = 100;
    const QImage none = renderWaveform(scene);
    EXPECT_EQ(countColour(none, 0, 400, 0, 221, kSelectionColour), 0);
}

TEST_F(Waveform, PeakRowsFollowTheRasterConvention) {
    for (std::int32_t channels : {1, 2}) {
        makeScene(300, channels);
        scene.startMarker = scene.finishMarker = 0;
        scene.playColumn = 0;
        // Away from the marker labels at the top left.
        left[110] = 0;  right[110] = 0;
        left[111] = 1;  right[111] = 1;
        left[112] = 100; right[112] = 100;
        left[113] = 37; right[113] = 2;
        refresh();
        const QImage im = renderWaveform(scene);
        const QRgb rightColour = channels == 1 ? kLeftPeakColour : kRightPeakColour;
        SCOPED_TRACE(channels);

        // Peak 0 above: only y 100, which the centre line covers. Peak 0 below: nothing.
        EXPECT_EQ(countNot(im, 110, 111, 0, 100, kWaveBackground), 0);
        EXPECT_EQ(countNot(im, 110, 111, 101, 201, kWaveBackground), 0);
        // Peak 1 above: nothing. Peak 1 below: y 100 only (under the centre line).
        EXPECT_EQ(countNot(im, 111, 112, 0, 100, kWaveBackground), 0);
        EXPECT_EQ(countNot(im, 111, 112, 101, 201, kWaveBackground), 0);
        // Peak 100 above: y 0..98; below: y 100..199.
        EXPECT_EQ(countColour(im, 112, 113, 0, 99, kLeftPeakColour), 99);
        EXPECT_EQ(px(im, 112, 99), kWaveBackground);
        EXPECT_EQ(countColour(im, 112, 113, 101, 200, rightColour), 99);
        EXPECT_EQ(px(im, 112, 200), kWaveBackground);
        // Peak 37 above: y 63..98; peak 2 below: y 100..101.
        EXPECT_EQ(px(im, 113, 62), kWaveBackground);
        EXPECT_EQ(countColour(im, 113, 114, 63, 99, kLeftPeakColour), 36);
        EXPECT_EQ(px(im, 113, 101), rightColour);
        EXPECT_EQ(px(im, 113, 102), kWaveBackground);
        // The olive centre line runs over every column.
        EXPECT_EQ(countColour(im, 1, 300, 100, 101, kCentreLineColour), 299);
    }
}

TEST_F(Waveform, PeaksOverTheSelectionAndOutsideIt) {
    makeScene(200, 2);
    for (int c = 0; c < 200; ++c) left[std::size_t(c)] = right[std::size_t(c)] = std::int16_t(c % 101);
    refresh();
    scene.startMarker = 50;
    scene.finishMarker = 150;
    scene.playColumn = 0;
    const QImage im = renderWaveform(scene);
    for (int c = 1; c < 200; ++c) {
        if (c == 50 || c == 150) continue;  // marker lines
        const int p = c % 101;
        const QRgb bg = (c >= 50 && c < 150) ? kSelectionColour : kWaveBackground;
        // The three time labels sit in rows 2..~15 right of columns 0, 50 and 150.
        const bool label = (c < 120 || c > 150) && 100 - p < 20;
        SCOPED_TRACE(c);
        if (label) continue;
        if (p >= 2) EXPECT_EQ(px(im, c, 100 - p), kLeftPeakColour);
        EXPECT_EQ(px(im, c, 99 - p), bg);  // one row above the peak; peak 0 paints only y 100
        if (p >= 2) EXPECT_EQ(px(im, c, 99 + p), kRightPeakColour);
        EXPECT_EQ(px(im, c, 100 + std::max(p, 1)), bg);
    }
}

// The tick x positions: a running sum in single precision, truncated.
std::vector<int> tickPositions(float step, std::uint32_t duration) {
    std::vector<int> xs;
    float a = 0.0f;
    for (std::uint32_t t = 0; t < duration; t += 10, a += step) xs.push_back(int(a));
    return xs;
}

TEST_F(Waveform, RulerTicksAndLabels) {
    // Duration 0: no tick, no label.
    makeScene(200, 2);
    scene.duration = 0;
    scene.startMarker = scene.finishMarker = scene.playColumn = 150;
    QImage im = renderWaveform(scene);
    EXPECT_EQ(countNot(im, 0, 200, 201, 221, kRuler), 0);

    // Duration 1..10: one major tick at x 0, labelled, and nothing else on the ruler.
    for (std::uint32_t d : {1u, 5u, 10u}) {
        scene.duration = d;
        im = renderWaveform(scene);
        SCOPED_TRACE(d);
        EXPECT_EQ(countColour(im, 0, 1, 201, 206, kTickColour), 5);
        EXPECT_EQ(px(im, 0, 206), kRuler);
        EXPECT_EQ(px(im, 1, 201), kRuler);
        EXPECT_GT(countNot(im, 2, 80, 208, 221, kRuler), 0);  // "00:00:00"
        EXPECT_EQ(countNot(im, 0, 200, 201, 208, kRuler), 5);
        EXPECT_EQ(countNot(im, 100, 200, 201, 221, kRuler), 0);
    }
    // 11 seconds: a minor tick at t 10, two pixels high, no label of its own.
    scene.duration = 11;
    im = renderWaveform(scene);
    EXPECT_EQ(px(im, 44, 201), kTickColour);
    EXPECT_EQ(px(im, 44, 202), kTickColour);
    EXPECT_EQ(px(im, 44, 203), kRuler);
}

TEST_F(Waveform, RulerOfAnHourLongDocument) {
    // 3725 s at 44100 Hz and 10 : 1: 373 ticks, 4.41 pixels per second.
    makeScene(16428, 2);
    scene.duration = 3725;
    scene.startMarker = scene.finishMarker = scene.playColumn = 0;
    const QImage im = renderWaveform(scene);
    const float step = rulerStep(44100, 10000);
    EXPECT_FLOAT_EQ(step, 44.1f);
    const std::vector<int> xs = tickPositions(step, 3725);
    ASSERT_EQ(xs.size(), 373u);
    int differsFromProduct = 0;
    for (std::size_t k = 0; k < xs.size(); ++k) {
        const int x = xs[k];
        const bool major = (k * 10) % 20 == 0;
        SCOPED_TRACE(k);
        ASSERT_EQ(px(im, x, 201), kTickColour);
        EXPECT_EQ(px(im, x, 203), major ? kTickColour : kRuler);
        EXPECT_EQ(px(im, x, 205), major ? kTickColour : kRuler);
        EXPECT_EQ(px(im, x, 206), kRuler);
        differsFromProduct += int(float(k) * step) != x;
    }
    // Ticks are the only dark pixels in the rows above the labels.
    EXPECT_EQ(countColour(im, 0, 16428, 201, 202, kTickColour), 373);
    // No tick for t = 3730 at 16449 and beyond; the accumulated sum drifts from k * step.
    EXPECT_GT(differsFromProduct, 0);
}

TEST_F(Waveform, MarkerLinesAndLabelsNearTheRightEdge) {
    makeScene(400, 2);
    scene.startMarker = 20;
    scene.finishMarker = 352;  // exactly width - 48: label stays right of the line
    scene.playColumn = 360;    // past width - 48: label moves left
    scene.startSeconds = 4;
    scene.finishSeconds = 79;
    scene.playSeconds = 81;
    const QImage im = renderWaveform(scene);
    EXPECT_EQ(countColour(im, 20, 21, 0, 200, kStartMarkerColour), 200);
    EXPECT_EQ(px(im, 20, 200), kSelectionColour);
    EXPECT_EQ(countColour(im, 352, 353, 0, 200, kFinish), 200);
    EXPECT_EQ(countColour(im, 360, 361, 0, 200, kPlayCursorColour), 200);
    EXPECT_EQ(px(im, 360, 200), kWaveBackground);

    // Labels: start's to the right of its line, the cursor's to the left of its line.
    EXPECT_GT(countColour(im, 22, 90, 2, 20, kStartMarkerColour), 0);
    EXPECT_EQ(countColour(im, 0, 20, 0, 221, kStartMarkerColour), 0);
    EXPECT_GT(countColour(im, 314, 352, 2, 20, kPlayCursorColour), 0);
    EXPECT_EQ(countColour(im, 300, 314, 0, 221, kPlayCursorColour), 0);
    EXPECT_EQ(countColour(im, 375, 400, 0, 221, kPlayCursorColour), 0);
    EXPECT_GT(countColour(im, 354, 400, 2, 20, kFinish), 0);

    // The cursor is drawn last: on the start marker's column it wins.
    scene.playColumn = 20;
    const QImage over = renderWaveform(scene);
    EXPECT_EQ(countColour(over, 20, 21, 0, 200, kPlayCursorColour), 200);
}

// Any column range drawn alone equals the same range of the whole bitmap.
void expectPartsEqualWhole(const WaveformScene& s, const std::vector<std::pair<std::int64_t, int>>& ranges) {
    const QImage whole = renderWaveform(s);
    for (auto [x0, w] : ranges) {
        SCOPED_TRACE(testing::Message() << "x0 " << x0 << " w " << w);
        const QImage part = renderWaveformPart(s, x0, w);
        ASSERT_EQ(part.width(), w);
        int mismatches = 0;
        for (int y = 0; y < kWaveBitmapHeight; ++y)
            for (int x = 0; x < w; ++x) {
                const std::int64_t bx = x0 + x;
                const QRgb want = (bx >= 0 && bx < whole.width()) ? px(whole, int(bx), y) : kWaveBackground;
                mismatches += px(part, x, y) != want;
            }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(Waveform, ExposedRangeEqualsWholeBitmap) {
    // Ten minutes at 1 : 1 with markers and cursor at both edges and labels crossing ranges.
    makeScene(26460, 2, 1000);
    for (std::size_t c = 0; c < left.size(); ++c) {
        left[c] = std::int16_t((c * 37) % 101);
        right[c] = std::int16_t((c * 53 + 7) % 101);
    }
    refresh();
    scene.startMarker = 3;
    scene.finishMarker = 26459;
    scene.playColumn = 26430;
    scene.startSeconds = 0;
    scene.finishSeconds = 599;
    scene.playSeconds = 599;
    expectPartsEqualWhole(scene, {{0, 714}, {1, 714}, {40, 50}, {441, 714}, {880, 3}, {900, 1},
                                  {13000, 714}, {26460 - 714, 714}, {26460 - 40, 40}, {26450, 30},
                                  {-20, 60}});

    // Short stereo and mono documents, marker labels moved left and crossing range edges.
    makeScene(700, 1);
    for (std::size_t c = 0; c < left.size(); ++c) left[c] = right[c] = std::int16_t(c % 101);
    refresh();
    scene.startMarker = 660;
    scene.finishMarker = 690;
    scene.playColumn = 699;
    scene.startSeconds = 149;
    scene.finishSeconds = 156;
    scene.playSeconds = 158;
    expectPartsEqualWhole(scene, {{0, 700}, {600, 60}, {620, 41}, {650, 50}, {10, 30}, {699, 1}});
}

}  // namespace

// However close the markers, their labels stay whole inside the bitmap and never cover one
// another; the ruler's last label is whole too.
TEST_F(Waveform, LabelsStayInsideAndApart) {
    struct Box { int x0 = 1 << 20, x1 = -1, y0 = 1 << 20, y1 = -1; };
    for (const auto& [columns, start, finish, play] : std::vector<std::array<std::uint32_t, 4>>{
             {30, 0, 29, 1}, {66, 10, 14, 12}, {400, 390, 395, 399}, {120, 0, 1, 0}}) {
        makeScene(columns, 2);
        scene.duration = 600;  // labels as wide as real ones, ruler ticks up to the end
        scene.startMarker = start, scene.finishMarker = finish, scene.playColumn = play;
        scene.startSeconds = 3599, scene.finishSeconds = 3600, scene.playSeconds = 3601;
        const QImage im = renderWaveform(scene);
        std::vector<Box> boxes;
        for (const auto& [colour, line] : {std::pair{kStartMarkerColour, start}, {kFinish, finish},
                                           {kPlayCursorColour, play}}) {
            Box b;
            for (int y = 0; y < 200; ++y)
                for (int x = 0; x < im.width(); ++x)
                    if (px(im, x, y) == colour && x != int(line) && x != int(start) && x != int(finish) && x != int(play))
                        b = {std::min(b.x0, x), std::max(b.x1, x), std::min(b.y0, y), std::max(b.y1, y)};
            ASSERT_GE(b.x1, 0) << columns << " " << line;  // something of the label shows
            boxes.push_back(b);
        }
        for (std::size_t i = 0; i < boxes.size(); ++i)
            for (std::size_t j = i + 1; j < boxes.size(); ++j)
                EXPECT_TRUE(boxes[i].x1 < boxes[j].x0 || boxes[j].x1 < boxes[i].x0 || boxes[i].y1 < boxes[j].y0 ||
                            boxes[j].y1 < boxes[i].y0)
                    << columns << ": labels " << i << " and " << j << " overlap";
        // The last ruler label ends before the bitmap does (where one fits at all).
        if (columns >= 66) EXPECT_EQ(countNot(im, im.width() - 1, im.width(), 207, 221, kRuler), 0) << columns;
    }
}
