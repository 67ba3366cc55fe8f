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

// The same table built from the samples as they go by (a copy or a decode writing the working
// file), so that nothing reads the file a second time. Fed the data's bytes in order from
// `dataByte` on (a part decoded on a thread of its own starts where its samples go); bytes past
// `dataBytes` are not samples (chunks after the data). Tables of different parts merge.
class PeakAccumulator {
public:
    PeakAccumulator(std::int32_t framesPerColumn, int bitsPerSample, int channels, std::uint64_t dataByte = 0,
                    std::uint64_t dataBytes = UINT64_MAX);
    void add(const unsigned char* bytes, std::size_t size);
    void merge(const PeakAccumulator& other);
    // Writes doc.peaks for doc.view.columnCount columns: what scanPeaks gives over the same data
    // (the document's format being the one given here).
    void store(DocumentState& doc) const;
    // True when the document's zoom, bits and channels are those the table was taken for.
    bool fits(const DocumentState& doc) const;

private:
    void take(std::uint64_t examined, const unsigned char* frame);

    std::uint32_t m_perColumn;  // examined frames per column
    bool m_eightBit, m_mono;
    std::uint32_t m_block;
    std::uint64_t m_stride;
    std::uint64_t m_at;         // data byte of the next byte fed
    std::uint64_t m_end;
    std::uint64_t m_next;       // the next examined frame
    unsigned char m_partial[4] = {};
    std::uint64_t m_firstColumn;
    std::vector<std::uint16_t> m_left, m_right;  // levels of columns m_firstColumn ...
};

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
