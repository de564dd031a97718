// The show thread (suspend, resume, terminate, pacing) driven through the
// headless show's fixed clock.

#include "show/FireThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "ShowFixture.h"
#include "tests/Environment.h"

namespace moonglow {
namespace {

using testing::TShowWorld;

TEST(PixelRate, DefaultAndEnvironment) {
  const auto rate = [](const char* value) {
    return DefaultPixelRate(testing::EnvironmentOf({{"MOONGLOW_PIXEL_RATE", value}}));
  };
  EXPECT_EQ(DefaultPixelRate({}), 200000u);
  EXPECT_EQ(DefaultPixelRate(testing::EnvironmentOf({})), 200000u);
  EXPECT_EQ(rate("5000"), 5000u);
  for (const char* bad : {"0", "-5", "abc", "12x", " 7", "", "18446744073709551616"}) {
    EXPECT_EQ(rate(bad), 200000u) << "'" << bad << "'";
  }
}

struct ShowThread : ::testing::Test {
  TShowWorld World;
  TFixedClock& Clock = World.Clock;  // time moves only when the show sleeps
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

// A presenter fed by the show thread: told after each stretch of drawing, on
// the show thread, with the canvas free for it to take the changes.
TEST_F(ShowThread, TellsTheFrameSinkAfterEachStretchWithTheCanvasFree) {
  struct TSink final : IFrameSink {
    void FrameDrawn(TCanvas& canvas) override {
      Free = Free && canvas.Mutex().try_lock();
      if (!Free) return;
      for (const TRect& r : canvas.TakeDirty()) Taken.push_back(r);
      Frames.fetch_add(1);
      Pixels = canvas.Writes();
      canvas.Mutex().unlock();
      Thread = std::this_thread::get_id();
    }
    std::atomic<int> Frames{0};
    bool Free = true;
    std::uint64_t Pixels = 0;
    std::vector<TRect> Taken;
    std::thread::id Thread;
  } sink;
  World.Env.Frames = &sink;
  constexpr std::uint64_t Rate = 30000;  // a thousand writes a frame
  TFireThread thread(World.Env, Clock, Rate);
  thread.Resume();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (sink.Frames.load() < 20 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  thread.Suspend();
  thread.Terminate();
  thread.WaitFor();
  ASSERT_GE(sink.Frames.load(), 20);
  EXPECT_TRUE(sink.Free);
  EXPECT_NE(sink.Thread, std::this_thread::get_id());
  // A frame for every 1,000 writes or so, each with what was drawn.
  EXPECT_LE(sink.Pixels, static_cast<std::uint64_t>(sink.Frames.load() + 1) * 2000);
  EXPECT_FALSE(sink.Taken.empty());
}

// Flat out, the show draws far more often than a display shows frames: the
// sink still hears of no more than sixty a second.
TEST_F(ShowThread, AShowRunFlatOutHandsOnFramesNoFasterThanADisplay) {
  struct TSink final : IFrameSink {
    void FrameDrawn(TCanvas&) override { Frames.fetch_add(1); }
    std::atomic<int> Frames{0};
  } sink;
  World.Env.Frames = &sink;
  TSteadyClock clock;
  TFireThread thread(World.Env, clock, 1000000000);
  const auto start = std::chrono::steady_clock::now();
  thread.Resume();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  thread.Suspend();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  thread.Terminate();
  thread.WaitFor();
  EXPECT_GE(sink.Frames.load(), 1);
  EXPECT_LE(sink.Frames.load(), static_cast<int>(elapsed * 60) + 1);
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
  const std::int64_t start = Clock.NowNanoseconds();
  thread.Resume();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (Clock.NowNanoseconds() - start < 2000000000 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  thread.Suspend();
  const double seconds = static_cast<double>(Clock.NowNanoseconds() - start) / 1e9;
  ASSERT_GE(seconds, 2.0);
  const double expected = Rate * seconds;
  // Within a couple of work quanta (a frame's worth each) of the rate.
  EXPECT_NEAR(static_cast<double>(World.Canvas.Writes()), expected, 2.0 * Rate / 30 + 50);
}

// On the real clock the thread sleeps most of each frame; Suspend and
// Terminate must cut that sleep short rather than wait it out.
TEST_F(ShowThread, SuspendAndTerminateAreAnsweredWithinAFrame) {
  using namespace std::chrono;
  TSteadyClock clock;
  {
    // Three writes a second: every quantum is followed by a sleep of a second
    // or more, so only a woken sleep can answer within a frame.
    TFireThread thread(World.Env, clock, 3);
    thread.Resume();
    ASSERT_TRUE(WaitForWrites(0));
    std::this_thread::sleep_for(milliseconds(50));  // well into a sleep
    const auto t0 = steady_clock::now();
    thread.Suspend();
    const auto suspendTook = steady_clock::now() - t0;
    thread.Resume();
    std::this_thread::sleep_for(milliseconds(50));
    const auto t1 = steady_clock::now();
    thread.Terminate();
    thread.WaitFor();
    const auto terminateTook = steady_clock::now() - t1;
    // A frame is 16.7 ms; the margin is for a loaded machine, and still far
    // below the second the sleep would last.
    EXPECT_LT(duration_cast<milliseconds>(suspendTook).count(), 200);
    EXPECT_LT(duration_cast<milliseconds>(terminateTook).count(), 200);
  }
  {
    // At the default rate the median of several suspends stays within a frame.
    TFireThread thread(World.Env, clock, DefaultPixelRate({}));
    std::vector<double> took;
    for (int i = 0; i < 9; ++i) {
      thread.Resume();
      std::this_thread::sleep_for(milliseconds(7 + 3 * i));
      const auto t0 = steady_clock::now();
      thread.Suspend();
      took.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
    }
    std::sort(took.begin(), took.end());
    EXPECT_LT(took[took.size() / 2], 1000.0 / 60);
  }
}

}  // namespace
}  // namespace moonglow
