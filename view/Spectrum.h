#pragma once
// The spectrum analyser beside the transport buttons: 128 falling bars with peak dots,
// drawn into a picture of the paint box's size that the window copies onto the screen.

#include <array>
#include <cstdint>

#include <QImage>
#include <QRgb>

namespace torvane {

class TSpectrum {
public:
    static constexpr int kBands = 128;
    static constexpr int kFirstBin = 5;  // the five lowest bins are not shown

    TSpectrum(int width, int height);

    // Redraws the whole picture from a 512-value FFT; bars move only while playing or paused.
    void draw(const float* fftBuffer, std::uint32_t uiMode);

    const QImage& picture() const { return m_picture; }
    int barHeight(int band) const { return m_barHeights[std::size_t(band)]; }
    int peakHeight(int band) const { return m_peakHeights[std::size_t(band)]; }

private:
    QImage m_picture;
    std::int32_t m_scaleHeight;
    QRgb m_backgroundColour = 0xFF000000;
    QRgb m_peakColour = 0xFFFFFF00;
    QRgb m_bottomColour = 0xFFFFFF00;
    QRgb m_topColour = 0xFFFF0000;
    std::int32_t m_peakFall = 1;
    std::int32_t m_barFall = 3;
    std::array<std::int32_t, kBands> m_peakHeights{};
    std::array<std::int32_t, kBands> m_barHeights{};
};

}  // namespace torvane
