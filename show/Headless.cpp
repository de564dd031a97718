#include "show/Headless.h"

#include <algorithm>
#include <limits>

#include "shells/Fire.h"

namespace moonglow {

THeadlessShow::THeadlessShow(const THeadlessOptions& options)
    : Canvas(options.Width, options.Height),
      Settings(options.SettingsPath),
      Env{Canvas, Settings, options.Preview, options.Seed},
      Show(Env) {
  if (options.SettingsPath.empty()) {
    Settings.LoadDefaults();
  } else {
    Settings.ReadSettings();
  }
  if (options.Trace) Env.Trace = &Trace;
}

void THeadlessShow::Start() { Show.ChooseTheme(); }

void THeadlessShow::StartKindAlone(TFireKind kind) {
  const std::int32_t count = std::clamp(Settings.FireCount, 1, TFireShow::MaxSlots);
  for (std::int32_t i = 0; i < count; ++i) {
    Show.Slots[i] = NewFire(kind, Env);
    Show.LiveShells += 1;
  }
  Show.LaunchesLeft = std::numeric_limits<std::int32_t>::max();
}

void THeadlessShow::Run(std::uint64_t visits) {
  for (std::uint64_t n = 0; n < visits; ++n) Show.Visit();
}

}  // namespace moonglow
