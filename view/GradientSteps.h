#pragma once
#include <cstdint>

#include <QRgb>

namespace torvane {

// Colour at position p of a scale of length S between two end colours, per component:
// first + trunc(p * step) with step = (second - first) / S in single precision, kept to 8
// bits. The steps are computed once per drawing.
class GradientSteps {
public:
    GradientSteps(QRgb first, QRgb second, std::int32_t scale);
    QRgb at(std::int32_t p) const;

private:
    QRgb m_first;
    float m_r, m_g, m_b;
};

}  // namespace torvane
