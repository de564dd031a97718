#include "show/Palette.h"

namespace moonglow {

void BuildPalette(TPalette& palette) {
  // Seven ramps of 36 entries walk the colour wheel; the channel counters
  // carry over from one ramp to the next and never leave 0..255.
  struct TRamp {
    int DR, DG, DB;
  };
  static constexpr TRamp Ramps[7] = {
      {-7, 7, 0}, {0, -7, 7}, {7, 7, -7}, {-7, 0, 7}, {7, -7, 0}, {0, 7, 0}, {0, -7, -7},
  };
  palette.fill(0);
  int r = 255, g = 0, b = 0;
  std::size_t entry = 1;
  for (const TRamp& ramp : Ramps) {
    for (int i = 0; i < 36; ++i) {
      palette[entry++] = static_cast<TColorRef>(r) | static_cast<TColorRef>(g) << 8 |
                         static_cast<TColorRef>(b) << 16;
      r += ramp.DR;
      g += ramp.DG;
      b += ramp.DB;
    }
  }
  palette[0] = 0x000000;
  palette[1] = 0xFFFFFF;
}

}  // namespace moonglow
