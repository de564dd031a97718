#include "show/Canvas.h"

#include <algorithm>

namespace moonglow {

namespace {

std::size_t TilesFor(std::int32_t pixels) {
  return static_cast<std::size_t>((pixels + TCanvas::TileSize - 1) / TCanvas::TileSize);
}

}  // namespace

TCanvas::TCanvas(std::int32_t width, std::int32_t height)
    : FWidth(std::max(width, 0)),
      FHeight(std::max(height, 0)),
      FTilesX(TilesFor(FWidth)),
      FTilesY(TilesFor(FHeight)),
      FPixels(static_cast<std::size_t>(FWidth) * static_cast<std::size_t>(FHeight), ToPixel(0)),
      FDirty(FTilesX * FTilesY, 0) {}

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
    std::fill(
        FPixels.begin() + static_cast<std::ptrdiff_t>(y * width + static_cast<std::size_t>(left)),
        FPixels.begin() + static_cast<std::ptrdiff_t>(y * width + static_cast<std::size_t>(right)),
        pixel);
  }
  for (auto ty = static_cast<std::size_t>(top) / TileSize;
       ty <= static_cast<std::size_t>(bottom - 1) / TileSize; ++ty) {
    for (auto tx = static_cast<std::size_t>(left) / TileSize;
         tx <= static_cast<std::size_t>(right - 1) / TileSize; ++tx) {
      FDirty[ty * FTilesX + tx] = 1;
    }
  }
}

std::vector<TRect> TCanvas::TakeDirty() {
  std::vector<TRect> rects;
  for (std::size_t ty = 0; ty < FTilesY; ++ty) {
    std::size_t tx = 0;
    while (tx < FTilesX) {
      if (!FDirty[ty * FTilesX + tx]) {
        ++tx;
        continue;
      }
      const std::size_t first = tx;
      while (tx < FTilesX && FDirty[ty * FTilesX + tx]) FDirty[ty * FTilesX + tx++] = 0;
      TRect r;
      r.Left = static_cast<std::int32_t>(first) * TileSize;
      r.Top = static_cast<std::int32_t>(ty) * TileSize;
      r.Right = std::min(static_cast<std::int32_t>(tx) * TileSize, FWidth);
      r.Bottom = std::min(static_cast<std::int32_t>(ty + 1) * TileSize, FHeight);
      rects.push_back(r);
    }
  }
  return rects;
}

}  // namespace moonglow
