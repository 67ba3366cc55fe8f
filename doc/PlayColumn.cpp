#include "doc/PlayColumn.h"

#include <algorithm>

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

std::uint32_t playColumnAt(const DocumentState& doc, std::uint64_t position) {
    return playColumnOf(doc.view.columnCount, position, doc.streamLength);
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
