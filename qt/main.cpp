#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/Entry.h"
#include "posix/EndSignals.h"
#include "qt/LinuxPlatform.h"
#include "qt/QtToolkit.h"
#if MOONGLOW_HAS_WAYLAND
#include "wayland/FrontEnd.h"
#include "wayland/WaylandToolkit.h"
#endif

namespace {

#if MOONGLOW_HAS_WAYLAND
// Where a Wayland run cannot be had, an X server (XWayland) may still show
// the window; Qt is told to use it, not a Wayland platform of its own.
bool UseX11Instead(const moonglow::TEnvironment& env) {
  if (moonglow::VariableOrEmpty(env, "DISPLAY").empty()) return false;
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  return true;
}
#endif

}  // namespace

int main(int argc, char* argv[]) {
  // First of all, before the application object: a saver host may stop the
  // saver at any moment, even while it is starting.
  const moonglow::TEndSignals endSignals;
  moonglow::TLinuxPlatform platform;
  moonglow::TProcessIo io;
  io.Environment = moonglow::ProcessEnvironment();
  io.Out = &std::cout;
  io.Err = &std::cerr;
  const std::vector<std::string> args(argv, argv + argc);

#if MOONGLOW_HAS_WAYLAND
  // The saver and --layer under Wayland: layer surfaces where the compositor
  // offers them, else the X11 window as before.
  const moonglow::TCommandLine command = moonglow::ParseCommandLine(args, io.Environment);
  if (moonglow::WantsWayland(command, io.Environment)) {
    const bool layer = command.HostWindow.Layer;
    std::string problem;
    std::unique_ptr<moonglow::TWaylandToolkit> wayland =
        moonglow::TWaylandToolkit::Connect(platform, io.Environment, &endSignals, problem);
    if (wayland && wayland->HasLayerShell()) {
      return moonglow::RunEntry(args, platform, *wayland, io);
    }
    if (!wayland) {
      if (!UseX11Instead(io.Environment)) {
        std::cerr << "moonglow: " << problem << '\n';
        return moonglow::ExitNoDisplay;
      }
    } else if (layer) {
      std::cerr << "moonglow: this compositor offers no layer surfaces to draw on\n";
      return moonglow::ExitNoDisplay;
    } else {
      std::cerr << "moonglow: this compositor offers no saver surface (layer shell): "
                   "showing a window instead\n";
      wayland.reset();
      UseX11Instead(io.Environment);
    }
  }
#endif

  moonglow::TQtToolkit toolkit(argc > 0 ? argv[0] : nullptr, platform, io.Environment, &endSignals);
  return moonglow::RunEntry(args, platform, toolkit, io);
}
