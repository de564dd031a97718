// The shell base class: random helper, numeric conventions, trail-slot
// permutation, integrators, star plotting and the rocket's three phases.

#include "shells/Fire.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "ShowFixture.h"
#include "shells/Numeric.h"

namespace moonglow {
namespace {

using testing::TShowWorld;

// A kind with no burst of its own, so the base class can be driven alone.
class TProbe final : public TFire {
 public:
  TProbe(TShowEnv& env, const TFireParam& param) : TFire(env) { SetUpKind("Probe", param); }
  void InitColors() override {
    Colors.fill(0x0000FF);
    Colors[0] = 0;
  }
  void NextColor() override {}
  void Explode() override {
    ++Explodes;
    State = Burning;
  }
  void BurstStep() override {}
  void FadeStep() override {}
  int Explodes = 0;
};

struct FireBase : ::testing::Test {
  TShowWorld World;
  TFireParam Param{true, 0, 100, 100, 100, 100, 10};
  std::unique_ptr<TProbe> Make(std::uint32_t seed = 1) {
    World.Env.SeedCounter = seed;
    return std::make_unique<TProbe>(World.Env, Param);
  }
};

TEST(Numeric, ExtendedHundredthAndTruncation) {
  EXPECT_EQ(Trunc(Percent * 40 * 30), 11);
  EXPECT_EQ(Trunc(Percent * 600 * 50), 300);
  EXPECT_EQ(Trunc(-2.9L), -2);
  EXPECT_EQ(Trunc(2147483647.9L), 2147483647);
  const std::int32_t indefinite = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(Trunc(std::numeric_limits<long double>::quiet_NaN()), indefinite);
  EXPECT_EQ(Trunc(std::numeric_limits<long double>::infinity()), indefinite);
  EXPECT_EQ(Trunc(2147483648.0L), indefinite);
  EXPECT_EQ(Trunc(-2147483648.5L), indefinite);  // truncates to a value still in range
  EXPECT_EQ(Sqrt(-16.0), 4.0);
  EXPECT_EQ(WrapAdd(std::numeric_limits<std::int32_t>::max(), 1), indefinite);
}

TEST_F(FireBase, ConstructionReseedsFromTheCounter) {
  World.Settings.gFactor = 3;
  World.Settings.kFactor = 10;
  auto a = Make(1000);
  EXPECT_EQ(World.Env.Random.State, 1000u);
  EXPECT_EQ(World.Env.SeedCounter, 1001u);
  auto b = std::make_unique<TProbe>(World.Env, Param);
  EXPECT_EQ(World.Env.Random.State, 1001u);
  EXPECT_EQ(World.Env.SeedCounter, 1002u);
  EXPECT_EQ(a->Width, 800);
  EXPECT_EQ(a->Height, 600);
  EXPECT_DOUBLE_EQ(a->Gravity, 29.4);
  EXPECT_DOUBLE_EQ(a->Drag, 0.01);
  EXPECT_DOUBLE_EQ(a->Dt, 0.01);
  EXPECT_EQ(a->State, TFire::Launch);
  // The counter wraps instead of overflowing.
  World.Env.SeedCounter = 0xFFFFFFFFu;
  Make(0xFFFFFFFFu);
  EXPECT_EQ(World.Env.SeedCounter, 0u);
}

TEST_F(FireBase, RandomUpTo) {
  auto f = Make();
  World.Env.Random.Seed(1);
  EXPECT_EQ(f->RandomUpTo(100), 48);
  EXPECT_EQ(f->RandomUpTo(100), 32);
  EXPECT_EQ(f->RandomUpTo(100), 84);
  std::set<int> seen;
  for (int i = 0; i < 2000; ++i) {
    EXPECT_EQ(f->RandomUpTo(0), 1);
    EXPECT_EQ(f->RandomUpTo(1), 1);
    seen.insert(f->RandomUpTo(6));
  }
  EXPECT_EQ(seen, (std::set<int>{1, 2, 3, 4, 5, 6}));
}

TEST_F(FireBase, OrderSpans) {
  auto f = Make();
  f->InitOrder(1);
  EXPECT_EQ(f->OrderSpan, 8);
  f->InitOrder(8);
  EXPECT_EQ(f->OrderSpan, 8);
  f->InitOrder(9);
  EXPECT_EQ(f->OrderSpan, 16);
  f->InitOrder(350);
  EXPECT_EQ(f->OrderSpan, 512);
  EXPECT_EQ(f->OrderCount, 350);
  f->InitOrder(599);
  EXPECT_EQ(f->OrderSpan, 1024);
}

TEST_F(FireBase, OrderSequencesAndPermutation) {
  auto f = Make();
  f->InitOrder(350);
  const std::int16_t star0[] = {182, 348, 41, 120, 277};
  for (const std::int16_t want : star0) EXPECT_EQ(f->NextOrder(0), want);
  const std::int16_t star499[] = {116, 74, 272};
  for (const std::int16_t want : star499) EXPECT_EQ(f->NextOrder(499), want);

  // Every star visits each slot exactly once per 350 calls, whatever its start.
  for (const std::int32_t star : {0, 1, 77, 499}) {
    f->InitOrder(350);
    std::set<int> slots;
    for (int i = 0; i < 350; ++i) slots.insert(f->NextOrder(star));
    EXPECT_EQ(slots.size(), 350u);
    EXPECT_EQ(*slots.begin(), 0);
    EXPECT_EQ(*slots.rbegin(), 349);
  }

  f->InitOrder(2);
  EXPECT_EQ(f->NextOrder(0), 1);
  EXPECT_EQ(f->NextOrder(0), 0);
  EXPECT_EQ(f->NextOrder(0), 1);

  // No slot to visit, or a star beyond the arrays: answered without looping.
  f->InitOrder(0);
  EXPECT_EQ(f->NextOrder(0), 0);
  f->InitOrder(10);
  EXPECT_EQ(f->NextOrder(500), 0);
  EXPECT_EQ(f->NextOrder(-1), 0);
}

// One step worked out by hand with values that are exact in binary:
// s = 5, v = (3, 4), k = 1/8, g = 2, h = 1/2, so fx = −15/8, fy = −9/2;
// a1..a4 = −0.9375, −1.171875, −1.23046875, −1.552734375;
// b1..b4 = −2.25, −2.8125, −2.953125, −3.7265625;
// c1..c4 = 1.5, 1.265625, 1.20703125, 0.884765625;
// d1..d4 = 2, 1.4375, 1.296875, 0.5234375.
TEST_F(FireBase, IntegrateOneHandWorkedStep) {
  auto f = Make();
  f->Cursor = 7;
  f->Speed[7] = 5;
  f->VX[7] = 3;
  f->VY[7] = 4;
  f->X[7] = 10;
  f->Y[7] = 20;
  f->Drag = 0.125;
  f->Gravity = 2;
  f->Dt = 0.5;
  f->Integrate();
  EXPECT_EQ(f->X[7], 10 + 1.2216796875f);
  EXPECT_EQ(f->Y[7], 20 + 1.33203125f);
  EXPECT_EQ(f->VX[7], 3 - 1.2158203125f);
  EXPECT_EQ(f->VY[7], 4 - 2.91796875f);
  EXPECT_FLOAT_EQ(f->Speed[7], static_cast<float>(std::hypot(1.7841796875, 1.08203125)));
  // Other stars are untouched.
  EXPECT_EQ(f->X[6], 0.0f);
}

TEST_F(FireBase, FreeFallClosedForms) {
  auto f = Make();
  f->Cursor = 0;
  f->VX[0] = 2;
  f->VY[0] = 4;
  f->X[0] = 1;
  f->Y[0] = 1;
  f->Gravity = 3;
  f->Dt = 0.5;
  f->FreeFall();
  EXPECT_EQ(f->X[0], 2.0f);           // + h·vx
  EXPECT_EQ(f->Y[0], 1 + 2 - 0.25f);  // + h·vy − g·h²/3
  EXPECT_EQ(f->VX[0], 2.0f);
  EXPECT_EQ(f->VY[0], 4 - 1.25f);  // − (5/6)·g·h
  EXPECT_FLOAT_EQ(f->Speed[0], static_cast<float>(std::sqrt(4 + 2.75 * 2.75)));
}

TEST_F(FireBase, PlotStarFlipsAndBigStars) {
  TShowWorld world(200, 100);
  world.Env.SeedCounter = 1;
  TProbe f(world.Env, Param);
  f.BigSeed = 1;
  f.PlotStar(10, 20, 5);
  EXPECT_EQ(world.Canvas.GetPixel(10, 80), 0x0000FFu);
  EXPECT_EQ(world.Canvas.GetPixel(11, 80), 0x0000FFu);
  EXPECT_EQ(world.Canvas.GetPixel(10, 81), 0x0000FFu);
  EXPECT_EQ(world.Canvas.GetPixel(11, 81), 0u);
  EXPECT_EQ(world.Canvas.Writes(), 3u);
  f.PlotStar(10, 20, 0);  // erasing takes all three pixels
  EXPECT_EQ(world.Canvas.GetPixel(10, 80), 0u);
  EXPECT_EQ(world.Canvas.GetPixel(11, 80), 0u);
  EXPECT_EQ(world.Canvas.GetPixel(10, 81), 0u);

  f.BigSeed = 0;
  f.PlotStar(0, 0, 1);  // y = 0 lies just below the area
  f.PlotStar(0, 100, 1);
  EXPECT_EQ(world.Canvas.GetPixel(0, 0), 0x0000FFu);
  const std::int32_t indefinite = std::numeric_limits<std::int32_t>::min();
  f.PlotStar(indefinite, indefinite, 1);  // a runaway star: nothing drawn
  EXPECT_EQ(world.Canvas.Writes(), 9u);
  // An index outside the table draws nothing and reads nothing.
  f.PlotStar(5, 5, 256);
  f.PlotStar(5, 5, -1);
  f.PlotStar(5, 5, indefinite);
  EXPECT_EQ(world.Canvas.Writes(), 9u);
}

TEST_F(FireBase, TrailSlotNeverNegative) {
  auto f = Make();
  f->TrailLen = 350;
  f->Tick = 351;
  EXPECT_EQ(f->TrailSlot(), 1);
  f->Tick = -1;
  EXPECT_EQ(f->TrailSlot(), 349);
  f->Tick = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(f->TrailSlot(), 152);  // 2^31 = 350 × 6135667 + 198, so −2^31 ≡ 152
  f->TrailLen = 0;
  EXPECT_EQ(f->TrailSlot(), 0);
}

TEST_F(FireBase, LaunchSetsUpTwoParticles) {
  for (std::uint32_t seed = 1; seed < 200; ++seed) {
    auto f = Make(seed);
    f->Step();  // Launch: StartLaunch only, not RiseStep as well
    ASSERT_EQ(f->State, TFire::Rising);
    EXPECT_EQ(f->Tick, 1);
    EXPECT_EQ(f->SeedNum, 2);
    EXPECT_EQ(f->TrailLen, 350);
    EXPECT_EQ(f->OrderSpan, 512);
    EXPECT_GE(f->BurstX, 201);  // RandomUpTo(400) + 200
    EXPECT_LE(f->BurstX, 600);
    EXPECT_GE(f->BurstY, 300 + 1 - 60);
    EXPECT_LE(f->BurstY, 300 + 300 - 1);
    EXPECT_GE(f->V0, 400 - 200);
    EXPECT_LE(f->V0, 400 - 1);
    EXPECT_EQ(f->ColorIndex, 1.0);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(f->X[i], f->BurstX);
      EXPECT_TRUE(f->Y[i] == 0 || f->Y[i] == 1 || f->Y[i] == 2);
      // 88..93 degrees: mostly up, slightly either way.
      const double angle = std::atan2(f->VY[i], f->VX[i]) * 180 / 3.14159;
      EXPECT_GT(angle, 87.5);
      EXPECT_LT(angle, 93.5);
    }
    EXPECT_EQ(World.Canvas.Writes(), 0u);
  }
}

TEST_F(FireBase, RocketPeaksBelowTheTopOrWhenSlow) {
  for (std::uint32_t seed = 1; seed < 6; ++seed) {
    auto f = Make(seed);
    f->Step();
    int calls = 0;
    float lastVY = 0, lastY = 0;
    while (f->State == TFire::Rising && calls < 10000000) {
      lastVY = f->VY[1];
      lastY = f->Y[1];
      f->Step();
      ++calls;
    }
    ASSERT_EQ(f->State, TFire::TrailFade);
    // Still climbing before the last call; slow or near the top after it.
    EXPECT_TRUE(lastVY > 50 && lastY <= 550);
    EXPECT_TRUE(f->VY[1] <= 50 || f->Y[1] > 550);
    EXPECT_EQ(f->BurstX, f->X[1]);
    EXPECT_EQ(f->BurstY, f->Y[1]);
  }
}

TEST_F(FireBase, PreviewRocketIsSlowAndPeaksAtOnce) {
  TShowWorld world(152, 112, /*preview=*/true);
  int slow = 0;
  for (std::uint32_t seed = 1; seed < 400; ++seed) {
    world.Env.SeedCounter = seed;
    TProbe f(world.Env, Param);
    f.Step();
    ASSERT_GE(f.V0, 37);
    ASSERT_LE(f.V0, 73);
    if (f.V0 > 50) continue;
    ++slow;
    f.Step();  // the first RiseStep, for particle 0
    EXPECT_EQ(f.State, TFire::TrailFade);
    EXPECT_LT(f.BurstY, 4);  // just above the bottom edge
  }
  EXPECT_GT(slow, 50);
}

TEST_F(FireBase, TrailFadeSweepsThenBurstsInTheSameCall) {
  auto f = Make();
  f->Step();  // StartLaunch
  f->State = TFire::TrailFade;
  f->Cursor = 0;
  f->FadeSweeps = 0;
  for (int sweep = 0; sweep < 350; ++sweep) {
    const std::uint64_t before = World.Canvas.Writes();
    f->Step();
    ASSERT_EQ(World.Canvas.Writes() - before, 2u) << "sweep " << sweep;
    ASSERT_EQ(f->Cursor, 2);
    f->Step();
    ASSERT_EQ(World.Canvas.Writes() - before, 2u);
    ASSERT_EQ(f->Cursor, 0);
  }
  EXPECT_EQ(f->FadeSweeps, 350);
  EXPECT_EQ(f->Explodes, 0);
  f->Step();
  EXPECT_EQ(f->Explodes, 1);
  EXPECT_EQ(f->State, TFire::Burning);
  EXPECT_EQ(f->FadeSweeps, 0);
  EXPECT_EQ(f->Tick, 1);
}

TEST_F(FireBase, WithoutTheRocketNoLaunchPhaseRuns) {
  Param.DrawLaunch = false;
  auto f = Make();
  EXPECT_EQ(f->State, TFire::Burst);
  // Even a launch state left over is not acted on.
  f->State = TFire::Launch;
  f->Step();
  EXPECT_EQ(f->State, TFire::Launch);
  EXPECT_EQ(World.Env.Random.State, 1u);  // nothing drawn from the generator
  f->State = TFire::Burst;
  f->Step();
  EXPECT_EQ(f->Explodes, 1);
}

}  // namespace
}  // namespace moonglow
