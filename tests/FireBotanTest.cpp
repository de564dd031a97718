// The peony: colours, burst set-up (colours by index, rings), flight and the
// scrambled fade. What each burst draws is pinned by the golden hashes of
// RenderTest.

#include "shells/FireBotan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "ShowFixture.h"

namespace moonglow {
namespace {

using testing::TShowWorld;

constexpr TColorRef Yellow = 0x00FFFF, Red = 0x0000FF, Green = 0x00FF00, White = 0xFFFFFF;

struct Peony : ::testing::Test {
  TShowWorld World;
  TFireParam& Param = World.Settings.Botan;
  std::unique_ptr<TFireBotan> Burst(std::uint32_t seed) {
    auto f = World.Make<TFireBotan>(seed);
    f->Step();
    return f;
  }
};

TEST_F(Peony, ColourTable) {
  auto f = World.Make<TFireBotan>(1);
  EXPECT_EQ(f->Colors[0], 0u);
  EXPECT_EQ(f->Colors[1], White);
  EXPECT_EQ(f->Colors[2], Green);
  const TColorRef burst[] = {Yellow, Red, Green, Green, Yellow, White, White, Yellow, Red, Green};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(f->Colors[4 + i], burst[i]) << "index " << 4 + i;
  EXPECT_EQ(f->Colors[255], White);
  EXPECT_STREQ(f->KindName, "Botan");
  EXPECT_EQ(f->State, TFire::Burst);  // the default draws no rocket
}

TEST_F(Peony, StarCountOfASmallBurst) {
  Param.SeedCount = 9;  // 9 − RandomUpTo(5 × (9 div 10)), and RandomUpTo(0) is 1
  EXPECT_EQ(Burst(1)->SeedNum, 8);
}

TEST_F(Peony, PreviewQuartersLifetimeAndSpeed) {
  TShowWorld preview(800, 600, /*preview=*/true);
  for (std::uint32_t seed = 1; seed <= 50; ++seed) {
    auto full = Burst(seed);
    auto small = preview.Make<TFireBotan>(seed);
    small->Step();
    EXPECT_EQ(small->SeedNum, full->SeedNum);
    EXPECT_EQ(small->Lifetime, full->Lifetime / 4);
    EXPECT_EQ(small->V0, full->V0 / 4);
  }
}

TEST_F(Peony, ColoursByIndex) {
  int sevensOuter = 0, sevensCore = 0;
  for (std::uint32_t seed = 1; seed <= 400; ++seed) {
    auto f = Burst(seed);
    const int q = f->SeedNum / 4;
    // Main stars fly faster than V0 at index 0; ring stars exactly at V0.
    const bool ring = f->Speed[0] == static_cast<float>(f->V0);
    const int first = ring ? q : 0;
    int five = first;
    while (five % 5 != 0) ++five;
    const int k = f->SeedColor[five];
    ASSERT_GE(k, 4);
    ASSERT_LE(k, 11);
    for (int i = 0; i < first; ++i) ASSERT_EQ(f->SeedColor[i], k + 2);
    for (int i = first; i < f->SeedNum; ++i) {
      const int c = f->SeedColor[i];
      if (i % 5 == 0) {
        ASSERT_EQ(c, k) << "seed " << seed << " star " << i;  // outer stars
      } else {
        ASSERT_TRUE(c == k || c == k + 1);
      }
      if (i % 7 == 0 && i % 5 != 0) {
        // A core star's speed is r + CoreSpeed rounded to float; it keeps the
        // core colour only when that rounding did not go up.
        const long double r = std::round(f->Speed[i] - f->CoreSpeed);
        const bool roundedUp = static_cast<long double>(f->Speed[i]) > r + f->CoreSpeed;
        EXPECT_EQ(c, roundedUp ? k : k + 1) << "seed " << seed << " star " << i;
        ++(c == k ? sevensOuter : sevensCore);
      }
    }
  }
  EXPECT_GT(sevensOuter, 0);
  EXPECT_GT(sevensCore, 0);
}

// Ring stars lie on an ellipse V0·(A cos φ, B sin φ) turned by the tilt T, or
// by T + 90 for the odd stars of a crossed ring.
TEST_F(Peony, RingsAndCrossedRings) {
  constexpr double Ring = 0.017453294444444444;
  int rings = 0, crossed = 0;
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    auto f = Burst(seed);
    const int q = f->SeedNum / 4;
    const int k2 = f->SeedColor[0];
    bool ring = true;
    for (int i = 0; i < q; ++i) ring = ring && f->SeedColor[i] == k2;
    if (!ring || f->Speed[1] != static_cast<float>(f->V0)) continue;
    ++rings;
    const double tilt = std::round(std::atan2(f->VY[0], f->VX[0]) / Ring);
    ASSERT_EQ(std::fmod(tilt, 10), 0) << seed;
    ASSERT_GE(tilt, 10);
    ASSERT_LE(tilt, 90);
    const double a = std::hypot(f->VX[0], f->VY[0]) / f->V0;
    ASSERT_GE(a, 1.21 - 1e-5);
    ASSERT_LE(a, 2.2 + 1e-5);
    const double step = 360 / q + 1;
    const auto unturned = [&](int i, double t, double& ex, double& ey) {
      const double c = std::cos(t * Ring), s = std::sin(t * Ring);
      ex = c * f->VX[i] + s * f->VY[i];
      ey = -s * f->VX[i] + c * f->VY[i];
    };
    // B from star 2 (even: tilt T in every ring).
    double ex, ey;
    unturned(2, tilt, ex, ey);
    const double phi2 = 2 * step * Ring;
    EXPECT_NEAR(ex, std::cos(phi2) * f->V0 * a, 1e-3 * f->V0);
    const double b = ey / (std::sin(phi2) * f->V0);
    ASSERT_GE(b, 0.21 - 1e-4);
    ASSERT_LE(b, 1.2 + 1e-4);
    const auto fits = [&](int i, double t) {
      double x, y;
      unturned(i, t, x, y);
      const double phi = i * step * Ring;
      return std::abs(x - std::cos(phi) * f->V0 * a) < 1e-3 * f->V0 &&
             std::abs(y - std::sin(phi) * f->V0 * b) < 1e-3 * f->V0;
    };
    const bool isCrossed = fits(1, tilt + 90) && !fits(1, tilt);
    crossed += isCrossed;
    for (int i = 0; i < q; ++i) {
      EXPECT_TRUE(fits(i, (isCrossed && i % 2 == 1) ? tilt + 90 : tilt))
          << "seed " << seed << " star " << i;
    }
  }
  EXPECT_GT(rings, 50);
  EXPECT_GT(crossed, 5);
  EXPECT_LT(crossed, rings);
}

TEST_F(Peony, StarsFlyWithoutTrails) {
  Param.SeedCount = 20;
  Param.Life = 50;
  auto f = Burst(7);
  const int n = f->SeedNum;
  // A sweep of n stars takes n + 1 calls and advances Tick by one.
  for (int sweep = 0; sweep < 10; ++sweep) {
    const int tick = f->Tick;
    for (int i = 0; i <= n; ++i) f->Step();
    ASSERT_EQ(f->Tick, tick + 1);
    ASSERT_EQ(f->Cursor, 0);
  }
  // Every lit pixel is some star's present position: no star leaves a trail.
  std::set<std::pair<int, int>> stars;
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(f->TrailXAt(0, i), f->X[i]);
    stars.insert({static_cast<int>(f->X[i]), 600 - static_cast<int>(f->Y[i])});
  }
  int lit = 0;
  for (std::int32_t y = 0; y < 600; ++y) {
    for (std::int32_t x = 0; x < 800; ++x) {
      if (World.Canvas.GetPixel(x, y) == 0) continue;
      ++lit;
      EXPECT_TRUE(stars.count({x, y})) << x << "," << y;
    }
  }
  EXPECT_GT(lit, 0);
}

