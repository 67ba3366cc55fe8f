// The spectrum analyser and the level meter: heights, fall rates, colours, and what the
// modes without playback show.

#include <gtest/gtest.h>

#include <array>

#include "view/Spectrum.h"
#include "view/Volume.h"

using namespace torvane;

namespace {

constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kYellow = 0xFFFFFF00;

QRgb px(const QImage& im, int x, int y) { return im.pixel(x, y) | 0xFF000000; }

bool allBlack(const QImage& im) {
    for (int y = 0; y < im.height(); ++y)
        for (int x = 0; x < im.width(); ++x)
            if (px(im, x, y) != kBlack) return false;
    return true;
}

std::array<float, 512> fftWith(int bin, float value) {
    std::array<float, 512> f{};
    f[std::size_t(bin)] = value;
    return f;
}

TEST(Spectrum, FullHeightBarColoursAndPeakDot) {
    TSpectrum s(97, 49);
    ASSERT_EQ(s.picture().size(), QSize(97, 49));
    // Band 0 is bin 5; a magnitude of 0.098 reaches the full 49 pixels, 0.097 does not.
    auto f = fftWith(5, 0.098f);
    f[6] = -0.098f;  // magnitudes: the sign does not matter
    f[7] = 0.0979f;
    f[4] = 1.0f;     // below the first shown bin
    s.draw(f.data(), 2);
    EXPECT_EQ(s.barHeight(0), 49);
    EXPECT_EQ(s.barHeight(1), 49);
    EXPECT_EQ(s.barHeight(2), 48);
    const QImage& im = s.picture();
    // Red at the top shading to nearly yellow at the bottom; the peak dot sits on row 0.
    EXPECT_EQ(px(im, 0, 0), kYellow);
    EXPECT_EQ(px(im, 0, 1), qRgb(255, 5, 0));    // 1 * 255/49 = 5.2
    EXPECT_EQ(px(im, 0, 48), qRgb(255, 249, 0)); // 48 * 255/49 = 249.8
    EXPECT_EQ(px(im, 2, 0), kBlack);
    EXPECT_EQ(px(im, 2, 1), kYellow);            // height 48: peak dot at 49 - 48
    EXPECT_EQ(px(im, 2, 2), qRgb(255, 10, 0));
    EXPECT_EQ(px(im, 3, 48), kBlack);
    // A huge magnitude is capped at the scale height.
    auto loud = fftWith(100, 1000.0f);
    s.draw(loud.data(), 2);
    EXPECT_EQ(s.barHeight(95), 49);
}

TEST(Spectrum, BarsFallThreeAndPeaksOnePixelPerTick) {
    TSpectrum s(97, 49);
    auto full = fftWith(5, 0.2f);
    const std::array<float, 512> silence{};
    s.draw(full.data(), 2);
    int barTicks = 0, peakTicks = 0;
    for (int tick = 1; tick <= 60; ++tick) {
        s.draw(silence.data(), 3);  // paused: the spectrum keeps drawing from the buffer
        if (s.barHeight(0) == 0 && barTicks == 0) barTicks = tick;
        if (s.peakHeight(0) == 0 && peakTicks == 0) peakTicks = tick;
        if (tick == 1) {
            EXPECT_EQ(s.barHeight(0), 46);
            EXPECT_EQ(s.peakHeight(0), 48);
            EXPECT_EQ(px(s.picture(), 0, 1), kYellow);          // the peak dot
            EXPECT_EQ(px(s.picture(), 0, 2), kBlack);
            EXPECT_EQ(px(s.picture(), 0, 3), qRgb(255, 15, 0)); // the bar's top row
        }
    }
    EXPECT_EQ(barTicks, 17);
    EXPECT_EQ(peakTicks, 49);
    EXPECT_TRUE(allBlack(s.picture()));
}

TEST(Spectrum, StoppedAndNoDocumentShowBackgroundAndKeepBars) {
    TSpectrum s(97, 49);
    auto full = fftWith(10, 0.2f);
    s.draw(full.data(), 2);
    EXPECT_EQ(s.barHeight(5), 49);
    for (std::uint32_t mode : {0u, 1u}) {
        s.draw(full.data(), mode);
        EXPECT_TRUE(allBlack(s.picture()));
        EXPECT_EQ(s.barHeight(5), 49);
    }
    const std::array<float, 512> silence{};
    s.draw(silence.data(), 2);
    EXPECT_EQ(s.barHeight(5), 46);  // carries on from the kept value
}

TEST(Volume, LevelWordConversion) {
    EXPECT_EQ(meterLevels(0x80008000u).left, 100);
    EXPECT_EQ(meterLevels(0x80008000u).right, 100);
    EXPECT_EQ(meterLevels(0x00004000u).left, 50);
    EXPECT_EQ(meterLevels(0x00004000u).right, 0);
    EXPECT_EQ(meterLevels(327u).left, 0);  // 32700 / 32768 truncates
    EXPECT_EQ(meterLevels(328u << 16).right, 1);
}

TEST(Volume, FullScaleBarsAndColours) {
    TVolume v(161, 17);
    const MeterLevels full = meterLevels(0x80008000u);
    v.draw(full.left, full.right, 2);
    EXPECT_EQ(v.leftBar(), 161);
    EXPECT_EQ(v.rightBar(), 161);
    EXPECT_EQ(v.leftPeak(), 161);  // just outside the picture
    const QImage& im = v.picture();
    EXPECT_EQ(px(im, 0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(px(im, 160, 6), qRgb(253, 2, 0));  // 160 * 255/161 = 253.4
    EXPECT_EQ(px(im, 80, 3), qRgb(126, 129, 0));
    for (int y : {7, 8, 9}) EXPECT_EQ(px(im, 80, y), kBlack);
    EXPECT_EQ(px(im, 0, 10), qRgb(0, 255, 0));
    EXPECT_EQ(px(im, 160, 16), qRgb(253, 2, 0));
    for (int x = 0; x < 161; ++x) EXPECT_NE(px(im, x, 0), kYellow);

    // A half-scale left channel: an 80-pixel bar with its peak marker at x 80.
    TVolume half(161, 17);
    half.draw(50, 0, 2);
    EXPECT_EQ(half.leftBar(), 80);
    EXPECT_EQ(px(half.picture(), 79, 0), qRgb(125, 130, 0));
    EXPECT_EQ(px(half.picture(), 80, 0), kYellow);
    EXPECT_EQ(px(half.picture(), 80, 6), kYellow);
    EXPECT_EQ(px(half.picture(), 80, 7), kBlack);
    EXPECT_EQ(px(half.picture(), 81, 0), kBlack);
    EXPECT_EQ(px(half.picture(), 0, 10), kYellow);  // right peak 0 at x 0
    EXPECT_EQ(px(half.picture(), 1, 10), kBlack);
}

TEST(Volume, PausedMeterFallsToRest) {
    TVolume v(161, 17);
    v.draw(100, 60, 2);
    ASSERT_EQ(v.leftBar(), 161);
    ASSERT_EQ(v.rightBar(), 96);
    // Paused: the levels count as 0 whatever the engine says; bars fall 15, peaks 2.
    v.draw(100, 100, 3);
    EXPECT_EQ(v.leftBar(), 146);
    EXPECT_EQ(v.leftPeak(), 159);
    EXPECT_EQ(v.rightBar(), 81);
    EXPECT_EQ(v.rightPeak(), 94);
    EXPECT_EQ(px(v.picture(), 159, 0), kYellow);
    EXPECT_EQ(px(v.picture(), 146, 0), kBlack);
    for (int tick = 2; tick <= 11; ++tick) v.draw(0, 0, 3);
    EXPECT_EQ(v.leftBar(), 0);   // 161 - 11 * 15 < 0
    EXPECT_EQ(v.leftPeak(), 139);
    for (int tick = 12; tick <= 81; ++tick) v.draw(0, 0, 3);
    EXPECT_EQ(v.leftPeak(), 0);  // 161 - 81 * 2 < 0
    EXPECT_EQ(v.rightPeak(), 0);
    // At rest only the two peak markers at x 0 remain.
    EXPECT_EQ(px(v.picture(), 0, 0), kYellow);
    EXPECT_EQ(px(v.picture(), 1, 0), kBlack);
}

TEST(Volume, StoppedShowsBackgroundAndKeepsBars) {
    TVolume v(161, 17);
    v.draw(100, 100, 2);
    v.draw(0, 0, 1);
    EXPECT_TRUE(allBlack(v.picture()));
    EXPECT_EQ(v.leftBar(), 161);
    v.draw(0, 0, 0);
    EXPECT_TRUE(allBlack(v.picture()));
    v.draw(0, 0, 2);
    EXPECT_EQ(v.leftBar(), 146);
}

}  // namespace
