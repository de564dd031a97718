#include "show/Canvas.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

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

// The front end's memory holds the pixels: the canvas starts it black
// whatever was there, writes land in it, and it lives as long as the canvas.
TEST(CanvasPixels, GivenMemoryHoldsThePixels) {
  struct TMemory final : IPixelMemory {
    std::vector<std::uint32_t> Store = std::vector<std::uint32_t>(6, 0x12345678u);
    bool* Freed = nullptr;
    ~TMemory() override { *Freed = true; }
    std::uint32_t* Pixels() override { return Store.data(); }
  };
  bool freed = false;
  auto memory = std::make_unique<TMemory>();
  memory->Freed = &freed;
  const std::uint32_t* store = memory->Store.data();
  {
    TCanvas c(3, 2, std::move(memory));
    EXPECT_EQ(c.Pixels(), store);
    ASSERT_NE(c.Memory(), nullptr);
    for (std::int32_t i = 0; i < 6; ++i) EXPECT_EQ(store[i], 0xFF000000u);
    c.SetPixel(2, 1, 0x0000FF);
    c.FillRect({0, 0, 1, 1}, 0x00FF00);
    EXPECT_EQ(store[5], 0xFFFF0000u);
    EXPECT_EQ(store[0], 0xFF00FF00u);
    EXPECT_FALSE(freed);
  }
  EXPECT_TRUE(freed);
  EXPECT_EQ(TCanvas(3, 2).Memory(), nullptr);
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

constexpr std::int32_t T = TCanvas::TileSize;

bool Inside(const TRect& r, std::int64_t x, std::int64_t y) {
  return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
}

TEST(CanvasDirty, LonePixelsCostOneTileEachClippedToTheArea) {
  TCanvas c(200, 100);  // the last column of tiles is 8 wide, the last row 4 high
  c.SetPixel(3, 5, 1);
  c.SetPixel(199, 99, 1);
  const auto rects = c.TakeDirty();
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0], (TRect{0, 0, T, T}));
  EXPECT_EQ(rects[1], (TRect{192, 96, 200, 100}));
  // Taking clears the record.
  EXPECT_TRUE(c.TakeDirty().empty());
}

TEST(CanvasDirty, NearbyTilesMergeIntoOneRectangle) {
  TCanvas c(400, 300);
  // A short diagonal stroke over three tiles, and two pixels a tile apart in
  // one row: each group is cheaper presented whole than piece by piece.
  for (std::int32_t i = 0; i < 2 * T; ++i) c.SetPixel(100 + i, 50 + i, 1);
  c.SetPixel(10, 250, 1);
  c.SetPixel(10 + 2 * T, 250, 1);
  const auto rects = c.TakeDirty();
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0], (TRect{96, 48, 96 + 3 * T, 48 + 3 * T}));
  EXPECT_EQ(rects[1], (TRect{0, 240, 3 * T, 256}));
}

TEST(CanvasDirty, RowsAreOnePixelHighRunsOfChangedTilesInBandedOrder) {
  TCanvas c(200, 100);
  c.SetPixel(3, 5, 1);
  c.SetPixel(199, 99, 1);
  // Two neighbouring tiles in one row run together; a tile apart they do not.
  c.SetPixel(20, 5, 1);
  c.SetPixel(40, 5, 1);
  c.SetPixel(70, 5, 1);
  c.SetPixel(3, 2, 1);
  c.FillRect({150, 40, 170, 42}, 2);
  const auto rows = c.TakeDirtyRows();
  EXPECT_EQ(rows, (std::vector<TRect>{{0, 2, T, 3},
                                      {0, 5, 3 * T, 6},
                                      {4 * T, 5, 5 * T, 6},
                                      {144, 40, 176, 41},
                                      {144, 41, 176, 42},
                                      {192, 99, 200, 100}}));
  EXPECT_TRUE(c.TakeDirtyRows().empty());
  EXPECT_TRUE(c.TakeDirty().empty()) << "both take the one record";
}

