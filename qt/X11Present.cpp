#include "qt/X11Present.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <mutex>

#include "app/Present.h"
#include "qt/X11.h"

namespace moonglow {

namespace {

// Whether the server's pixels of `depth` with `visual` are the canvas's own:
// 32 bits, red, green and blue in the low three bytes, in this machine's byte
// order.
bool PixelsMatchCanvas(const xcb_setup_t* setup, std::uint8_t depth, xcb_visualid_t visual) {
  constexpr std::uint8_t ourOrder = std::endian::native == std::endian::little
                                        ? XCB_IMAGE_ORDER_LSB_FIRST
                                        : XCB_IMAGE_ORDER_MSB_FIRST;
  if (setup->image_byte_order != ourOrder) return false;
  bool format = false;
  for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
    if (f.data->depth == depth) {
      format = f.data->bits_per_pixel == 32 && f.data->scanline_pad == 32;
    }
  }
  if (!format) return false;
  for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s)) {
    for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d)) {
      if (d.data->depth != depth) continue;
      for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
        if (v.data->visual_id != visual) continue;
        return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xFF0000u &&
               v.data->green_mask == 0xFF00u && v.data->blue_mask == 0xFFu;
      }
    }
  }
  return false;
}

// A MIT-SHM segment holding a canvas, attached read-only by the server. It is
// marked for removal as soon as the server holds it, so the system frees it
// when both sides let go, however this process ends.
class TSharedPixels final : public IPixelMemory {
 public:
  static std::unique_ptr<TSharedPixels> Create(xcb_connection_t* connection, std::size_t bytes) {
    const int id = shmget(IPC_PRIVATE, std::max<std::size_t>(bytes, 1), IPC_CREAT | 0600);
    if (id < 0) return nullptr;
    void* address = shmat(id, nullptr, 0);
    const xcb_shm_seg_t segment = xcb_generate_id(connection);
    bool attached = false;
    if (address != reinterpret_cast<void*>(-1)) {
      // A server on another machine cannot reach the segment and says so.
      xcb_generic_error_t* error =
          xcb_request_check(connection, xcb_shm_attach_checked(connection, segment, id, 1));
      attached = !error;
      std::free(error);
    }
    shmctl(id, IPC_RMID, nullptr);
    if (!attached) {
      if (address != reinterpret_cast<void*>(-1)) shmdt(address);
      return nullptr;
    }
    return std::unique_ptr<TSharedPixels>(new TSharedPixels(connection, segment, address));
  }

  ~TSharedPixels() override {
    // Only while the application's connection is still the one it was made on.
    if (X11Connection() == FConnection) {
      xcb_shm_detach(FConnection, FSegment);
      xcb_flush(FConnection);
    }
    shmdt(FAddress);
  }

  std::uint32_t* Pixels() override { return static_cast<std::uint32_t*>(FAddress); }
  xcb_shm_seg_t Segment() const { return FSegment; }

 private:
  TSharedPixels(xcb_connection_t* connection, xcb_shm_seg_t segment, void* address)
      : FConnection(connection), FSegment(segment), FAddress(address) {}

  xcb_connection_t* FConnection;
  xcb_shm_seg_t FSegment;
  void* FAddress;
};

bool ServerSharesMemory(xcb_connection_t* connection) {
  const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection, &xcb_shm_id);
  return shm && shm->present;
}

}  // namespace

std::unique_ptr<TX11Presenter> TX11Presenter::Create(TWindowHandle window) {
  xcb_connection_t* connection = X11Connection();
  if (!connection || window == 0) return nullptr;
  const auto id = static_cast<xcb_window_t>(window);
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr);
  xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
      connection, xcb_get_window_attributes(connection, id), nullptr);
  std::unique_ptr<TX11Presenter> presenter;
  if (geometry && attributes &&
      PixelsMatchCanvas(xcb_get_setup(connection), geometry->depth, attributes->visual)) {
    presenter.reset(new TX11Presenter(connection, id, geometry->depth));
  }
  std::free(geometry);
  std::free(attributes);
  return presenter;
}