TEST_F(Peony, FadeErasesEveryStarOnceThenEndsTheCycle) {
  for (const std::int32_t size : {0, 1}) {
    Param.SeedSize = size;
    Param.SeedCount = 60;
    Param.Life = 8;
    auto f = Burst(11);
    int calls = 0;
    while (f->State != TFire::Fading && calls < 100000) f->Step(), ++calls;
    ASSERT_EQ(f->State, TFire::Fading);
    ASSERT_EQ(f->Cursor, 0);
    const int n = f->SeedNum;
    int erasing = 0;
    std::set<int> erased;
    while (f->Cursor < n) {
      const int before = f->Cursor;
      const std::uint64_t writes = World.Canvas.Writes();
      f->Step();
      ASSERT_GE(World.Canvas.Writes() - writes, 3u);  // every such call paces
      if (f->Cursor != before) erased.insert(f->Slot);
      ++erasing;
    }
    EXPECT_EQ(erased.size(), static_cast<std::size_t>(n));
    EXPECT_GT(erasing, 3 * n);  // four calls in five only pace
    f->Step();
    EXPECT_EQ(f->FadeSweeps, 1);
    EXPECT_FALSE(f->Finished);
    f->Step();
    EXPECT_TRUE(f->Finished);
    EXPECT_EQ(f->State, TFire::Burst);
    EXPECT_EQ(f->FadeSweeps, 0);
    EXPECT_EQ(f->Cursor, 0);
    // Everything the burst drew is gone again.
    for (std::int32_t y = 0; y < 600; ++y)
      for (std::int32_t x = 0; x < 800; ++x)
        ASSERT_EQ(World.Canvas.GetPixel(x, y), 0u) << x << "," << y;
  }
}

