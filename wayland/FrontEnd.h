#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "settings/Environment.h"

namespace moonglow {

// Whether the run goes to the Wayland front end: the full-screen saver (/s)
// and --layer, in a Wayland session (WAYLAND_DISPLAY or WAYLAND_SOCKET set
// and not empty). Everything else (the dialog, /d, previews, X11 hosts) keeps
// the Qt front end, which under Wayland runs as an XWayland window.
bool WantsWayland(const TCommandLine& command, const TEnvironment& env);

// Whether an output is one to draw on: every output when `wanted` is empty,
// else the one with that name, as xdg-output or wl_output (version 4) tells
// it; either may be empty when the compositor does not say.
bool OutputWanted(const std::string& wanted, const std::string& xdgName,
                  const std::string& outputName);

// A layer surface's canvas size in device pixels for its logical size: by
// the fractional scale (in 120ths) where the compositor tells one and offers
// a viewport to show it with, else by the output's whole scale.
std::int32_t DeviceSize(std::int32_t logical, std::int32_t outputScale, std::uint32_t scale120,
                        bool hasViewport);

// How a buffer is to be shown on a surface of logical size `width` ×
// `height`: a whole multiple of it by the buffer's scale, anything else
// (a fractional scale, or a canvas made before the scale changed) by a
// viewport onto the logical size where there is one, else unscaled.
struct TBufferScale {
  std::int32_t Scale = 1;  // wl_surface.set_buffer_scale
  bool Viewport = false;   // wp_viewport.set_destination(width, height)
  bool operator==(const TBufferScale&) const = default;
};
TBufferScale BufferScaleFor(std::int32_t bufferWidth, std::int32_t bufferHeight, std::int32_t width,
                            std::int32_t height, bool fractional, bool hasViewport);

// Which key events end the saver. Every key does, but a key already down
// when the saver took the keyboard as it started (the Enter that started it
// from a terminal) ends nothing when it comes up. A keyboard that comes
// later, while the saver runs (plugged in, or a virtual one), brings the key
// that was pressed before this client could hear it: that counts at once,
// and so does a release whose press was not heard.
class TKeyRule {
 public:
  // The keyboard came to the saver with `held` down; `late`: well after the
  // saver started. True when that is a key that ends it.
  bool Entered(std::vector<std::uint32_t> held, bool late);
  // True when this key event ends the saver.
  bool Key(std::uint32_t key, bool pressed);

 private:
  std::vector<std::uint32_t> FHeldAtStart;
};

}  // namespace moonglow
