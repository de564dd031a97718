#include "shells/FireHiyuusei.h"

#include "shells/Numeric.h"
#include "shells/Trail.h"

namespace moonglow {

namespace {
using Ext = long double;
}  // namespace

TFireHiyuusei::TFireHiyuusei(TShowEnv& env) : TFire(env) {
  SetUpKind("Hiyuusei", Settings.Hiyuusei);
}

void TFireHiyuusei::InitColors() { CopyPalette(*this); }

void TFireHiyuusei::NextColor() { DriftPaletteColor(*this, 0.3L); }

void TFireHiyuusei::Drift() { KickedFreeFall(0.1L); }

void TFireHiyuusei::Explode() {
  // Up to half as slow as the setting.
  const std::optional<std::int32_t> angleStep = BeginSpreadBurst(*this, false);
  if (!angleStep) return;
  for (Index = 0; Index < SeedNum; ++Index) {
    // Speeds uniform up to V0: the stars fill a disc rather than a ring.
    const float speed = RandomUpTo(Trunc(V0));
    // Each star starts up to 4 pixels before and 5 beyond the burst point.
    const std::int16_t dx = RandomUpTo(10);
    const auto x = static_cast<float>(dx + static_cast<Ext>(BurstX) - 5.0L);
    const std::int16_t dy = RandomUpTo(10);
    const auto y = static_cast<float>(dy + static_cast<Ext>(BurstY) - 5.0L);
    SetUpSpreadStar(Index, speed, *angleStep, x, y);
  }
  StartBurning();
}

void TFireHiyuusei::BurstStep() {
  if (MoveTrailStar(*this, [this] { Drift(); })) LeaveJitteredTrail(*this);
}

void TFireHiyuusei::FadeStep() {
  if (FadeTrails(*this, 3)) EndCycle();
}

}  // namespace moonglow
