#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace moonglow {

// Monotonic time for the show's pacing; tests substitute their own.
class IClock {
 public:
  virtual ~IClock() = default;
  virtual std::int64_t NowNanoseconds() = 0;
  // Sleeps until the time given, or less when Wake cuts the sleep short.
  virtual void SleepUntil(std::int64_t nanoseconds) = 0;
  // Ends the current sleep at once, from any thread; a Wake that comes while
  // nobody sleeps ends the next sleep instead, so none is ever lost.
  virtual void Wake() = 0;
};

// std::chrono::steady_clock, sleeping on a condition variable so that Wake
// can end the sleep.
class TSteadyClock final : public IClock {
 public:
  std::int64_t NowNanoseconds() override;
  void SleepUntil(std::int64_t nanoseconds) override;
  void Wake() override;

 private:
  std::mutex FMutex;
  std::condition_variable FWoken;
  bool FWakePending = false;
};

// A clock for shows without a display: time stands still except when the show
// sleeps, and a sleep moves it on to the time asked at once. The show's pacing
// then decides what happens when, never the machine's speed.
class TFixedClock final : public IClock {
 public:
  explicit TFixedClock(std::int64_t start = 1000) : FNow(start) {}
  std::int64_t NowNanoseconds() override { return FNow.load(); }
  void SleepUntil(std::int64_t nanoseconds) override;
  void Wake() override {}

 private:
  std::atomic<std::int64_t> FNow;
};

}  // namespace moonglow
