// A show's surroundings for the engine's tests: the headless show at the
// default settings with the first run over, and a shell of a given kind made
// on demand.
#pragma once

#include <cstdint>
#include <memory>

#include "shells/Fire.h"
#include "show/Headless.h"

namespace moonglow::testing {

struct TShowWorld : THeadlessShow {
  explicit TShowWorld(std::int32_t width = 800, std::int32_t height = 600, bool preview = false)
      : THeadlessShow({.Width = width, .Height = height, .Preview = preview}) {
    Settings.FirstRun = false;
  }

  // A shell of `TKind`, seeded from `seed`, outside the show's slots.
  template <class TKind>
  std::unique_ptr<TKind> Make(std::uint32_t seed) {
    Env.SeedCounter = seed;
    return std::make_unique<TKind>(Env);
  }
};

}  // namespace moonglow::testing
