#pragma once

#include <cstdint>
#include <optional>

#include "shells/Fire.h"

// The tail machinery shared by the kinds whose stars leave trails (willow,
// chrysanthemum, flying stars, bees): the palette colour they drift through,
// the burst set-up, the burning step that records and thins each tail, and
// the fade that erases it.

namespace moonglow {

// x of a trail cell whose point the fade has erased. Burning stars never
// erase through such a cell, so the marks keep stale points of an earlier
// burst of the same shell from being erased twice.
inline constexpr float TrailErased = -1.0f;

// Colors = the show's palette.
void CopyPalette(TFire& fire);

// ColorIndex moves `step` along the palette's ramps and starts again at 2
// once it reaches 252, the first unused entry.
void DriftPaletteColor(TFire& fire, long double step);

// The start of a trail burst: the star size, the burst point (chosen at
// random when `choosePoint`, else where the rocket peaked), raised by 10, the
// star count and the trail ring.
void BeginTrailBurst(TFire& fire, bool choosePoint);

// Everything a willow, flying-star or bee burst sets up before its stars:
// BeginTrailBurst, a lifetime up to 30 % longer than the setting, V0 up to
// half as fast again as the setting (`faster`) or up to half as slow, the
// preview scaling, a random start colour and the first angle. Returns the
// angle step between stars, or nothing when the burst has no stars and
// Explode stops here.
std::optional<std::int32_t> BeginSpreadBurst(TFire& fire, bool faster);

// The first half of a trail kind's burning step: the colour moves on at the
// start of each sweep, a call past the last star only closes the sweep, the
// star at Cursor takes its time step (`move`), and once the lifetime is over
// the burst turns to its fade. Returns true when the star is to be drawn.
template <class Move>
bool MoveTrailStar(TFire& fire, Move&& move) {
  if (fire.Cursor == 0) fire.NextColor();
  if (fire.Cursor >= fire.SeedNum) {
    fire.Cursor = 0;
    return false;
  }
  move();
  if (fire.Tick >= fire.Lifetime) {
    fire.State = TFire::Fading;
    return false;
  }
  return true;
}

// Draws the star at Cursor 1–2 pixels right of and above its true position,
// chosen anew each sweep, and leaves that point in its trail (LeaveTrail).
void LeaveJitteredTrail(TFire& fire);

// Draws the star at Cursor at (px, py), records (recordX, recordY) in the
// ring slot of this sweep, erases the star's next scrambled slot unless the
// fade has marked it, and moves on to the next star.
void LeaveTrail(TFire& fire, std::int32_t px, std::int32_t py, float recordX, float recordY);

// One call of the trail fade: erases and marks one scrambled slot of up to
// `starsPerCall` stars, or closes a sweep. Returns true once every slot of
// every star has gone; the caller then ends the cycle (EndCycle).
bool FadeTrails(TFire& fire, std::int32_t starsPerCall);

}  // namespace moonglow
