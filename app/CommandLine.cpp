#include "app/CommandLine.h"

namespace moonglow {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

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

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
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

}  // namespace moonglow
