#include "show/Clock.h"

#include <chrono>
#include <thread>

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

void TFixedClock::SleepUntil(std::int64_t nanoseconds) {
  std::int64_t now = FNow.load();
  while (now < nanoseconds && !FNow.compare_exchange_weak(now, nanoseconds)) {
  }
  // No time passes, but another thread waiting for the show gets its turn.
  std::this_thread::yield();
}

}  // namespace moonglow
