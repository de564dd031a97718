#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "show/Canvas.h"

namespace moonglow {

class TMainForm;

// Which of the monitors is the primary one: the one whose top-left corner is
// the origin, as the system places its primary monitor; the first when none is.
std::size_t PrimaryMonitor(const std::vector<TRect>& monitors);

// The full-screen saver on several monitors: one saver window and one show per
// monitor, run as one saver. The primary monitor's show is the show a single
// monitor gets (the same seed counter); every other one starts its seed
// counter a large odd step further on per monitor, so no two monitors show the
// same fireworks. Input that closes any of the windows closes them all, by the
// primary's close rule (its password check included), and only the primary
// writes the settings. The forms join it before FormCreate; it owns none of
// them.
class TSaverGroup {
 public:
  // Added to the seed counter once per monitor after the primary: odd, so the
  // counters of up to 2^32 monitors differ, and far from the one-a-second
  // steps of the calendar-time start.
  static constexpr std::uint32_t SeedStep = 0x9E3779B1u;

  // `monitors` in the toolkit's screen coordinates, which may be negative.
  TSaverGroup(std::vector<TRect> monitors, std::size_t primary, std::uint32_t seedCounter);
  TSaverGroup(const TSaverGroup&) = delete;
  TSaverGroup& operator=(const TSaverGroup&) = delete;

  std::size_t Count() const { return FMonitors.size(); }
  const TRect& Monitor(std::size_t monitor) const { return FMonitors.at(monitor); }
  std::size_t Primary() const { return FPrimary; }
  std::uint32_t SeedCounter(std::size_t monitor) const;
  // A monitor that appeared while the saver runs (a display plugged in):
  // it goes after the others and returns its number, for a new window to
  // join. The monitors the run started with count 0 to n-1 from the primary
  // on; one added later counts its own number, n or more, so no two monitors
  // of the run share a seed counter, and a number once given is never given
  // again, even after its window has gone.
  std::size_t AddMonitor(const TRect& monitor);

  // Input on any monitor, or a failure there, asks for the close: the
  // primary's window decides. A failure skips the password check.
  void RequestClose(bool failed);
  bool Failed() const { return FFailed; }
  bool Closing() const { return FClosing; }

 private:
  friend class TMainForm;
  void Join(TMainForm& form, std::size_t monitor);
  void Leave(const TMainForm& form);
  // What the primary's close query does to the other monitors' shows: held
  // while it asks, let go again when refused, ended once allowed.
  void HoldOthers(bool hold);
  void EndOthers();

  std::vector<TRect> FMonitors;
  const std::size_t FFirstCount;  // the monitors the run started with
  const std::size_t FPrimary;
  const std::uint32_t FSeedCounter;
  std::vector<TMainForm*> FForms;  // by monitor; null until joined
  bool FFailed = false;
  bool FClosing = false;
};

}  // namespace moonglow
