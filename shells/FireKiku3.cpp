#include "shells/FireKiku3.h"

#include "shells/Numeric.h"
#include "shells/Rocket.h"
#include "shells/Trail.h"

namespace moonglow {

namespace {
using Ext = long double;
}  // namespace

TFireKiku3::TFireKiku3(TShowEnv& env) : TFire(env) { SetUpKind("Kiku3", Settings.Kiku3); }

void TFireKiku3::InitColors() {
  Colors[0] = 0x00000000;
  Colors[1] = 0x00FFFFFF;
  for (std::size_t i = 2; i < Colors.size(); ++i) Colors[i] = Kiku3Colors[i % Kiku3Colors.size()];
}

void TFireKiku3::NextColor() {
  if (Tick < PhaseTicks[1]) {
    ColorIndex = 1.0;
  } else if (Tick < PhaseTicks[2]) {
    ColorIndex = PhaseColors[1];
  } else if (Tick < PhaseTicks[3]) {
    ColorIndex = PhaseColors[2];
  } else {
    ColorIndex = PhaseColors[3];
  }
}

// Three cycles in ten go up as a fountain instead of a rocket.
void TFireKiku3::BeginLaunch() {
  if (RandomUpTo(100) <= 70) {
    Fountain = false;
    StartLaunch(*this);
  } else {
    Fountain = true;
    State = Burst;
  }
}

void TFireKiku3::Explode() {
  const TFireParam& p = Param();
  BeginTrailBurst(*this, Fountain || !p.DrawLaunch);
  Lifetime = p.Life;
  Lifetime = static_cast<double>(static_cast<Ext>(Lifetime) -
                                 RandomUpTo(Trunc(Percent * Lifetime * 30.0L)));
  V0 = p.V;
  V0 = static_cast<double>(static_cast<Ext>(V0) - RandomUpTo(Trunc(Percent * V0 * 10.0L)));
  if (Fountain) {
    SeedNum = RandomUpTo(20) + 40;
    V0 = static_cast<double>((RandomUpTo(20) + 10) * static_cast<Ext>(V0));
  }
  ScaleForPreview();
  RingV1 = static_cast<double>(V0 * 0.5L);
  RingV1 = static_cast<double>(static_cast<Ext>(RingV1) + RandomUpTo(Trunc(0.2L * RingV1)));
  RingV2 = static_cast<double>(V0 * 0.25L);
  RingV2 = static_cast<double>(static_cast<Ext>(RingV2) + RandomUpTo(Trunc(0.2L * RingV2)));
  RingV3 = static_cast<double>(V0 * (1.0L / 6));
  RingV3 = static_cast<double>(static_cast<Ext>(RingV3) + RandomUpTo(Trunc(0.2L * RingV3)));
  // The colour phases change at 20 %, 40 % and 60 % of the lifetime.
  PhaseTicks[1] = Trunc(0.1L * Lifetime * 2.0L);
  PhaseTicks[2] = Trunc(0.1L * Lifetime * 4.0L);
  PhaseTicks[3] = Trunc(0.1L * Lifetime * 6.0L);
  // Sixteen draws; only the second to fourth choose colours, the rest keep
  // the generator where every later burst expects it.
  for (std::int32_t n = 1; n <= 16; ++n) {
    const std::int16_t c = RandomUpTo(7);
    if (n >= 2 && n <= 4) PhaseColors[n - 1] = c;
  }
  Angle = 0.0;
  if (StopEmptyBurst()) return;
  const std::int32_t angleStep = Div(360, SeedNum) + 1;
  for (Index = 0; Index < SeedNum; ++Index) {
    if (Fountain) {
      SetUpFountainStar(Index);
    } else {
      SetUpRingStar(Index, angleStep);
    }
  }
  StartBurning();
}

void TFireKiku3::SetUpRingStar(std::int32_t i, std::int32_t angleStep) {
  const std::int32_t noise = Settings.VNoise;
  // Consecutive stars belong to different rings, so each ring is spread all
  // round the circle. Even without noise every ring loses its own bit of
  // speed (RandomUpTo never returns 0).
  float speed;
  switch (i % 4) {
    case 0:
      speed = static_cast<float>(static_cast<Ext>(V0) - RandomUpTo(Trunc(Percent * V0 * noise)));
      break;
    case 1:
      speed = static_cast<float>(static_cast<Ext>(RingV1) -
                                 2 * RandomUpTo(Trunc(Percent * RingV1 * noise)));
      break;
    case 2:
      speed = static_cast<float>(static_cast<Ext>(RingV2) -
                                 4 * RandomUpTo(Trunc(Percent * RingV2 * noise)));
      break;
    default:
      speed = static_cast<float>(static_cast<Ext>(RingV3) -
                                 6 * RandomUpTo(Trunc(Percent * RingV3 * noise)));
      break;
  }
  SetUpSpreadStar(i, speed, angleStep);
}

void TFireKiku3::SetUpFountainStar(std::int32_t i) {
  const std::int32_t noise = Settings.VNoise;
  // RandomUpTo answers in 16 bits whatever its argument, so a speed or
  // noise setting far past the dialog's range cannot carry the jet further
  // than about 65,000 pixels a second, up or down.
  std::int32_t spread, lowest;
  if (i % 5 == 0) {
    // Every fifth star is slow and spreads wider.
    const std::int16_t base = RandomUpTo(Trunc(0.1L * V0));
    const std::int16_t extra = RandomUpTo(Trunc(0.1L * V0 * Percent * noise));
    Speed[i] = static_cast<float>(base + extra);
    spread = 30;
    lowest = 75;
  } else {
    const std::int16_t base = RandomUpTo(Trunc(V0));
    const std::int16_t extra = RandomUpTo(Trunc(Percent * V0 * noise));
    Speed[i] = static_cast<float>(base + extra);
    spread = 20;
    lowest = 80;
  }
  // The two components take separately drawn angles.
  const std::int32_t r1 = Env.Random.Draw();
  const std::int32_t r2 = Env.Random.Draw();
  VX[i] = static_cast<float>(static_cast<Ext>(Cos(Rad(r1 % spread + lowest))) * Speed[i]);
  VY[i] = static_cast<float>(static_cast<Ext>(Sin(Rad(r2 % spread + lowest))) * Speed[i]);
  X[i] = static_cast<float>(BurstX);
  Y[i] = 0.0f;
  SetTrail(0, i, X[i], Y[i]);
}

void TFireKiku3::BurstStep() {
  if (!MoveTrailStar(*this, [this] { Integrate(); })) return;
  const std::int32_t i = Cursor;
  if (i % 3 == 0) {
    // Every third star twinkles.
    LeaveJitteredTrail(*this);
  } else {
    LeaveTrail(*this, Trunc(X[i]), Trunc(Y[i]), X[i], Y[i]);
  }
}

void TFireKiku3::FadeStep() {
  if (!FadeTrails(*this, 1)) return;
  // Black out a strip four pixels wide along the left edge once a cycle ends.
  Env.Canvas.FillRect(TRect{0, 0, 4, Env.Canvas.Height()}, 0x00000000);
  EndCycle();
}

}  // namespace moonglow
