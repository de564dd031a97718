// A small world for shell tests: an 800 × 600 canvas, the default settings,
// the palette, and helpers to drive a shell and count generator draws.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "settings/IniFile.h"
#include "shells/Fire.h"
#include "show/ShowEnv.h"

namespace moonglow {

struct ShellWorld {
  TCanvas Canvas{800, 600};
  TMyIniFile Settings{""};
  TShowEnv Env{Canvas, Settings, false, 1u};
  ShellWorld() {
    Settings.LoadDefaults();
    BuildPalette(Env.Palette);
  }
  template <class K>
  std::unique_ptr<K> Make(std::uint32_t seed) {
    Env.SeedCounter = seed;
    return std::make_unique<K>(Env);
  }
};

struct BurstCounter : IShowTrace {
  void Theme(const char*, std::int32_t) override {}
  void Burst(std::int32_t, const TBurstRecord& burst) override {
    SeedNums.push_back(burst.SeedNum);
  }
  std::vector<std::int32_t> SeedNums;
};

// Generator draws taken between two states of the show's generator.
inline int DrawsBetween(std::uint32_t before, std::uint32_t after) {
  TRandom r;
  r.Seed(before);
  for (int n = 0; n < 100000; ++n, r.Draw())
    if (r.State == after) return n;
  return -1;
}

inline int StepWhile(TFire& f, std::int32_t state, int limit = 10000000) {
  int calls = 0;
  while (f.State == state && !f.Finished && calls < limit) f.Step(), ++calls;
  return calls;
}

// A burst without stars (SeedCount 1) must end its cycle without drawing.
template <class K>
void ExpectEmptyBurstEndsQuietly(ShellWorld& w, TFireParam& p) {
  p = TFireParam{false, 0, 1, 100, 7, 50, 10};
  BurstCounter trace;
  w.Env.Trace = &trace;
  auto f = w.Make<K>(3);
  const std::uint64_t writes = w.Canvas.Writes();
  int calls = 0;
  while (!f->Finished && calls < 1000) f->Step(), ++calls;
  EXPECT_EQ(calls, 1 + 7 + 1);  // the burst, seven empty sweeps, the end
  EXPECT_EQ(w.Canvas.Writes(), writes);
  EXPECT_EQ(trace.SeedNums, std::vector<std::int32_t>{0});
  EXPECT_EQ(f->State, TFire::Burst);
  w.Env.Trace = nullptr;
}

}  // namespace moonglow
