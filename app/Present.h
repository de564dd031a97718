#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "show/Canvas.h"

namespace moonglow {

// Copies what the show drew since the last call from `canvas` into the window's
// own image `dest` (the canvas's size, 0xFFRRGGBB, `destStride` pixels per
// row), holding the canvas mutex only while copying, and returns the rectangles
// that changed. The window then paints from its image alone, so painting never
// races with the show thread.
std::vector<TRect> TakeFrame(TCanvas& canvas, std::uint32_t* dest, std::size_t destStride);

// The rectangles the show drew into since the last call, holding the canvas
// mutex only to take them. For a window that paints straight from the canvas
// (under the same mutex) and so keeps no image of its own: a full frame less
// memory, and no copy at all of the pixels that changed.
std::vector<TRect> TakeChanges(TCanvas& canvas);
// The same, row by row (TCanvas::TakeDirtyRows): for a window whose display
// server copies many small rectangles for hardly more than a few large ones,
// so that a lone star pixel costs a 16-pixel row, not a 16×16 tile.
std::vector<TRect> TakeChangedRows(TCanvas& canvas);

// The refresh rate assumed when the display does not tell its own.
inline constexpr double DefaultRefreshHertz = 60.0;
// Bounds of the present interval in milliseconds: more than 250 frames a
// second only keep the main thread busy, fewer than ten make the show stutter.
inline constexpr int MinPresentMilliseconds = 4;
inline constexpr int MaxPresentMilliseconds = 100;

// How often the window copies the show's frame, in milliseconds, for a
// display refreshing `refreshHertz` times a second: one frame of the display,
// truncated so that every refresh finds a fresh frame. A rate of 1 Hz or less
// (or none at all) is a display that does not know its own rate: it counts as
// DefaultRefreshHertz.
int PresentInterval(double refreshHertz);

}  // namespace moonglow
