#include "session/UIModeTable.h"

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

}  // namespace torvane
