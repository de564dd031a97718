// The X11 presenter on a real X server: whatever the show draws, frame after
// frame, the window ends up showing exactly the canvas, whether the server
// copies from shared memory or the pixels go through the connection.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <vector>

#include "qt/X11.h"
#include "qt/X11Present.h"

namespace moonglow {
namespace {

class X11Present : public ::testing::Test {
 protected:
  static constexpr int W = 1024, H = 768;

  void SetUp() override {
    FConnection = X11Connection();
    if (!FConnection) GTEST_SKIP() << "not on X11";
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data;
    if (screen->width_in_pixels < W || screen->height_in_pixels < H)
      GTEST_SKIP() << "screen too small";
    // No background: the server leaves the window's pixels to the presenter.
    FWindow = xcb_generate_id(FConnection);
    const std::uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 1};
    xcb_create_window(FConnection, XCB_COPY_FROM_PARENT, FWindow, screen->root, 0, 0, W, H, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(FConnection, FWindow);
    Sync();
    FPresenter = TX11Presenter::Create(FWindow);
    ASSERT_TRUE(FPresenter);
    FPresenter->FillBlack({{0, 0, W, H}});
  }

  void TearDown() override {
    FPresenter.reset();
    if (FWindow) xcb_destroy_window(FConnection, FWindow);
    if (FConnection) Sync();
  }

  void Sync() {
    std::free(xcb_get_input_focus_reply(FConnection, xcb_get_input_focus(FConnection), nullptr));
  }

  // Every pixel of the window against the canvas; the count that differ.
  int Differences(const TCanvas& canvas) {
    Sync();
    int differ = 0;
    // In bands, so that no reply is larger than a request may be.
    for (int top = 0; top < H; top += 128) {
      const int rows = std::min(128, H - top);
      auto* reply = xcb_get_image_reply(
          FConnection,
          xcb_get_image(FConnection, XCB_IMAGE_FORMAT_Z_PIXMAP, FWindow, 0,
                        static_cast<std::int16_t>(top), W, static_cast<std::uint16_t>(rows), ~0u),
          nullptr);
      if (!reply) return -1;
      const auto* shown = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(reply));
      for (int i = 0; i < W * rows; ++i) {
        if ((shown[i] & 0xFFFFFFu) != (canvas.Pixels()[top * W + i] & 0xFFFFFFu)) ++differ;
      }
      std::free(reply);
    }
    return differ;
  }

  // Frames like the show's: scattered pixels, clusters, erasures to black,
  // a filled block, then a frame that changes every other tile in every row
  // (more rows than one request carries).
  void CheckFrames(TCanvas& canvas) {
    std::uint32_t seed = 2024;
    const auto next = [&seed](std::uint32_t n) {
      seed = seed * 1664525u + 1013904223u;
      return static_cast<std::int64_t>((seed >> 8) % n);
    };
    std::vector<std::pair<std::int64_t, std::int64_t>> drawn;
    for (int frame = 0; frame < 12; ++frame) {
      for (int n = 0; n < 3000; ++n) {
        const std::int64_t x = next(W + 20) - 10, y = next(H + 20) - 10;
        canvas.SetPixel(x, y, static_cast<TColorRef>(0x010101u * (1 + next(250))) ^ next(0xFFFF));
        drawn.emplace_back(x, y);
      }
      for (int n = 0; n < 800 && !drawn.empty(); ++n) {
        const auto [x, y] =
            drawn[static_cast<std::size_t>(next(static_cast<std::uint32_t>(drawn.size())))];
        canvas.SetPixel(x, y, 0);
      }
      if (frame == 5) canvas.FillRect({100, 90, 333, 201}, 0x3366CC);
      if (frame == 9) {
        for (std::int64_t y = 0; y < H; ++y)
          for (std::int64_t x = (y % 2) * TCanvas::TileSize; x < W; x += 2 * TCanvas::TileSize)
            canvas.SetPixel(x + 3, y, 0x00FF00);
      }
      FPresenter->FrameDrawn(canvas);
      ASSERT_EQ(Differences(canvas), 0) << "frame " << frame;
    }
  }

  xcb_connection_t* FConnection = nullptr;
  xcb_window_t FWindow = 0;
  std::unique_ptr<TX11Presenter> FPresenter;
};

TEST_F(X11Present, FromSharedMemoryTheWindowShowsExactlyTheCanvas) {
  std::unique_ptr<IPixelMemory> memory = FPresenter->NewPixelMemory(W, H);
  if (!memory) GTEST_SKIP() << "the server shares no memory";
  TCanvas canvas(W, H, std::move(memory));
  CheckFrames(canvas);
}

TEST_F(X11Present, ThroughTheConnectionTheWindowShowsExactlyTheCanvas) {
  TCanvas canvas(W, H);
  CheckFrames(canvas);
}

}  // namespace
}  // namespace moonglow

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "xcb");
  QGuiApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
