#include "show/Show.h"

#include <algorithm>

#include "settings/IniFile.h"
#include "shells/Fire.h"
#include "shells/Kinds.h"

namespace moonglow {

namespace {

struct TThemeInfo {
  const char* Name;
  std::int32_t BudgetBase;  // launches of a theme: this plus 0..4
};

constexpr TThemeInfo Themes[5] = {
    {"AllCast", 20}, {"Shidare", 10}, {"Hanaichi", 25}, {"Botan", 25}, {"Ranbu", 20},
};

std::int32_t ThemeWeight(const TMyIniFile& settings, std::int32_t theme) {
  switch (theme) {
    case 0:
      return settings.AllCastPer;
    case 1:
      return settings.ShidarePer;
    case 2:
      return settings.HanaichiPer;
    case 3:
      return settings.BotanPer;
    case 4:
      return settings.RanbuPer;
  }
  return 0;
}

// The settings record keeps FireCount within the slot table; a record built
// by hand must not take the loop past it.
std::int32_t SlotCount(const TMyIniFile& settings) {
  return std::clamp(settings.FireCount, 1, TFireShow::MaxSlots);
}

}  // namespace

const char* ThemeName(TTheme theme) {
  const auto t = static_cast<std::int32_t>(theme);
  return t >= 0 && t < 5 ? Themes[t].Name : "?";
}

TFireShow::TFireShow(TShowEnv& env) : Env(env) { BuildPalette(Env.Palette); }

TFireShow::~TFireShow() = default;

void TFireShow::ChooseTheme() {
  TMyIniFile& settings = Env.Settings;
  if (settings.FirstRun) {
    // The very first show opens with weeping willows.
    settings.FirstRun = false;
    StartTheme(TTheme::Shidare);
    return;
  }
  std::int64_t most = 0;
  for (std::int32_t t = 0; t < 5; ++t)
    most = std::max<std::int64_t>(most, ThemeWeight(settings, t));
  Env.Random.Seed(ThemeSeed);
  ThemeSeed += 1u;
  // A theme qualifies when its weight reaches a threshold drawn once; among
  // those that qualify each is about equally likely.
  const std::int64_t threshold = Env.Random.Draw() % (most + 1);
  std::int32_t theme;
  do {
    theme = Env.Random.Draw() % 50 / 10;
  } while (ThemeWeight(settings, theme) < threshold);
  StartTheme(static_cast<TTheme>(theme));
}

void TFireShow::StartTheme(TTheme theme) {
  LiveShells = 0;
  const auto t = static_cast<std::int32_t>(theme);
  if (t < 0 || t >= 5) return;
  LaunchesLeft = Env.Random.Draw() % 5 + Themes[t].BudgetBase;
  if (Env.Trace) Env.Trace->Theme(Themes[t].Name, LaunchesLeft);
  const std::int32_t count = SlotCount(Env.Settings);
  for (std::int32_t i = 0; i < count; ++i) {
    // Each shell reseeds the generator, so the draw for the next slot's kind
    // follows from the previous shell's seed.
    TFireKind kind = TFireKind::Botan;
    switch (theme) {
      case TTheme::AllCast: {
        const std::int32_t n = Env.Random.Draw() % 100;
        kind = n < 20   ? TFireKind::Kiku
               : n < 40 ? TFireKind::Kiku3
               : n < 60 ? TFireKind::Botan
               : n < 80 ? TFireKind::Hiyuusei
                        : TFireKind::Hachi;
        break;
      }
      case TTheme::Shidare:
        kind = TFireKind::Kiku;
        break;
      case TTheme::Hanaichi:
        kind = Env.Random.Draw() % 100 < 50 ? TFireKind::Kiku3 : TFireKind::Botan;
        break;
      case TTheme::Botan:
        kind = TFireKind::Botan;
        break;
      case TTheme::Ranbu:
        kind = Env.Random.Draw() % 100 < 50 ? TFireKind::Hiyuusei : TFireKind::Hachi;
        break;
    }
    Slots[i] = NewFire(kind, Env);
    LiveShells += 1;
  }
}

bool TFireShow::Visit() {
  if (PassSlot >= SlotCount(Env.Settings)) PassSlot = 0;
  const std::int32_t i = PassSlot;
  Env.VisitingSlot = i;
  std::unique_ptr<TFire>& shell = Slots[i];
  if (!shell) {
    Env.Pace();
  } else if (shell->Finished) {
    LaunchesLeft -= 1;
    if (LaunchesLeft > 0) {
      shell->Finished = false;
    } else {
      shell.reset();
      LiveShells -= 1;
      // The last shell of the theme is gone: the next theme refills every
      // slot, and this pass goes on with the new shells.
      if (LiveShells < 1) ChooseTheme();
    }
  } else {
    shell->Step();
  }
  PassSlot = i + 1;
  if (PassSlot >= SlotCount(Env.Settings)) {
    PassSlot = 0;
    return true;
  }
  return false;
}

void TFireShow::FreeShells() {
  for (auto& shell : Slots) shell.reset();
}

}  // namespace moonglow
