// Willow and chrysanthemum shells: the stars' directions, the trail ring with
// its erase marks, the fades, the chrysanthemum's rings, colour phases,
// fountain and left-edge strip. What each burst draws is pinned by the golden
// hashes of RenderTest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "shells/FireKiku.h"
#include "shells/FireKiku3.h"
#include "shells/Numeric.h"
#include "tests/ShellWorld.h"

namespace moonglow {
namespace {

// The trail ring holds what the bursts drew, not the largest ring a settings
// file allows; cells no burst wrote read as (0, 0), as a zeroed ring would.
TEST(KikuTrailRing, HoldsOnlyWhatTheBurstsNeed) {
  ShellWorld w;
  w.Settings.Kiku.DrawLaunch = true;
  auto f = w.Make<TFireKiku>(3);
  std::int32_t most = 0;
  for (int cycles = 0; cycles < 3;) {
    f->Step();
    most = std::max(most, f->SeedNum);
    if (f->Finished) {
      f->Finished = false;
      ++cycles;
    }
  }
  const std::size_t cell = 2 * sizeof(float);
  EXPECT_GT(f->TrailBytes(), 0u);
  // The willow's 250 slots of its largest burst, and the rocket's 350 of two.
  EXPECT_LE(f->TrailBytes(), (250u * static_cast<std::size_t>(most) + 100u * 2u) * cell);
  EXPECT_LT(f->TrailBytes() * 5, std::size_t{TFire::MaxTrail} * TFire::MaxStars * cell);
  EXPECT_EQ(f->TrailXAt(TFire::MaxTrail - 1, TFire::MaxStars - 1), 0.0f);
  EXPECT_EQ(f->TrailYAt(400, most), 0.0f);
}

// Velocities follow the star's angle: the first star flies along the x axis,
// the second turns by 360 div n + 1 plus 1..5 degrees of noise.
TEST(KikuBurst, StarsSpreadRoundTheCircle) {
  ShellWorld w;
  w.Settings.Kiku.DrawLaunch = false;
  for (std::uint32_t seed = 1; seed <= 50; ++seed) {
    auto f = w.Make<TFireKiku>(seed);
    f->Step();
    ASSERT_EQ(f->State, TFire::Burning);
    const int n = f->SeedNum;
    EXPECT_EQ(f->VY[0], 0.0f);
    EXPECT_EQ(f->VX[0], f->Speed[0]);
    const double turn = std::atan2(f->VY[1], f->VX[1]) / 0.017453277777777776;
    EXPECT_TRUE(turn > 360 / n + 2 - 0.01 && turn < 360 / n + 6 + 0.01) << turn;
  }
}

TEST(KikuBurst, ColourDriftsAlongThePalette) {
  ShellWorld w;
  auto f = w.Make<TFireKiku>(1);
  EXPECT_EQ(f->Colors, w.Env.Palette);
  f->ColorIndex = 251.9;
  f->NextColor();
  EXPECT_EQ(f->ColorIndex, 2.0);
  f->ColorIndex = 251.6;
  f->NextColor();
  EXPECT_NEAR(f->ColorIndex, 251.9, 1e-9);
  EXPECT_EQ(Trunc(f->ColorIndex), 251);
  f->NextColor();
  EXPECT_EQ(f->ColorIndex, 2.0);
}

TEST(KikuTrail, FadeMarksEverySlotAndBurningNeverErasesAMark) {
  ShellWorld w;
  w.Settings.Kiku = TFireParam{false, 0, 20, 300, 20, 40, 10};
  auto f = w.Make<TFireKiku>(5);
  StepWhile(*f, TFire::Burst);
  StepWhile(*f, TFire::Burning);
  const std::int32_t firstStars = f->SeedNum;
  StepWhile(*f, TFire::Fading);
  ASSERT_TRUE(f->Finished);
  for (int j = 0; j < firstStars; ++j)
    for (int k = 0; k < 20; ++k) ASSERT_EQ(f->TrailXAt(k, j), -1.0f) << j << " " << k;

  f->Finished = false;
  f->Step();  // the next burst of the same shell
  int skipped = 0;
  while (f->State == TFire::Burning) {
    const std::int32_t j = f->Cursor, written = f->TrailSlot();
    std::vector<float> before(20);
    if (j < f->SeedNum)
      for (int k = 0; k < 20; ++k) before[k] = f->TrailXAt(k, j);
    const std::uint64_t writes = w.Canvas.Writes();
    f->Step();
    if (f->Cursor != j + 1) continue;  // a sweep end or the switch to the fade
    const bool marked = before[f->Slot] == -1.0f && f->Slot != written;
    EXPECT_EQ(w.Canvas.Writes() - writes, marked ? 1u : 2u);
    skipped += marked;
  }
  EXPECT_GT(skipped, 30);
}

TEST(KikuTrail, FadeTakesThreeStarsPerCall) {
  ShellWorld w;
  w.Settings.Kiku = TFireParam{false, 0, 8, 300, 5, 3, 10};  // 8 − RandomUpTo(0): 7 stars
  auto f = w.Make<TFireKiku>(2);
  StepWhile(*f, TFire::Burst);
  ASSERT_EQ(f->SeedNum, 7);
  StepWhile(*f, TFire::Burning);
  std::vector<std::int32_t> cursors;
  for (int n = 0; n < 4; ++n) f->Step(), cursors.push_back(f->Cursor);
  EXPECT_EQ(cursors, (std::vector<std::int32_t>{3, 6, 7, 0}));
  EXPECT_EQ(4 + StepWhile(*f, TFire::Fading), 5 * 4 + 1);
}

TEST(KikuBurst, NoStars) {
  ShellWorld w;
  ExpectEmptyBurstEndsQuietly<TFireKiku>(w, w.Settings.Kiku);
}

TEST(Kiku3Burst, ColourTable) {
  ShellWorld w;
  auto f = w.Make<TFireKiku3>(1);
  EXPECT_EQ(f->Colors[0], 0x000000u);
  EXPECT_EQ(f->Colors[1], 0xFFFFFFu);
  EXPECT_EQ(f->Colors[4], 0x0000FFu);    // red
  EXPECT_EQ(f->Colors[6], 0xFF0000u);    // blue
  EXPECT_EQ(f->Colors[8], 0x00FF00u);    // green, never shown
  EXPECT_EQ(f->Colors[255], 0x00FFFFu);  // 255 mod 7 = 3: yellow
}

TEST(Kiku3Burst, ColourPhasesAtAFifthOfTheLifetime) {
  ShellWorld w;
  w.Settings.Kiku3.DrawLaunch = false;
  w.Settings.Kiku3.Life = 201;  // Lifetime 200 when RandomUpTo draws 1
  for (std::uint32_t seed = 1;; ++seed) {
    auto f = w.Make<TFireKiku3>(seed);
    f->Step();
    if (f->Lifetime != 200) continue;
    EXPECT_EQ(f->PhaseTicks, (std::array<std::int32_t, 4>{0, 40, 80, 120}));
    // Each sweep shows the colour of the phase it starts in.
    while (f->State == TFire::Burning) {
      if (f->Cursor == 0) {
        f->Step();
        const int phase = f->Tick < 40 ? 0 : f->Tick < 80 ? 1 : f->Tick < 120 ? 2 : 3;
        EXPECT_EQ(f->ColorIndex, phase == 0 ? 1 : f->PhaseColors[phase]) << f->Tick;
      }
      f->Step();
    }
    break;
  }
}

TEST(Kiku3Burst, WithoutNoiseEachRingLosesItsOwnStep) {
  ShellWorld w;
  w.Settings.Kiku3.DrawLaunch = false;
  w.Settings.VNoise = 0;
  auto f = w.Make<TFireKiku3>(4);
  f->Step();
  const double loss[4] = {1, 2, 4, 6};
  const double ring[4] = {f->V0, f->RingV1, f->RingV2, f->RingV3};
  for (int i = 0; i < f->SeedNum; ++i)
    EXPECT_EQ(f->Speed[i], static_cast<float>(ring[i % 4] - loss[i % 4])) << i;
  // Every third star twinkles 1–2 pixels off; the others record their exact place.
  for (int n = 0; n <= f->SeedNum; ++n) f->Step();
  for (int i = 0; i < f->SeedNum; ++i) {
    const float dx = f->TrailXAt(1, i) - f->X[i], dy = f->TrailYAt(1, i) - f->Y[i];
    const bool exact = dx == 0 && dy == 0;
    const bool twinkled = dx > 0 && dx <= 2 && dy > 0 && dy <= 2;
    EXPECT_TRUE(i % 3 == 0 ? twinkled : exact) << i;
  }
}

TEST(Kiku3Fountain, RisesFromTheBottomEdge) {
  ShellWorld w;
  int fountains = 0;
  for (std::uint32_t seed = 1; seed <= 200; ++seed) {
    auto f = w.Make<TFireKiku3>(seed);
    f->Step();
    if (!f->Fountain) continue;
    ++fountains;
    const int n = f->SeedNum;
    for (int i = 0; i < n; ++i) {
      EXPECT_TRUE(f->X[i] == static_cast<float>(f->BurstX) && f->Y[i] == 0);
      EXPECT_TRUE(f->TrailXAt(0, i) == f->X[i] && f->TrailYAt(0, i) == 0);
      // 75..104 degrees for every fifth star, 80..99 for the rest.
      const double wide = i % 5 == 0 ? 15.5 : 10.5, s = f->Speed[i];
      EXPECT_LE(std::abs(f->VX[i] / s), std::sin(wide * std::numbers::pi / 180)) << i;
      EXPECT_GE(f->VY[i] / s, std::cos(wide * std::numbers::pi / 180)) << i;
    }
  }
  EXPECT_TRUE(fountains > 40 && fountains < 80) << fountains;
}

TEST(Kiku3Fade, BlacksOutTheLeftStripOnlyAtTheEnd) {
  ShellWorld w;
  w.Settings.Kiku3 = TFireParam{false, 0, 20, 400, 3, 2, 10};
  auto f = w.Make<TFireKiku3>(7);
  StepWhile(*f, TFire::Burst);
  StepWhile(*f, TFire::Burning);
  for (int x = 0; x <= 4; ++x) w.Canvas.SetPixel(x, 10, 0xFFFFFF);
  int calls = 0;
  while (!f->Finished) {
    EXPECT_EQ(w.Canvas.GetPixel(0, 10), 0xFFFFFFu);
    f->Step(), ++calls;
  }
  EXPECT_EQ(calls, 3 * (f->SeedNum + 1) + 1);  // one star per call
  for (int x = 0; x < 4; ++x) EXPECT_EQ(w.Canvas.GetPixel(x, 10), 0u);
  EXPECT_EQ(w.Canvas.GetPixel(4, 10), 0xFFFFFFu);
}

TEST(Kiku3Burst, NoStarsAndHandEditedExtremes) {
  ShellWorld w;
  ExpectEmptyBurstEndsQuietly<TFireKiku3>(w, w.Settings.Kiku3);
  // Far past anything the dialog offers: the fountain's RandomUpTo answers
  // wrap to 16 bits, so its speeds stay within about ±65,536.
  w.Settings.Kiku3 = TFireParam{true, 2, 500, 2147483647, 599, 300, 1000};
  w.Settings.VNoise = w.Settings.DNoise = 2147483647;
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    auto f = w.Make<TFireKiku3>(seed);
    for (int n = 0; n < 20000; ++n) {
      f->Step();
      if (f->Fountain && f->State == TFire::Burning && n == 0) {
        for (int i = 0; i < f->SeedNum; ++i) ASSERT_LE(std::abs(f->Speed[i]), 65536.0f);
      }
      ASSERT_TRUE(f->SeedNum >= 0 && f->SeedNum <= TFire::MaxStars);
    }
  }
}

}  // namespace
}  // namespace moonglow
