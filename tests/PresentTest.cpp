#include "app/Present.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace moonglow {
namespace {

// ---- The present interval

TEST(PresentInterval, IsOneFrameOfTheDisplayTruncated) {
  EXPECT_EQ(PresentInterval(60.0), 16);
  EXPECT_EQ(PresentInterval(59.94), 16);
  EXPECT_EQ(PresentInterval(144.0), 6);
  EXPECT_EQ(PresentInterval(30.0), 33);
  EXPECT_EQ(PresentInterval(50.0), 20);
}

TEST(PresentInterval, UnknownRatesCountAsSixtyHertz) {
  // Drivers answer 0 or 1 for "the hardware's default".
  for (double hertz : {0.0, 1.0, 0.5, -75.0, std::nan("")}) {
    EXPECT_EQ(PresentInterval(hertz), 16) << hertz;
  }
}

TEST(PresentInterval, StaysWithinItsBounds) {
  EXPECT_EQ(PresentInterval(1000.0), 4);
  EXPECT_EQ(PresentInterval(250.0), 4);
  EXPECT_EQ(PresentInterval(std::numeric_limits<double>::infinity()), 4);
  EXPECT_EQ(PresentInterval(1.5), 100);
  EXPECT_EQ(PresentInterval(10.0), 100);
  EXPECT_EQ(PresentInterval(11.0), 90);
}

// ---- Taking the frame

TEST(TakeFrame, CopiesOnlyWhatChangedSinceTheLastFrame) {
  TCanvas canvas(130, 70);  // tiles of 64: three across, two down
  std::vector<std::uint32_t> frame(130 * 70, 0x12345678u);
  EXPECT_TRUE(TakeFrame(canvas, frame.data(), 130).empty());
  EXPECT_EQ(frame[0], 0x12345678u);

  canvas.SetPixel(129, 69, 0x0000FF);  // red, in the last tile
  canvas.SetPixel(1, 1, 0xFF0000);     // blue, in the first
  const std::vector<TRect> changed = TakeFrame(canvas, frame.data(), 130);
  ASSERT_EQ(changed.size(), 2u);
  EXPECT_EQ(frame[69 * 130 + 129], 0xFFFF0000u);
  EXPECT_EQ(frame[1 * 130 + 1], 0xFF0000FFu);
  EXPECT_EQ(frame[0], 0xFF000000u);             // the rest of the first tile: black
  EXPECT_EQ(frame[0 * 130 + 64], 0x12345678u);  // an untouched tile stays as it was
  EXPECT_EQ(frame[69 * 130 + 63], 0x12345678u);
  EXPECT_TRUE(TakeFrame(canvas, frame.data(), 130).empty());
}

TEST(TakeFrame, WritesExactlyTheDirtyRectanglesAtTheImageStride) {
  constexpr int W = 150, H = 90;
  constexpr std::size_t Stride = 160;  // ten pixels of padding per row
  constexpr std::uint32_t Untouched = 7u;
  TCanvas canvas(W, H);
  // Reaches into the clipped tiles at the right and bottom edges.
  canvas.SetPixel(3, 2, 0x00FF00);
  canvas.SetPixel(W - 1, H - 1, 0x0000FF);
  canvas.SetPixel(70, 80, 0xFF0000);
  std::vector<std::uint32_t> frame(Stride * H, Untouched);
  const std::vector<TRect> changed = TakeFrame(canvas, frame.data(), Stride);
  ASSERT_FALSE(changed.empty());

  const std::uint32_t* pixels = canvas.Pixels();
  for (int y = 0; y < H; ++y) {
    for (std::size_t x = 0; x < Stride; ++x) {
      bool inside = false;
      for (const TRect& r : changed) {
        inside = inside || (static_cast<int>(x) >= r.Left && static_cast<int>(x) < r.Right &&
                            y >= r.Top && y < r.Bottom);
      }
      const std::uint32_t expected = inside ? pixels[y * W + x] : Untouched;
      ASSERT_EQ(frame[y * Stride + x], expected) << x << "," << y;
    }
  }
  // And the rectangles cover what was drawn.
  EXPECT_EQ(frame[2 * Stride + 3], 0xFF00FF00u);
  EXPECT_EQ(frame[(H - 1) * Stride + W - 1], 0xFFFF0000u);
  EXPECT_EQ(frame[80 * Stride + 70], 0xFF0000FFu);
}

}  // namespace
}  // namespace moonglow
