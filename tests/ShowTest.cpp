// The show loop: theme choice, launch budgets and slot visits.

#include "show/Show.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "ShowFixture.h"

namespace moonglow {
namespace {

using testing::TShowWorld;

struct ShowLoop : ::testing::Test {
  TShowWorld World;
  TFireShow& Show = World.Show;
  TTraceRecorder& Trace = World.Trace;
  ShowLoop() {
    World.Settings.FireCount = 1;
    // Short peony bursts keep whole themes quick.
    World.Settings.Botan.SeedCount = 20;
    World.Settings.Botan.Life = 2;
  }
  // Visits until the show starts its next theme; returns the bursts seen.
  std::size_t RunTheme() {
    const std::size_t themes = Trace.Themes.size();
    const std::size_t bursts = Trace.Bursts.size();
    for (long n = 0; n < 50000000 && Trace.Themes.size() == themes; ++n) Show.Visit();
    EXPECT_EQ(Trace.Themes.size(), themes + 1);
    return Trace.Bursts.size() - bursts;
  }
};

TEST_F(ShowLoop, ThemeSequenceWithTheFallbackWeights) {
  for (int i = 0; i < 5; ++i) Show.ChooseTheme();
  const std::vector<TTraceRecorder::TThemeEntry> want = {
      {"Botan", 27}, {"Shidare", 12}, {"Shidare", 11}, {"AllCast", 20}, {"Botan", 27}};
  EXPECT_EQ(Trace.Themes, want);
  EXPECT_EQ(Show.ThemeSeed, 6u);
}

TEST_F(ShowLoop, FirstRunOpensWithWeepingWillows) {
  World.Settings.FirstRun = true;
  Show.ChooseTheme();
  EXPECT_FALSE(World.Settings.FirstRun);
  EXPECT_EQ(Show.ThemeSeed, 1u);  // neither used nor advanced
  Show.ChooseTheme();
  const std::vector<TTraceRecorder::TThemeEntry> want = {{"Shidare", 11}, {"Botan", 27}};
  EXPECT_EQ(Trace.Themes, want);
  EXPECT_EQ(Show.LiveShells, 1);
  ASSERT_TRUE(Show.Slots[0]);
  EXPECT_STREQ(Show.Slots[0]->KindName, "Botan");
}

TEST_F(ShowLoop, AllWeightsZeroSpreadsOverEveryTheme) {
  World.Settings.AllCastPer = World.Settings.ShidarePer = World.Settings.HanaichiPer = 0;
  World.Settings.BotanPer = World.Settings.RanbuPer = 0;
  std::map<std::string, int> count;
  for (int i = 0; i < 500; ++i) Show.ChooseTheme();
  for (const auto& theme : Trace.Themes) ++count[theme.Name];
  ASSERT_EQ(count.size(), 5u);
  for (const auto& [name, n] : count) {
    EXPECT_GT(n, 60) << name;
    EXPECT_LT(n, 140) << name;
  }
}

TEST_F(ShowLoop, OneSlotShowsExactlyTheBudget) {
  World.Settings.AllCastPer = World.Settings.ShidarePer = World.Settings.HanaichiPer = 0;
  World.Settings.RanbuPer = 0;
  World.Settings.BotanPer = 100;
  Show.StartTheme(TTheme::Botan);
  const int budget = Show.LaunchesLeft;
  EXPECT_EQ(RunTheme(), static_cast<std::size_t>(budget));
  for (const auto& burst : Trace.Bursts) EXPECT_EQ(burst.Slot, 0);
}

TEST_F(ShowLoop, FiveSlotsWithBudgetTwentyShowTwentyFour) {
  World.Settings.FireCount = 5;
  Show.StartTheme(TTheme::Botan);
  EXPECT_EQ(Show.LiveShells, 5);
  Show.LaunchesLeft = 20;
  EXPECT_EQ(RunTheme(), 24u);
  std::map<int, int> perSlot;
  for (const auto& burst : Trace.Bursts) ++perSlot[burst.Slot];
  EXPECT_EQ(perSlot.size(), 5u);
}

TEST_F(ShowLoop, AVisitPerSlotAndEmptySlotsArePaced) {
  World.Settings.FireCount = 3;
  EXPECT_FALSE(Show.Visit());
  EXPECT_FALSE(Show.Visit());
  EXPECT_TRUE(Show.Visit());             // the third visit ends the pass
  EXPECT_EQ(World.Canvas.Writes(), 9u);  // three empty slots, three writes each
  EXPECT_EQ(Show.PassSlot, 0);
  EXPECT_TRUE(World.Canvas.TakeDirty().empty() == false);
}

}  // namespace
}  // namespace moonglow
