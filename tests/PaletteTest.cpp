#include <gtest/gtest.h>

#include "show/ShowEnv.h"

namespace moonglow {
namespace {

TEST(Palette, FixedEntries) {
  TPalette p;
  p.fill(0x12345678);
  BuildPalette(p);
  EXPECT_EQ(p[0], 0x000000u);
  EXPECT_EQ(p[1], 0xFFFFFFu);
  EXPECT_EQ(p[2], 0x0007F8u);
  EXPECT_EQ(p[36], 0x00F50Au);
  EXPECT_EQ(p[37], 0x00FC03u);
  EXPECT_EQ(p[252], 0x0707FFu);
  // Never written by the ramps: black, whatever was there before.
  EXPECT_EQ(p[253], 0u);
  EXPECT_EQ(p[254], 0u);
  EXPECT_EQ(p[255], 0u);
}

// First and last entry of every ramp, (r, g, b) as the colour table lists
// them, packed 0x00BBGGRR.
TEST(Palette, RampEnds) {
  TPalette p;
  BuildPalette(p);
  const auto rgb = [](unsigned r, unsigned g, unsigned b) { return r | g << 8 | b << 16; };
  EXPECT_EQ(p[72], rgb(3, 7, 245));
  EXPECT_EQ(p[73], rgb(3, 0, 252));
  EXPECT_EQ(p[108], rgb(248, 245, 7));
  EXPECT_EQ(p[109], rgb(255, 252, 0));
  EXPECT_EQ(p[144], rgb(10, 252, 245));
  EXPECT_EQ(p[145], rgb(3, 252, 252));
  EXPECT_EQ(p[180], rgb(248, 7, 252));
  EXPECT_EQ(p[181], rgb(255, 0, 252));
  EXPECT_EQ(p[216], rgb(255, 245, 252));
  EXPECT_EQ(p[217], rgb(255, 252, 252));
  for (const TColorRef c : p) EXPECT_EQ(c >> 24, 0u);
}

}  // namespace
}  // namespace moonglow
