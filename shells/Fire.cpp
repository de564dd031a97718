#include "shells/Fire.h"

#include <algorithm>

#include "shells/Numeric.h"
#include "shells/Rocket.h"

namespace moonglow {

namespace {

using Ext = long double;

}  // namespace

TFire::TFire(TShowEnv& env) : Env(env), Settings(env.Settings) {
  KindName = "";
  // Every shell reseeds the show's generator from the running seed counter, so
  // consecutive shells start from consecutive seeds.
  Env.Random.Seed(Env.SeedCounter);
  Env.SeedCounter += 1u;
  Width = Env.Canvas.Width();
  Height = Env.Canvas.Height();
  Gravity = static_cast<double>(static_cast<Ext>(Settings.gFactor) * 9.8L);
  Drag = static_cast<double>(static_cast<Ext>(Settings.kFactor) * 0.001L);
  Tick = 0;
  Index = 0;
  FadeSweeps = 0;
  Cursor = 0;
  State = Burst;
  Finished = false;
}

void TFire::SetUpKind(const char* kindName, const TFireParam& param) {
  FParam = &param;
  KindName = kindName;
  Dt = static_cast<double>(static_cast<Ext>(param.dtFactor) * 0.001L);
  InitColors();
  State = param.DrawLaunch ? Launch : Burst;
}

std::int16_t TFire::RandomUpTo(std::int32_t n) {
  if (n == 0) n = 1;
  const std::int32_t r = Env.Random.Draw() + 1;
  // A caller may pass more than 32767 only from a hand-edited settings file;
  // the 16-bit result then wraps as it always has.
  return static_cast<std::int16_t>(r % n + 1);
}

void TFire::PlotStar(std::int32_t x, std::int32_t y, std::int32_t index) {
  // A colour index outside the table can only come from a runaway value
  // (NaN or infinity truncated); such a star is simply not drawn.
  if (index < 0 || index > 255) return;
  const TColorRef color = Colors[static_cast<std::size_t>(index)];
  const std::int64_t px = x;
  const std::int64_t py = static_cast<std::int64_t>(Height) - y;
  Env.Canvas.SetPixel(px, py, color);
  if (BigSeed == 1) {
    Env.Canvas.SetPixel(px + 1, py, color);
    Env.Canvas.SetPixel(px, py + 1, color);
  }
}

void TFire::InitOrder(std::int16_t n) {
  for (std::int32_t i = 0; i < MaxStars; ++i) Order[i] = static_cast<std::int16_t>(i);
  std::int16_t span = 8;
  while (span < n && span < 8192) span = static_cast<std::int16_t>(span * 2);
  OrderSpan = span;
  OrderCount = n;
}

std::int16_t TFire::NextOrder(std::int32_t star) {
  // Without a slot to visit (or for a star beyond the arrays) there is nothing
  // to permute; answering slot 0 keeps the caller in bounds instead of looping.
  if (OrderCount < 1 || star < 0 || star >= MaxStars) return 0;
  Order[star] = PeekOrder(star);
  return Order[star];
}

std::int16_t TFire::PeekOrder(std::int32_t star) const {
  if (OrderCount < 1 || star < 0 || star >= MaxStars) return 0;
  std::int16_t order = Order[star];
  // Multiplier 109 (109 − 1 divisible by 4) and odd increment 1021 make the
  // recurrence run through every residue of the power-of-two span. The value
  // is never negative, so masking with span − 1 is the remainder, without a
  // division.
  const int mask = OrderSpan - 1;
  do {
    order = static_cast<std::int16_t>((order * 109 + 1021) & mask);
  } while (order >= OrderCount);
  return order;
}

void TFire::PrefetchStep(std::int32_t j) const {
  if (j < 0 || j >= SeedNum || j >= MaxStars) return;
  const auto& row = FTrail[static_cast<std::size_t>(PeekOrder(j))];
  if (static_cast<std::size_t>(j) < row.size()) {
    Prefetch(&row[static_cast<std::size_t>(j)], false);
  }
  // Jittered stars are drawn a pixel or two above where they are, and the
  // step itself moves a star by about a pixel.
  for (int dy = -1; dy <= 2; ++dy) PrefetchPoint(X[j] + 1.0f, Y[j] + static_cast<float>(dy));
}

void TFire::PrefetchErase(std::int32_t j) const {
  if (j < 0 || j >= SeedNum || j >= MaxStars) return;
  const std::int16_t slot = PeekOrder(j);
  PrefetchPoint(TrailXAt(slot, j), TrailYAt(slot, j));
}

void TFire::PrefetchPoint(float x, float y) const {
  // A hint needs no exact truncation: the processor's own float conversion,
  // which is far cheaper than Trunc's, once the point is known to be inside.
  if (!(x >= 0.0f && x < static_cast<float>(Width) && y >= 0.0f &&
        y <= static_cast<float>(Height))) {
    return;
  }
  Env.Canvas.PrefetchPixel(static_cast<std::int64_t>(x),
                           static_cast<std::int64_t>(Height) - static_cast<std::int64_t>(y));
}

void TFire::Integrate() {
  const std::int32_t j = Cursor;
  if (j < 0 || j >= MaxStars) return;
  const Ext s = Speed[j];
  const Ext vx = VX[j];
  const Ext vy = VY[j];
  const Ext g = Gravity;
  const Ext k = Drag;
  const Ext h = Dt;
  // Halving, doubling and the sixth's divisor are exact in extended
  // precision, written so that no constant is loaded at full width: the
  // values are those of h·(fx + a1/2) and (c1 + 2·c2 + 2·c3 + c4)/6.
  const Ext half = 0.5f;
  const Ext six = 6.0f;
  // The rates stay fixed for the whole step; each stage adds half the previous
  // increment to the rate itself, which is how the show's motion has always
  // been computed.
  const double fx = static_cast<double>(-k * s * vx);
  const double fy = static_cast<double>(-g - k * s * vy);
  const double a1 = static_cast<double>(h * fx);
  const double b1 = static_cast<double>(h * fy);
  const double c1 = static_cast<double>(h * vx);
  const double d1 = static_cast<double>(h * vy);
  const Ext halfA1 = a1 * half, halfB1 = b1 * half;
  const double a2 = static_cast<double>(h * (fx + halfA1));
  const double b2 = static_cast<double>(h * (fy + halfB1));
  const double c2 = static_cast<double>(h * (vx + halfA1));
  const double d2 = static_cast<double>(h * (vy + halfB1));
  const Ext halfA2 = a2 * half, halfB2 = b2 * half;
  const double a3 = static_cast<double>(h * (fx + halfA2));
  const double b3 = static_cast<double>(h * (fy + halfB2));
  const double c3 = static_cast<double>(h * (vx + halfA2));
  const double d3 = static_cast<double>(h * (vy + halfB2));
  const double a4 = static_cast<double>(h * (fx + a3));
  const double b4 = static_cast<double>(h * (fy + b3));
  const double c4 = static_cast<double>(h * (vx + a3));
  const double d4 = static_cast<double>(h * (vy + b3));
  const auto twice = [](double v) { return static_cast<Ext>(v) + v; };
  X[j] = static_cast<float>(X[j] + (c1 + twice(c2) + twice(c3) + c4) / six);
  Y[j] = static_cast<float>(Y[j] + (d1 + twice(d2) + twice(d3) + d4) / six);
  VX[j] = static_cast<float>(VX[j] + (a1 + twice(a2) + twice(a3) + a4) / six);
  VY[j] = static_cast<float>(VY[j] + (b1 + twice(b2) + twice(b3) + b4) / six);
  Speed[j] = static_cast<float>(
      Sqrt(static_cast<double>(static_cast<Ext>(VX[j]) * VX[j] + static_cast<Ext>(VY[j]) * VY[j])));
}

void TFire::FreeFall() {
  const std::int32_t j = Cursor;
  if (j < 0 || j >= MaxStars) return;
  const Ext vx = VX[j];
  const Ext vy = VY[j];
  const Ext g = Gravity;
  const Ext h = Dt;
  const Ext half = 0.5f;
  const Ext six = 6.0f;
  const double b = static_cast<double>(-g * h);
  // 2·h·v is exactly twice h·v in extended precision, so each product is
  // taken once and doubled by an addition.
  const Ext hvx = h * vx;
  const Ext hvy = h * vy;
  const Ext hMid = h * (vy + b * half);
  X[j] = static_cast<float>(X[j] + (hvx + (hvx + hvx) + (hvx + hvx) + hvx) / six);
  Y[j] = static_cast<float>(Y[j] + (hvy + (hvy + hvy) + (hMid + hMid) + h * (vy + b)) / six);
  // Five sixths of g·h per step, not g·h: the stars have always fallen so.
  const Ext b2 = static_cast<Ext>(b) + b;
  VY[j] = static_cast<float>(VY[j] + (b2 + b2 + b) / six);
  Speed[j] = static_cast<float>(
      Sqrt(static_cast<double>(static_cast<Ext>(VX[j]) * VX[j] + static_cast<Ext>(VY[j]) * VY[j])));
}

void TFire::KickedFreeFall(long double kick) {
  const std::int32_t i = Cursor;
  // The free-fall terms, from the velocity as it was before this step.
  const double a = static_cast<double>(static_cast<Ext>(VX[i]) * Dt);
  const double b = static_cast<double>(static_cast<Ext>(VY[i]) * Dt);
  const double w = static_cast<double>(-static_cast<Ext>(Gravity) * Dt);
  const double q2 = static_cast<double>((0.5L * w + VY[i]) * Dt);
  const double q3 = static_cast<double>((static_cast<Ext>(VY[i]) + w) * Dt);
  X[i] = static_cast<float>(((2.0L * a + a) + 2.0L * a + a) * (1.0L / 6) + X[i]);
  Y[i] = static_cast<float>(((2.0L * b + b) + 2.0L * q2 + q3) * (1.0L / 6) + Y[i]);
  // Five sixths of g·t a step, not g·t.
  VY[i] = static_cast<float>(((2.0L * w + 2.0L * w) + w) * (1.0L / 6) + VY[i]);
  const std::int16_t r1 = RandomUpTo(360);
  VX[i] = static_cast<float>(static_cast<Ext>(Cos(Rad(r1))) * Speed[i] * kick + VX[i]);
  const std::int16_t r2 = RandomUpTo(360);
  VY[i] = static_cast<float>(static_cast<Ext>(Sin(Rad(r2))) * Speed[i] * kick + VY[i]);
}

std::int32_t TFire::TrailSlot() const {
  // Tick wraps under a huge lifetime; a negative count must still land in the
  // ring, and a ring of no slots counts as one.
  const std::int32_t len = TrailLen < 1 ? 1 : (TrailLen > MaxTrail ? MaxTrail : TrailLen);
  const std::int32_t slot = Tick % len;
  return slot < 0 ? slot + len : slot;
}

void TFire::Step() {
  if (Param().DrawLaunch) {
    switch (State) {
      case TrailFade:
        TrailFadeStep(*this);
        break;
      case Rising:
        RiseStep(*this);
        break;
      case Launch:
        BeginLaunch();
        break;
      default:
        break;
    }
  }
  // A call that ends the rocket's trail fade bursts in the same call.
  switch (State) {
    case Burst:
      Explode();
      break;
    case Burning:
      BurstStep();
      break;
    case Fading:
      FadeStep();
      break;
    default:
      break;
  }
  Tick = WrapAdd(Tick, 1);
}

void TFire::GrowTrailRow(std::vector<TTrailPoint>& row, std::int32_t j) {
  // A row is written star by star: make room for the whole burst at once, and
  // exactly that much, so it is sized once per burst rather than doubled.
  const auto need = static_cast<std::size_t>(std::clamp(std::max(j + 1, SeedNum), 1, MaxStars));
  row.reserve(need);
  row.resize(need);
}

std::size_t TFire::TrailBytes() const {
  std::size_t bytes = 0;
  for (const auto& row : FTrail) bytes += row.capacity() * sizeof(TTrailPoint);
  return bytes;
}

void TFire::BeginLaunch() { StartLaunch(*this); }

void TFire::ChooseBigSeed() {
  if (Param().SeedSize == 2) {
    BigSeed = RandomUpTo(1000) > 500 ? 1 : 0;
  } else {
    BigSeed = Param().SeedSize;
  }
}

TBurstRecord TFire::BurstRecord() const {
  return {.KindName = KindName,
          .SeedNum = SeedNum,
          .BurstX = BurstX,
          .BurstY = BurstY,
          .Lifetime = Lifetime,
          .V0 = V0};
}

void TFire::TraceBurst() {
  if (Env.Trace) Env.Trace->Burst(Env.VisitingSlot, BurstRecord());
}

void TFire::ScaleForPreview() {
  if (!Env.IsPreview) return;
  Lifetime = static_cast<double>(0.25L * Lifetime);
  V0 = static_cast<double>(0.25L * V0);
}

bool TFire::StopEmptyBurst() {
  if (SeedNum != 0) return false;
  TraceBurst();
  Tick = 0;
  State = Fading;
  return true;
}

void TFire::SetUpSpreadStar(std::int32_t i, float speed, std::int32_t angleStep) {
  SetUpSpreadStar(i, speed, angleStep, static_cast<float>(BurstX), static_cast<float>(BurstY));
}

void TFire::SetUpSpreadStar(std::int32_t i, float speed, std::int32_t angleStep, float x, float y) {
  Speed[i] = speed;
  const double rad = Rad(Angle);
  VX[i] = static_cast<float>(static_cast<Ext>(Cos(rad)) * Speed[i]);
  VY[i] = static_cast<float>(static_cast<Ext>(Sin(rad)) * Speed[i]);
  X[i] = x;
  Y[i] = y;
  SetTrail(0, i, X[i], Y[i]);
  const std::int32_t turn = RandomUpTo(Settings.DNoise) + angleStep;
  Angle = static_cast<double>(static_cast<Ext>(Angle) + turn);
}

void TFire::StartBurning() {
  Tick = 0;
  State = Burning;
  TraceBurst();
}

void TFire::EndCycle() {
  FadeSweeps = 0;
  Tick = 0;
  Cursor = 0;
  State = Param().DrawLaunch ? Launch : Burst;
  Finished = true;
}

}  // namespace moonglow
