#include "settings/Parse.h"

#include <limits>

namespace moonglow {

namespace {

// The value of `c` as a digit in `base` (10 or 16); -1 when it is none.
int DigitValue(char c, unsigned base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

TScannedInteger ScanInteger(std::string_view text, const TIntegerForm& form) {
  TScannedInteger r;
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i], form.Skip)) ++i;
  const std::string_view rest = text.substr(i);
  unsigned base = 10;
  if (form.Sign && (rest.starts_with('+') || rest.starts_with('-'))) {
    r.Negative = rest.front() == '-';
    i += 1;
  } else if (form.DollarHex && rest.starts_with('$')) {
    base = 16;
    i += 1;
  } else if (form.ZeroXHex && (rest.starts_with("0x") || rest.starts_with("0X"))) {
    base = 16;
    i += 2;
  }
  constexpr std::uint64_t Max = std::numeric_limits<std::uint64_t>::max();
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) {
      if (form.Thousands && text[i] == ',' && r.Digits > 0) continue;
      break;
    }
    const auto d = static_cast<std::uint64_t>(digit);
    if (r.Magnitude > (Max - d) / base) r.Overflow = true;
    // Unsigned arithmetic wraps: the low bits stay right however long the
    // digits run.
    r.Magnitude = r.Magnitude * base + d;
    ++r.Digits;
  }
  r.End = i;
  return r;
}

std::optional<std::int64_t> WholeInteger(std::string_view text, const TIntegerForm& form,
                                         std::int64_t min, std::int64_t max) {
  const TScannedInteger n = ScanInteger(text, form);
  if (!n.Fills(text.size())) return std::nullopt;
  // Both bounds lie within 64 signed bits, so a magnitude beyond 2^63 is out
  // of range either way.
  constexpr std::uint64_t Limit = std::uint64_t{1} << 63;
  if (n.Magnitude > Limit) return std::nullopt;
  std::int64_t value;
  if (n.Negative) {
    value = n.Magnitude == Limit ? std::numeric_limits<std::int64_t>::min()
                                 : -static_cast<std::int64_t>(n.Magnitude);
  } else {
    if (n.Magnitude == Limit) return std::nullopt;
    value = static_cast<std::int64_t>(n.Magnitude);
  }
  if (value < min || value > max) return std::nullopt;
  return value;
}

}  // namespace moonglow
