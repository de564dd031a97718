#include "wayland/Damage.h"

#include <algorithm>

namespace moonglow {

namespace {

// Pieces this close, across or down, are damaged together: a gap of a few
// pixels costs the compositor less than another rectangle to walk.
constexpr std::int32_t NearPixels = 16;
constexpr std::int32_t NearRows = 2;

TRect Union(const TRect& a, const TRect& b) {
  return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
          std::max(a.Bottom, b.Bottom)};
}

bool Empty(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }

}  // namespace

std::vector<TRect> MergeDamage(const std::vector<TRect>& rows, std::size_t maxRects) {
  maxRects = std::max<std::size_t>(maxRects, 1);
  std::vector<TRect> done, open;
  for (const TRect& piece : rows) {
    if (Empty(piece)) continue;
    // Rectangles that end too far above this piece take no more pieces.
    for (std::size_t i = 0; i < open.size();) {
      if (open[i].Bottom + NearRows < piece.Top) {
        done.push_back(open[i]);
        open[i] = open.back();
        open.pop_back();
      } else {
        ++i;
      }
    }
    TRect* into = nullptr;
    for (TRect& r : open) {
      if (piece.Left <= r.Right + NearPixels && piece.Right + NearPixels >= r.Left) {
        into = &r;
        break;
      }
    }
    if (into) {
      *into = Union(*into, piece);
    } else {
      open.push_back(piece);
    }
  }
  done.insert(done.end(), open.begin(), open.end());
  if (done.size() <= maxRects) return done;

  // Too many: neighbours from the top down share a band, as few to a band as
  // the limit allows.
  std::sort(done.begin(), done.end(), [](const TRect& a, const TRect& b) {
    return a.Top != b.Top ? a.Top < b.Top : a.Left < b.Left;
  });
  const std::size_t perBand = (done.size() + maxRects - 1) / maxRects;
  std::vector<TRect> bands;
  for (std::size_t i = 0; i < done.size(); i += perBand) {
    TRect band = done[i];
    for (std::size_t j = i + 1; j < std::min(done.size(), i + perBand); ++j) {
      band = Union(band, done[j]);
    }
    bands.push_back(band);
  }
  return bands;
}

TPendingRows::TPendingRows(std::int32_t width, std::int32_t height, bool allMissing)
    : FWidth(std::max(width, 0)),
      FHeight(std::max(height, 0)),
      FSpans(static_cast<std::size_t>(FHeight), TSpan{FWidth, 0}),
      FFirst(FHeight) {
  if (allMissing) AddAll();
}

void TPendingRows::Add(const TPendingRows& other) {
  const std::int32_t last = std::min(other.FLast, FHeight);
  for (std::int32_t y = other.FFirst; y < last; ++y) {
    const TSpan& from = other.FSpans[static_cast<std::size_t>(y)];
    if (from.Left >= from.Right) continue;
    TSpan& span = FSpans[static_cast<std::size_t>(y)];
    span.Left = std::min(span.Left, from.Left);
    span.Right = std::max(span.Right, std::min(from.Right, FWidth));
    FFirst = std::min(FFirst, y);
    FLast = std::max(FLast, y + 1);
  }
}

void TPendingRows::AddAll() { Add({TRect{0, 0, FWidth, FHeight}}); }

void TPendingRows::Add(const std::vector<TRect>& rects) {
  for (const TRect& r : rects) {
    const std::int32_t left = std::max(r.Left, 0), right = std::min(r.Right, FWidth);
    const std::int32_t top = std::max(r.Top, 0), bottom = std::min(r.Bottom, FHeight);
    if (left >= right || top >= bottom) continue;
    for (std::int32_t y = top; y < bottom; ++y) {
      TSpan& span = FSpans[static_cast<std::size_t>(y)];
      span.Left = std::min(span.Left, left);
      span.Right = std::max(span.Right, right);
    }
    FFirst = std::min(FFirst, top);
    FLast = std::max(FLast, bottom);
  }
}

}  // namespace moonglow
