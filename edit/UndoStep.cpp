#include "edit/UndoStep.h"

namespace torvane {

const char* editCaptionKey(EditKind kind) {
    switch (kind) {
    case EditKind::Delete: return "Delete";
    case EditKind::CutOut: return "CutOut";
    case EditKind::Volume:
    case EditKind::Mute: return "Volume";
    case EditKind::FadeIn: return "FadeIn";
    case EditKind::FadeOut: return "FadeOut";
    }
    return "";
}

}  // namespace torvane
