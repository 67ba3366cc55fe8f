#include "edit/UndoStep.h"

#include <algorithm>

#include "doc/WorkingFile.h"

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

// Each case follows the block moves of its edit in Edits.cpp, including what they do when a
// marker lies past the data or the file: a plan that misses a byte the edit touches would
// make the undo silently wrong.
UndoPlan planUndo(EditKind kind, const DocumentState& doc, std::uint64_t fileLength) {
    UndoPlan plan;
    plan.length = fileLength;
    const std::uint64_t L = fileLength;
    const auto clampL = [L](std::uint64_t v) { return std::min(v, L); };
    const auto save = [&plan](std::uint64_t from, std::uint64_t to) {
        if (to > from) plan.saved.push_back({from, to - from});
    };
    const std::uint64_t O = std::uint32_t(doc.format.dataOffset);
    const std::uint64_t S = columnToByte(doc, doc.selection.startMarker);
    const std::uint64_t F = columnToByte(doc, doc.selection.finishMarker);
    switch (kind) {
    case EditKind::Delete: {
        // [F, end of data) slides down onto S; the selection and whatever followed the data
        // are gone, and the header's sizes are rewritten.
        const std::uint64_t E = clampL(std::uint32_t(doc.format.dataEnd));
        const std::uint64_t Fc = std::min(F, E);
        save(0, clampL(O));
        save(std::min(S, Fc), Fc);
        save(E, L);
        if (E > Fc) plan.moves.push_back({S, Fc, E - Fc});
        break;
    }
    case EditKind::CutOut:
        // Only [S, F) is kept, moved down to the data's start; the part before it and the part
        // after it are gone, and the header's sizes are rewritten.
        save(0, clampL(O));
        save(clampL(O), clampL(S));
        save(clampL(F), L);
        if (F > S) plan.moves.push_back({O, S, F - S});
        break;
    case EditKind::Volume:
    case EditKind::Mute:
    case EditKind::FadeIn:
    case EditKind::FadeOut: {
        // Overwritten in place: the selection's frames, cut short at the end of the file.
        const std::uint32_t fpc = std::uint32_t(doc.view.framesPerColumn);
        const std::uint32_t frames = doc.selection.finishMarker * fpc - doc.selection.startMarker * fpc;
        save(clampL(S), clampL(S + std::uint64_t(frames) * doc.format.blockSize));
        break;
    }
    }
    return plan;
}

}  // namespace torvane
