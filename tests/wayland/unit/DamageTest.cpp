#include "wayland/Damage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace moonglow {
namespace {

constexpr std::int32_t W = 1920, H = 1080;

bool Covers(const std::vector<TRect>& rects, std::int32_t x, std::int32_t y) {
  for (const TRect& r : rects) {
    if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) return true;
  }
  return false;
}

// Every pixel of every piece lies in some rectangle, and no rectangle leaves
// the pieces' bounds.
void ExpectCovered(const std::vector<TRect>& pieces, const std::vector<TRect>& rects) {
  TRect bounds{W, H, 0, 0};
  for (const TRect& p : pieces) {
    bounds = {std::min(bounds.Left, p.Left), std::min(bounds.Top, p.Top),
              std::max(bounds.Right, p.Right), std::max(bounds.Bottom, p.Bottom)};
    for (std::int32_t y = p.Top; y < p.Bottom; ++y) {
      for (std::int32_t x = p.Left; x < p.Right; ++x) {
        ASSERT_TRUE(Covers(rects, x, y)) << x << "," << y;
      }
    }
  }
  for (const TRect& r : rects) {
    EXPECT_GE(r.Left, bounds.Left);
    EXPECT_GE(r.Top, bounds.Top);
    EXPECT_LE(r.Right, bounds.Right);
    EXPECT_LE(r.Bottom, bounds.Bottom);
  }
}

// Row pieces as the canvas gives them: one pixel high, tile-aligned, sorted.
std::vector<TRect> RandomRows(std::mt19937& random, int perRowMax, int rowEvery) {
  std::vector<TRect> rows;
  for (std::int32_t y = 0; y < H; y += rowEvery) {
    const int count = std::uniform_int_distribution<int>(0, perRowMax)(random);
    std::int32_t x = 0;
    for (int i = 0; i < count && x < W; ++i) {
      x += 16 * std::uniform_int_distribution<int>(1, 20)(random);
      const std::int32_t right =
          std::min(W, x + 16 * std::uniform_int_distribution<int>(1, 3)(random));
      if (x >= right) break;
      rows.push_back({x, y, right, y + 1});
      x = right;
    }
  }
  return rows;
}

TEST(MergeDamage, AFrameThatChangedEveryRowIsOneRectangle) {
  std::vector<TRect> rows;
  for (std::int32_t y = 0; y < H; ++y) rows.push_back({0, y, W, y + 1});
  EXPECT_EQ(MergeDamage(rows), (std::vector<TRect>{{0, 0, W, H}}));
  // Every row changed in tile pieces side by side: the same.
  rows.clear();
  for (std::int32_t y = 0; y < H; ++y) {
    for (std::int32_t x = 0; x < W; x += 16) rows.push_back({x, y, x + 16, y + 1});
  }
  EXPECT_EQ(MergeDamage(rows), (std::vector<TRect>{{0, 0, W, H}}));
  EXPECT_TRUE(MergeDamage({}).empty());
}

TEST(MergeDamage, FarApartChangesStaySeparateAndSmall) {
  // Two stars in opposite corners, a short trail each: not one rectangle
  // over the whole screen.
  const std::vector<TRect> rows = {{0, 0, 16, 1},
                                   {0, 1, 16, 2},
                                   {0, 2, 32, 3},
                                   {1888, 1077, 1904, 1078},
                                   {1888, 1079, 1920, 1080}};
  const std::vector<TRect> rects = MergeDamage(rows);
  EXPECT_EQ(rects.size(), 2u);
  std::int64_t area = 0;
  for (const TRect& r : rects) area += std::int64_t{r.Right - r.Left} * (r.Bottom - r.Top);
  EXPECT_LE(area, 32 * 3 + 32 * 3);
  ExpectCovered(rows, rects);
}

TEST(MergeDamage, ScatteredChangesStayWithinTheLimitAndCoverEverything) {
  std::mt19937 random(19);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    // Sparse stars to a screen full of far-apart pieces (thousands).
    const std::vector<TRect> rows = RandomRows(random, 1 + round, 1 + (round % 5) * 7);
    for (std::size_t limit : {std::size_t{1}, std::size_t{4}, MaxDamageRects}) {
      const std::vector<TRect> rects = MergeDamage(rows, limit);
      EXPECT_LE(rects.size(), limit);
      ExpectCovered(rows, rects);
    }
  }
  // Zero counts as one.
  EXPECT_EQ(MergeDamage({{0, 0, 16, 1}, {800, 900, 816, 901}}, 0).size(), 1u);
}

TEST(MergeDamage, AFramesRequestsFitLibwaylandsBuffer) {
  // attach 20 bytes, frame 12, commit 8, each damage_buffer 24: whatever
  // changed, one frame's requests leave room in the 4 KiB libwayland holds.
  EXPECT_LE(20 + 12 + 8 + 24 * MaxDamageRects, 4096u / 2);
}

// What a buffer lacks: the rows of the frames it missed, row by row.
TEST(PendingRows, ANewBufferLacksEverythingThenOnlyWhatItMissed) {
  TPendingRows pending(64, 4);
  std::vector<TRect> taken;
  const auto take = [&] {
    taken.clear();
    pending.Take([&](std::int32_t y, std::int32_t l, std::int32_t r) {
      taken.push_back({l, y, r, y + 1});
    });
  };
  take();
  EXPECT_EQ(taken,
            (std::vector<TRect>{{0, 0, 64, 1}, {0, 1, 64, 2}, {0, 2, 64, 3}, {0, 3, 64, 4}}));
  EXPECT_TRUE(pending.Empty());
  take();
  EXPECT_TRUE(taken.empty());

  // Two frames while the compositor held it: the pieces of one row join,
  // rows come top down, and what lies outside the canvas is cut off.
  pending.Add({{16, 2, 32, 3}, {48, 2, 80, 3}});
  pending.Add({{0, 0, 16, 1}, {-5, 3, 8, 9}, {0, 7, 16, 8}, {32, 1, 32, 2}});
  EXPECT_FALSE(pending.Empty());
  take();
  EXPECT_EQ(taken, (std::vector<TRect>{{0, 0, 16, 1}, {16, 2, 64, 3}, {0, 3, 8, 4}}));
  pending.AddAll();
  take();
  EXPECT_EQ(taken.size(), 4u);

  // A buffer made late lacks only what was ever drawn: the rest is black in
  // the canvas and in fresh memory alike.
  TPendingRows drawn(64, 4, false);
  EXPECT_TRUE(drawn.Empty());
  drawn.Add({{16, 1, 32, 2}, {0, 3, 16, 4}, {48, 3, 64, 4}});
  TPendingRows late(64, 4, false);
  late.Add({{0, 0, 8, 1}, {40, 1, 48, 2}});
  late.Add(drawn);
  late.Take([&](std::int32_t y, std::int32_t l, std::int32_t r) {
    taken.push_back({l, y, r, y + 1});
  });
  taken.erase(taken.begin(), taken.begin() + 4);
  EXPECT_EQ(taken, (std::vector<TRect>{{0, 0, 8, 1}, {16, 1, 48, 2}, {0, 3, 64, 4}}));
  EXPECT_FALSE(drawn.Empty());  // only the one taken forgets
}

}  // namespace
}  // namespace moonglow
