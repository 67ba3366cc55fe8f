#include "view/WaveformRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include "doc/TimeText.h"

namespace torvane {

namespace {

// Pixel writes into a window [x0, x0 + w) of the bitmap, in bitmap coordinates. Lines and
// rectangles keep the raster convention: the end point, and the right and bottom edges,
// are not painted.
class Canvas {
public:
    Canvas(QImage& image, std::int64_t x0, const QFont& font)
        : m_image(image), m_x0(x0), m_w(image.width()), m_h(image.height()),
          m_bits(image.bits()), m_stride(image.bytesPerLine()), m_font(font) {}

    std::int64_t left() const { return m_x0; }
    std::int64_t right() const { return m_x0 + m_w; }

    void fillRect(std::int64_t l, std::int64_t t, std::int64_t r, std::int64_t b, QRgb c) {
        l = std::max(l, m_x0);
        r = std::min(r, m_x0 + m_w);
        t = std::max<std::int64_t>(t, 0);
        b = std::min<std::int64_t>(b, m_h);
        if (l >= r || t >= b) return;
        // One row by hand, the others copied from it: copies run at memory speed.
        QRgb* first = line(int(t)) + (l - m_x0);
        std::fill(first, first + (r - l), c);
        const auto bytes = std::size_t(r - l) * sizeof(QRgb);
        for (std::int64_t y = t + 1; y < b; ++y) std::memcpy(line(int(y)) + (l - m_x0), first, bytes);
    }

    // From (x, y0) towards (x, y1), y1 itself not painted.
    void vline(std::int64_t x, std::int64_t y0, std::int64_t y1, QRgb c) {
        if (x < m_x0 || x >= m_x0 + m_w || y0 == y1) return;
        std::int64_t t, b;
        if (y0 < y1) { t = y0; b = y1; } else { t = y1 + 1; b = y0 + 1; }
        t = std::max<std::int64_t>(t, 0);
        b = std::min<std::int64_t>(b, m_h);
        const int col = int(x - m_x0);
        for (std::int64_t y = t; y < b; ++y) line(int(y))[col] = c;
    }

    // Text with a transparent background, its cell's top-left corner at (x, y).
    void text(std::int64_t x, int y, const QString& s, QRgb c) {
        if (!m_painter) {
            m_painter.emplace(&m_image);
            m_painter->setFont(m_font);
            m_ascent = QFontMetrics(m_painter->font()).ascent();
        }
        m_painter->setPen(QColor::fromRgb(c));
        m_painter->drawText(QPoint(int(x - m_x0), y + m_ascent), s);
    }

    // A generous bound for the width of any time label, so that labels starting left of
    // the window but reaching into it are drawn.
    std::int64_t labelReach() {
        if (m_labelReach < 0) {
            QFontMetrics fm(m_font);
            m_labelReach = std::int64_t(fm.maxWidth()) * 16 + fm.height() + 8;
        }
        return m_labelReach;
    }
    bool labelMayShow(std::int64_t x) { return x < right() && x + labelReach() > left(); }
    int textWidth(const QString& s) { return QFontMetrics(m_font).horizontalAdvance(s); }
    int lineHeight() { return QFontMetrics(m_font).height(); }

private:
    QRgb* line(int y) { return reinterpret_cast<QRgb*>(m_bits + std::ptrdiff_t(y) * m_stride); }

