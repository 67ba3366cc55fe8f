#pragma once
// What the waveform view needs from the document and the engine, and the conversions
// between stream positions and view columns.

#include <cstdint>

#include "app/DocumentState.h"
#include "view/WaveformRenderer.h"

namespace torvane {

// The column under stream byte position `position`: trunc(columnCount * position /
// streamLength) in double precision, the position taken as a signed 32-bit value. An empty
// stream or view has only column 0.
std::uint32_t playColumnOf(std::uint32_t columnCount, std::int32_t position, std::int32_t streamLength);

// The stream byte position of column c: trunc(c * streamLength / columnCount); 0 for an
// empty view.
std::uint32_t columnPosition(std::uint32_t column, std::int32_t streamLength, std::uint32_t columnCount);

// The play column of the document's stream now.
std::uint32_t currentPlayColumn(const DocumentState& doc);

// Whole seconds of a stream byte position, truncated.
std::int64_t streamSeconds(HSTREAM stream, std::uint32_t position);

// Everything the renderer draws, read from the document and the engine. The colours and
// the label font keep their defaults; the window sets its own.
WaveformScene waveSceneFor(const DocumentState& doc);

// True when the view draws anything at all (a working file and a loaded document).
bool waveViewShowsDocument(const DocumentState& doc);

// Scrolling while playing: the left edge that keeps the cursor column visible. A cursor
// past the right edge turns the page so that it starts at the cursor; a cursor left of the
// view (playback restarted) does the same backwards. Returns `viewLeft` when the cursor is
// visible, and never scrolls past the content.
std::int64_t followCursorLeft(std::int64_t cursorX, std::int64_t viewLeft, std::int64_t viewWidth,
                              std::int64_t contentWidth);

}  // namespace torvane
