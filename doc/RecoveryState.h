#pragma once
// What it takes to give a user their document back after the program or the machine died:
// a small file beside the working file, rewritten whole (write, flush, rename) after every
// command, so that it is always either the old state or the new one.

#include <cstdint>
#include <optional>
#include <string>

namespace torvane {

inline constexpr const char* kRecoveryFileName = "Recovery.txt";

struct RecoveryState {
    std::string documentPath;
    std::int32_t sourceBitRate = 0;
    std::int32_t framesPerColumn = 0;
    std::uint32_t startMarker = 0;
    std::uint32_t finishMarker = 0;
    bool modified = false;
    std::uint32_t undoIndex = 0;  // steps of the undo journal that are done (the rest can be redone)
    std::string journal;          // the undo journal's own line (its steps and their files)
    // An edit was running on the working file: it may be cut short. When it kept an undo step
    // (the journal's step at undoIndex), that step gives the document before it back.
    bool editing = false;
    bool editUndoable = false;
};

// Where an edit keeps how far it has got, beside the recovery state, so that an edit cut short
// can be undone exactly: the bytes it has moved, then the bytes of its undo step's file it has
// not kept yet (8 bytes each, little-endian).
inline constexpr const char* kEditMarkFileName = "EditMark";

// Writes `state` into `folder` (ending in a separator) atomically; false when it could not.
bool writeRecoveryState(const std::string& folder, const RecoveryState& state);
// The state in `folder`, or nothing when there is none or it is damaged.
std::optional<RecoveryState> readRecoveryState(const std::string& folder);

}  // namespace torvane
