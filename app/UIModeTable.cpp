#include "app/UIModeTable.h"

#include <cmath>

namespace torvane {

UIModeStates uiModeStates(const UIModeInputs& in) {
    UIModeStates s;
    if (in.mode == 0) {
        s.open = true;
        return s;
    }
    const bool playing = in.mode == 2;
    s.close = s.saveAs = s.selectAll = s.cut = s.effects = s.zoomItems = true;
    s.save = in.modified;
    s.zoomIn = !in.zoom1Checked;
    s.zoomOut = !in.zoom10Checked;
    s.play = s.playFromHere = !playing;
    s.pause = playing;
    s.stop = in.mode == 2 || in.mode == 3;
    s.setStart = in.playColumn < in.finishMarker;
    s.setFinish = in.playColumn > in.startMarker;
    return s;
}

std::uint32_t playColumn(std::uint32_t columnCount, std::uint64_t enginePosition, std::int32_t streamLength) {
    if (streamLength == 0 || columnCount == 0) return 0;
    const auto pos = static_cast<std::int32_t>(static_cast<std::uint32_t>(enginePosition));
    const double column = std::trunc(double(columnCount) * double(pos) / double(streamLength));
    if (!(column > 0)) return 0;
    if (column >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(column);
}

}  // namespace torvane
