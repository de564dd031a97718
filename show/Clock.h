#pragma once

#include <cstdint>

namespace moonglow {

// Monotonic time for the show's pacing; tests substitute their own.
class IClock {
 public:
  virtual ~IClock() = default;
  virtual std::int64_t NowNanoseconds() = 0;
  virtual void SleepUntil(std::int64_t nanoseconds) = 0;
};

// std::chrono::steady_clock and std::this_thread::sleep_until.
class TSteadyClock final : public IClock {
 public:
  std::int64_t NowNanoseconds() override;
  void SleepUntil(std::int64_t nanoseconds) override;
};

}  // namespace moonglow
