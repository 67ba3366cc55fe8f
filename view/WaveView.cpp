#include "view/WaveView.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace torvane {

std::int64_t streamSeconds(const WaveFormat& format, std::uint64_t position) {
    const double perSecond = double(format.sampleRate) * format.blockSize;
    if (!(perSecond > 0)) return 0;
    const double s = double(position) / perSecond;
    return std::isfinite(s) ? std::int64_t(s) : 0;
}

std::int32_t waveWidthFor(const DocumentState& doc) {
    return std::max(std::int32_t(std::min<std::uint32_t>(doc.view.columnCount, INT32_MAX)), kMinWaveWidth);
}

bool waveViewShowsDocument(const DocumentState& doc) { return !doc.workingFilePath.empty() && doc.loaded; }

WaveformScene waveSceneFor(const DocumentState& doc, std::uint64_t playPosition) {
    WaveformScene s;
    const bool peaks = doc.peaks.left.size() >= doc.view.columnCount && doc.peaks.right.size() >= doc.view.columnCount;
    s.leftPeaks = peaks ? doc.peaks.left.data() : nullptr;
    s.rightPeaks = peaks ? doc.peaks.right.data() : nullptr;
    s.columnCount = doc.view.columnCount;
    s.width = waveWidthFor(doc);
    s.channels = doc.format.channels;
    s.sampleRate = doc.format.sampleRate;
    s.framesPerColumn = doc.view.framesPerColumn;
    s.duration = doc.format.duration;
    s.startMarker = doc.selection.startMarker;
    s.finishMarker = doc.selection.finishMarker;
    s.startSeconds = streamSeconds(doc.format, columnPosition(doc, doc.selection.startMarker));
    s.finishSeconds = streamSeconds(doc.format, columnPosition(doc, doc.selection.finishMarker));
    s.playSeconds = streamSeconds(doc.format, playPosition);
    s.playColumn = playColumnAt(doc, playPosition);
    return s;
}

std::int64_t followCursorLeft(std::int64_t cursorX, std::int64_t viewLeft, std::int64_t viewWidth,
                              std::int64_t contentWidth) {
    if (viewWidth <= 0) return viewLeft;
    if (cursorX >= viewLeft && cursorX < viewLeft + viewWidth) return viewLeft;
    const std::int64_t maxLeft = std::max<std::int64_t>(0, contentWidth - viewWidth);
    return std::clamp<std::int64_t>(cursorX, 0, maxLeft);
}

}  // namespace torvane
