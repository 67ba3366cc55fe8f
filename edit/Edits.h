#pragma once
// The five edits on the working file. Each rewrites the selection of the working file in place
// (bar 0, "Processing:") and then rebuilds the peak table from it (bar 1, "Reloading:"). The
// selection runs from the start marker's column up to, not including, the finish marker's.
//
// The work moves large blocks: the bytes and header values are exactly those of rewriting the
// file one sample at a time, at the cost of a plain file copy.

#include <cstdint>
#include <functional>

#include "doc/DocumentState.h"
#include "platform/Outcome.h"
#include "platform/Progress.h"

namespace torvane {

// Failures: MessageId::CannotOpenTempFile when the working file could not be opened for
// reading and writing (nothing was changed); MessageId::CannotWriteWorkingFile when a write or
// truncation failed part-way (a full disk, say); MessageId::NothingToKeep for Cut Out with
// nothing selected (it would empty the document).

// Told, after each block that Delete and Cut Out move has reached the file, how many bytes
// have been moved: what an undo of an edit cut short at that point needs (see UndoJournal).
using MovedBytes = std::function<void(std::uint64_t)>;

// Removes the selection and closes the gap; the file gets shorter.
Outcome deleteSelection(DocumentState& doc, Progress& progress, const MovedBytes& moved = {});
// Keeps only the selection.
Outcome cutOutSelection(DocumentState& doc, Progress& progress, const MovedBytes& moved = {});

// The Volume dialog's list: 250 %, 200 %, 150 %, 100 %, 75 %, 50 %, 25 % (any other index).
float volumeFactor(int index);
// Scales the selection by `factor` or silences it. A factor of exactly 1 without mute leaves
// the file alone.
Outcome changeVolume(DocumentState& doc, float factor, bool mute, Progress& progress);

// 100 stairs of integer gain over the selection: 0 % up to 99 %, or 100 % down to 1 %.
Outcome fadeIn(DocumentState& doc, Progress& progress);
Outcome fadeOut(DocumentState& doc, Progress& progress);

}  // namespace torvane
