#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace moonglow {

// 0x00BBGGRR, red in the low byte.
using TColorRef = std::uint32_t;

// A rectangle of pixels, right and bottom exclusive.
struct TRect {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TRect&) const = default;
};

// Asks the processor to start loading the memory at `address` into its cache
// (to write it, when `forWrite`), so that a later access need not wait for it.
// Only a hint: it changes no value, and compilers without one do nothing.
inline void Prefetch(const void* address, bool forWrite) {
#if defined(__GNUC__)
  if (forWrite) {
    __builtin_prefetch(address, 1);
  } else {
    __builtin_prefetch(address, 0);
  }
#else
  (void)address;
  (void)forWrite;
#endif
}

// Memory for a canvas's pixels that the front end provides: memory the display
// server reads straight from, so that presenting a frame copies nothing here.
class IPixelMemory {
 public:
  virtual ~IPixelMemory() = default;
  // Room for the canvas's pixels, valid for as long as this object lives.
  virtual std::uint32_t* Pixels() = 0;
};

// The saver window's client area as a framebuffer. The show writes single
// pixels into it; the front end presents what changed, either as the tiles
// that changed merged into a few rectangles (TakeDirty) or, where many small
// rectangles cost little, as the changed tile rows (TakeDirtyRows). Pixels are
// held as 0xFFRRGGBB, the layout both Qt's RGB32 images and 32-bit Windows
// DIBs read directly.
//
// Threads: the show thread writes while holding Mutex(); the presenter takes
// the same mutex to take the dirty rectangles (TakeDirty) and, when it copies
// pixels itself, to copy them. A display server reading the front end's memory
// (IPixelMemory) reads outside any lock: a pixel drawn meanwhile only shows a
// frame early, and is presented again with its tile. Single-threaded users
// (the render tool, tests) need not lock.
class TCanvas {
 public:
  // Small tiles keep what is presented close to what was drawn: a lone star
  // pixel costs a 16×16 copy, not a 64×64 one.
  static constexpr std::int32_t TileSize = 16;
  // Each rectangle handed to the window costs about as much as presenting
  // this many more pixels, so gaps and ragged edges cheaper than that are
  // presented along with their neighbours rather than split off.
  static constexpr std::int64_t RectCostPixels = 1024;

  // The pixels live in `memory` when given (at least width × height of
  // them), else in memory of the canvas's own. Either starts black.
  TCanvas(std::int32_t width, std::int32_t height, std::unique_ptr<IPixelMemory> memory = nullptr);

  std::int32_t Width() const { return FWidth; }
  std::int32_t Height() const { return FHeight; }

  // One pixel write at window pixel (x, y), y downward from the top. Writes
  // outside the area are ignored but still counted.
  void SetPixel(std::int64_t x, std::int64_t y, TColorRef color) {
    ++FWrites;
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
    const auto ux = static_cast<std::size_t>(x), uy = static_cast<std::size_t>(y);
    FPixels[uy * static_cast<std::size_t>(FWidth) + ux] = ToPixel(color);
    FDirty[(uy / TileSize) * FTilesX + ux / TileSize] |= RowBit(uy);
    FAnyDirty = true;
  }
  TColorRef GetPixel(std::int64_t x, std::int64_t y) const;
  // Prefetch for a coming SetPixel(x, y); nothing outside the area.
  void PrefetchPixel(std::int64_t x, std::int64_t y) const {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
    Prefetch(FPixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(FWidth) +
                 static_cast<std::size_t>(x),
             true);
  }

  // A solid rectangle (right and bottom exclusive), clipped to the area.
  void FillRect(TRect rect, TColorRef color);

  // Pixel writes made so far (SetPixel calls; FillRect does not count).
  std::uint64_t Writes() const { return FWrites; }

  // Raw pixels, row after row, Width() per row, 0xFFRRGGBB.
  const std::uint32_t* Pixels() const { return FPixels; }
  // The front end's memory the pixels live in; null when the canvas's own.
  IPixelMemory* Memory() const { return FMemory.get(); }

  // The rectangles that changed since the last call, and clears the record.
  // They cover every dirty tile (and perhaps some clean ones next to them),
  // are clipped to the area and do not overlap. Nothing drawn: no work beyond
  // one test. Call with Mutex() held when another thread draws.
  std::vector<TRect> TakeDirty();
  // The same record taken row by row: a rectangle one pixel high for each run
  // of tiles whose part in that pixel row changed, so a lone pixel costs 16
  // pixels (one cache line), not 16×16. Sorted by row, then left to right,
  // and so banded the way X11 clip lists want them. Clears the record, too.
  std::vector<TRect> TakeDirtyRows();

  std::mutex& Mutex() { return FMutex; }

  static constexpr std::uint32_t ToPixel(TColorRef c) {
    return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
  }
  static constexpr TColorRef FromPixel(std::uint32_t p) {
    return ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
  }

 private:
  std::int32_t FWidth, FHeight;
  std::size_t FTilesX, FTilesY;
  std::unique_ptr<IPixelMemory> FMemory;
  std::vector<std::uint32_t> FOwnPixels;  // when no memory was given
  std::uint32_t* FPixels;
  // Per tile, which of its pixel rows changed (bit n: row n of the tile).
  std::vector<std::uint16_t> FDirty;
  std::vector<std::int32_t> FRowTiles;  // TakeDirtyRows' scratch, kept between frames
  static_assert(TileSize <= 16, "a tile's rows must fit its dirty mask");
  static constexpr std::uint16_t RowBit(std::size_t y) {
    return static_cast<std::uint16_t>(1u << (y % TileSize));
  }
  std::uint64_t FWrites = 0;
  bool FAnyDirty = false;
  std::mutex FMutex;
};

// Told on the show thread after each stretch of drawing, with the canvas's
// mutex free: a presenter that can show frames from any thread takes the
// changes here, so that presenting costs no wake-up of a thread of its own.
class IFrameSink {
 public:
  virtual ~IFrameSink() = default;
  virtual void FrameDrawn(TCanvas& canvas) = 0;
};

}  // namespace moonglow
