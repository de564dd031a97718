#include "shells/FireKiku.h"

#include <optional>

#include "shells/Numeric.h"
#include "shells/Trail.h"

namespace moonglow {

namespace {
using Ext = long double;
}  // namespace

TFireKiku::TFireKiku(TShowEnv& env) : TFire(env) { SetUpKind("Kiku", Settings.Kiku); }

void TFireKiku::InitColors() { CopyPalette(*this); }

void TFireKiku::NextColor() { DriftPaletteColor(*this, 0.3L); }

void TFireKiku::Explode() {
  const std::optional<std::int32_t> angleStep = BeginSpreadBurst(*this, true);
  if (!angleStep) return;
  for (Index = 0; Index < SeedNum; ++Index) {
    // Every fifth star is an outer star a little faster than V0; the rest
    // fill the inside of the burst.
    float speed;
    if (Index % 5 == 0) {
      const std::int16_t noise = RandomUpTo(Trunc(Percent * V0 * Settings.VNoise));
      speed = static_cast<float>(noise + static_cast<Ext>(V0));
    } else {
      speed = RandomUpTo(Trunc(V0));
    }
    SetUpSpreadStar(Index, speed, *angleStep);
  }
  StartBurning();
}

void TFireKiku::BurstStep() {
  if (MoveTrailStar(*this, [this] { Integrate(); })) LeaveJitteredTrail(*this);
}

void TFireKiku::FadeStep() {
  if (FadeTrails(*this, 3)) EndCycle();
}

}  // namespace moonglow
