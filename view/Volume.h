#pragma once
// The stereo level meter beside the transport buttons: two horizontal bars with peak
// markers that fall back slowly, drawn into a picture of the paint box's size.

#include <cstdint>

#include <QImage>
#include <QRgb>

namespace torvane {

class TVolume {
public:
    TVolume(int width, int height);

    // Levels are 0..100. Bars move only while playing or paused; paused, they fall to rest.
    void draw(std::int32_t leftLevel, std::int32_t rightLevel, std::uint32_t uiMode);

    const QImage& picture() const { return m_picture; }
    std::int32_t leftBar() const { return m_leftBar; }
    std::int32_t rightBar() const { return m_rightBar; }
    std::int32_t leftPeak() const { return m_leftPeak; }
    std::int32_t rightPeak() const { return m_rightPeak; }

private:
    void drawBar(std::int32_t bar, std::int32_t peak, int top);

    QImage m_picture;
    std::int32_t m_scaleWidth;
    QRgb m_backgroundColour = 0xFF000000;
    QRgb m_peakColour = 0xFFFFFF00;
    QRgb m_leftEndColour = 0xFF00FF00;
    QRgb m_rightEndColour = 0xFFFF0000;
    std::int32_t m_thickness = 7;
    std::int32_t m_peakFall = 2;
    std::int32_t m_barFall = 15;
    std::int32_t m_leftBar = 0, m_rightBar = 0, m_leftPeak = 0, m_rightPeak = 0;
};

// The engine's level word (low word left, high word right, 0..32768) as two 0..100 levels.
struct MeterLevels {
    std::int32_t left = 0;
    std::int32_t right = 0;
};
MeterLevels meterLevels(std::uint32_t levelWord);

}  // namespace torvane
