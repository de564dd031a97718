#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace moonglow {
namespace {

TCommandLine Parse(std::vector<std::string> rest) {
  rest.insert(rest.begin(), "moonglow.scr");
  return ParseCommandLine(rest);
}

TEST(CommandLineConfigure, NoSwitchOpensTheOptionsDialog) {
  EXPECT_EQ(ParseCommandLine({"moonglow.scr"}).RunMode, Configure);
  EXPECT_EQ(ParseCommandLine({}).RunMode, Configure);
  for (const char* first : {"", "x", "s", "1234", " /s"}) {
    const TCommandLine c = Parse({first});
    EXPECT_FALSE(c.Refused) << '"' << first << '"';
    EXPECT_EQ(c.RunMode, Configure) << '"' << first << '"';
  }
  EXPECT_EQ(Parse({"/c:1234"}).RunMode, Configure);
  EXPECT_EQ(Parse({"-C", "99"}).RunMode, Configure);
}

TEST(CommandLineSwitch, OnlyTheSecondCharacterCounts) {
  for (const char* sw : {"/s", "/S", "-s", "-S", "/scr", "/s:123", "/sx"}) {
    const TCommandLine c = Parse({sw});
    EXPECT_FALSE(c.Refused) << sw;
    EXPECT_EQ(c.RunMode, Saver) << sw;
  }
  EXPECT_EQ(Parse({"/d"}).RunMode, Debug);
  EXPECT_EQ(Parse({"-D", "extra", "args"}).RunMode, Debug);
  EXPECT_EQ(Parse({"/s", "1", "2", "3"}).RunMode, Saver);
}

TEST(CommandLineSwitch, PreviewTakesExactlyOneHandle) {
  TCommandLine c = Parse({"/p", "1234"});
  EXPECT_FALSE(c.Refused);
  EXPECT_EQ(c.RunMode, Preview);
  EXPECT_EQ(c.ParentWindow, 1234u);

  c = Parse({"-P", "abc"});
  EXPECT_FALSE(c.Refused);
  EXPECT_EQ(c.RunMode, Preview);
  EXPECT_EQ(c.ParentWindow, 0u);

  EXPECT_TRUE(Parse({"/p"}).Refused);
  EXPECT_TRUE(Parse({"/p:1234"}).Refused);
  EXPECT_TRUE(Parse({"/p", "1", "2"}).Refused);
}

TEST(CommandLineSwitch, ChangePasswordOwnerIsOptional) {
  TCommandLine c = Parse({"/a"});
  EXPECT_FALSE(c.Refused);
  EXPECT_EQ(c.RunMode, ChangePassword);
  EXPECT_FALSE(c.HasParentWindow);

  c = Parse({"/A", "5678"});
  EXPECT_EQ(c.RunMode, ChangePassword);
  EXPECT_TRUE(c.HasParentWindow);
  EXPECT_EQ(c.ParentWindow, 5678u);

  // Any other count falls back to the foreground window.
  c = Parse({"/a", "5678", "9"});
  EXPECT_EQ(c.RunMode, ChangePassword);
  EXPECT_FALSE(c.HasParentWindow);
}

TEST(CommandLineSwitch, UnknownLettersAreRefused) {
  for (const char* sw : {"/x", "-x", "/", "-", "/?", "/1", "//s", "-/s"}) {
    EXPECT_TRUE(Parse({sw}).Refused) << sw;
  }
}

TEST(CommandLineHandle, DecimalConversion) {
  EXPECT_EQ(ParseHandle("1234"), 1234u);
  EXPECT_EQ(ParseHandle(" \t\n42"), 42u);
  EXPECT_EQ(ParseHandle("+17"), 17u);
  EXPECT_EQ(ParseHandle("12abc"), 12u);
  EXPECT_EQ(ParseHandle("0x10"), 0u);
  EXPECT_EQ(ParseHandle(""), 0u);
  EXPECT_EQ(ParseHandle("-"), 0u);
  EXPECT_EQ(ParseHandle("abc"), 0u);
  EXPECT_EQ(ParseHandle("1 2"), 1u);
}

TEST(CommandLineHandle, NoRangeCheckWrapsModulo2To32) {
  EXPECT_EQ(ParseHandle("4294967295"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseHandle("4294967296"), 0u);
  EXPECT_EQ(ParseHandle("4294967297"), 1u);
  EXPECT_EQ(ParseHandle("-1"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseHandle("-2147483648"), 0x80000000u);
  // 10^20 mod 2^32 = 1661992960
  EXPECT_EQ(ParseHandle("100000000000000000000"), 1661992960u);
}

}  // namespace
}  // namespace moonglow
