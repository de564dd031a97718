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
    if (Index % 5 == 0) {
      const std::int16_t noise = RandomUpTo(Trunc(Percent * V0 * Settings.VNoise));
      Speed[Index] = static_cast<float>(noise + static_cast<Ext>(V0));
    } else {
      Speed[Index] = RandomUpTo(Trunc(V0));
    }
    const double rad = Rad(Angle);
    VX[Index] = static_cast<float>(static_cast<Ext>(Cos(rad)) * Speed[Index]);
    VY[Index] = static_cast<float>(static_cast<Ext>(Sin(rad)) * Speed[Index]);
    X[Index] = static_cast<float>(BurstX);
    Y[Index] = static_cast<float>(BurstY);
    SetTrail(0, Index, X[Index], Y[Index]);
    Angle = static_cast<double>(Angle + static_cast<Ext>(RandomUpTo(Settings.DNoise) + *angleStep));
  }
  StartBurning();
}

void TFireKiku::BurstStep() {
  if (MoveTrailStar(*this, [this] { Integrate(); })) LeaveJitteredTrail(*this);
}

void TFireKiku::FadeStep() {
  if (FadeTrails(*this, 3)) EndCycle(*this);
}

}  // namespace moonglow
