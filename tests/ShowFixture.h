// A show's surroundings for the engine's tests: a canvas, the default settings
// (FirstRun cleared), the palette, and a trace that records what it is told.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/IniFile.h"
#include "shells/Fire.h"
#include "show/ShowEnv.h"

namespace moonglow::testing {

struct TShowWorld {
  TCanvas Canvas;
  TMyIniFile Settings{""};
  TShowEnv Env;

  explicit TShowWorld(std::int32_t width = 800, std::int32_t height = 600, bool preview = false)
      : Canvas(width, height), Env{Canvas, Settings, preview, 1u} {
    Settings.LoadDefaults();
    Settings.FirstRun = false;
    BuildPalette(Env.Palette);
  }

  template <class TKind>
  std::unique_ptr<TKind> Make(std::uint32_t seed) {
    Env.SeedCounter = seed;
    return std::make_unique<TKind>(Env);
  }
};

struct TRecordingTrace final : IShowTrace {
  struct TBurstLine {
    std::int32_t Slot;
    std::string Kind;
    std::int32_t SeedNum;
  };
  void Theme(const char* name, std::int32_t launchesLeft) override {
    Themes.push_back(std::string(name) + " " + std::to_string(launchesLeft));
  }
  void Burst(std::int32_t slot, const TBurstRecord& burst) override {
    Bursts.push_back({slot, burst.KindName, burst.SeedNum});
  }
  std::vector<std::string> Themes;
  std::vector<TBurstLine> Bursts;
};

}  // namespace moonglow::testing
