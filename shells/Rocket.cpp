#include "shells/Rocket.h"

#include "shells/Numeric.h"

namespace moonglow {

namespace {

using Ext = long double;

}  // namespace

void StartLaunch(TFire& fire) {
  fire.BigSeed = 0;
  fire.BurstX = fire.RandomUpTo(Div(fire.Width, 2)) + Div(fire.Width, 4);
  // The fall-back burst point, used only when the rise times out.
  const std::int32_t up = fire.RandomUpTo(Div(fire.Height, 2));
  const std::int32_t down = fire.RandomUpTo(Div(fire.Height, 10));
  fire.BurstY = static_cast<double>(static_cast<std::int64_t>(Div(fire.Height, 2)) + up - down);
  fire.SeedNum = 2;
  fire.TrailLen = 350;
  fire.InitOrder(350);
  fire.Lifetime = 9999.0;
  fire.V0 = static_cast<double>(2 * static_cast<std::int64_t>(Div(fire.Height, 3)) -
                                fire.RandomUpTo(Div(fire.Height, 3)));
  fire.ColorIndex = 1.0;
  fire.Angle = 87 + fire.RandomUpTo(6);
  for (fire.Index = 0; fire.Index < fire.SeedNum; ++fire.Index) {
    const std::int32_t i = fire.Index;
    fire.Speed[i] = static_cast<float>(fire.V0);
    fire.VX[i] = static_cast<float>(Cos(Rad(fire.Angle)) * static_cast<Ext>(fire.Speed[i]));
    fire.VY[i] = static_cast<float>(Sin(Rad(fire.Angle)) * static_cast<Ext>(fire.Speed[i]));
    fire.X[i] = static_cast<float>(fire.BurstX);
    fire.Y[i] = static_cast<float>(fire.RandomUpTo(3) - 1);
    fire.SetTrail(0, i, fire.X[i], fire.Y[i]);
  }
  fire.Tick = 0;
  fire.State = TFire::Rising;
}

void RiseStep(TFire& fire) {
  const std::int32_t j = fire.Cursor;
  if (j >= fire.SeedNum) {
    fire.Cursor = 0;
    return;
  }
  // The rocket always uses its own time step and drag, so its rise looks the
  // same whatever the settings.
  const double savedDt = fire.Dt;
  const double savedDrag = fire.Drag;
  fire.Dt = static_cast<double>(0.0005L);
  fire.Drag = static_cast<double>(0.002L);
  fire.Integrate();
  fire.Dt = savedDt;
  fire.Drag = savedDrag;
  if (fire.Tick >= fire.Lifetime) {
    fire.FadeSweeps = 0;
    fire.State = TFire::TrailFade;
    return;
  }
  const std::int32_t dx = fire.RandomUpTo(2);
  const std::int32_t px = Trunc(dx + static_cast<Ext>(fire.X[j]));
  const std::int32_t dy = fire.RandomUpTo(4);
  const std::int32_t py = Trunc(dy + static_cast<Ext>(fire.Y[j]));
  fire.PlotStar(px, py, Trunc(fire.ColorIndex));
  const std::int32_t slot = fire.TrailSlot();
  fire.SetTrail(slot, j, static_cast<float>(px), static_cast<float>(py));
  fire.Slot = fire.NextOrder(j);
  fire.PlotStar(Trunc(fire.TrailXAt(fire.Slot, j)), Trunc(fire.TrailYAt(fire.Slot, j)), 0);
  fire.PrefetchErase(j + 1);
  fire.PrefetchStep(j + 2);
  const std::int32_t last = fire.SeedNum - 1;
  if (fire.VY[last] > 50.0L && fire.Y[last] <= static_cast<Ext>(fire.Height) - 50) {
    fire.Cursor += 1;
    fire.Tick = WrapAdd(fire.Tick, -1);
    return;
  }
  fire.FadeSweeps = 0;
  fire.State = TFire::TrailFade;
  fire.BurstX = fire.X[last];
  fire.BurstY = fire.Y[last];
}

void TrailFadeStep(TFire& fire) {
  if (fire.FadeSweeps >= fire.TrailLen) {
    fire.FadeSweeps = 0;
    fire.Tick = 0;
    fire.Cursor = 0;
    fire.State = TFire::Burst;
  } else if (fire.Cursor < fire.SeedNum) {
    for (std::int32_t n = 0; n < 10 && fire.Cursor < fire.SeedNum; ++n) {
      fire.Slot = fire.NextOrder(fire.Cursor);
      fire.PlotStar(Trunc(fire.TrailXAt(fire.Slot, fire.Cursor)),
                    Trunc(fire.TrailYAt(fire.Slot, fire.Cursor)), 0);
      fire.PrefetchErase(fire.Cursor + 1);
      fire.PrefetchStep(fire.Cursor + 2);
      fire.Cursor += 1;
    }
  } else {
    fire.Cursor = 0;
    fire.FadeSweeps += 1;
  }
}

}  // namespace moonglow
