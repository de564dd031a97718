#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace moonglow {
namespace {

TCommandLine Parse(std::vector<std::string> rest, std::map<std::string, std::string> vars = {}) {
  rest.insert(rest.begin(), "moonglow.scr");
  return ParseCommandLine(rest, [vars](std::string_view name) -> std::optional<std::string> {
    const auto it = vars.find(std::string(name));
    if (it == vars.end()) return std::nullopt;
    return it->second;
  });
}

// The host's window as the parse gave it, written out for the messages:
// "root", "0x…", or the error text.
std::string HostTarget(const TCommandLine& c) {
  if (c.Kind == TCommandKind::Invalid) return "invalid: " + c.Error;
  if (c.Kind != TCommandKind::Host) return "not host mode";
  if (c.HostWindow.RootWindow) return "root";
  return std::to_string(c.HostWindow.Window);
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

TEST(CommandLineSwitch, PixelRateComesOutBeforeTheSwitches) {
  // Taken out wherever it stands, so /p still sees exactly one handle.
  TCommandLine c = Parse({"/p", "1234", "--pixel-rate", "5000"});
  EXPECT_EQ(c.Kind, TCommandKind::RunMode);
  EXPECT_EQ(c.RunMode, Preview);
  EXPECT_EQ(c.ParentWindow, 1234u);
  EXPECT_EQ(c.PixelRate, 5000u);

  c = Parse({"--pixel-rate", "1000000000", "/s"});
  EXPECT_EQ(c.RunMode, Saver);
  EXPECT_EQ(c.PixelRate, 1000000000u);
  EXPECT_FALSE(Parse({"/s"}).PixelRate.has_value());
  EXPECT_EQ(Parse({"--pixel-rate", "1"}).RunMode, Configure);

  for (const char* bad : {"0", "1000000001", "-5", "+5", " 5", "5x", "", "99999999999999999999"}) {
    c = Parse({"/s", "--pixel-rate", bad});
    EXPECT_EQ(c.Kind, TCommandKind::Invalid) << '"' << bad << '"';
    EXPECT_NE(c.Error.find("--pixel-rate"), std::string::npos) << c.Error;
  }
  EXPECT_EQ(Parse({"/s", "--pixel-rate"}).Kind, TCommandKind::Invalid);
  // A single dash is the saver's own /p switch, as it always was.
  c = Parse({"-pixel-rate", "5"});
  EXPECT_EQ(c.RunMode, Preview);
  EXPECT_EQ(c.ParentWindow, 5u);
}

TEST(CommandLineHost, RootTakesTheWindowFromTheEnvironment) {
  EXPECT_EQ(HostTarget(Parse({"--root"})), "root");
  EXPECT_EQ(HostTarget(Parse({"-root"})), "root");
  EXPECT_EQ(HostTarget(Parse({"--root"}, {{"XSCREENSAVER_WINDOW", ""}})), "root");
  // xscreensaver writes hexadecimal, xsecurelock decimal.
  EXPECT_EQ(HostTarget(Parse({"--root"}, {{"XSCREENSAVER_WINDOW", "0x1A00007"}})), "27262983");
  EXPECT_EQ(HostTarget(Parse({"-root"}, {{"XSCREENSAVER_WINDOW", "27262983"}})), "27262983");
  EXPECT_EQ(HostTarget(Parse({"--root"}, {{"XSCREENSAVER_WINDOW", "0xffffffff"}})), "4294967295");
  // Without --root the variable is ignored: the saver's own switches decide.
  EXPECT_EQ(HostTarget(Parse({"/s"}, {{"XSCREENSAVER_WINDOW", "0x10"}})), "not host mode");
  EXPECT_EQ(Parse({"--root"}).RunMode, Saver);
  EXPECT_EQ(ParseCommandLine({"moonglow", "--root"}).HostWindow.RootWindow, true);
}

TEST(CommandLineHost, WindowIdWinsOverRoot) {
  const std::map<std::string, std::string> env = {{"XSCREENSAVER_WINDOW", "0x400001"}};
  EXPECT_EQ(HostTarget(Parse({"--window-id", "0x600002"}, env)), "6291458");
  EXPECT_EQ(HostTarget(Parse({"--root", "--window-id", "0X600002"}, env)), "6291458");
  EXPECT_EQ(HostTarget(Parse({"-window-id", "6291458", "-root"}, env)), "6291458");
  // The settings page's preview: its options, then the preview window.
  TCommandLine c = Parse({"--root", "--pixel-rate", "40000", "--window-id", "0x600002"}, env);
  EXPECT_EQ(HostTarget(c), "6291458");
  EXPECT_EQ(c.PixelRate, 40000u);
  // Host options win over the saver's own switches wherever they stand.
  EXPECT_EQ(HostTarget(Parse({"/p", "--root"})), "invalid: unexpected argument '/p' in host mode");
  EXPECT_EQ(HostTarget(Parse({"--root", "/s"})), "invalid: unexpected argument '/s' in host mode");
}

// swaylock-plugin's background: the outputs of the compositor it nests the
// saver in, all of them or the one it names.
TEST(CommandLineHost, LayerDrawsOnTheOutputs) {
  TCommandLine c = Parse({"--layer"}, {{"XSCREENSAVER_WINDOW", "0x400001"}});
  EXPECT_EQ(c.Kind, TCommandKind::Host);
  EXPECT_EQ(c.RunMode, Saver);
  EXPECT_TRUE(c.HostWindow.Layer);
  EXPECT_EQ(HostTarget(c), "root");  // what a front end without layers does
  EXPECT_EQ(c.HostWindow.OutputName, "");
  c = Parse({"--pixel-rate", "5000", "--layer"}, {{"SWAYLOCK_PLUGIN_OUTPUT_NAME", "HEADLESS-2"}});
  EXPECT_EQ(c.HostWindow.OutputName, "HEADLESS-2");
  EXPECT_EQ(c.PixelRate, 5000u);
  // Only with --layer is the output's name read.
  EXPECT_EQ(Parse({"--root"}, {{"SWAYLOCK_PLUGIN_OUTPUT_NAME", "X"}}).HostWindow.OutputName, "");
  EXPECT_FALSE(Parse({"--root"}).HostWindow.Layer);
  for (const auto& args : {std::vector<std::string>{"--layer", "--root"},
                           std::vector<std::string>{"--window-id", "0x10", "--layer"}}) {
    EXPECT_EQ(HostTarget(Parse(args)), "invalid: --layer goes with neither --root nor --window-id");
  }
  EXPECT_EQ(HostTarget(Parse({"--layer", "/s"})), "invalid: unexpected argument '/s' in host mode");
  // The saver's own rule: one dash and a letter; "-layer" is /l, refused.
  EXPECT_TRUE(Parse({"-layer"}).Refused);
}

TEST(CommandLineHost, MalformedWindowIdsAreErrors) {
  for (const char* bad : {"", "0x", "0", "0x0", "-5", "+5", " 5", "5 ", "0x1g", "12abc", "x10",
                          "4294967296", "0x100000000", "--root"}) {
    TCommandLine c = Parse({"--window-id", bad});
    EXPECT_EQ(c.Kind, TCommandKind::Invalid) << '"' << bad << '"';
    EXPECT_EQ(c.Error,
              "'" + std::string(bad) + "' is not a window id (0x and hexadecimal, or decimal)");
    c = Parse({"--root"}, {{"XSCREENSAVER_WINDOW", bad}});
    if (*bad == '\0') continue;  // empty is unset
    EXPECT_EQ(c.Error, "XSCREENSAVER_WINDOW='" + std::string(bad) + "' is not a window id");
  }
  EXPECT_EQ(HostTarget(Parse({"--window-id"})), "invalid: --window-id needs a window id");
  EXPECT_EQ(HostTarget(Parse({"/s", "-window-id"})), "invalid: -window-id needs a window id");
}

TEST(CommandLineAddToXscreensaver, StandsAlone) {
  EXPECT_EQ(Parse({"--add-to-xscreensaver"}).Kind, TCommandKind::AddToXscreensaver);
  EXPECT_EQ(Parse({"--add-to-xscreensaver", "--root"}).Error,
            "--add-to-xscreensaver takes no other arguments");
  EXPECT_EQ(Parse({"/s", "--add-to-xscreensaver"}).Kind, TCommandKind::Invalid);
  // The saver's own rule: two dashes are an unknown switch.
  EXPECT_TRUE(Parse({"--add"}).Refused);
}

// Whatever the user typed, the message stays one short line: the option's
// text is echoed with its control characters escaped and cut when long.
TEST(CommandLineMessages, EchoedTextStaysOneShortLine) {
  const std::string huge(100000, '9');
  const std::vector<std::pair<TCommandLine, std::string>> cases = {
      {Parse({"/s", "--pixel-rate", "5\n000"}), "not '5\\n000'"},
      {Parse({"--window-id", "0x1\n0"}), "'0x1\\n0' is not a window id"},
      {Parse({"--root"}, {{"XSCREENSAVER_WINDOW", "0x1\r\n\x1B[2J"}}),
       "XSCREENSAVER_WINDOW='0x1\\r\\n\\x1B[2J' is not a window id"},
      {Parse({"--root", "/s\tx"}), "unexpected argument '/s\\tx' in host mode"},
      {Parse({"/s", "--pixel-rate", huge}), "... (100000 bytes)'"},
      {Parse({"--window-id", huge}), "... (100000 bytes)' is not a window id"},
      {Parse({"--root"}, {{"XSCREENSAVER_WINDOW", huge + "\n"}}), "... (100001 bytes)'"},
  };
  for (const auto& [c, part] : cases) {
    EXPECT_EQ(c.Kind, TCommandKind::Invalid);
    EXPECT_NE(c.Error.find(part), std::string::npos) << c.Error.substr(0, 300);
    EXPECT_EQ(c.Error.find_first_of("\n\r\x1B"), std::string::npos) << c.Error.substr(0, 300);
    EXPECT_LT(c.Error.size(), 400u);
  }
}

}  // namespace
}  // namespace moonglow
