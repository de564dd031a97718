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
  std::this_thread::sleep_until(
      std::chrono::steady_clock::time_point(std::chrono::nanoseconds(nanoseconds)));
}

}  // namespace moonglow
