#pragma once

// The X server as the end-to-end tests see it: windows they make, look at and
// take away, and what is shown in them.

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace moonglow::testing {

struct TGeometry {
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool operator==(const TGeometry&) const = default;
};

// A small client of the X server, for what the tests look at and make.
class TX11 {
 public:
  TX11() : FConnection(xcb_connect(nullptr, nullptr)) {
    if (!xcb_connection_has_error(FConnection)) {
      FScreen = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data;
    }
  }
  ~TX11() { xcb_disconnect(FConnection); }
  bool Ok() const { return FScreen != nullptr; }
  xcb_window_t Root() const { return FScreen->root; }

  std::vector<xcb_window_t> Children(xcb_window_t window) {
    std::vector<xcb_window_t> result;
    auto* reply = xcb_query_tree_reply(FConnection, xcb_query_tree(FConnection, window), nullptr);
    if (!reply) return result;
    const xcb_window_t* children = xcb_query_tree_children(reply);
    result.assign(children, children + xcb_query_tree_children_length(reply));
    std::free(reply);
    return result;
  }

  bool Viewable(xcb_window_t window) {
    auto* reply = xcb_get_window_attributes_reply(
        FConnection, xcb_get_window_attributes(FConnection, window), nullptr);
    const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return viewable;
  }

  std::string Name(xcb_window_t window) {
    auto* reply = xcb_get_property_reply(FConnection,
                                         xcb_get_property(FConnection, 0, window, XCB_ATOM_WM_NAME,
                                                          XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                                         nullptr);
    std::string name;
    if (reply) {
      name.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                  static_cast<std::size_t>(xcb_get_property_value_length(reply)));
      std::free(reply);
    }
    return name;
  }

  std::optional<TGeometry> Geometry(xcb_window_t window) {
    auto* reply =
        xcb_get_geometry_reply(FConnection, xcb_get_geometry(FConnection, window), nullptr);
    if (!reply) return std::nullopt;
    const TGeometry g{reply->x, reply->y, reply->width, reply->height};
    std::free(reply);
    return g;
  }

  // Pixels of `window` that are not black, as shown on the screen.
  int LitPixels(xcb_window_t window) {
    const std::optional<TGeometry> g = Geometry(window);
    if (!g) return -1;
    auto* reply = xcb_get_image_reply(FConnection,
                                      xcb_get_image(FConnection, XCB_IMAGE_FORMAT_Z_PIXMAP, window,
                                                    0, 0, static_cast<std::uint16_t>(g->Width),
                                                    static_cast<std::uint16_t>(g->Height), ~0u),
                                      nullptr);
    if (!reply) return -1;
    const auto* data = xcb_get_image_data(reply);
    const int length = xcb_get_image_data_length(reply);
    int lit = 0;
    for (int i = 0; i + 3 < length; i += 4) {
      if (data[i] | data[i + 1] | data[i + 2]) ++lit;
    }
    std::free(reply);
    return lit;
  }

  // A white window as a host makes one for a monitor.
  xcb_window_t CreateWindow(int x, int y, int width, int height) {
    const xcb_window_t window = xcb_generate_id(FConnection);
    const std::uint32_t values[] = {FScreen->white_pixel};
    xcb_create_window(FConnection, XCB_COPY_FROM_PARENT, window, Root(),
                      static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                      static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, FScreen->root_visual, XCB_CW_BACK_PIXEL,
                      values);
    xcb_map_window(FConnection, window);
    xcb_flush(FConnection);
    return window;
  }

  void Resize(xcb_window_t window, int width, int height) {
    const std::uint32_t values[] = {static_cast<std::uint32_t>(width),
                                    static_cast<std::uint32_t>(height)};
    xcb_configure_window(FConnection, window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    xcb_flush(FConnection);
  }

  void DestroyWindow(xcb_window_t window) {
    xcb_destroy_window(FConnection, window);
    xcb_flush(FConnection);
  }

 private:
  xcb_connection_t* FConnection;
  xcb_screen_t* FScreen = nullptr;
};

}  // namespace moonglow::testing
