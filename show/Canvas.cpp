#include "show/Canvas.h"

#include <algorithm>
#include <array>
#include <bit>

namespace moonglow {

namespace {

std::size_t TilesFor(std::int32_t pixels) {
  return static_cast<std::size_t>((pixels + TCanvas::TileSize - 1) / TCanvas::TileSize);
}

}  // namespace

TCanvas::TCanvas(std::int32_t width, std::int32_t height, std::unique_ptr<IPixelMemory> memory)
    : FWidth(std::max(width, 0)),
      FHeight(std::max(height, 0)),
      FTilesX(TilesFor(FWidth)),
      FTilesY(TilesFor(FHeight)),
      FMemory(std::move(memory)),
      FPixels(nullptr),
      FDirty(FTilesX * FTilesY, 0) {
  const std::size_t count = static_cast<std::size_t>(FWidth) * static_cast<std::size_t>(FHeight);
  if (FMemory) {
    FPixels = FMemory->Pixels();
    std::fill_n(FPixels, count, ToPixel(0));
  } else {
    FOwnPixels.assign(count, ToPixel(0));
    FPixels = FOwnPixels.data();
  }
}

TColorRef TCanvas::GetPixel(std::int64_t x, std::int64_t y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return 0;
  return FromPixel(FPixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(FWidth) +
                           static_cast<std::size_t>(x)]);
}

void TCanvas::FillRect(TRect rect, TColorRef color) {
  const std::int32_t left = std::max(rect.Left, 0);
  const std::int32_t top = std::max(rect.Top, 0);
  const std::int32_t right = std::min(rect.Right, FWidth);
  const std::int32_t bottom = std::min(rect.Bottom, FHeight);
  if (left >= right || top >= bottom) return;
  const std::uint32_t pixel = ToPixel(color);
  const auto width = static_cast<std::size_t>(FWidth);
  for (auto y = static_cast<std::size_t>(top); y < static_cast<std::size_t>(bottom); ++y) {
    std::fill(FPixels + y * width + static_cast<std::size_t>(left),
              FPixels + y * width + static_cast<std::size_t>(right), pixel);
  }
  for (auto y = static_cast<std::size_t>(top); y < static_cast<std::size_t>(bottom); ++y) {
    for (auto tx = static_cast<std::size_t>(left) / TileSize;
         tx <= static_cast<std::size_t>(right - 1) / TileSize; ++tx) {
      FDirty[(y / TileSize) * FTilesX + tx] |= RowBit(y);
    }
  }
  FAnyDirty = true;
}

