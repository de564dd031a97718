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

// Stars are to be single device pixels at any scale.
TEST(FrontEnd, CanvasHasTheOutputsDevicePixelsAndTheBufferSaysHowToShowThem) {
  // Whole scales by the output's scale and the buffer's.
  EXPECT_EQ(DeviceSize(400, 2, 0, true), 800);
  EXPECT_EQ(DeviceSize(1920, 1, 0, false), 1920);
  EXPECT_EQ(DeviceSize(1920, 0, 0, false), 1920);  // a scale of 0 is none
  EXPECT_EQ(BufferScaleFor(800, 600, 400, 300, false, true), (TBufferScale{2, false}));
  EXPECT_EQ(BufferScaleFor(1920, 1080, 1920, 1080, false, false), (TBufferScale{1, false}));
  // A fractional scale, told with a viewport: 1.25 and 1.5 of odd sizes,
  // rounded to the nearest pixel; the viewport maps it onto the logical size.
  EXPECT_EQ(DeviceSize(1536, 1, 150, true), 1920);
  EXPECT_EQ(DeviceSize(1023, 1, 150, true), 1279);  // 1278.75
  EXPECT_EQ(DeviceSize(1023, 1, 180, true), 1535);  // 1534.5 rounds up
  EXPECT_EQ(DeviceSize(801, 2, 180, true), 1202);   // 1201.5
  EXPECT_EQ(BufferScaleFor(1920, 1080, 1536, 864, true, true), (TBufferScale{1, true}));
  // Told a fraction of 2: still the viewport, as the scale was told that way.
  EXPECT_EQ(BufferScaleFor(800, 600, 400, 300, true, true), (TBufferScale{1, true}));
  // Without a viewport the fractional scale cannot be shown: whole scales.
  EXPECT_EQ(DeviceSize(1536, 2, 150, false), 3072);
  // A canvas made before the scale changed (it starts again soon): shown
  // through the viewport where there is one, else unscaled, never with a
  // buffer scale that does not divide it (a protocol error).
  EXPECT_EQ(BufferScaleFor(800, 600, 400, 400, false, true), (TBufferScale{1, true}));
  EXPECT_EQ(BufferScaleFor(801, 600, 400, 300, false, false), (TBufferScale{1, false}));
  EXPECT_EQ(BufferScaleFor(200, 150, 400, 300, false, true), (TBufferScale{1, true}));
  EXPECT_EQ(BufferScaleFor(200, 150, 0, 0, false, false), (TBufferScale{1, false}));
}

TEST(FrontEnd, EveryKeyEndsTheSaverButTheOneStillDownFromItsStart) {
  TKeyRule start;
  // Enter, pressed in the terminal that started the saver, comes up.
  EXPECT_FALSE(start.Entered({28}, false));
  EXPECT_FALSE(start.Key(28, false));
  // Once up, that key counts like any other, pressed or released.
  EXPECT_TRUE(start.Key(28, true));
  EXPECT_TRUE(start.Key(28, false));
  EXPECT_TRUE(start.Key(30, true));

  // A keyboard that appears while the saver runs, with its key down.
  TKeyRule late;
  EXPECT_TRUE(late.Entered({30}, true));
  EXPECT_FALSE(late.Entered({}, true));
  // A release whose press never came here.
  TKeyRule missed;
  EXPECT_FALSE(missed.Entered({}, false));
  EXPECT_TRUE(missed.Key(30, false));
  // Two keys held at the start: each is let up once.
  TKeyRule two;
  EXPECT_FALSE(two.Entered({29, 28}, false));
  EXPECT_FALSE(two.Key(28, false));
  EXPECT_FALSE(two.Key(29, false));
  EXPECT_TRUE(two.Key(29, false));
}

}  // namespace
}  // namespace moonglow
