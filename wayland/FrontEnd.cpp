#include "wayland/FrontEnd.h"

#include <algorithm>
#include <cmath>

namespace moonglow {

bool WantsWayland(const TCommandLine& command, const TEnvironment& env) {
  const bool saver =
      command.Kind == TCommandKind::RunMode && !command.Refused && command.RunMode == Saver;
  const bool layer = command.Kind == TCommandKind::Host && command.HostWindow.Layer;
  if (!saver && !layer) return false;
  return !VariableOrEmpty(env, "WAYLAND_DISPLAY").empty() ||
         !VariableOrEmpty(env, "WAYLAND_SOCKET").empty();
}

bool OutputWanted(const std::string& wanted, const std::string& xdgName,
                  const std::string& outputName) {
  if (wanted.empty()) return true;
  return wanted == xdgName || wanted == outputName;
}

std::int32_t DeviceSize(std::int32_t logical, std::int32_t outputScale, std::uint32_t scale120,
                        bool hasViewport) {
  if (scale120 && hasViewport) {
    return static_cast<std::int32_t>(std::lround(static_cast<double>(logical) * scale120 / 120.0));
  }
  return logical * std::max(outputScale, 1);
}

TBufferScale BufferScaleFor(std::int32_t bufferWidth, std::int32_t bufferHeight, std::int32_t width,
                            std::int32_t height, bool fractional, bool hasViewport) {
  if (width > 0 && height > 0 && !(fractional && hasViewport) && bufferWidth % width == 0 &&
      bufferHeight % height == 0 && bufferWidth / width == bufferHeight / height &&
      bufferWidth / width >= 1) {
    return {bufferWidth / width, false};
  }
  return {1, hasViewport};
}

bool TKeyRule::Entered(std::vector<std::uint32_t> held, bool late) {
  if (held.empty()) return false;
  if (late) return true;
  FHeldAtStart = std::move(held);
  return false;
}

bool TKeyRule::Key(std::uint32_t key, bool pressed) {
  if (!pressed) {
    const auto held = std::find(FHeldAtStart.begin(), FHeldAtStart.end(), key);
    if (held != FHeldAtStart.end()) {
      FHeldAtStart.erase(held);
      return false;
    }
  }
  return true;
}

}  // namespace moonglow
