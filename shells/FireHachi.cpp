#include "shells/FireHachi.h"

#include "shells/Numeric.h"
#include "shells/Trail.h"

namespace moonglow {

namespace {
using Ext = long double;
}  // namespace

TFireHachi::TFireHachi(TShowEnv& env) : TFire(env) { SetUpKind("Hachi", Settings.Hachi); }

void TFireHachi::InitColors() { CopyPalette(*this); }

// Three times slower than the flying stars' drift: about 2,500 sweeps from
// one end of the palette to the other.
void TFireHachi::NextColor() { DriftPaletteColor(*this, 0.1L); }

void TFireHachi::Drift() { KickedFreeFall(0.2L); }

void TFireHachi::Explode() {
  const std::optional<std::int32_t> angleStep = BeginSpreadBurst(*this, true);
  if (!angleStep) return;
  for (Index = 0; Index < SeedNum; ++Index) {
    SetUpSpreadStar(Index, RandomUpTo(Trunc(V0)), *angleStep);
    Spin[Index] = RandomUpTo(360);
  }
  StartBurning();
}

void TFireHachi::BurstStep() {
  if (!MoveTrailStar(*this, [this] { Drift(); })) return;
  const std::int32_t i = Cursor;
  // The whirl: 3 to 5 pixels off the true position, the two radii drawn
  // separately, in the direction of the star's spin.
  const double ca = Cos(Rad(Spin[i]));
  const std::int16_t rx = RandomUpTo(3);
  const std::int32_t px = Trunc((rx + 2) * static_cast<Ext>(ca) + X[i]);
  const double sa = Sin(Rad(Spin[i]));
  const std::int16_t ry = RandomUpTo(3);
  const std::int32_t py = Trunc((ry + 2) * static_cast<Ext>(sa) + Y[i]);
  // A spin of exactly 360 stays for one more sweep before starting again at
  // 0, so a full turn takes 13 sweeps.
  Spin[i] = static_cast<double>(Spin[i] + 30.0L);
  if (Spin[i] > 360.0) Spin[i] = 0.0;
  LeaveTrail(*this, px, py, static_cast<float>(px), static_cast<float>(py));
}

void TFireHachi::FadeStep() {
  if (FadeTrails(*this, 1)) EndCycle();
}

}  // namespace moonglow
