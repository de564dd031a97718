#include "app/CommandLine.h"

#include <charconv>

#include "settings/TextEncoding.h"

namespace moonglow {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A whole unsigned number in `base` filling all of `text`: no sign, no space.
template <typename T>
std::optional<T> ParseWhole(std::string_view text, int base) {
  T value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

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
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Unsigned arithmetic wraps where the old signed conversion overflowed, so a
  // huge handle gives the same 32 bits without undefined behaviour.
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  return negative ? 0u - value : value;
}

std::optional<TWindowHandle> ParseWindowId(std::string_view text) {
  std::optional<TWindowHandle> id;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    id = ParseWhole<TWindowHandle>(text.substr(2), 16);
  } else {
    id = ParseWhole<TWindowHandle>(text, 10);
  }
  // 0 is X11's "no window": a host never means it.
  if (id == TWindowHandle{0}) return std::nullopt;
  return id;
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args, const TEnvironment& env) {
  bool root = false;
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
    } else if (arg == "--window-id" || arg == "-window-id") {
      if (!hasValue) return Invalid(arg + " needs a window id");
      windowId = ParseWindowId(args[++i]);
      if (!windowId) {
        return Invalid("'" + MessageText(args[i]) +
                       "' is not a window id (0x and hexadecimal, or decimal)");
      }
    } else if (arg == "--pixel-rate") {
      if (!hasValue) return Invalid("--pixel-rate needs a number");
      pixelRate = ParseWhole<std::uint64_t>(args[++i], 10);
      if (!pixelRate || *pixelRate < MinPixelRateOption || *pixelRate > MaxPixelRateOption) {
        return Invalid("--pixel-rate takes a whole number from " +
                       std::to_string(MinPixelRateOption) + " to " +
                       std::to_string(MaxPixelRateOption) + ", not '" + MessageText(args[i]) + "'");
      }
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

  if (!root && !windowId) {
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
