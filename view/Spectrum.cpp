#include "view/Spectrum.h"

#include <algorithm>
#include <cmath>

#include "view/GradientSteps.h"

namespace torvane {

TSpectrum::TSpectrum(int width, int height)
    : m_picture(width, height, QImage::Format_RGB32), m_scaleHeight(height) {
    m_picture.fill(m_backgroundColour);
}

void TSpectrum::draw(const float* fft, std::uint32_t uiMode) {
    m_picture.fill(m_backgroundColour);
    if (uiMode != 2 && uiMode != 3) return;

    const int w = m_picture.width();
    const int ph = m_picture.height();
    const GradientSteps gradient(m_topColour, m_bottomColour, m_scaleHeight);
    for (int i = 0; i < kBands; ++i) {
        // Single precision, like the buffer itself: a magnitude of 0.098f gives exactly 49.
        const float v = std::fabs(fft[i + kFirstBin]) * 500.0f;
        std::int32_t h = 0;
        if (std::isnan(v)) h = 0;
        else if (!(v < float(m_scaleHeight))) h = m_scaleHeight;
        else h = std::int32_t(v);

        std::int32_t& peak = m_peakHeights[std::size_t(i)];
        std::int32_t& bar = m_barHeights[std::size_t(i)];
        peak = h >= peak ? h : std::max(peak - m_peakFall, 0);
        bar = h >= bar ? h : std::max(bar - m_barFall, 0);

        if (i >= w) continue;  // computed and kept, but outside the picture
        for (int y = std::max(ph - bar, 0); y < ph; ++y)
            reinterpret_cast<QRgb*>(m_picture.scanLine(y))[i] = gradient.at(y);
        const int py = ph - peak;
        if (py >= 0 && py < ph) reinterpret_cast<QRgb*>(m_picture.scanLine(py))[i] = m_peakColour;
    }
}

}  // namespace torvane
