#include "qt/X11.h"

#include <xcb/dpms.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdint>
#include <string>

#include "settings/Environment.h"
#include "settings/TextEncoding.h"

namespace moonglow {

namespace {

std::string Variable(const char* name) { return VariableOrEmpty(ProcessEnvironment(), name); }

bool IsSet(const char* name) { return !Variable(name).empty(); }

xcb_connection_t* Connection() { return X11Connection(); }

}  // namespace

xcb_connection_t* X11Connection() {
  // The offscreen platform may answer as X11 with no connection behind it.
  if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->connection() : nullptr;
}

std::optional<std::string> DisplayProblem() {
  const std::string platform = Variable("QT_QPA_PLATFORM");
  if (!platform.empty() && !platform.starts_with("xcb")) return std::nullopt;
  if (!IsSet("DISPLAY")) {
    if (IsSet("WAYLAND_DISPLAY")) {
      return std::string(
          "WAYLAND_DISPLAY is set but DISPLAY is not; this program draws through X11 "
          "(XWayland): set DISPLAY");
    }
    return std::string("neither DISPLAY nor WAYLAND_DISPLAY is set");
  }
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const int error = xcb_connection_has_error(connection);
  xcb_disconnect(connection);
  if (error) return "cannot connect to the X display \"" + MessageText(Variable("DISPLAY")) + "\"";
  return std::nullopt;
}

TWindowHandle X11RootWindow() {
  xcb_connection_t* connection = Connection();
  if (!connection) return 0;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  return screen ? screen->root : 0;
}

bool X11WindowShown(TWindowHandle window) {
  xcb_connection_t* connection = Connection();
  if (!connection || window == 0) return true;
  xcb_generic_error_t* error = nullptr;
  xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
      connection, xcb_get_window_attributes(connection, window), &error);
  std::free(error);
  if (!reply) return true;
  const bool shown = reply->map_state == XCB_MAP_STATE_VIEWABLE;
  std::free(reply);
  return shown;
}

void X11WatchCovering(TWindowHandle window) {
  xcb_connection_t* connection = Connection();
  if (!connection || window == 0) return;
  xcb_generic_error_t* error = nullptr;
  xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
      connection, xcb_get_window_attributes(connection, window), &error);
  std::free(error);
  if (!reply) return;
  // Added to the events Qt asked for, which stay as they were.
  const std::uint32_t mask = reply->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
  std::free(reply);
  xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(connection);
}

std::optional<std::pair<TWindowHandle, bool>> X11CoveringEvent(const void* event) {
  const auto* generic = static_cast<const xcb_generic_event_t*>(event);
  if (!generic || (generic->response_type & 0x7F) != XCB_VISIBILITY_NOTIFY) return std::nullopt;
  const auto* visibility = static_cast<const xcb_visibility_notify_event_t*>(event);
  return std::pair<TWindowHandle, bool>(visibility->window,
                                        visibility->state == XCB_VISIBILITY_FULLY_OBSCURED);
}

std::optional<bool> X11DisplayOn() {
  xcb_connection_t* connection = Connection();
  if (!connection) return std::nullopt;
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_dpms_id);
  if (!extension || !extension->present) return std::nullopt;
  xcb_generic_error_t* error = nullptr;
  xcb_dpms_info_reply_t* reply = xcb_dpms_info_reply(connection, xcb_dpms_info(connection), &error);
  std::free(error);
  if (!reply) return std::nullopt;
  // With power management switched off the display never goes dark.
  const bool on = !reply->state || reply->power_level == XCB_DPMS_DPMS_MODE_ON;
  std::free(reply);
  return on;
}

std::optional<TRect> X11WindowRect(TWindowHandle window) {
  xcb_connection_t* connection = Connection();
  if (!connection || window == 0) return std::nullopt;
  xcb_generic_error_t* error = nullptr;
  xcb_get_geometry_reply_t* reply =
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), &error);
  std::free(error);
  if (!reply) return std::nullopt;
  const TRect rect{reply->x, reply->y, reply->x + reply->width, reply->y + reply->height};
  std::free(reply);
  return rect;
}

}  // namespace moonglow
