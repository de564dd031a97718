// Shell tests' world (the headless show's, 800 × 600 at the default settings)
// and helpers to drive a shell and count generator draws.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "shells/Fire.h"
#include "tests/ShowFixture.h"

namespace moonglow {

using ShellWorld = testing::TShowWorld;

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
  w.Trace.Bursts.clear();
  auto f = w.Make<K>(3);
  const std::uint64_t writes = w.Canvas.Writes();
  int calls = 0;
  while (!f->Finished && calls < 1000) f->Step(), ++calls;
  EXPECT_EQ(calls, 1 + 7 + 1);  // the burst, seven empty sweeps, the end
  EXPECT_EQ(w.Canvas.Writes(), writes);
  ASSERT_EQ(w.Trace.Bursts.size(), 1u);
  EXPECT_EQ(w.Trace.Bursts[0].Burst.SeedNum, 0);
  EXPECT_EQ(f->State, TFire::Burst);
}

}  // namespace moonglow
