#include "shells/FireBotan.h"

#include <algorithm>

#include "shells/Numeric.h"

namespace moonglow {

namespace {

using Ext = long double;

}  // namespace

TFireBotan::TFireBotan(TShowEnv& env) : TFire(env) { SetUpKind("Botan", Settings.Botan); }

void TFireBotan::InitColors() {
  static constexpr TColorRef Base[7] = {0x00FF00, 0x00FFFF, 0xFFFFFF, 0xFFFFFF,
                                        0x00FFFF, 0x0000FF, 0x00FF00};
  Colors[0] = 0x000000;
  Colors[1] = 0xFFFFFF;
  Colors[2] = 0x00FF00;
  for (std::size_t i = 3; i < Colors.size(); ++i) Colors[i] = Base[i % 7];
}

void TFireBotan::NextColor() {}

void TFireBotan::Explode() {
  SetUpBurst();
  if (StopEmptyBurst()) return;
  const std::int32_t angleStep = 360 / SeedNum + 1;
  // The burst's colours: outer stars k, core stars k + 1, the ring k + 2.
  const std::int32_t k = RandomUpTo(8) + 3;
  const std::int32_t tilt = RandomUpTo(9) * 10;
  const double a = static_cast<double>(RandomUpTo(100) * Percent + 1.2L);
  const double b = static_cast<double>(RandomUpTo(100) * Percent + 0.2L);
  Index = 0;
  if (RandomUpTo(100) < 30) SetUpRingStars(k + 2, tilt, a, b, RandomUpTo(100) < 30);
  Angle = 0;
  for (; Index < SeedNum; ++Index) SetUpMainStar(Index, k, angleStep);
  StartBurning();
}

void TFireBotan::SetUpBurst() {
  const TFireParam& param = Param();
  ChooseBigSeed();
  if (!param.DrawLaunch) {
    BurstX = RandomUpTo(Div(Width, 2)) + Div(Width, 4);
    const std::int32_t up = RandomUpTo(Div(Height, 2));
    BurstY = static_cast<double>(static_cast<std::int64_t>(Div(Height, 2)) + up - Div(Height, 10));
  }
  BurstY = static_cast<double>(BurstY + 10.0L);
  const std::int64_t seeds =
      static_cast<std::int64_t>(param.SeedCount) - RandomUpTo(5 * Div(param.SeedCount, 10));
  // The settings record keeps SeedCount within the star arrays; a record
  // built by hand must not take the burst past them.
  SeedNum = static_cast<std::int32_t>(std::clamp<std::int64_t>(seeds, 0, MaxStars));
  InitOrder(static_cast<std::int16_t>(SeedNum));
  Lifetime = static_cast<double>(param.Life +
                                 static_cast<Ext>(RandomUpTo(Trunc(Percent * param.Life * 30))));
  V0 = static_cast<double>(param.V - static_cast<Ext>(RandomUpTo(Trunc(Percent * param.V * 10))));
  ScaleForPreview();
  CoreSpeed = static_cast<double>(V0 / 3.0L);
}

void TFireBotan::SetUpRingStars(std::int32_t color, std::int32_t tilt, double a, double b,
                                bool crossed) {
  const std::int32_t q = SeedNum / 4;
  double phi = 0;
  for (Index = 0; Index < q; ++Index) {
    const std::int32_t i = Index;
    SeedColor[i] = color;
    Speed[i] = static_cast<float>(V0);
    // Crossed rings tilt every other star a further quarter turn.
    const std::int32_t t = (crossed && i % 2 != 0) ? tilt + 90 : tilt;
    const double ex =
        static_cast<double>(Cos(Rad(phi, DegToRadRing)) * static_cast<Ext>(Speed[i]) * a);
    const double ey =
        static_cast<double>(Sin(Rad(phi, DegToRadRing)) * static_cast<Ext>(Speed[i]) * b);
    const double ct = Cos(Rad(t, DegToRadRing));
    const double st = Sin(Rad(t, DegToRadRing));
    VX[i] = static_cast<float>(static_cast<Ext>(ct) * ex - static_cast<Ext>(st) * ey);
    VY[i] = static_cast<float>(static_cast<Ext>(st) * ex + static_cast<Ext>(ct) * ey);
    X[i] = static_cast<float>(BurstX);
    Y[i] = static_cast<float>(BurstY);
    SetTrail(0, i, X[i], Y[i]);
    phi = static_cast<double>(phi + static_cast<Ext>(360 / q + 1));
  }
}

void TFireBotan::SetUpMainStar(std::int32_t i, std::int32_t k, std::int32_t angleStep) {
  const std::int32_t r = RandomUpTo(Trunc(Percent * V0 * Settings.VNoise));
  float speed;
  if (i % 5 == 0) {
    speed = static_cast<float>(r + static_cast<Ext>(V0));
  } else if (i % 7 == 0) {
    speed = static_cast<float>(r + static_cast<Ext>(CoreSpeed));
  } else {
    speed = static_cast<float>(RandomUpTo(Trunc(V0)));
  }
  // Compared against the speed as stored, so rounding to float can tip a
  // core star to the outer colour.
  SeedColor[i] = r + static_cast<Ext>(CoreSpeed) >= speed ? k + 1 : k;
  SetUpSpreadStar(i, speed, angleStep);
}

void TFireBotan::BurstStep() {
  const std::int32_t j = Cursor;
  if (j >= SeedNum) {
    Cursor = 0;
    return;
  }
  FreeFall();
  if (Tick >= Lifetime) {
    State = Fading;
    return;
  }
  // Peony stars draw no trails: erase the last point before drawing the next.
  PlotStar(Trunc(TrailXAt(0, j)), Trunc(TrailYAt(0, j)), 0);
  PlotStar(Trunc(X[j]), Trunc(Y[j]), SeedColor[j]);
  SetTrail(0, j, X[j], Y[j]);
  Cursor += 1;
  Tick = WrapAdd(Tick, -1);
}

void TFireBotan::FadeStep() {
  if (FadeSweeps >= 1) {
    EndCycle();
  } else if (Cursor < SeedNum) {
    Env.Pace();
    // Four calls in five only pace, so the stars go out one by one.
    if (RandomUpTo(100) > 20) return;
    Slot = NextOrder(0);
    PlotStar(Trunc(TrailXAt(0, Slot)), Trunc(TrailYAt(0, Slot)), 0);
    Cursor += 1;
  } else {
    Cursor = 0;
    FadeSweeps += 1;
  }
}

}  // namespace moonglow