TX11Presenter::TX11Presenter(xcb_connection_t* connection, std::uint32_t window, std::uint8_t depth)
    : FConnection(connection), FWindow(window), FDepth(depth) {
  // No exposure events for what a copy could not reach: the window's own
  // expose handling repaints those.
  const std::uint32_t noExposures[] = {0};
  FGc = xcb_generate_id(FConnection);
  xcb_create_gc(FConnection, FGc, FWindow, XCB_GC_GRAPHICS_EXPOSURES, noExposures);
  FRowsGc = xcb_generate_id(FConnection);
  xcb_create_gc(FConnection, FRowsGc, FWindow, XCB_GC_GRAPHICS_EXPOSURES, noExposures);
  const std::uint32_t black[] = {0, 0};
  FBlackGc = xcb_generate_id(FConnection);
  xcb_create_gc(FConnection, FBlackGc, FWindow, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES,
                black);
}

TX11Presenter::~TX11Presenter() {
  if (X11Connection() != FConnection) return;
  xcb_free_gc(FConnection, FGc);
  xcb_free_gc(FConnection, FRowsGc);
  xcb_free_gc(FConnection, FBlackGc);
  xcb_flush(FConnection);
}

std::unique_ptr<IPixelMemory> TX11Presenter::NewPixelMemory(std::int32_t width,
                                                            std::int32_t height) {
  if (width <= 0 || height <= 0 || !ServerSharesMemory(FConnection)) return nullptr;
  return TSharedPixels::Create(
      FConnection, static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
}

void TX11Presenter::Present(TCanvas& canvas, const std::vector<TRect>& rects) {
  const auto width = static_cast<std::uint16_t>(canvas.Width());
  const auto height = static_cast<std::uint16_t>(canvas.Height());
  if (const auto* shared = dynamic_cast<const TSharedPixels*>(canvas.Memory())) {
    // The server reads the pixels when it gets to the request, perhaps while
    // the show draws on: a pixel drawn meanwhile is simply shown a frame
    // early, and its tile, dirty again, is presented once more next frame.
    for (const TRect& r : rects) {
      xcb_shm_put_image(FConnection, FWindow, FGc, width, height, static_cast<std::int16_t>(r.Left),
                        static_cast<std::int16_t>(r.Top),
                        static_cast<std::uint16_t>(r.Right - r.Left),
                        static_cast<std::uint16_t>(r.Bottom - r.Top),
                        static_cast<std::int16_t>(r.Left), static_cast<std::int16_t>(r.Top), FDepth,
                        XCB_IMAGE_FORMAT_Z_PIXMAP, 0, shared->Segment(), 0);
    }
    xcb_flush(FConnection);
    return;
  }
  // Through the connection, in bands of rows that fit a request.
  const std::size_t maxBytes = std::size_t{xcb_get_maximum_request_length(FConnection)} * 4 - 64;
  std::vector<std::uint32_t> band;
  std::lock_guard<std::mutex> lock(canvas.Mutex());
  const std::uint32_t* pixels = canvas.Pixels();
  for (const TRect& r : rects) {
    const auto rowPixels = static_cast<std::size_t>(r.Right - r.Left);
    if (rowPixels == 0) continue;
    const auto rowsPerRequest = std::max<std::size_t>(maxBytes / (rowPixels * 4), 1);
    for (std::int32_t top = r.Top; top < r.Bottom;) {
      const auto rows =
          std::min<std::size_t>(rowsPerRequest, static_cast<std::size_t>(r.Bottom - top));
      band.resize(rows * rowPixels);
      for (std::size_t y = 0; y < rows; ++y) {
        std::copy_n(
            pixels + (static_cast<std::size_t>(top) + y) * width + static_cast<std::size_t>(r.Left),
            rowPixels, band.data() + y * rowPixels);
      }
      xcb_put_image(FConnection, XCB_IMAGE_FORMAT_Z_PIXMAP, FWindow, FGc,
                    static_cast<std::uint16_t>(rowPixels), static_cast<std::uint16_t>(rows),
                    static_cast<std::int16_t>(r.Left), static_cast<std::int16_t>(top), 0, FDepth,
                    static_cast<std::uint32_t>(band.size() * 4),
                    reinterpret_cast<const std::uint8_t*>(band.data()));
      top += static_cast<std::int32_t>(rows);
    }
  }
  xcb_flush(FConnection);
}

void TX11Presenter::FrameDrawn(TCanvas& canvas) {
  const std::vector<TRect> rows = TakeChangedRows(canvas);
  if (rows.empty()) return;
  const auto* shared = dynamic_cast<const TSharedPixels*>(canvas.Memory());
  if (!shared) {
    // Each row its own request: the pixels that changed, and few besides.
    Present(canvas, rows);
    return;
  }
  // The server spends far more per copy request than per rectangle of a clip
  // list, and each pixel it copies costs it a cache miss or two. So the rows
  // go as the clip of one copy of the rectangle around them: a lone star
  // pixel costs the server one 16-pixel row. The rows are sorted by row, then
  // left to right, which is the banded order the server checks for.
  const std::size_t maxBytes = std::size_t{xcb_get_maximum_request_length(FConnection)} * 4;
  const std::size_t perRequest = std::clamp<std::size_t>((maxBytes - 64) / 8, 1, 16384);
  std::vector<xcb_rectangle_t> boxes;
  for (std::size_t first = 0; first < rows.size(); first += perRequest) {
    const std::size_t last = std::min(rows.size(), first + perRequest);
    boxes.clear();
    std::int32_t left = rows[first].Left, right = rows[first].Right;
    for (std::size_t i = first; i < last; ++i) {
      const TRect& r = rows[i];
      left = std::min(left, r.Left);
      right = std::max(right, r.Right);
      boxes.push_back({static_cast<std::int16_t>(r.Left), static_cast<std::int16_t>(r.Top),
                       static_cast<std::uint16_t>(r.Right - r.Left),
                       static_cast<std::uint16_t>(r.Bottom - r.Top)});
    }
    const std::int32_t top = rows[first].Top, bottom = rows[last - 1].Bottom;
    xcb_set_clip_rectangles(FConnection, XCB_CLIP_ORDERING_YX_BANDED, FRowsGc, 0, 0,
                            static_cast<std::uint32_t>(boxes.size()), boxes.data());
    xcb_shm_put_image(FConnection, FWindow, FRowsGc, static_cast<std::uint16_t>(canvas.Width()),
                      static_cast<std::uint16_t>(canvas.Height()), static_cast<std::int16_t>(left),
                      static_cast<std::int16_t>(top), static_cast<std::uint16_t>(right - left),
                      static_cast<std::uint16_t>(bottom - top), static_cast<std::int16_t>(left),
                      static_cast<std::int16_t>(top), FDepth, XCB_IMAGE_FORMAT_Z_PIXMAP, 0,
                      shared->Segment(), 0);
  }
  xcb_flush(FConnection);
}

void TX11Presenter::FillBlack(const std::vector<TRect>& rects) {
  std::vector<xcb_rectangle_t> boxes;
  for (const TRect& r : rects) {
    if (r.Right <= r.Left || r.Bottom <= r.Top) continue;
    boxes.push_back({static_cast<std::int16_t>(r.Left), static_cast<std::int16_t>(r.Top),
                     static_cast<std::uint16_t>(r.Right - r.Left),
                     static_cast<std::uint16_t>(r.Bottom - r.Top)});
  }
  if (boxes.empty()) return;
  xcb_poly_fill_rectangle(FConnection, FWindow, FBlackGc, static_cast<std::uint32_t>(boxes.size()),
                          boxes.data());
  xcb_flush(FConnection);
}

}  // namespace moonglow
