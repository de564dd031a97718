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

}  // namespace moonglow