// Whatever the show draws, the rectangles cover every written pixel, stay in
// the area and never overlap.
TEST(CanvasDirty, RectanglesCoverEveryWriteWithoutOverlap) {
  std::uint32_t seed = 12345;
  const auto next = [&seed](std::uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<std::int32_t>((seed >> 8) % n);
  };
  for (int round = 0; round < 40; ++round) {
    const std::int32_t w = 50 + next(500), h = 50 + next(400);
    TCanvas c(w, h);
    std::vector<std::pair<std::int32_t, std::int32_t>> written;
    // Clusters of points like bursts, plus scattered ones.
    const int clusters = next(6);
    for (int k = 0; k < clusters; ++k) {
      const std::int32_t cx = next(static_cast<std::uint32_t>(w)),
                         cy = next(static_cast<std::uint32_t>(h)), r = 1 + next(120);
      for (int n = next(400); n > 0; --n)
        written.emplace_back(cx + next(2 * r) - r, cy + next(2 * r) - r);
    }
    for (int n = next(30); n > 0; --n)
      written.emplace_back(next(static_cast<std::uint32_t>(w)),
                           next(static_cast<std::uint32_t>(h)));
    TCanvas twin(w, h);
    for (TCanvas* canvas : {&c, &twin}) {
      if (round % 5 == 0) canvas->FillRect({w / 3, h / 4, w / 2, h / 2}, 2);
      for (const auto& [x, y] : written) canvas->SetPixel(x, y, 1);
    }
    // Taken row by row: banded (by row, then left to right, apart), and
    // covering every write.
    const auto rows = twin.TakeDirtyRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const TRect& r = rows[i];
      ASSERT_TRUE(r.Left >= 0 && r.Left < r.Right && r.Right <= w && r.Bottom == r.Top + 1 &&
                  r.Top >= 0 && r.Bottom <= h)
          << round;
      if (i > 0) {
        const TRect& p = rows[i - 1];
        ASSERT_TRUE(p.Top < r.Top || (p.Top == r.Top && p.Right < r.Left)) << round << " row " << i;
      }
    }
    for (const auto& [x, y] : written) {
      if (x < 0 || y < 0 || x >= w || y >= h) continue;
      bool covered = false;
      for (const TRect& r : rows) covered = covered || Inside(r, x, y);
      ASSERT_TRUE(covered) << "round " << round << ": row of (" << x << ", " << y << ") missing";
    }
    const auto rects = c.TakeDirty();
    std::int64_t area = 0;
    for (std::size_t i = 0; i < rects.size(); ++i) {
      const TRect& r = rects[i];
      ASSERT_TRUE(r.Left >= 0 && r.Top >= 0 && r.Right <= w && r.Bottom <= h) << round;
      ASSERT_TRUE(r.Left < r.Right && r.Top < r.Bottom) << round;
      area += std::int64_t{r.Right - r.Left} * (r.Bottom - r.Top);
      for (std::size_t j = 0; j < i; ++j) {
        const TRect& o = rects[j];
        ASSERT_FALSE(r.Left < o.Right && o.Left < r.Right && r.Top < o.Bottom && o.Top < r.Bottom)
            << "round " << round << ": rectangles " << j << " and " << i << " overlap";
      }
    }
    EXPECT_LE(area, std::int64_t{w} * h);
    for (const auto& [x, y] : written) {
      if (x < 0 || y < 0 || x >= w || y >= h) continue;
      bool covered = false;
      for (const TRect& r : rects) covered = covered || Inside(r, x, y);
      ASSERT_TRUE(covered) << "round " << round << ": (" << x << ", " << y << ") not presented";
    }
    if (round % 5 == 0) {
      for (const std::int64_t y : {std::int64_t{h / 4}, std::int64_t{h / 2 - 1}}) {
        bool covered = false;
        for (const TRect& r : rects) covered = covered || Inside(r, w / 3, y);
        EXPECT_TRUE(covered) << round;
      }
    }
    EXPECT_TRUE(c.TakeDirty().empty());
  }
}

}  // namespace
}  // namespace moonglow
