#include "show/Trace.h"

#include <cstdio>

namespace moonglow {

std::string ThemeTraceLine(const char* themeName, std::int32_t launchesLeft) {
  return std::string("theme ") + themeName + " " + std::to_string(launchesLeft);
}

std::string BurstTraceLine(std::int32_t slot, const TBurstRecord& burst) {
  // Runaway settings can make the doubles huge; size the buffer for them.
  char numbers[4 * 320];
  std::snprintf(numbers, sizeof numbers, "%.3f %.3f %.3f %.3f", burst.BurstX, burst.BurstY,
                burst.Lifetime, burst.V0);
  return "burst " + std::to_string(slot) + " " + burst.KindName + " " +
         std::to_string(burst.SeedNum) + " " + numbers;
}

void TTraceRecorder::Theme(const char* themeName, std::int32_t launchesLeft) {
  Themes.push_back({themeName, launchesLeft});
  const std::string line = ThemeTraceLine(themeName, launchesLeft);
  Text += line + "\n";
  if (OnLine) OnLine(line);
}

void TTraceRecorder::Burst(std::int32_t slot, const TBurstRecord& burst) {
  Bursts.push_back({slot, burst});
  const std::string line = BurstTraceLine(slot, burst);
  Text += line + "\n";
  if (OnLine) OnLine(line);
}

}  // namespace moonglow
