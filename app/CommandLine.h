#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/RunMode.h"
#include "settings/Environment.h"

namespace moonglow {

// A window handle as the command line and the platform carry it: a Win32 HWND
// value or an X11 window id, 32 bits either way.
using TWindowHandle = std::uint32_t;

// What the command line asks for, before any run mode is looked at.
enum class TCommandKind {
  RunMode,            // one of the saver's own switches: see RunMode and Refused
  Host,               // a saver host gave a window to draw into: see HostWindow
  AddToXscreensaver,  // add the saver to ~/.xscreensaver and end
  Invalid,            // print Error (one line) and end with ExitInvalidOption
};

// Where a saver host wants the show: its own window, or the screen's root
// window when it named none.
struct THostWindow {
  bool RootWindow = false;
  TWindowHandle Window = 0;  // meaningful only when RootWindow is false
  // --layer: the host is a Wayland compositor, and the show goes on layer
  // surfaces of its outputs rather than in a window. RootWindow is set too,
  // for a front end without layer surfaces: the nearest thing it has.
  bool Layer = false;
  // With Layer, the one output to draw on ($SWAYLOCK_PLUGIN_OUTPUT_NAME, by
  // its name); none or empty: every output.
  std::string OutputName;
};

// Exit code of an option the program cannot use (a malformed window id, a
// pixel rate out of range); the message says which.
inline constexpr int ExitInvalidOption = 1;

// The pixel rates --pixel-rate accepts, in pixel writes per second; the show
// cannot pace faster than one write a nanosecond.
inline constexpr std::uint64_t MinPixelRateOption = 1;
inline constexpr std::uint64_t MaxPixelRateOption = 1000000000;

struct TCommandLine {
  TCommandKind Kind = TCommandKind::RunMode;

  // The saver's own switches (Kind RunMode). A malformed switch is Refused:
  // the program ends at once with -1 and shows nothing.
  bool Refused = false;
  TRunMode RunMode = Configure;
  // The preview parent (/p), or the change-password owner (/a with a handle).
  TWindowHandle ParentWindow = 0;
  // /a was given its owner's handle; without it the foreground window owns the
  // change-password dialog.
  bool HasParentWindow = false;

  // Kind Host: where to draw. RunMode is then Saver: a host's window gets the
  // whole show, not the preview's scaled-down one.
  THostWindow HostWindow;

  // --pixel-rate N, in every kind: the show's pixel writes per second for this
  // run. Unset: the default (MOONGLOW_PIXEL_RATE or the built-in rate).
  std::optional<std::uint64_t> PixelRate;

  // Kind Invalid: the one-line message to print, without the program's name.
  std::string Error;
};

// `args` is the process's argument list, the program's own name first; `env`
// is the process environment (none: as if no variable were set).
//
// First the options a Linux host or the user may add anywhere on the line are
// taken out: --root or -root (draw into $XSCREENSAVER_WINDOW, else the root
// window), --window-id ID or -window-id ID (draw into ID; wins over --root),
// --layer (draw on the compositor's outputs; goes with neither of those),
// --pixel-rate N and --add-to-xscreensaver. Any host option makes the run a
// host run. Otherwise the remaining arguments go through the saver's own
// switch rules unchanged: only the character after a leading "-" or "/"
// decides; everything after it is ignored.
TCommandLine ParseCommandLine(const std::vector<std::string>& args, const TEnvironment& env = {});

// The decimal conversion the saver's own switches put handles through: leading
// white space, an optional sign, then digits up to the first non-digit; no
// digits give 0. There is no range check: the value wraps modulo 2^32.
TWindowHandle ParseHandle(std::string_view text);

// A window id as saver hosts write it: "0x" or "0X" and hexadecimal digits, or
// decimal digits, nothing else, not 0 and within 32 bits. Nothing when it is
// not one.
std::optional<TWindowHandle> ParseWindowId(std::string_view text);

}  // namespace moonglow
