#include "app/CommandLine.h"

#include <limits>

#include "settings/Parse.h"

#include "settings/TextEncoding.h"

namespace moonglow {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The saver's own switches, on what is left once the Linux options are out.
TCommandLine ParseSwitches(const std::vector<std::string>& args) {
  TCommandLine result;
  if (args.size() < 2) return result;
  const std::string& sw = args[1];
  if (sw.empty() || (sw[0] != '-' && sw[0] != '/')) return result;

  switch (sw.size() > 1 ? Lower(sw[1]) : '\0') {
    case 's':
      result.RunMode = Saver;
      break;
    case 'c':
      result.RunMode = Configure;
      break;
    case 'a':
      result.RunMode = ChangePassword;
      if (args.size() == 3) {
        result.ParentWindow = ParseHandle(args[2]);
        result.HasParentWindow = true;
      }
      break;
    case 'p':
      if (args.size() != 3) {
        result.Refused = true;
        break;
      }
      result.RunMode = Preview;
      result.ParentWindow = ParseHandle(args[2]);
      result.HasParentWindow = true;
      break;
    case 'd':
      result.RunMode = Debug;
      break;
    default:
      result.Refused = true;
      break;
  }
  return result;
}

TCommandLine Invalid(std::string message) {
  TCommandLine result;
  result.Kind = TCommandKind::Invalid;
  result.Error = std::move(message);
  return result;
}

}  // namespace

TWindowHandle ParseHandle(std::string_view text) {
  const TScannedInteger n = ScanInteger(text, {.Skip = WhiteSpace, .Sign = true});
  // Unsigned arithmetic wraps where the old signed conversion overflowed, so a
  // huge handle gives the same 32 bits without undefined behaviour.
  const auto value = static_cast<TWindowHandle>(n.Magnitude);
  return n.Negative ? 0u - value : value;
}

std::optional<TWindowHandle> ParseWindowId(std::string_view text) {
  // 0 is X11's "no window": a host never means it.
  const std::optional<std::int64_t> id =
      WholeInteger(text, {.ZeroXHex = true}, 1, std::numeric_limits<TWindowHandle>::max());
  if (!id) return std::nullopt;
  return static_cast<TWindowHandle>(*id);
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args, const TEnvironment& env) {
  bool root = false;
  bool layer = false;
  std::optional<TWindowHandle> windowId;
  std::optional<std::uint64_t> pixelRate;
  bool addToXscreensaver = false;
  // The program's name, then whatever the Linux options leave for the switches.
  std::vector<std::string> rest;
  if (!args.empty()) rest.push_back(args[0]);

  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--root" || arg == "-root") {
      root = true;
    } else if (arg == "--layer") {
      layer = true;
    } else if (arg == "--window-id" || arg == "-window-id") {
      if (!hasValue) return Invalid(arg + " needs a window id");
      windowId = ParseWindowId(args[++i]);
      if (!windowId) {
        return Invalid("'" + MessageText(args[i]) +
                       "' is not a window id (0x and hexadecimal, or decimal)");
      }
    } else if (arg == "--pixel-rate") {
      if (!hasValue) return Invalid("--pixel-rate needs a number");
      const std::optional<std::int64_t> rate =
          WholeInteger(args[++i], {}, MinPixelRateOption, MaxPixelRateOption);
      if (!rate) {
        return Invalid("--pixel-rate takes a whole number from " +
                       std::to_string(MinPixelRateOption) + " to " +
                       std::to_string(MaxPixelRateOption) + ", not '" + MessageText(args[i]) + "'");
      }
      pixelRate = static_cast<std::uint64_t>(*rate);
    } else if (arg == "--add-to-xscreensaver") {
      addToXscreensaver = true;
    } else {
      rest.push_back(arg);
    }
  }

  if (addToXscreensaver) {
    if (args.size() != 2) return Invalid("--add-to-xscreensaver takes no other arguments");
    TCommandLine result;
    result.Kind = TCommandKind::AddToXscreensaver;
    return result;
  }

  if (!root && !windowId && !layer) {
    TCommandLine result = ParseSwitches(rest);
    result.PixelRate = pixelRate;
    return result;
  }

  // A host starts the saver with its own options only; anything else is a
  // mistake in the host's list that the user should see rather than a show
  // started in some other mode.
  if (rest.size() > 1)
    return Invalid("unexpected argument '" + MessageText(rest[1]) + "' in host mode");

  TCommandLine result;
  result.Kind = TCommandKind::Host;
  result.RunMode = Saver;
  result.PixelRate = pixelRate;
  if (layer) {
    // A window and the outputs are two different places to draw.
    if (root || windowId) return Invalid("--layer goes with neither --root nor --window-id");
    result.HostWindow.RootWindow = true;
    result.HostWindow.Layer = true;
    if (env) result.HostWindow.OutputName = env("SWAYLOCK_PLUGIN_OUTPUT_NAME").value_or("");
    return result;
  }
  if (windowId) {
    result.HostWindow.Window = *windowId;
    return result;
  }
  // xscreensaver writes the variable in hexadecimal, xsecurelock in decimal;
  // set but empty counts as unset.
  const std::optional<std::string> fromEnv =
      env ? env("XSCREENSAVER_WINDOW") : std::optional<std::string>();
  if (!fromEnv || fromEnv->empty()) {
    result.HostWindow.RootWindow = true;
    return result;
  }
  const std::optional<TWindowHandle> id = ParseWindowId(*fromEnv);
  if (!id) return Invalid("XSCREENSAVER_WINDOW='" + MessageText(*fromEnv) + "' is not a window id");
  result.HostWindow.Window = *id;
  return result;
}

}  // namespace moonglow
