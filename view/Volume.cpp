#include "view/Volume.h"

#include <algorithm>

#include "view/GradientSteps.h"

namespace torvane {

MeterLevels meterLevels(std::uint32_t word) {
    return {std::int32_t((word & 0xFFFFu) * 100u / 32768u), std::int32_t((word >> 16) * 100u / 32768u)};
}

TVolume::TVolume(int width, int height)
    : m_picture(width, height, QImage::Format_RGB32), m_scaleWidth(width) {
    m_picture.fill(m_backgroundColour);
}

void TVolume::draw(std::int32_t left, std::int32_t right, std::uint32_t uiMode) {
    m_picture.fill(m_backgroundColour);
    if (uiMode != 2 && uiMode != 3) return;
    if (uiMode == 3) left = right = 0;

    auto fall = [](std::int32_t length, std::int32_t previous, std::int32_t by) {
        return std::max(length, std::max(previous - by, 0));
    };
    const std::int32_t w = m_scaleWidth;
    m_leftBar = fall(std::int32_t(std::int64_t(left) * w / 100), m_leftBar, m_barFall);
    m_leftPeak = fall(m_leftBar, m_leftPeak, m_peakFall);
    m_rightBar = fall(std::int32_t(std::int64_t(right) * w / 100), m_rightBar, m_barFall);
    m_rightPeak = fall(m_rightBar, m_rightPeak, m_peakFall);

    drawBar(m_leftBar, m_leftPeak, 0);
    drawBar(m_rightBar, m_rightPeak, m_thickness + 3);
}

// Vertical lines from (x, top) to (x, top + T), the end row not painted.
void TVolume::drawBar(std::int32_t bar, std::int32_t peak, int top) {
    const int w = m_picture.width();
    const int y0 = std::max(top, 0);
    const int y1 = std::min(top + m_thickness, m_picture.height());
    const GradientSteps gradient(m_leftEndColour, m_rightEndColour, m_scaleWidth);
    const int xEnd = std::min(bar, w);
    for (int y = y0; y < y1; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(m_picture.scanLine(y));
        for (int x = 0; x < xEnd; ++x) row[x] = gradient.at(x);
        if (peak >= 0 && peak < w) row[peak] = m_peakColour;
    }
}

}  // namespace torvane