    QImage& m_image;
    std::int64_t m_x0;
    int m_w, m_h;
    uchar* m_bits;
    qsizetype m_stride;
    QFont m_font;
    std::optional<QPainter> m_painter;
    int m_ascent = 0;
    std::int64_t m_labelReach = -1;
};

struct PlacedLabel {
    std::int64_t left, right;
    int y;
};

// A marker's line and time label. The label sits right of its line (left of it near the end
// of the bitmap), is moved inside the bitmap when it would reach past either edge, and goes
// one row down when it would cover a label placed before it, so none overprints another.
void drawMarker(Canvas& cv, const WaveformScene& s, std::int64_t x, std::int64_t seconds, QRgb colour,
                std::vector<PlacedLabel>& placed) {
    cv.vline(x, 0, 200, colour);
    const QString text = QString::fromStdString(timeText(seconds));
    const std::int64_t w = cv.textWidth(text);
    std::int64_t lx = (x > std::int64_t(s.width) - kMarkerLabelShift ? x - kMarkerLabelShift : x) + 2;
    lx = std::max<std::int64_t>(0, std::min(lx, std::int64_t(s.width) - w));
    int y = 2;
    for (bool moved = true; moved;) {
        moved = false;
        for (const PlacedLabel& p : placed) {
            if (p.y == y && lx < p.right + 2 && p.left < lx + w + 2) {
                y += cv.lineHeight();
                moved = true;
            }
        }
    }
    placed.push_back({lx, lx + w, y});
    if (cv.labelMayShow(lx)) cv.text(lx, y, text, colour);
}

}  // namespace

float rulerStep(std::int32_t sampleRate, std::int32_t framesPerColumn) {
    if (framesPerColumn == 0) return 0.0f;
    return float(double(sampleRate) * 10.0 / double(framesPerColumn));
}

void renderWaveformPart(const WaveformScene& s, std::int64_t x0, QImage& target) {
    Canvas cv(target, x0, s.font);
    const std::int64_t width = s.width;

    // Outside the bitmap there is nothing: keep it black.
    cv.fillRect(cv.left(), 0, cv.right(), kWaveBitmapHeight, kWaveBackground);
    cv.fillRect(s.startMarker, 0, s.finishMarker, kWaveBitmapHeight, kSelectionColour);

    const QRgb rightColour = s.channels == 1 ? kLeftPeakColour : kRightPeakColour;
    const std::int64_t c0 = std::max<std::int64_t>(cv.left(), 0);
    const std::int64_t c1 = std::min<std::int64_t>({cv.right(), width, std::int64_t(s.columnCount)});
    if (s.leftPeaks && s.rightPeaks) {
        for (std::int64_t c = c0; c < c1; ++c) {
            cv.vline(c, kWaveCentreY - s.leftPeaks[c], kWaveCentreY - 1, kLeftPeakColour);
            cv.vline(c, kWaveCentreY, kWaveCentreY + s.rightPeaks[c], rightColour);
        }
    }
    // Past the last column (a short document in a wider view) there is no audio, and no centre line.
    cv.fillRect(0, kWaveCentreY, std::min<std::int64_t>(width, s.columnCount), kWaveCentreY + 1, kCentreLineColour);

    // Ruler. The tick positions are a running single-precision sum, exactly as the ruler has
    // always placed them; the sum has only duration / 10 terms, so it is walked from the
    // start every time and only the ticks near the window are drawn.
    cv.fillRect(0, kRulerTop, width, kWaveBitmapHeight, s.rulerColour);
    const float step = rulerStep(s.sampleRate, s.framesPerColumn);
    if (step > 0.0f && std::isfinite(step)) {
        float a = 0.0f;
        std::optional<std::pair<std::int64_t, std::uint64_t>> previous;  // its x and time
        for (std::uint64_t t = 0; t < s.duration; t += 10, a += step) {
            const std::int64_t x = std::int64_t(a);  // truncation toward zero
            if (x >= cv.right()) break;               // a never decreases
            if (t % 20 != 0) {
                cv.vline(x, kRulerTop, 203, kTickColour);
            } else {
                cv.vline(x, kRulerTop, 206, kTickColour);
                // A label that would be cut by the end of the bitmap is moved left to show
                // whole, unless that would cover the one before it.
                // Only labels near the end are measured.
                std::int64_t lx = x + 2;
                if (lx + cv.labelReach() > width) {
                    const std::int64_t w = cv.textWidth(QString::fromStdString(timeText(std::int64_t(t))));
                    if (lx + w > width && w <= width) {
                        lx = width - w;
                        if (previous && lx < previous->first + 4 +
                                                 cv.textWidth(QString::fromStdString(
                                                     timeText(std::int64_t(previous->second)))))
                            continue;
                    }
                }
                previous.emplace(lx, t);
                if (cv.labelMayShow(lx))
                    cv.text(lx, 208, QString::fromStdString(timeText(std::int64_t(t))), kRulerTextColour);
            }
        }
    }

    std::vector<PlacedLabel> placed;
    drawMarker(cv, s, s.startMarker, s.startSeconds, kStartMarkerColour, placed);
    drawMarker(cv, s, s.finishMarker, s.finishSeconds, s.finishColour, placed);
    drawMarker(cv, s, s.playColumn, s.playSeconds, kPlayCursorColour, placed);

    // The bitmap ends at its width: whatever reached past it (labels, a marker beyond the
    // last column) is not part of it.
    cv.fillRect(std::max<std::int64_t>(width, cv.left()), 0, cv.right(), kWaveBitmapHeight, kWaveBackground);
}

QImage renderWaveformPart(const WaveformScene& s, std::int64_t x0, int width) {
    QImage image(std::max(width, 1), kWaveBitmapHeight, QImage::Format_RGB32);
    renderWaveformPart(s, x0, image);
    return image;
}

QImage renderWaveform(const WaveformScene& s) { return renderWaveformPart(s, 0, std::max(s.width, 1)); }

}  // namespace torvane
