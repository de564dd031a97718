#include "app/Present.h"

#include <algorithm>
#include <mutex>

namespace moonglow {

std::vector<TRect> TakeFrame(TCanvas& canvas, std::uint32_t* dest, std::size_t destStride) {
  std::lock_guard<std::mutex> lock(canvas.Mutex());
  std::vector<TRect> rects = canvas.TakeDirty();
  const std::uint32_t* source = canvas.Pixels();
  const auto sourceStride = static_cast<std::size_t>(canvas.Width());
  for (const TRect& r : rects) {
    if (r.Right <= r.Left || r.Bottom <= r.Top) continue;
    const auto left = static_cast<std::size_t>(r.Left);
    const auto width = static_cast<std::size_t>(r.Right - r.Left);
    for (auto y = static_cast<std::size_t>(r.Top); y < static_cast<std::size_t>(r.Bottom); ++y) {
      std::copy_n(source + y * sourceStride + left, width, dest + y * destStride + left);
    }
  }
  return rects;
}

std::vector<TRect> TakeChanges(TCanvas& canvas) {
  std::lock_guard<std::mutex> lock(canvas.Mutex());
  return canvas.TakeDirty();
}

std::vector<TRect> TakeChangedRows(TCanvas& canvas) {
  std::lock_guard<std::mutex> lock(canvas.Mutex());
  return canvas.TakeDirtyRows();
}

int PresentInterval(double refreshHertz) {
  // Written so that NaN, too, takes the default.
  const double hertz = refreshHertz > 1.0 ? refreshHertz : DefaultRefreshHertz;
  const double milliseconds = 1000.0 / hertz;
  if (milliseconds >= MaxPresentMilliseconds) return MaxPresentMilliseconds;
  return std::max(static_cast<int>(milliseconds), MinPresentMilliseconds);
}

}  // namespace moonglow