std::vector<TRect> TCanvas::TakeDirty() {
  std::vector<TRect> rects;
  if (!FAnyDirty) return rects;
  FAnyDirty = false;
  // Rectangles in tile units while merging; `open` are those that reach the
  // tile row above and may still grow down.
  struct TSpan {
    std::size_t Left, Right, Top, Bottom;
    std::int64_t Dirty;  // dirty tiles inside
  };
  std::vector<TSpan> done, open, next;
  constexpr std::int64_t TileArea = std::int64_t{TileSize} * TileSize;
  const auto area = [](const TSpan& s) {
    return static_cast<std::int64_t>((s.Right - s.Left) * (s.Bottom - s.Top));
  };
  const auto meets = [](const TSpan& a, const TSpan& b) {
    return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
  };
  // Widening a rectangle over the rows above must not take in another's tiles.
  const auto clear = [&](const TSpan& u, const TSpan* self) {
    for (const auto* list : {&done, &open, &next})
      for (const TSpan& s : *list)
        if (&s != self && s.Right > s.Left && meets(u, s)) return false;
    return true;
  };
  for (std::size_t ty = 0; ty < FTilesY; ++ty) {
    std::uint16_t* row = &FDirty[ty * FTilesX];
    next.clear();
    std::size_t tx = 0;
    for (;;) {
      while (tx < FTilesX && !row[tx]) ++tx;
      if (tx >= FTilesX) break;
      // A run of dirty tiles, joined with the next run while the clean gap
      // between them costs less than a rectangle of its own.
      TSpan run{tx, tx, ty, ty + 1, 0};
      for (;;) {
        while (tx < FTilesX && row[tx]) {
          row[tx++] = 0;
          ++run.Dirty;
        }
        run.Right = tx;
        std::size_t gap = tx;
        while (gap < FTilesX && !row[gap]) ++gap;
        if (gap >= FTilesX || static_cast<std::int64_t>(gap - tx) * TileArea > RectCostPixels)
          break;
        tx = gap;
      }
      // A rectangle grown over an earlier run of this row may already
      // cover the start of this one (never its end: runs come left to right).
      for (const TSpan& g : next)
        if (g.Left < run.Right && run.Left < g.Right) run.Left = g.Right;
      if (run.Left >= run.Right) continue;
      // Grow a rectangle of the row above down over this run when the
      // clean tiles that adds cost less than a rectangle; else a new one.
      bool merged = false;
      for (TSpan& o : open) {
        if (o.Right <= run.Left || run.Right <= o.Left) continue;
        TSpan u{std::min(o.Left, run.Left), std::max(o.Right, run.Right), o.Top, ty + 1,
                o.Dirty + run.Dirty};
        if ((area(u) - u.Dirty) * TileArea > (area(o) - o.Dirty) * TileArea + RectCostPixels)
          continue;
        if ((u.Left < o.Left || u.Right > o.Right) && !clear(u, &o)) continue;
        o = u;
        next.push_back(o);
        o.Right = o.Left;  // taken: matches nothing more in this row
        merged = true;
        break;
      }
      if (!merged) next.push_back(run);
    }
    // Rectangles of the row above that did not grow are finished.
    for (const TSpan& o : open)
      if (o.Right > o.Left) done.push_back(o);
    open.swap(next);
  }
  done.insert(done.end(), open.begin(), open.end());
  rects.reserve(done.size());
  for (const TSpan& s : done) {
    TRect r;
    r.Left = static_cast<std::int32_t>(s.Left) * TileSize;
    r.Top = static_cast<std::int32_t>(s.Top) * TileSize;
    r.Right = std::min(static_cast<std::int32_t>(s.Right) * TileSize, FWidth);
    r.Bottom = std::min(static_cast<std::int32_t>(s.Bottom) * TileSize, FHeight);
    rects.push_back(r);
  }
  return rects;
}

std::vector<TRect> TCanvas::TakeDirtyRows() {
  std::vector<TRect> rects;
  if (!FAnyDirty) return rects;
  FAnyDirty = false;
  // For each pixel row of one tile row, the tiles that changed in it, left to
  // right: gathered bit by bit, so the work follows what changed.
  std::vector<std::int32_t>& rowTiles = FRowTiles;
  rowTiles.resize(TileSize * FTilesX);
  std::array<std::size_t, TileSize> counts{};
  for (std::size_t ty = 0; ty < FTilesY; ++ty) {
    std::uint16_t* row = &FDirty[ty * FTilesX];
    bool any = false;
    for (std::size_t tx = 0; tx < FTilesX; ++tx) {
      unsigned mask = row[tx];
      if (!mask) continue;
      row[tx] = 0;
      any = true;
      do {
        const auto r = static_cast<std::size_t>(std::countr_zero(mask));
        rowTiles[r * FTilesX + counts[r]++] = static_cast<std::int32_t>(tx);
        mask &= mask - 1;
      } while (mask);
    }
    if (!any) continue;
    for (std::size_t r = 0; r < TileSize; ++r) {
      const std::int32_t* tiles = &rowTiles[r * FTilesX];
      const std::size_t count = counts[r];
      counts[r] = 0;
      const auto y = static_cast<std::int32_t>(ty * TileSize + r);
      for (std::size_t i = 0; i < count;) {
        // A run of neighbouring tiles that all changed in this row.
        std::size_t end = i + 1;
        while (end < count && tiles[end] == tiles[end - 1] + 1) ++end;
        rects.push_back(
            {tiles[i] * TileSize, y, std::min((tiles[end - 1] + 1) * TileSize, FWidth), y + 1});
        i = end;
      }
    }
  }
  return rects;
}

}  // namespace moonglow
