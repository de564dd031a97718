#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// Keeps what the show reports, in order: as the trace's lines, and as themes
// and bursts to read back. The render tool prints each line as it comes
// (OnLine); the soak counts; the tests compare.
class TTraceRecorder final : public IShowTrace {
 public:
  struct TThemeEntry {
    std::string Name;
    std::int32_t LaunchesLeft = 0;
    bool operator==(const TThemeEntry&) const = default;
  };
  struct TBurstEntry {
    std::int32_t Slot = 0;
    TBurstRecord Burst;  // KindName points at the kind's own constant name
  };

  void Theme(const char* themeName, std::int32_t launchesLeft) override;
  void Burst(std::int32_t slot, const TBurstRecord& burst) override;

  std::function<void(const std::string& line)> OnLine;  // told each line, when set
  std::vector<TThemeEntry> Themes;
  std::vector<TBurstEntry> Bursts;
  std::string Text;  // every line so far, each ended by a line feed
};

}  // namespace moonglow
