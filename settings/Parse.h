#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace moonglow {

// The blanks of the settings file and of the dialog's fields: spaces and tabs.
inline constexpr std::string_view Blanks = " \t";
// White space as the C library's number conversions skip it.
inline constexpr std::string_view WhiteSpace = " \t\n\v\f\r";

// Whether `c` is one of `blanks`. Every reader of text here skips its blanks
// through this and the trims below, each with the set its format has.
constexpr bool IsBlank(char c, std::string_view blanks = Blanks) {
  for (const char b : blanks) {
    if (c == b) return true;
  }
  return false;
}

// `s` without the blanks at its start, at its end, or at both. The result is
// a view into `s`.
constexpr std::string_view TrimLeft(std::string_view s, std::string_view blanks = Blanks) {
  while (!s.empty() && IsBlank(s.front(), blanks)) s.remove_prefix(1);
  return s;
}
constexpr std::string_view TrimRight(std::string_view s, std::string_view blanks = Blanks) {
  while (!s.empty() && IsBlank(s.back(), blanks)) s.remove_suffix(1);
  return s;
}
constexpr std::string_view Trim(std::string_view s, std::string_view blanks = Blanks) {
  return TrimRight(TrimLeft(s, blanks), blanks);
}

// How one format writes its integers. Decimal digits always read.
struct TIntegerForm {
  std::string_view Skip = {};  // characters skipped before the number
  bool Sign = false;           // an optional '+' or '-' before decimal digits
  bool DollarHex = false;      // "$" and hexadecimal digits, without a sign
  bool ZeroXHex = false;       // "0x" or "0X" and hexadecimal digits, without a sign
  bool Thousands = false;      // ',' may follow any digit: "1,000"
};

// One integer read from the start of a text, as far as its form goes.
struct TScannedInteger {
  std::size_t Digits = 0;  // none: there is no number
  bool Negative = false;
  std::uint64_t Magnitude = 0;  // the digits' value modulo 2^64
  bool Overflow = false;        // the digits' value is 2^64 or more
  std::size_t End = 0;          // just after the last character read

  // The number is the whole of a text `size` characters long and fits in 64
  // bits.
  bool Fills(std::size_t size) const { return Digits > 0 && End == size && !Overflow; }
};

// The one integer reader: skips `form.Skip`, takes a sign or a hexadecimal
// prefix where the form has them, then digits up to the first character that
// is not one.
TScannedInteger ScanInteger(std::string_view text, const TIntegerForm& form = {});

// The value of a text that is one integer of `form` and nothing else, when it
// lies in [min, max]; nothing otherwise.
std::optional<std::int64_t> WholeInteger(std::string_view text, const TIntegerForm& form,
                                         std::int64_t min, std::int64_t max);

}  // namespace moonglow
