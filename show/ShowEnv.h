#pragma once

#include <array>
#include <cstdint>

#include "show/Canvas.h"
#include "show/Random.h"

namespace moonglow {

class TMyIniFile;
class TFire;

// 256 colours 0x00BBGGRR, built once by BuildPalette.
using TPalette = std::array<TColorRef, 256>;
void BuildPalette(TPalette& palette);

// Where the show reports what it does, for the render tool's --trace.
class IShowTrace {
 public:
  virtual ~IShowTrace() = default;
  virtual void Theme(const char* themeName, std::int32_t launchesLeft) = 0;
  // At the end of each Explode (or where it stops early), for the shell in
  // slot `slot`.
  virtual void Burst(std::int32_t slot, const TFire& shell) = 0;
};

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

  // The pacing write: three writes of black to pixel (0, 0).
  void Pace() {
    Canvas.SetPixel(0, 0, 0);
    Canvas.SetPixel(0, 0, 0);
    Canvas.SetPixel(0, 0, 0);
  }
};

}  // namespace moonglow
