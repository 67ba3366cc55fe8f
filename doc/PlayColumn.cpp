#include "doc/PlayColumn.h"

#include <algorithm>

#include "platform/Bass.h"

namespace torvane {

std::uint32_t playColumnOf(std::uint32_t columnCount, std::uint64_t position, std::uint64_t streamLength) {
    if (streamLength == 0 || columnCount == 0 || position == ~std::uint64_t(0)) return 0;
    const unsigned __int128 c = (unsigned __int128)columnCount * position / streamLength;
    return c > 0xFFFFFFFFu ? 0xFFFFFFFFu : std::uint32_t(c);
}

std::uint64_t columnPosition(std::uint32_t column, std::uint64_t streamLength, std::uint32_t columnCount,
                             std::uint32_t blockSize) {
    if (columnCount == 0 || streamLength == 0) return 0;
    const std::uint64_t block = blockSize ? blockSize : 1;
    const unsigned __int128 share = (unsigned __int128)column * streamLength;
    std::uint64_t p = std::uint64_t((share + columnCount - 1) / columnCount);
    p = (p + block - 1) / block * block;
    return std::min(p, streamLength);
}

std::uint64_t columnPosition(const DocumentState& doc, std::uint32_t column) {
    return columnPosition(column, doc.streamLength, doc.view.columnCount, doc.format.blockSize);
}

std::uint64_t streamPosition(const DocumentState& doc) {
    if (doc.stream == 0) return 0;
    const QWORD p = BASS_ChannelGetPosition(doc.stream, BASS_POS_BYTE);
    return p == QWORD(-1) ? 0 : p;
}

std::uint32_t currentPlayColumn(const DocumentState& doc) {
    return playColumnOf(doc.view.columnCount, streamPosition(doc), doc.streamLength);
}

std::int32_t zoomedIn(std::int32_t framesPerColumn) {
    for (std::size_t i = 0; i + 1 < kZoomLevels.size(); ++i)
        if (framesPerColumn == kZoomLevels[i]) return kZoomLevels[i + 1];
    return framesPerColumn;
}

std::int32_t zoomedOut(std::int32_t framesPerColumn) {
    for (std::size_t i = kZoomLevels.size() - 1; i > 0; --i)
        if (framesPerColumn == kZoomLevels[i]) return kZoomLevels[i - 1];
    return framesPerColumn;
}

}  // namespace torvane
