#pragma once
// The one conversion between playback stream byte positions and waveform columns.
//
// Column of a position: trunc(columnCount * position / streamLength), computed exactly on
// unsigned 64-bit values so that documents of 2 GiB and more (whose 32-bit positions would
// read as negative) keep their columns.
//
// Position of a column: the first whole frame at or after columnCount's share of the stream,
// ceil(column * streamLength / columnCount) rounded up to a frame. Truncating instead would
// put the position just before the column whenever the last column is partial (almost every
// file), so a click, a marker or Play From Here at column c would land on c - 1.

#include <cstdint>

#include "doc/DocumentState.h"

namespace torvane {

// An empty stream or view has only column 0; the engine's error position (all bits set)
// reads as 0.
std::uint32_t playColumnOf(std::uint32_t columnCount, std::uint64_t position, std::uint64_t streamLength);

// Never past the end of the stream; 0 for an empty view.
std::uint64_t columnPosition(std::uint32_t column, std::uint64_t streamLength, std::uint32_t columnCount,
                             std::uint32_t blockSize);

// The same two on the document's own stream length, view and format.
std::uint64_t columnPosition(const DocumentState& doc, std::uint32_t column);
std::uint32_t playColumnAt(const DocumentState& doc, std::uint64_t position);

// The next zoom level in or out from framesPerColumn; the same value at either end.
std::int32_t zoomedIn(std::int32_t framesPerColumn);
std::int32_t zoomedOut(std::int32_t framesPerColumn);

}  // namespace torvane
