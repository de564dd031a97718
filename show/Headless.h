#pragma once

#include <cstdint>
#include <string>

#include "settings/IniFile.h"
#include "shells/Kinds.h"
#include "show/Canvas.h"
#include "show/Clock.h"
#include "show/Show.h"
#include "show/ShowEnv.h"
#include "show/Trace.h"

namespace moonglow {

struct THeadlessOptions {
  std::int32_t Width = 800;  // canvas size in pixels
  std::int32_t Height = 600;
  bool Preview = false;        // run as the small preview does
  std::uint32_t Seed = 1;      // the seed counter's start
  std::string SettingsPath{};  // the settings file to read; empty: the built-in defaults
  bool Trace = true;           // record what the show reports in Trace
};

// The show without a window: the show loop, a canvas in memory, a clock that
// moves only when the show sleeps, and a trace recorder. The render tool, the
// soak, the benchmarks and the tests all run the show through it, as the saver
// runs it through its window. The settings may be changed until Start.
class THeadlessShow {
 public:
  explicit THeadlessShow(const THeadlessOptions& options = {});
  THeadlessShow(const THeadlessShow&) = delete;
  THeadlessShow& operator=(const THeadlessShow&) = delete;

  // The first theme, as the show thread chooses it before its first visit.
  void Start();
  // Instead of a theme: every slot a shell of `kind`, each relaunched at the
  // end of its cycle for as long as the show runs, so the kind shows alone.
  void StartKindAlone(TFireKind kind);
  // `visits` slot visits, unpaced.
  void Run(std::uint64_t visits);

  TCanvas Canvas;
  TMyIniFile Settings;
  TFixedClock Clock;
  TTraceRecorder Trace;
  TShowEnv Env;
  TFireShow Show;  // builds Env.Palette
};

}  // namespace moonglow
