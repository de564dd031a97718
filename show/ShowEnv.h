#pragma once

#include <cstdint>

#include "show/Canvas.h"
#include "show/Palette.h"
#include "show/Random.h"
#include "show/Trace.h"

namespace moonglow {

class TMyIniFile;

// Everything a shell and the show loop reach outside themselves. One per show;
// it lives as long as the show thread and is touched by the show thread only
// once the show has started.
struct TShowEnv {
  TCanvas& Canvas;            // the saver window's client area
  TMyIniFile& Settings;       // read by the show and the shells; FirstRun cleared by the show
  bool IsPreview;             // a preview quarters lifetimes and speeds
  std::uint32_t SeedCounter;  // reseeds Random at every shell construction, then +1
  TRandom Random{};           // the show thread's generator
  TPalette Palette{};         // built by the show thread's constructor
  IShowTrace* Trace = nullptr;
  std::int32_t VisitingSlot = 0;  // the slot the show loop is stepping, for the trace
  IFrameSink* Frames = nullptr;   // told after each stretch of drawing, when given

  // The pacing write: three writes of black to pixel (0, 0).
  void Pace() {
    Canvas.SetPixel(0, 0, 0);
    Canvas.SetPixel(0, 0, 0);
    Canvas.SetPixel(0, 0, 0);
  }
};

}  // namespace moonglow
