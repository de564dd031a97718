#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/CommandLine.h"
#include "show/Canvas.h"

struct xcb_connection_t;

namespace moonglow {

// Presents the show's canvas in an X11 window by the X server's own means,
// with no image of the window's own: Qt's backing store would keep a second
// full frame and copy every changed pixel into it before the server copies it
// again. The canvas lives in memory shared with the server (MIT-SHM) where the
// server can reach it, so a frame is two small requests: the rows that changed
// as a clip list, and one copy through it. Elsewhere (a remote display) the
// changed rows' pixels go through the connection. Frames are presented by the show thread itself as
// it draws them (IFrameSink), so presenting wakes no thread of its own; the connection is
// thread-safe, and the presenter changes nothing after it is made.
class TX11Presenter final : public IFrameSink {
 public:
  // A presenter for `window`, or null when the application does not run on
  // X11 or the window's pixels are not the canvas's 0x..RRGGBB in 32 bits.
  static std::unique_ptr<TX11Presenter> Create(TWindowHandle window);
  ~TX11Presenter() override;
  TX11Presenter(const TX11Presenter&) = delete;
  TX11Presenter& operator=(const TX11Presenter&) = delete;

  // Memory for a canvas of width × height that the server reads straight
  // from; null when the server cannot share this process's memory.
  std::unique_ptr<IPixelMemory> NewPixelMemory(std::int32_t width, std::int32_t height);

  // Copies `rects` (device pixels, inside the canvas) of `canvas` to the
  // window. From shared memory the server copies them itself, so the show
  // need not be held off; otherwise the pixels are sent under the canvas's
  // mutex.
  void Present(TCanvas& canvas, const std::vector<TRect>& rects);
  // IFrameSink: presents the rows that changed since the last frame.
  void FrameDrawn(TCanvas& canvas) override;

  // Paints `rects` of the window black: the parts no canvas covers.
  void FillBlack(const std::vector<TRect>& rects);

 private:
  TX11Presenter(xcb_connection_t* connection, std::uint32_t window, std::uint8_t depth);

  xcb_connection_t* FConnection;
  std::uint32_t FWindow;
  std::uint8_t FDepth;
  std::uint32_t FGc = 0;
  std::uint32_t FRowsGc = 0;  // clipped to a frame's changed rows; show thread only
  std::uint32_t FBlackGc = 0;
};

}  // namespace moonglow
