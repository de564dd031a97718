#pragma once

#include <array>

#include "show/Canvas.h"

namespace moonglow {

// 256 colours 0x00BBGGRR, built once by BuildPalette.
using TPalette = std::array<TColorRef, 256>;
void BuildPalette(TPalette& palette);

}  // namespace moonglow
