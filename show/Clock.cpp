#include "show/Clock.h"

#include <chrono>

namespace moonglow {

std::int64_t TSteadyClock::NowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void TSteadyClock::SleepUntil(std::int64_t nanoseconds) {
  const std::chrono::steady_clock::time_point until{std::chrono::nanoseconds(nanoseconds)};
  std::unique_lock<std::mutex> lock(FMutex);
  FWoken.wait_until(lock, until, [this] { return FWakePending; });
  FWakePending = false;
}

void TSteadyClock::Wake() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FWakePending = true;
  }
  FWoken.notify_all();
}

}  // namespace moonglow
