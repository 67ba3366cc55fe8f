#pragma once
// The peak table: for every column of the waveform the loudest examined sample of each
// channel, scaled to 0..100. One frame in every 100 is examined.

#include <cstdint>
#include <string>
#include <vector>

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

// Keeps the table true while an edit rewrites part of the data in place (the length and the
// zoom stay): told the new bytes as they go out, in the order of the file, it works out the
// columns from them; finish() reads again only the first and the last column told, which may
// hold examined frames outside what was written.
class PeakUpdate {
public:
    explicit PeakUpdate(const DocumentState& doc);
    // `size` new bytes at offset `at` of the working file; whole frames, after those told before.
    void written(const unsigned char* bytes, std::size_t size, std::uint64_t at);
    // Into the table, once the bytes are in the file `f`; false (nothing changes) when the table
    // is not the one of this document's columns.
    bool finish(const File& f, DocumentState& doc);

private:
    std::uint64_t m_dataOffset;
    std::uint32_t m_block;
    std::uint32_t m_perColumn;
    std::uint32_t m_columns;
    std::uint64_t m_examined;
    bool m_eightBit, m_mono;
    std::uint32_t m_first = 0;  // the column of m_left[0]
    std::vector<std::int16_t> m_left, m_right;
};

// New zero-filled arrays of doc.view.columnCount entries, replacing the old ones.
void replacePeakArrays(DocumentState& doc);

// The zoom's reload: opens the working file read-only, recomputes the column count for the
// document's frames per column, replaces the arrays and scans. When the working file cannot
// be opened it fails with MessageId::CannotOpenTempFile and changes nothing.
Outcome reloadPeakTable(DocumentState& doc, Progress& progress, int bar = 0);

}  // namespace torvane