TEST_F(Peony, RocketLaunchLeadsIntoTheBurst) {
  Param.DrawLaunch = true;
  Param.SeedCount = 30;
  Param.Life = 3;
  auto f = World.Make<TFireBotan>(5);
  EXPECT_EQ(f->State, TFire::Launch);
  int calls = 0;
  while (f->State != TFire::Burning && calls < 10000000) f->Step(), ++calls;
  ASSERT_EQ(f->State, TFire::Burning);
  EXPECT_EQ(f->X[f->SeedNum - 1], static_cast<float>(f->BurstX));
  while (!f->Finished && calls < 20000000) f->Step(), ++calls;
  EXPECT_TRUE(f->Finished);
  EXPECT_EQ(f->State, TFire::Launch);
}

TEST_F(Peony, BurstWithoutStarsEndsQuietly) {
  Param.SeedCount = 1;
  auto f = World.Make<TFireBotan>(3);
  f->Step();
  EXPECT_EQ(f->SeedNum, 0);
  EXPECT_EQ(f->State, TFire::Fading);
  f->Step();
  EXPECT_EQ(f->FadeSweeps, 1);
  f->Step();
  EXPECT_TRUE(f->Finished);
  EXPECT_EQ(World.Canvas.Writes(), 0u);
  ASSERT_EQ(World.Trace.Bursts.size(), 1u);
  EXPECT_EQ(World.Trace.Bursts[0].Burst.SeedNum, 0);
  EXPECT_STREQ(World.Trace.Bursts[0].Burst.KindName, "Botan");
}

TEST_F(Peony, RunawaySettingsStayInBounds) {
  World.Settings.gFactor = 1000000;
  World.Settings.VNoise = 100000;
  World.Settings.DNoise = 2147483647;
  Param = {true, 2, 500, 2147483647, 599, 2147483647, 1000};
  auto f = World.Make<TFireBotan>(9);
  for (int i = 0; i < 200000 && !f->Finished; ++i) f->Step();
  Param.Life = 1;
  Param.DrawLaunch = false;
  auto g = World.Make<TFireBotan>(10);
  for (int i = 0; i < 200000 && !g->Finished; ++i) g->Step();
  EXPECT_TRUE(g->Finished);
}

}  // namespace
}  // namespace moonglow
