#include "show/Canvas.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace moonglow {
namespace {

TEST(CanvasPixels, ColourLayoutAndReadBack) {
  TCanvas c(10, 10);
  EXPECT_EQ(c.GetPixel(3, 4), 0u);
  c.SetPixel(3, 4, 0x0000FF);  // red, red in the low byte
  EXPECT_EQ(c.Pixels()[4 * 10 + 3], 0xFFFF0000u);
  EXPECT_EQ(c.GetPixel(3, 4), 0x0000FFu);
  c.SetPixel(0, 0, 0x123456);
  EXPECT_EQ(c.Pixels()[0], 0xFF563412u);
  EXPECT_EQ(c.GetPixel(0, 0), 0x123456u);
  EXPECT_EQ(c.Writes(), 2u);
}

TEST(CanvasPixels, WritesOutsideAreIgnoredButCounted) {
  TCanvas c(4, 3);
  const std::int64_t far = std::numeric_limits<std::int64_t>::max();
  c.SetPixel(-1, 0, 0xFFFFFF);
  c.SetPixel(4, 0, 0xFFFFFF);
  c.SetPixel(0, 3, 0xFFFFFF);
  c.SetPixel(far, -far, 0xFFFFFF);
  c.SetPixel(std::int64_t{std::numeric_limits<std::int32_t>::min()} - 5, 1, 0xFFFFFF);
  EXPECT_EQ(c.Writes(), 5u);
  for (std::int32_t i = 0; i < 12; ++i) EXPECT_EQ(c.Pixels()[i], 0xFF000000u);
  EXPECT_TRUE(c.TakeDirty().empty());
}

TEST(CanvasPixels, EmptyAreaDrawsNothing) {
  TCanvas c(0, 0);
  c.SetPixel(0, 0, 0xFFFFFF);
  c.FillRect({0, 0, 10, 10}, 0xFFFFFF);
  EXPECT_EQ(c.Writes(), 1u);
  EXPECT_TRUE(c.TakeDirty().empty());
  TCanvas negative(-5, 7);
  EXPECT_EQ(negative.Width(), 0);
  EXPECT_TRUE(negative.TakeDirty().empty());
}

TEST(CanvasDirty, RowRunsClippedToTheArea) {
  TCanvas c(200, 100);  // tiles: 4 columns (last 8 wide) × 2 rows (last 36 high)
  c.SetPixel(0, 0, 1);
  c.SetPixel(70, 10, 1);   // next tile of the same row: one run
  c.SetPixel(199, 10, 1);  // last column, not adjacent: a second run
  c.SetPixel(130, 99, 1);  // bottom row of tiles
  const auto rects = c.TakeDirty();
  ASSERT_EQ(rects.size(), 3u);
  EXPECT_EQ(rects[0], (TRect{0, 0, 128, 64}));
  EXPECT_EQ(rects[1], (TRect{192, 0, 200, 64}));
  EXPECT_EQ(rects[2], (TRect{128, 64, 192, 100}));
  // Taking clears the record.
  EXPECT_TRUE(c.TakeDirty().empty());
}

TEST(CanvasDirty, FillRectIsClippedAndMarksItsTiles) {
  TCanvas c(100, 100);
  c.FillRect({-10, -10, 4, 200}, 0x00FF00);
  EXPECT_EQ(c.GetPixel(0, 0), 0x00FF00u);
  EXPECT_EQ(c.GetPixel(3, 99), 0x00FF00u);
  EXPECT_EQ(c.GetPixel(4, 50), 0u);
  EXPECT_EQ(c.Writes(), 0u);
  const auto rects = c.TakeDirty();
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0], (TRect{0, 0, 64, 64}));
  EXPECT_EQ(rects[1], (TRect{0, 64, 64, 100}));
  c.FillRect({50, 50, 50, 60}, 0xFFFFFF);  // empty: nothing
  EXPECT_TRUE(c.TakeDirty().empty());
}

}  // namespace
}  // namespace moonglow
