#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/RunMode.h"

namespace moonglow {

// A window handle as the command line and the platform carry it: a Win32 HWND
// value or an X11 window id, 32 bits either way.
using TWindowHandle = std::uint32_t;

// What the command line asks for.
struct TCommandLine {
  // A malformed switch: the program ends at once with -1 and shows nothing.
  bool Refused = false;
  TRunMode RunMode = Configure;
  // The preview parent (/p), or the change-password owner (/a with a handle).
  TWindowHandle ParentWindow = 0;
  // /a was given its owner's handle; without it the foreground window owns the
  // change-password dialog.
  bool HasParentWindow = false;
};

// `args` is the process's argument list, the program's own name first. Only
// the character after a leading "-" or "/" decides; everything after it is
// ignored.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The decimal conversion the handles go through: leading white space, an
// optional sign, then digits up to the first non-digit; no digits give 0. There
// is no range check: the value wraps modulo 2^32.
TWindowHandle ParseHandle(std::string_view text);

}  // namespace moonglow
