#include "view/GradientSteps.h"

#include <cmath>

namespace torvane {

namespace {
float stepOf(int first, int second, std::int32_t scale) {
    return scale == 0 ? 0.0f : float(second - first) / float(scale);
}
int component(int first, float step, std::int32_t p) {
    // The product of an integer and a float is exact in double: no rounding before trunc.
    return (first + int(std::trunc(double(p) * double(step)))) & 0xFF;
}
}  // namespace

GradientSteps::GradientSteps(QRgb first, QRgb second, std::int32_t scale)
    : m_first(first),
      m_r(stepOf(qRed(first), qRed(second), scale)),
      m_g(stepOf(qGreen(first), qGreen(second), scale)),
      m_b(stepOf(qBlue(first), qBlue(second), scale)) {}

QRgb GradientSteps::at(std::int32_t p) const {
    return qRgb(component(qRed(m_first), m_r, p), component(qGreen(m_first), m_g, p),
                component(qBlue(m_first), m_b, p));
}

}  // namespace torvane
