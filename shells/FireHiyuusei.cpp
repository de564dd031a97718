#include "shells/FireHiyuusei.h"

#include "shells/Numeric.h"
#include "shells/Trail.h"

namespace moonglow {

namespace {
using Ext = long double;
}  // namespace

void DriftStar(TFire& fire, long double kick) {
  const std::int32_t i = fire.Cursor;
  // The free-fall terms, from the velocity as it was before this step.
  const double a = static_cast<double>(static_cast<Ext>(fire.VX[i]) * fire.Dt);
  const double b = static_cast<double>(static_cast<Ext>(fire.VY[i]) * fire.Dt);
  const double w = static_cast<double>(-static_cast<Ext>(fire.Gravity) * fire.Dt);
  const double q2 = static_cast<double>((0.5L * w + fire.VY[i]) * fire.Dt);
  const double q3 = static_cast<double>((static_cast<Ext>(fire.VY[i]) + w) * fire.Dt);
  fire.X[i] = static_cast<float>(((2.0L * a + a) + 2.0L * a + a) * (1.0L / 6) + fire.X[i]);
  fire.Y[i] = static_cast<float>(((2.0L * b + b) + 2.0L * q2 + q3) * (1.0L / 6) + fire.Y[i]);
  // Five sixths of g·t a step, not g·t.
  fire.VY[i] = static_cast<float>(((2.0L * w + 2.0L * w) + w) * (1.0L / 6) + fire.VY[i]);
  const std::int16_t r1 = fire.RandomUpTo(360);
  fire.VX[i] =
      static_cast<float>(static_cast<Ext>(Cos(Rad(r1))) * fire.Speed[i] * kick + fire.VX[i]);
  const std::int16_t r2 = fire.RandomUpTo(360);
  fire.VY[i] =
      static_cast<float>(static_cast<Ext>(Sin(Rad(r2))) * fire.Speed[i] * kick + fire.VY[i]);
}

TFireHiyuusei::TFireHiyuusei(TShowEnv& env) : TFire(env) {
  SetUpKind("Hiyuusei", Settings.Hiyuusei);
}

void TFireHiyuusei::InitColors() { CopyPalette(*this); }

void TFireHiyuusei::NextColor() { DriftPaletteColor(*this, 0.3L); }

void TFireHiyuusei::Drift() { DriftStar(*this, 0.1L); }

void TFireHiyuusei::Explode() {
  // Up to half as slow as the setting.
  const std::optional<std::int32_t> angleStep = BeginSpreadBurst(*this, false);
  if (!angleStep) return;
  for (Index = 0; Index < SeedNum; ++Index) {
    // Speeds uniform up to V0: the stars fill a disc rather than a ring.
    Speed[Index] = RandomUpTo(Trunc(V0));
    const double rad = Rad(Angle);
    VX[Index] = static_cast<float>(static_cast<Ext>(Cos(rad)) * Speed[Index]);
    VY[Index] = static_cast<float>(static_cast<Ext>(Sin(rad)) * Speed[Index]);
    // Each star starts up to 4 pixels before and 5 beyond the burst point.
    const std::int16_t dx = RandomUpTo(10);
    X[Index] = static_cast<float>(dx + static_cast<Ext>(BurstX) - 5.0L);
    const std::int16_t dy = RandomUpTo(10);
    Y[Index] = static_cast<float>(dy + static_cast<Ext>(BurstY) - 5.0L);
    SetTrail(0, Index, X[Index], Y[Index]);
    Angle =
        static_cast<double>((RandomUpTo(Settings.DNoise) + *angleStep) + static_cast<Ext>(Angle));
  }
  StartBurning();
}

void TFireHiyuusei::BurstStep() {
  if (MoveTrailStar(*this, [this] { Drift(); })) LeaveJitteredTrail(*this);
}

void TFireHiyuusei::FadeStep() {
  if (FadeTrails(*this, 3)) EndCycle(*this);
}

}  // namespace moonglow
