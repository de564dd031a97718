#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "show/Canvas.h"

namespace moonglow {

// The most damage rectangles one frame sends. Each is a request of 24 bytes,
// and libwayland holds at most 4 KiB of requests before it must write them
// out: past that a full socket ends the client. With this many, a frame's
// requests (attach, damage, frame, commit) stay well under half of it.
inline constexpr std::size_t MaxDamageRects = 64;

// A frame's changed row pieces (TCanvas::TakeDirtyRows: sorted by row, then
// left to right) as at most `maxRects` rectangles that cover them all. Pieces
// of neighbouring rows that overlap or nearly touch grow into one rectangle,
// so a frame that changed every row whole is a single rectangle; when more
// than `maxRects` are left, rectangles next to each other from the top down
// are joined into bands. Zero `maxRects` counts as one.
std::vector<TRect> MergeDamage(const std::vector<TRect>& rows,
                               std::size_t maxRects = MaxDamageRects);

// What a buffer lacks of the canvas, kept row by row as one span per row:
// the changes of the frames presented from other buffers while the compositor
// still held this one. A span joins all that changed in its row, which copies
// a few pixels too many and never misses one.
class TPendingRows {
 public:
  // Starts with every row of a `width` × `height` canvas missing, or none.
  TPendingRows(std::int32_t width, std::int32_t height, bool allMissing = true);

  // Marks the rectangles, clipped to the canvas, as missing.
  void Add(const std::vector<TRect>& rects);
  // Marks what `other` (of the same size) lacks as missing here too.
  void Add(const TPendingRows& other);
  void AddAll();
  // Calls `copy(y, left, right)` for each missing row span, top down, then
  // forgets them.
  template <class Copy>
  void Take(Copy&& copy);
  bool Empty() const { return FFirst >= FLast; }

 private:
  struct TSpan {
    std::int32_t Left, Right;  // empty when Left >= Right
  };
  std::int32_t FWidth, FHeight;
  std::vector<TSpan> FSpans;
  std::int32_t FFirst = 0, FLast = 0;  // the rows that may hold a span
};

template <class Copy>
void TPendingRows::Take(Copy&& copy) {
  for (std::int32_t y = FFirst; y < FLast; ++y) {
    TSpan& span = FSpans[static_cast<std::size_t>(y)];
    if (span.Left < span.Right) copy(y, span.Left, span.Right);
    span = {FWidth, 0};
  }
  FFirst = FHeight;
  FLast = 0;
}

}  // namespace moonglow
