// The show loop (theme choice, budgets, slot visits) and the show thread
// (suspend, resume, terminate, pacing) driven through a fake clock.

#include "show/FireThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

#include "ShowFixture.h"

namespace moonglow {
namespace {

using testing::TRecordingTrace;
using testing::TShowWorld;

struct ShowLoop : ::testing::Test {
  TShowWorld World;
  TRecordingTrace Trace;
  ShowLoop() {
    World.Env.Trace = &Trace;
    World.Settings.FireCount = 1;
    // Short peony bursts keep whole themes quick.
    World.Settings.Botan.SeedCount = 20;
    World.Settings.Botan.Life = 2;
  }
  // Visits until the show starts its next theme; returns the bursts seen.
  std::size_t RunTheme(TFireShow& show) {
    const std::size_t themes = Trace.Themes.size();
    const std::size_t bursts = Trace.Bursts.size();
    for (long n = 0; n < 50000000 && Trace.Themes.size() == themes; ++n) show.Visit();
    EXPECT_EQ(Trace.Themes.size(), themes + 1);
    return Trace.Bursts.size() - bursts;
  }
};

TEST_F(ShowLoop, ThemeSequenceWithTheFallbackWeights) {
  TFireShow show(World.Env);
  for (int i = 0; i < 5; ++i) show.ChooseTheme();
  const std::vector<std::string> want = {"Botan 27", "Shidare 12", "Shidare 11", "AllCast 20",
                                         "Botan 27"};
  EXPECT_EQ(Trace.Themes, want);
  EXPECT_EQ(show.ThemeSeed, 6u);
}

TEST_F(ShowLoop, FirstRunOpensWithWeepingWillows) {
  World.Settings.FirstRun = true;
  TFireShow show(World.Env);
  show.ChooseTheme();
  EXPECT_FALSE(World.Settings.FirstRun);
  EXPECT_EQ(show.ThemeSeed, 1u);  // neither used nor advanced
  show.ChooseTheme();
  const std::vector<std::string> want = {"Shidare 11", "Botan 27"};
  EXPECT_EQ(Trace.Themes, want);
  EXPECT_EQ(show.LiveShells, 1);
  ASSERT_TRUE(show.Slots[0]);
  EXPECT_STREQ(show.Slots[0]->KindName, "Botan");
}

TEST_F(ShowLoop, AllWeightsZeroSpreadsOverEveryTheme) {
  World.Settings.AllCastPer = World.Settings.ShidarePer = World.Settings.HanaichiPer = 0;
  World.Settings.BotanPer = World.Settings.RanbuPer = 0;
  TFireShow show(World.Env);
  std::map<std::string, int> count;
  for (int i = 0; i < 500; ++i) show.ChooseTheme();
  for (const std::string& line : Trace.Themes) ++count[line.substr(0, line.find(' '))];
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
  TFireShow show(World.Env);
  show.StartTheme(TTheme::Botan);
  const int budget = show.LaunchesLeft;
  EXPECT_EQ(RunTheme(show), static_cast<std::size_t>(budget));
  for (const auto& burst : Trace.Bursts) EXPECT_EQ(burst.Slot, 0);
}

TEST_F(ShowLoop, FiveSlotsWithBudgetTwentyShowTwentyFour) {
  World.Settings.FireCount = 5;
  TFireShow show(World.Env);
  show.StartTheme(TTheme::Botan);
  EXPECT_EQ(show.LiveShells, 5);
  show.LaunchesLeft = 20;
  EXPECT_EQ(RunTheme(show), 24u);
  std::map<int, int> perSlot;
  for (const auto& burst : Trace.Bursts) ++perSlot[burst.Slot];
  EXPECT_EQ(perSlot.size(), 5u);
}

TEST_F(ShowLoop, AVisitPerSlotAndEmptySlotsArePaced) {
  World.Settings.FireCount = 3;
  TFireShow show(World.Env);
  EXPECT_FALSE(show.Visit());
  EXPECT_FALSE(show.Visit());
  EXPECT_TRUE(show.Visit());             // the third visit ends the pass
  EXPECT_EQ(World.Canvas.Writes(), 9u);  // three empty slots, three writes each
  EXPECT_EQ(show.PassSlot, 0);
  EXPECT_TRUE(World.Canvas.TakeDirty().empty() == false);
}

TEST(PixelRate, DefaultAndEnvironment) {
  const auto set = [](const char* value) {
#ifdef _WIN32
    _putenv_s("MOONGLOW_PIXEL_RATE", value ? value : "");
#else
    if (value) {
      setenv("MOONGLOW_PIXEL_RATE", value, 1);
    } else {
      unsetenv("MOONGLOW_PIXEL_RATE");
    }
#endif
  };
  set(nullptr);
  EXPECT_EQ(DefaultPixelRate(), 200000u);
  set("5000");
  EXPECT_EQ(DefaultPixelRate(), 5000u);
  for (const char* bad : {"0", "-5", "abc", "12x", " 7", ""}) {
    set(bad);
    EXPECT_EQ(DefaultPixelRate(), 200000u) << "'" << bad << "'";
  }
  set(nullptr);
}

// Time moves only when the show sleeps.
class TFakeClock final : public IClock {
 public:
  std::int64_t NowNanoseconds() override { return Now.load(); }
  void SleepUntil(std::int64_t t) override {
    std::int64_t now = Now.load();
    while (now < t && !Now.compare_exchange_weak(now, t)) {
    }
    std::this_thread::yield();
  }
  std::atomic<std::int64_t> Now{1000};
};

struct ShowThread : ::testing::Test {
  TShowWorld World;
  TFakeClock Clock;
  std::uint64_t Writes() {
    std::lock_guard<std::mutex> lock(World.Canvas.Mutex());
    return World.Canvas.Writes();
  }
  // Waits (in real time) until the show has written more than `count` pixels.
  bool WaitForWrites(std::uint64_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Writes() <= count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
};

TEST_F(ShowThread, CreatedSuspendedAndEndsUntouched) {
  World.Settings.FirstRun = true;
  {
    TFireThread thread(World.Env, Clock, 100000);
    EXPECT_EQ(World.Env.Palette[1], 0xFFFFFFu);  // built before the thread runs
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    thread.Suspend();  // already parked: returns at once
    EXPECT_EQ(World.Canvas.Writes(), 0u);
    EXPECT_FALSE(thread.Done());
    thread.Terminate();
    thread.WaitFor();
    EXPECT_TRUE(thread.Done());
    thread.Suspend();  // after the end: returns at once
  }
  EXPECT_EQ(World.Canvas.Writes(), 0u);
  EXPECT_TRUE(World.Settings.FirstRun);  // no theme was ever chosen
}

TEST_F(ShowThread, SuspendStopsEveryWriteUntilResumed) {
  TFireThread thread(World.Env, Clock, 1000000);
  thread.Resume();
  ASSERT_TRUE(WaitForWrites(2000));
  thread.Suspend();
  const std::uint64_t held = World.Canvas.Writes();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(World.Canvas.Writes(), held);
  // The main thread may touch the settings while the show is suspended.
  World.Settings.FireCount = 2;
  World.Settings.Botan.Life = 5;
  thread.Resume();
  ASSERT_TRUE(WaitForWrites(held + 2000));
  thread.Suspend();
  const std::uint64_t final = World.Canvas.Writes();
  thread.Terminate();  // a parked thread ends where it stands
  thread.WaitFor();
  EXPECT_TRUE(thread.Done());
  EXPECT_EQ(World.Canvas.Writes(), final);
  EXPECT_FALSE(thread.Show().Slots[0]);  // the shells were freed
}

TEST_F(ShowThread, TerminateEndsARunningShow) {
  TFireThread thread(World.Env, Clock, 1000000);
  thread.Resume();
  ASSERT_TRUE(WaitForWrites(1000));
  thread.Terminate();
  thread.WaitFor();
  EXPECT_TRUE(thread.Done());
  EXPECT_EQ(thread.Show().PassSlot, 0);  // it stopped between two passes
}

TEST_F(ShowThread, PacingKeepsToTheRate) {
  constexpr std::uint64_t Rate = 50000;
  TFireThread thread(World.Env, Clock, Rate);
  const std::int64_t start = Clock.Now.load();
  thread.Resume();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (Clock.Now.load() - start < 2000000000 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  thread.Suspend();
  const double seconds = static_cast<double>(Clock.Now.load() - start) / 1e9;
  ASSERT_GE(seconds, 2.0);
  const double expected = Rate * seconds;
  // Within a couple of work quanta (a millisecond's worth each) of the rate.
  EXPECT_NEAR(static_cast<double>(World.Canvas.Writes()), expected, 2.0 * Rate / 1000 + 50);
}

}  // namespace
}  // namespace moonglow
