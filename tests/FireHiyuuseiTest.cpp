// Flying-star and bee shells: the drifting motion with its random kick, the
// fades, and the bees' whirl. What each burst draws is pinned by the golden
// hashes of RenderTest.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "shells/FireHachi.h"
#include "shells/FireHiyuusei.h"
#include "tests/ShellWorld.h"

namespace moonglow {
namespace {

// Burning shell whose star 0 rests at (100, 100), with no gravity, so only
// the kick (if any) moves it.
template <class K>
std::unique_ptr<K> RestingStar(ShellWorld& w, float speed) {
  w.Settings.gFactor = 0;
  auto f = w.template Make<K>(11);
  f->Step();
  f->X[0] = f->Y[0] = 100;
  f->VX[0] = f->VY[0] = 0;
  f->Speed[0] = speed;
  return f;
}

// The kick adds K × Speed × (cos a, sin b): each component stays within K × Speed.
template <class K>
void ExpectKickUpTo(double limit) {
  ShellWorld w;
  auto f = RestingStar<K>(w, 100);
  double most = 0;
  for (int n = 0; n < 2000; ++n) {
    f->VX[0] = f->VY[0] = 0;
    f->Drift();
    most = std::max({most, std::abs(double(f->VX[0])), std::abs(double(f->VY[0]))});
    ASSERT_EQ(f->X[0], 100.0f);
  }
  EXPECT_TRUE(most > limit * 0.999 && most <= limit * 1.000001) << most;
}

// Speed spread plays no part in these kinds: the same seed draws the same show.
template <class K>
void ExpectNoiseHasNoEffect() {
  ShellWorld a, b;
  a.Settings.VNoise = 0;
  b.Settings.VNoise = 100;
  auto fa = a.template Make<K>(21);
  auto fb = b.template Make<K>(21);
  for (int n = 0; n < 5000; ++n) fa->Step(), fb->Step();
  EXPECT_EQ(0, std::memcmp(a.Canvas.Pixels(), b.Canvas.Pixels(), 800 * 600 * 4));
  EXPECT_GT(a.Canvas.Writes(), 1000u);
}

TEST(HiyuuseiBurst, SpeedNoisePlaysNoPart) {
  ExpectNoiseHasNoEffect<TFireHiyuusei>();
  ExpectNoiseHasNoEffect<TFireHachi>();
}

TEST(HiyuuseiDrift, FallsFiveSixthsOfGTWithoutKick) {
  ShellWorld w;
  auto f = RestingStar<TFireHiyuusei>(w, 0);  // no launch speed, no kick
  f->Gravity = 30;
  f->Dt = 0.01;
  f->X[0] = 10;
  f->Y[0] = 20;
  f->VX[0] = 100;
  f->VY[0] = 50;
  const std::uint32_t before = w.Env.Random.State;
  f->Drift();
  EXPECT_EQ(DrawsBetween(before, w.Env.Random.State), 2);
  EXPECT_FLOAT_EQ(f->X[0], 11);                        // VX · t
  EXPECT_FLOAT_EQ(f->Y[0], 20 + 0.5 - 30 * 1e-4 / 3);  // VY · t − g t² / 3
  EXPECT_FLOAT_EQ(f->VX[0], 100);
  EXPECT_FLOAT_EQ(f->VY[0], 50 - 0.25);  // 5/6 · g · t
  EXPECT_EQ(f->Speed[0], 0);
  ExpectKickUpTo<TFireHiyuusei>(10);
}

TEST(HiyuuseiFade, ThreeStarsPerCallAndNoneBeyondTheBurst) {
  ShellWorld w;
  w.Settings.Hiyuusei = TFireParam{false, 0, 20, 200, 4, 2, 3};
  auto f = w.Make<TFireHiyuusei>(8);
  f->Step();
  const int n = f->SeedNum;
  for (int k = 0; k < 4; ++k) f->SetTrailX(k, n, 1234);
  StepWhile(*f, TFire::Burning);
  EXPECT_EQ(StepWhile(*f, TFire::Fading), 4 * ((n + 2) / 3 + 1) + 1);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(f->TrailXAt(k, n), 1234);
    for (int j = 0; j < n; ++j) EXPECT_EQ(f->TrailXAt(k, j), -1.0f);
  }
  ExpectEmptyBurstEndsQuietly<TFireHiyuusei>(w, w.Settings.Hiyuusei);
}

TEST(HachiBurst, TwiceTheKickAndEmptyBursts) {
  ExpectKickUpTo<TFireHachi>(20);
  ShellWorld w;
  ExpectEmptyBurstEndsQuietly<TFireHachi>(w, w.Settings.Hachi);
}

TEST(HachiWhirl, DrawnAroundTheTruePosition) {
  struct Case {
    double Spin;
    std::set<int> Xs, Ys;
  };
  // The degree factor lies just below π/180, so the quarter turns miss their
  // axes by a hair and truncation shows it.
  const Case cases[] = {{0, {103, 104, 105}, {100}},
                        {90, {100}, {102, 103, 104}},
                        {180, {95, 96, 97}, {100}},
                        {270, {99}, {95, 96, 97}},
                        {360, {102, 103, 104}, {99}}};
  ShellWorld w;
  auto f = RestingStar<TFireHachi>(w, 0);
  for (const Case& c : cases) {
    std::set<int> xs, ys;
    for (int n = 0; n < 60; ++n) {
      f->Cursor = 0;
      f->Tick = 1;
      f->Spin[0] = c.Spin;
      f->BurstStep();
      xs.insert(int(f->TrailXAt(1, 0)));
      ys.insert(int(f->TrailYAt(1, 0)));
    }
    EXPECT_EQ(xs, c.Xs) << c.Spin;
    EXPECT_EQ(ys, c.Ys) << c.Spin;
  }
  // A full turn takes 13 sweeps: 360 stays for one sweep before 0.
  f->Spin[0] = 0;
  std::vector<double> spins;
  for (int n = 0; n < 13; ++n)
    f->Cursor = 0, f->Tick = 1, f->BurstStep(), spins.push_back(f->Spin[0]);
  EXPECT_EQ(spins[11], 360);
  EXPECT_EQ(spins[12], 0);
}

TEST(HachiColour, DriftsATenthPerSweep) {
  ShellWorld w;
  auto f = w.Make<TFireHachi>(1);
  EXPECT_EQ(f->Colors, w.Env.Palette);
  f->ColorIndex = 251.95;
  f->NextColor();
  EXPECT_EQ(f->ColorIndex, 2.0);
  int sweeps = 1;
  for (f->NextColor(); f->ColorIndex != 2.0 && sweeps < 5000; f->NextColor()) ++sweeps;
  EXPECT_TRUE(sweeps >= 2499 && sweeps <= 2501) << sweeps;
}

}  // namespace
}  // namespace moonglow
