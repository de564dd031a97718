#pragma once

#include <cstdint>
#include <string>

namespace moonglow {

// What the trace tells of one burst. The shell fills it once its Explode has
// set the burst up (or given up on it).
struct TBurstRecord {
  const char* KindName = "";  // the shell kind's class name without its prefix
  std::int32_t SeedNum = 0;   // stars in the burst
  double BurstX = 0;          // burst point, shell coordinates in pixels
  double BurstY = 0;
  double Lifetime = 0;  // length of the burning phase, in sweeps
  double V0 = 0;        // burst speed, pixels per second
};

// Where the show reports what it does, for the render tool's --trace.
class IShowTrace {
 public:
  virtual ~IShowTrace() = default;
  virtual void Theme(const char* themeName, std::int32_t launchesLeft) = 0;
  // At the end of each Explode (or where it stops early), for the shell in
  // slot `slot`.
  virtual void Burst(std::int32_t slot, const TBurstRecord& burst) = 0;
};

// The trace lines the render tool prints, without a line end:
// "theme <ThemeName> <LaunchesLeft>" and
// "burst <slot> <KindName> <SeedNum> <BurstX> <BurstY> <Lifetime> <V0>",
// the four doubles with three decimals.
std::string ThemeTraceLine(const char* themeName, std::int32_t launchesLeft);
std::string BurstTraceLine(std::int32_t slot, const TBurstRecord& burst);

}  // namespace moonglow
