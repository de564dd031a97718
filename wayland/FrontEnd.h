#pragma once

#include <optional>
#include <string>

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

}  // namespace moonglow
