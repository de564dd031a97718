#include "show/Trace.h"

#include <cstdio>

#include "shells/Fire.h"

namespace moonglow {

std::string ThemeTraceLine(const char* themeName, std::int32_t launchesLeft) {
  return std::string("theme ") + themeName + " " + std::to_string(launchesLeft);
}

std::string BurstTraceLine(std::int32_t slot, const TFire& shell) {
  // Runaway settings can make the doubles huge; size the buffer for them.
  char numbers[4 * 320];
  std::snprintf(numbers, sizeof numbers, "%.3f %.3f %.3f %.3f", shell.BurstX, shell.BurstY,
                shell.Lifetime, shell.V0);
  return "burst " + std::to_string(slot) + " " + shell.KindName + " " +
         std::to_string(shell.SeedNum) + " " + numbers;
}

}  // namespace moonglow
