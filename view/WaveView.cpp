#include "view/WaveView.h"

#include <algorithm>
#include <cmath>

namespace torvane {

std::uint32_t playColumnOf(std::uint32_t columnCount, std::int32_t position, std::int32_t streamLength) {
    if (streamLength == 0 || columnCount == 0) return 0;
    const double c = std::trunc(double(columnCount) * double(position) / double(streamLength));
    // Only a stream past 2 GiB (its length and positions read as negative 32-bit values)
    // can give a column outside the unsigned range; keep it at the nearest end, as the
    // command-enabling rules do.
    if (!(c > 0)) return 0;
    if (c >= 4294967295.0) return 0xFFFFFFFFu;
    return std::uint32_t(c);
}

std::uint32_t columnPosition(std::uint32_t column, std::int32_t streamLength, std::uint32_t columnCount) {
    if (columnCount == 0) return 0;
    const double p = std::trunc(double(column) * double(streamLength) / double(columnCount));
    return std::uint32_t(std::int64_t(p));
}

std::uint32_t currentPlayColumn(const DocumentState& doc) {
    const auto pos = std::int32_t(std::uint32_t(BASS_ChannelGetPosition(doc.stream, BASS_POS_BYTE)));
    return playColumnOf(doc.columnCount, pos, doc.streamLength);
}

std::int64_t streamSeconds(HSTREAM stream, std::uint32_t position) {
    const double s = BASS_ChannelBytes2Seconds(stream, position);
    return std::isfinite(s) ? std::int64_t(s) : 0;
}

bool waveViewShowsDocument(const DocumentState& doc) { return !doc.workingFilePath.empty() && doc.loaded; }

WaveformScene waveSceneFor(const DocumentState& doc) {
    WaveformScene s;
    const bool peaks = doc.leftPeaks.size() >= doc.columnCount && doc.rightPeaks.size() >= doc.columnCount;
    s.leftPeaks = peaks ? doc.leftPeaks.data() : nullptr;
    s.rightPeaks = peaks ? doc.rightPeaks.data() : nullptr;
    s.columnCount = doc.columnCount;
    s.width = std::int32_t(doc.columnCount);
    s.channels = doc.channels;
    s.sampleRate = doc.sampleRate;
    s.framesPerColumn = doc.framesPerColumn;
    s.duration = doc.duration;
    s.startMarker = doc.startMarker;
    s.finishMarker = doc.finishMarker;
    s.startSeconds =
        streamSeconds(doc.stream, columnPosition(doc.startMarker, doc.streamLength, doc.columnCount));
    s.finishSeconds =
        streamSeconds(doc.stream, columnPosition(doc.finishMarker, doc.streamLength, doc.columnCount));
    const auto pos = std::uint32_t(BASS_ChannelGetPosition(doc.stream, BASS_POS_BYTE));
    s.playSeconds = streamSeconds(doc.stream, pos);
    s.playColumn = playColumnOf(doc.columnCount, std::int32_t(pos), doc.streamLength);
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
