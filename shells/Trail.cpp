#include "shells/Trail.h"

#include <algorithm>

#include "shells/Numeric.h"

namespace moonglow {

namespace {
using Ext = long double;
}  // namespace

void CopyPalette(TFire& fire) { fire.Colors = fire.Env.Palette; }

void DriftPaletteColor(TFire& fire, long double step) {
  fire.ColorIndex = static_cast<double>(fire.ColorIndex + step);
  if (fire.ColorIndex >= 252.0) fire.ColorIndex = 2.0;
}

void BeginTrailBurst(TFire& fire, bool choosePoint) {
  const TFireParam& p = fire.Param();
  fire.ChooseBigSeed();
  if (choosePoint) {
    const std::int32_t x = fire.RandomUpTo(Div(fire.Width, 2)) + Div(fire.Width, 4);
    const std::int32_t y = fire.RandomUpTo(Div(fire.Height, 2)) + Div(fire.Height, 2) - 50;
    fire.BurstX = x;
    fire.BurstY = y;
  }
  fire.BurstY = static_cast<double>(fire.BurstY + 10.0L);
  // The settings record keeps SeedCount in 1..500 and FireLength in 1..599;
  // the clamps only guard the fixed arrays against a record filled by hand.
  fire.SeedNum = p.SeedCount - fire.RandomUpTo(Div(p.SeedCount, 10) * 5);
  fire.SeedNum = std::clamp(fire.SeedNum, 0, TFire::MaxStars);
  fire.TrailLen = std::clamp(p.FireLength, 1, TFire::MaxTrail);
  fire.InitOrder(static_cast<std::int16_t>(fire.TrailLen));
}

std::optional<std::int32_t> BeginSpreadBurst(TFire& fire, bool faster) {
  const TFireParam& p = fire.Param();
  BeginTrailBurst(fire, !p.DrawLaunch);
  const std::int16_t lifeExtra = fire.RandomUpTo(Trunc(Percent * p.Life * 30));
  fire.Lifetime = static_cast<double>(static_cast<Ext>(p.Life) + lifeExtra);
  const std::int16_t speedExtra = fire.RandomUpTo(Trunc(Percent * p.V * 50));
  fire.V0 = static_cast<double>(faster ? static_cast<Ext>(p.V) + speedExtra
                                       : static_cast<Ext>(p.V) - speedExtra);
  fire.ScaleForPreview();
  fire.ColorIndex = fire.RandomUpTo(255);
  fire.Angle = 0;
  if (fire.StopEmptyBurst()) return std::nullopt;
  return Div(360, fire.SeedNum) + 1;
}

void LeaveTrail(TFire& fire, std::int32_t px, std::int32_t py, float recordX, float recordY) {
  const std::int32_t j = fire.Cursor;
  fire.PlotStar(px, py, Trunc(fire.ColorIndex));
  const std::int32_t k = fire.TrailSlot();
  fire.SetTrail(k, j, recordX, recordY);
  // The slot to erase can be the one just written: that point then vanishes
  // at once, which is part of the tails' sparkle.
  fire.Slot = fire.NextOrder(j);
  if (fire.TrailXAt(fire.Slot, j) != TrailErased) {
    fire.PlotStar(Trunc(fire.TrailXAt(fire.Slot, j)), Trunc(fire.TrailYAt(fire.Slot, j)), 0);
  }
  fire.PrefetchErase(j + 1);
  fire.PrefetchStep(j + 2);
  fire.Cursor += 1;
  fire.Tick = WrapAdd(fire.Tick, -1);
}

void LeaveJitteredTrail(TFire& fire) {
  const std::int32_t j = fire.Cursor;
  const std::int32_t px = Trunc(fire.RandomUpTo(2) + static_cast<Ext>(fire.X[j]));
  const std::int32_t py = Trunc(fire.RandomUpTo(2) + static_cast<Ext>(fire.Y[j]));
  LeaveTrail(fire, px, py, static_cast<float>(px), static_cast<float>(py));
}

bool FadeTrails(TFire& fire, std::int32_t starsPerCall) {
  if (fire.FadeSweeps >= fire.TrailLen) return true;
  if (fire.Cursor < fire.SeedNum) {
    for (std::int32_t n = 0; n < starsPerCall && fire.Cursor < fire.SeedNum; ++n) {
      const std::int32_t i = fire.Cursor;
      fire.Slot = fire.NextOrder(i);
      // Every slot is erased here, marked or not: the permutation visits each
      // slot once per sweep cycle, so nothing is missed and nothing repeats.
      fire.PlotStar(Trunc(fire.TrailXAt(fire.Slot, i)), Trunc(fire.TrailYAt(fire.Slot, i)), 0);
      fire.SetTrailX(fire.Slot, i, TrailErased);
      // One call erases a few stars in a row: look a call ahead.
      fire.PrefetchErase(i + starsPerCall);
      fire.PrefetchStep(i + 2 * starsPerCall);
      fire.Cursor += 1;
    }
  } else {
    fire.Cursor = 0;
    fire.FadeSweeps += 1;
  }
  return false;
}

}  // namespace moonglow
