#pragma once
// What the waveform view needs from the document and the play position.

#include <cstdint>

#include "doc/DocumentState.h"
#include "doc/PlayColumn.h"
#include "view/WaveformRenderer.h"

namespace torvane {

// Whole seconds of a stream byte position at the working file's rate, truncated (0 for a
// format without a rate).
std::int64_t streamSeconds(const WaveFormat& format, std::uint64_t position);

// Everything the renderer draws, read from the document and the player's position (0 when
// there is no player). The colours and the label font keep their defaults; the window sets
// its own.
WaveformScene waveSceneFor(const DocumentState& doc, std::uint64_t playPosition);

// The waveform's width in the view: one column a column, but never narrower than a time
// label, so that a short document still shows its markers' times whole. Past the last
// column the view is empty.
inline constexpr std::int32_t kMinWaveWidth = 64;
std::int32_t waveWidthFor(const DocumentState& doc);

// True when the view draws anything at all (a working file and a loaded document).
bool waveViewShowsDocument(const DocumentState& doc);

// Scrolling while playing: the left edge that keeps the cursor column visible. A cursor
// past the right edge turns the page so that it starts at the cursor; a cursor left of the
// view (playback restarted) does the same backwards. Returns `viewLeft` when the cursor is
// visible, and never scrolls past the content.
std::int64_t followCursorLeft(std::int64_t cursorX, std::int64_t viewLeft, std::int64_t viewWidth,
                              std::int64_t contentWidth);

}  // namespace torvane
