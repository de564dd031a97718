#include "wayland/FrontEnd.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace moonglow {
namespace {

TEnvironment Env(std::map<std::string, std::string> vars) {
  return [vars](std::string_view name) -> std::optional<std::string> {
    const auto it = vars.find(std::string(name));
    if (it == vars.end()) return std::nullopt;
    return it->second;
  };
}

bool Wants(std::vector<std::string> args, std::map<std::string, std::string> vars) {
  args.insert(args.begin(), "moonglow");
  const TEnvironment env = Env(std::move(vars));
  return WantsWayland(ParseCommandLine(args, env), env);
}

TEST(FrontEnd, OnlyTheSaverAndLayerHostRunOnWaylandAndOnlyInAWaylandSession) {
  const std::map<std::string, std::string> wayland = {{"WAYLAND_DISPLAY", "wayland-1"},
                                                      {"DISPLAY", ":0"}};
  EXPECT_TRUE(Wants({"/s"}, wayland));
  EXPECT_TRUE(Wants({"-S"}, wayland));
  EXPECT_TRUE(Wants({"--layer"}, wayland));
  EXPECT_TRUE(Wants({"--pixel-rate", "9000", "/s"}, wayland));
  EXPECT_TRUE(Wants({"/s"}, {{"WAYLAND_SOCKET", "3"}}));
  // Everything else keeps the Qt window, under XWayland.
  for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                {"/c"},
                                                                {"/d"},
                                                                {"/p", "123"},
                                                                {"/a"},
                                                                {"/p"},
                                                                {"/x"},
                                                                {"--root"},
                                                                {"--window-id", "0x10"},
                                                                {"--add-to-xscreensaver"},
                                                                {"/s", "--layer"}}) {
    EXPECT_FALSE(Wants(args, wayland)) << (args.empty() ? "" : args[0]);
  }
  // No Wayland session: set but empty is none.
  EXPECT_FALSE(Wants({"/s"}, {{"DISPLAY", ":0"}}));
  EXPECT_FALSE(Wants({"--layer"}, {{"WAYLAND_DISPLAY", ""}, {"WAYLAND_SOCKET", ""}}));
}

TEST(FrontEnd, OutputsAreChosenByEitherNameOrAllWhenNoneIsWanted) {
  EXPECT_TRUE(OutputWanted("", "DP-1", "DP-1"));
  EXPECT_TRUE(OutputWanted("", "", ""));
  EXPECT_TRUE(OutputWanted("DP-2", "DP-2", ""));  // xdg-output's name only
  EXPECT_TRUE(OutputWanted("DP-2", "", "DP-2"));  // wl_output's only
  EXPECT_FALSE(OutputWanted("DP-2", "DP-1", "DP-1"));
  EXPECT_FALSE(OutputWanted("DP-2", "", ""));          // a nameless output is not it
  EXPECT_FALSE(OutputWanted("dp-2", "DP-2", "DP-2"));  // names are exact
}

}  // namespace
}  // namespace moonglow
