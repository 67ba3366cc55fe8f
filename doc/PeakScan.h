#pragma once
// The peak table: for every column of the waveform the loudest examined sample of each
// channel, scaled to 0..100. One frame in every 100 is examined.

#include <cstdint>
#include <string>

#include "doc/DocumentState.h"
#include "platform/File.h"
#include "platform/Outcome.h"
#include "platform/Progress.h"

namespace torvane {

// Fills doc.peaks.left / doc.peaks.right for columns 0 .. doc.view.columnCount - 1 from the open
// working file `f` (read from doc.format.dataOffset on), using
// the document's data offset, frame count, bits, channels, block size and frames per column.
// The arrays are overwritten in place; they are resized first if they do not hold
// doc.view.columnCount entries. After each column `bar` is set to (c + 1) * 100 / column count.
// A short read (a file cut under our feet) yields no frame, as at the end of the data.
void scanPeaks(const File& f, DocumentState& doc, Progress& progress, int bar);

// New zero-filled arrays of doc.view.columnCount entries, replacing the old ones.
void replacePeakArrays(DocumentState& doc);

// The zoom's reload: opens the working file read-only, recomputes the column count for the
// document's frames per column, replaces the arrays and scans. When the working file cannot
// be opened it fails with MessageId::CannotOpenTempFile and changes nothing.
Outcome reloadPeakTable(DocumentState& doc, Progress& progress, int bar = 0);

}  // namespace torvane
