#include "settings/Parse.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string_view>

// The shared reader's own edges. What each format accepts is checked with its
// caller: the settings file (ProfileFileTest), the dialog's fields
// (OptDlgModelTest), the switches and the host options (CommandLineTest).

namespace moonglow {
namespace {

TEST(Blanks, TrimsKeepTheirPlaceInTheText) {
  constexpr std::string_view text = " \t a b\t \r";
  EXPECT_EQ(Trim(text), "a b\t \r");  // CR is no blank of the settings file
  EXPECT_EQ(Trim(text, " \t\r"), "a b");
  EXPECT_EQ(TrimLeft(text).data(), text.data() + 3);
  EXPECT_EQ(TrimRight(" \t").data(), std::string_view(" \t").data());
  EXPECT_TRUE(IsBlank('\v', WhiteSpace));
  EXPECT_FALSE(IsBlank('\v'));
  EXPECT_FALSE(IsBlank('\0'));
}

TEST(ScanInteger, CountsDigitsAndStopsAtTheFirstOther) {
  TScannedInteger n =
      ScanInteger("  -0012,345x", {.Skip = Blanks, .Sign = true, .Thousands = true});
  EXPECT_TRUE(n.Negative);
  EXPECT_EQ(n.Digits, 7u);
  EXPECT_EQ(n.Magnitude, 12345u);
  EXPECT_EQ(n.End, 11u);
  // Without the form's leave, a sign, a prefix or a blank is where it stops.
  EXPECT_EQ(ScanInteger("-5").Digits, 0u);
  EXPECT_EQ(ScanInteger("$F").Digits, 0u);
  EXPECT_EQ(ScanInteger(" 5").End, 0u);
  EXPECT_EQ(ScanInteger("0x1F").Magnitude, 0u);
  EXPECT_EQ(ScanInteger("0x1F", {.ZeroXHex = true}).Magnitude, 31u);
  EXPECT_EQ(ScanInteger("$1f", {.DollarHex = true}).Magnitude, 31u);
}

TEST(ScanInteger, OverflowIsFlaggedAndTheLowBitsKept) {
  TScannedInteger n = ScanInteger("18446744073709551615");
  EXPECT_FALSE(n.Overflow);
  EXPECT_EQ(n.Magnitude, std::numeric_limits<std::uint64_t>::max());
  EXPECT_TRUE(n.Fills(20));
  n = ScanInteger("18446744073709551616");
  EXPECT_TRUE(n.Overflow);
  EXPECT_EQ(n.Magnitude, 0u);  // 2^64 mod 2^64
  EXPECT_FALSE(n.Fills(20));
  EXPECT_FALSE(ScanInteger("0xFFFFFFFFFFFFFFFF", {.ZeroXHex = true}).Overflow);
  EXPECT_TRUE(ScanInteger("0x10000000000000000", {.ZeroXHex = true}).Overflow);
}

TEST(WholeInteger, TheWholeTextWithinTheRange) {
  constexpr TIntegerForm Signed{.Sign = true};
  constexpr std::int64_t Min = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t Max = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(WholeInteger("-9223372036854775808", Signed, Min, Max), Min);
  EXPECT_EQ(WholeInteger("9223372036854775807", Signed, Min, Max), Max);
  EXPECT_FALSE(WholeInteger("9223372036854775808", Signed, Min, Max));
  EXPECT_FALSE(WholeInteger("-9223372036854775809", Signed, Min, Max));
  EXPECT_EQ(WholeInteger("10", Signed, 1, 10), 10);
  EXPECT_FALSE(WholeInteger("11", Signed, 1, 10));
  EXPECT_FALSE(WholeInteger("0", Signed, 1, 10));
  EXPECT_FALSE(WholeInteger("5 ", Signed, 1, 10));
  EXPECT_FALSE(WholeInteger("", Signed, Min, Max));
  EXPECT_FALSE(WholeInteger("-", Signed, Min, Max));
}

}  // namespace
}  // namespace moonglow
