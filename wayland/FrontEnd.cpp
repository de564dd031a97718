#include "wayland/FrontEnd.h"

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

}  // namespace moonglow
