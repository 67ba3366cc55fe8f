#pragma once
// One edit as the undo journal keeps it: what it was (to name it and to run it again), the
// document as it was before it, and where its bytes went.

#include <cstdint>
#include <string>
#include <vector>

#include "doc/DocumentState.h"

namespace torvane {

enum class EditKind { Delete, CutOut, Volume, Mute, FadeIn, FadeOut };

// How the working file before an edit is made again from the file after it: first each move
// carries bytes that the edit shifted towards the start back to where they were, then the
// saved ranges (the bytes the edit removed or overwrote, kept in the step's file in this
// order) are written back, and the file is cut to its old length.
struct UndoPlan {
    struct Range {
        std::uint64_t at = 0;
        std::uint64_t size = 0;
    };
    struct Move {
        std::uint64_t from = 0;  // offset in the edited file
        std::uint64_t to = 0;    // offset before the edit, never below `from`
        std::uint64_t size = 0;
    };
    std::uint64_t length = 0;
    std::vector<Range> saved;
    std::vector<Move> moves;

    std::uint64_t savedBytes() const {
        std::uint64_t n = 0;
        for (const Range& r : saved) n += r.size;
        return n;
    }
};

struct UndoStep {
    EditKind kind = EditKind::Volume;
    float factor = 1.0f;  // Volume only
    // The document before the edit: a redo starts again from exactly these.
    WaveFormat format;
    std::int32_t framesPerColumn = kDefaultFramesPerColumn;
    Selection selection;
    UndoPlan plan;
    std::string file;  // the saved ranges, in the instance folder
};

// The caption key of the edit's menu item ("FadeIn"); Mute is an option of Volume.
const char* editCaptionKey(EditKind kind);

}  // namespace torvane
