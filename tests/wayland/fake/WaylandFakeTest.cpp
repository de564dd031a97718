// The real moonglow program against the fake compositor, for what a headless
// sway cannot show: a compositor without layer-shell or without a seat,
// frame callbacks withheld, outputs taken away and surfaces closed, the
// connection dropped, and a compositor too slow to read for a while.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/wayland/fake/FakeCompositor.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using moonglow::testing::TFakeCompositor;
using moonglow::testing::TFakeOptions;
using moonglow::testing::TFakeOutputMode;
using moonglow::testing::TLayerRecord;
using TEnv = std::vector<std::pair<std::string, std::string>>;

// The layer surface the saver asks for (the protocol's enum values).
constexpr uint32_t Overlay = 3, AllEdges = 15, KeyboardExclusive = 1;
// libwayland's own output buffer: a frame's requests must fit in it. A
// damage_buffer request is 24 bytes; attach, frame and commit leave room.
constexpr int MostDamagePerCommit = (4096 - 64) / 24;

// The program, started under the compositor with its own settings folder;
// its standard error goes to a file the test reads.
class TProgram {
 public:
  TProgram(const TFakeCompositor& compositor, const fs::path& dir,
           const std::vector<std::string>& args, const TEnv& extra = {}, int socket = -1,
           const std::string& errors = "stderr.txt")
      : FErrors(dir / errors) {
    std::vector<std::string> env;
    const std::vector<std::string> dropped = {"DISPLAY",
                                              "WAYLAND_DISPLAY",
                                              "WAYLAND_SOCKET",
                                              "XDG_RUNTIME_DIR",
                                              "MOONGLOW_CONFIG_DIR",
                                              "SWAYLOCK_PLUGIN_OUTPUT_NAME",
                                              "XSCREENSAVER_WINDOW",
                                              "QT_QPA_PLATFORM"};
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      if (std::find(dropped.begin(), dropped.end(), name) == dropped.end()) env.push_back(entry);
    }
    env.push_back("WAYLAND_DISPLAY=" + compositor.SocketName());
    env.push_back("XDG_RUNTIME_DIR=" + compositor.RuntimeDir());
    env.push_back("MOONGLOW_CONFIG_DIR=" + dir.string());
    if (socket >= 0) env.push_back("WAYLAND_SOCKET=3");
    for (const auto& [name, value] : extra) env.push_back(name + "=" + value);

    std::vector<std::string> argv = {MOONGLOW_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp, envp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, FErrors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (socket >= 0) posix_spawn_file_actions_adddup2(&actions, socket, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attributes, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    if (posix_spawn(&FPid, MOONGLOW_EXE, &actions, &attributes, argp.data(), envp.data()) != 0)
      FPid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (socket >= 0) ::close(socket);
  }

  ~TProgram() {
    if (Running()) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, &FStatus, 0);
    }
  }

  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  bool Started() const { return FPid > 0; }

  bool Running() {
    if (FPid <= 0 || FDone) return false;
    if (::waitpid(FPid, &FStatus, WNOHANG) == FPid) FDone = true;
    return !FDone;
  }

  bool ExitedWithZero() { return !Running() && WIFEXITED(FStatus) && WEXITSTATUS(FStatus) == 0; }

  std::string Status() {
    if (Running()) return "still running";
    if (WIFSIGNALED(FStatus)) return "killed by signal " + std::to_string(WTERMSIG(FStatus));
    return "exit " + std::to_string(WEXITSTATUS(FStatus));
  }

  void Signal(int number) { ::kill(FPid, number); }
  pid_t Pid() const { return FPid; }

  std::string Errors() const {
    std::ifstream in(FErrors);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  fs::path FErrors;
  pid_t FPid = -1;
  int FStatus = 0;
  bool FDone = false;
};

// libwayland reports a protocol error as "interface@id: error code: ...".
bool HasProtocolError(const std::string& text) {
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
    size_t end = at + 1;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end > at + 1 && text.compare(end, 8, ": error ") == 0) return true;
  }
  return false;
}

class WaylandFake : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/moonglow-wayland-test-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    FDir = pattern;
  }

  void TearDown() override {
    FProgram.reset();
    FCompositor.reset();
    std::error_code ignored;
    fs::remove_all(FDir, ignored);
  }

  TFakeCompositor& Serve(TFakeOptions options = {},
                         std::vector<TFakeOutputMode> outputs = {TFakeOutputMode{}}) {
    FCompositor = std::make_unique<TFakeCompositor>(std::move(options), std::move(outputs));
    EXPECT_TRUE(FCompositor->Ok());
    return *FCompositor;
  }

  TProgram& Start(const std::vector<std::string>& args, const TEnv& extra = {}, int socket = -1) {
    FProgram = std::make_unique<TProgram>(*FCompositor, FDir, args, extra, socket);
    EXPECT_TRUE(FProgram->Started());
    return *FProgram;
  }

  bool Within(int milliseconds, const std::function<bool()>& done) {
    return FCompositor->RunUntil(done, milliseconds);
  }

  // The show drawn on layer surface `index`: lit pixels in what its damage
  // let through.
  bool Draws(size_t index, int milliseconds = 10000) {
    return Within(milliseconds, [&] {
      const auto& layers = FCompositor->Layers();
      return index < layers.size() && layers[index].LitPixels() > 0;
    });
  }

  // The program still running after `milliseconds` of compositor time.
  bool StillRunningAfter(int milliseconds) {
    FCompositor->Dispatch(milliseconds);
    return FProgram->Running();
  }

  bool EndsWithZero(int milliseconds = 5000) {
    Within(milliseconds, [&] { return !FProgram->Running(); });
    return FProgram->ExitedWithZero();
  }

  std::string Settings() const {
    std::ifstream in(FDir / "ZELMoonGlow3xx.ini");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The settings as a full run leaves them: whole, first run over.
  void ExpectSaved() {
    const std::string text = Settings();
    EXPECT_NE(text.find("FirstRun=0"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '='), 46) << text;
  }

  // What every run must leave on standard error: no protocol error and no
  // request that failed to go out.
  void ExpectNoConnectionErrors() {
    const std::string errors = FProgram->Errors();
    EXPECT_EQ(errors.find("Error sending request"), std::string::npos) << errors;
    EXPECT_FALSE(HasProtocolError(errors)) << errors;
  }

  // Every commit of every layer surface: acknowledged, XRGB8888, damage
  // that covers every change and fits the connection, and no drawing into a
  // buffer the compositor still holds.
  void ExpectWellFormedCommits() {
    for (const TLayerRecord& layer : FCompositor->Layers()) {
      SCOPED_TRACE("layer surface on output " + std::to_string(layer.Output));
      EXPECT_FALSE(layer.CommitBeforeAck);
      EXPECT_FALSE(layer.WrongFormat);
      EXPECT_EQ(layer.UndamagedChanges, 0);
      EXPECT_EQ(layer.BusyBufferWrites, 0);
      EXPECT_LE(layer.MaxDamagePerCommit, MostDamagePerCommit);
    }
  }

  fs::path FDir;
  std::unique_ptr<TFakeCompositor> FCompositor;
  std::unique_ptr<TProgram> FProgram;
};

// Without layer-shell the saver keeps its X11 path (through XWayland on a
// real desktop), after one line that says why. Run on a virtual X server,
// whose display it is given.
TEST_F(WaylandFake, FallbackWithoutLayerShellSaysSoInOneLine) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "needs an X display to fall back to";
  TFakeOptions options;
  options.LayerShell = false;
  TFakeCompositor& compositor = Serve(options);
  TProgram& program = Start({"/s"}, {{"DISPLAY", display}});
  EXPECT_TRUE(StillRunningAfter(3000)) << program.Status() << "\n" << program.Errors();
  EXPECT_TRUE(compositor.Layers().empty());
  program.Signal(SIGTERM);
  EXPECT_TRUE(EndsWithZero()) << program.Status() << "\n" << program.Errors();
  std::istringstream lines(program.Errors());
  int own = 0;
  for (std::string line; std::getline(lines, line);) own += line.rfind("moonglow: ", 0) == 0;
  EXPECT_EQ(own, 1) << program.Errors();
  ExpectSaved();
  ExpectNoConnectionErrors();
}

TEST_F(WaylandFake, SaverCoversEveryOutputAndAnyInputEndsIt) {
  // No fractional scale, as in sway 1.7: the integer scale is the buffer's.
  TFakeOptions options;
  options.FractionalScale = false;
  TFakeCompositor& compositor = Serve(
      options, {TFakeOutputMode{"FAKE-1", 640, 480, 1}, TFakeOutputMode{"FAKE-2", 1280, 960, 2}});
  TProgram& program = Start({"/s"});
  ASSERT_TRUE(Within(10000, [&] { return compositor.Layers().size() >= 2; })) << program.Errors();
  EXPECT_TRUE(Draws(0));
  EXPECT_TRUE(Draws(1));
  compositor.Dispatch(1000);
  ASSERT_EQ(compositor.Layers().size(), 2u);
  std::set<int> outputs;
  for (const TLayerRecord& layer : compositor.Layers()) {
    SCOPED_TRACE("layer surface on output " + std::to_string(layer.Output));
    outputs.insert(layer.Output);
    EXPECT_EQ(layer.Layer, Overlay);
    EXPECT_EQ(layer.Anchor, AllEdges);
    EXPECT_EQ(layer.ExclusiveZone, -1);
    EXPECT_EQ(layer.Keyboard, KeyboardExclusive);
    EXPECT_EQ(layer.Namespace, "moonglow");
    EXPECT_TRUE(layer.OpaqueRegion);
    EXPECT_GE(layer.Buffers.size(), 2u);
    EXPECT_LE(layer.Buffers.size(), 3u);
    EXPECT_GT(layer.BufferCommits, 10);
  }
  EXPECT_EQ(outputs, (std::set<int>{0, 1}));
  // The scaled output is drawn at its device pixels.
  const TLayerRecord& scaled =
      compositor.Layers()[0].Output == 1 ? compositor.Layers()[0] : compositor.Layers()[1];
  EXPECT_EQ(scaled.ConfiguredWidth, 640u);
  EXPECT_EQ(scaled.BufferScale, 2);
  EXPECT_EQ(scaled.BufferWidth, 1280);
  EXPECT_EQ(scaled.BufferHeight, 960);

  // A pointer that moves less than 200 pixels from where it was first seen
  // leaves the show on; a button on the other output ends it.
  const int first = compositor.Layers()[0].Output == 0 ? 0 : 1;
  ASSERT_TRUE(compositor.SendPointerMotion(first, 100, 100));
  ASSERT_TRUE(compositor.SendPointerMotion(first, 150, 200));
  EXPECT_TRUE(StillRunningAfter(1000));
  ASSERT_TRUE(compositor.SendButton(1 - first));
  EXPECT_TRUE(EndsWithZero()) << program.Status() << "\n" << program.Errors();
  ExpectSaved();
  ExpectWellFormedCommits();
  ExpectNoConnectionErrors();
}

// A fractional scale (which sway 1.7 does not offer) is drawn at the
// output's device pixels too: a buffer of the mode's size, shown at the
// configured size through the viewport.
TEST_F(WaylandFake, FractionalScaleDrawsAtDevicePixels) {
  TFakeCompositor& compositor = Serve({}, {TFakeOutputMode{"FAKE-1", 1920, 1080, 2, 180}});
  TProgram& program = Start({"/s"});
  ASSERT_TRUE(Draws(0)) << program.Errors();
  compositor.Dispatch(500);
  const TLayerRecord& layer = compositor.Layers()[0];
  EXPECT_EQ(layer.ConfiguredWidth, 1280u);
  EXPECT_EQ(layer.ConfiguredHeight, 720u);
  EXPECT_EQ(layer.BufferWidth, 1920);
  EXPECT_EQ(layer.BufferHeight, 1080);
  EXPECT_EQ(layer.BufferScale, 1);
  EXPECT_EQ(layer.ViewportWidth, 1280);
  EXPECT_EQ(layer.ViewportHeight, 720);
  program.Signal(SIGTERM);
  EXPECT_TRUE(EndsWithZero()) << program.Status() << "\n" << program.Errors();
  ExpectWellFormedCommits();
  ExpectNoConnectionErrors();
}

// An output's scale that changes while the show runs: the next frames are
// drawn at the new device pixels, by the integer scale or, where the
// compositor offers it, the fractional one through the viewport.
TEST_F(WaylandFake, ScaleChangedWhileRunningKeepsDevicePixels) {
  for (bool fractional : {false, true}) {
    SCOPED_TRACE(fractional ? "fractional scale" : "integer scale");
    TFakeOptions options;
    options.FractionalScale = fractional;
    TFakeCompositor& compositor = Serve(options, {TFakeOutputMode{"FAKE-1", 1280, 960, 1}});
    TProgram& program = Start({"/s"});
    ASSERT_TRUE(Draws(0)) << program.Errors();
    const TLayerRecord& layer = compositor.Layers()[0];
    EXPECT_EQ(layer.BufferWidth, 1280);
    compositor.SetOutputScale(0, 2);
    EXPECT_TRUE(Within(5000,
                       [&] {
                         return layer.ConfiguredWidth == 640 && layer.BufferWidth == 1280 &&
                                layer.BufferHeight == 960 &&
                                (fractional
                                     ? layer.ViewportWidth == 640 && layer.ViewportHeight == 480
                                     : layer.BufferScale == 2);
                       }))
        << "buffer " << layer.BufferWidth << "x" << layer.BufferHeight << " scale "
        << layer.BufferScale << " viewport " << layer.ViewportWidth << "x" << layer.ViewportHeight;
    const int64_t before = layer.BufferCommits;
    EXPECT_TRUE(Within(3000, [&] { return layer.BufferCommits > before + 10; }));
    ASSERT_TRUE(compositor.SendKey(0));
    EXPECT_TRUE(EndsWithZero()) << program.Status() << "\n" << program.Errors();
    ExpectWellFormedCommits();
    ExpectNoConnectionErrors();
  }
}

// Compositors differ in when they give a buffer back: at once, once read
// (a copying compositor), or only after the next two are shown. The saver
// draws only into buffers it has back, and catches each up with what changed
// while it was away.
TEST_F(WaylandFake, BuffersComeBackEarlyOrLateAndNothingIsStale) {
  for (int held : {0, 2}) {
    SCOPED_TRACE("buffers held: " + std::to_string(held));
    TFakeOptions options;
    options.HeldBuffers = held;
    TFakeCompositor& compositor = Serve(options);
    TProgram& program = Start({"/s"});
    ASSERT_TRUE(Draws(0)) << program.Errors();
    EXPECT_TRUE(Within(5000, [&] { return compositor.BufferCommits() > 60; }))
        << compositor.BufferCommits() << " commits\n"
        << program.Errors();
    EXPECT_LE(compositor.Layers()[0].Buffers.size(), 3u);
    ASSERT_TRUE(compositor.SendKey(0));
    EXPECT_TRUE(EndsWithZero()) << program.Status() << "\n" << program.Errors();
    ExpectWellFormedCommits();
    ExpectNoConnectionErrors();
  }
}

// What a lock screen's nested compositor offers: no seat, no fractional
// scale, and the output to draw on named in the environment; at the least
// not even xdg-output or a viewporter, and the name comes from wl_output.
TEST_F(WaylandFake, HostModeDrawsWithoutASeatOnTheOutputItIsGiven) {
  for (bool least : {false, true}) {
    SCOPED_TRACE(least ? "wl_compositor, wl_shm and layer-shell only" : "with xdg-output");
    TFakeOptions options;
    options.Seat = false;
    options.FractionalScale = false;
    options.XdgOutput = options.Viewporter = !least;
    TFakeCompositor& compositor =
        Serve(options, {TFakeOutputMode{"FAKE-1"}, TFakeOutputMode{"FAKE-2", 800, 600, 1}});
    TProgram& program = Start({"--layer"}, {{"SWAYLOCK_PLUGIN_OUTPUT_NAME", "FAKE-2"}});
    ASSERT_TRUE(Draws(0)) << program.Errors();
    compositor.Dispatch(1000);
    ASSERT_EQ(compositor.Layers().size(), 1u);
    EXPECT_EQ(compositor.Layers()[0].Output, 1);
    EXPECT_EQ(compositor.Layers()[0].BufferWidth, 800);
    program.Signal(SIGTERM);
    EXPECT_TRUE(EndsWithZero()) << program.Status() << "\n" << program.Errors();
    ExpectSaved();
    ExpectWellFormedCommits();
    ExpectNoConnectionErrors();
    fs::remove(FDir / "ZELMoonGlow3xx.ini");
  }
}

TEST_F(WaylandFake, HostModeTakesNoInputAndEndsWhenItsSurfacesClose) {
  TFakeCompositor& compositor = Serve({}, {TFakeOutputMode{"FAKE-1"}, TFakeOutputMode{"FAKE-2"}});
  TProgram& program = Start({"--layer"});
  ASSERT_TRUE(Draws(0) && Draws(1)) << program.Errors();
  compositor.SendKey(0);
  compositor.SendButton(1);
  compositor.SendPointerMotion(0, 10, 10);
  compositor.SendPointerMotion(0, 600, 450);
  EXPECT_TRUE(StillRunningAfter(1500)) << program.Status() << "\n" << program.Errors();
  compositor.CloseLayerSurfaces(0);
  EXPECT_TRUE(StillRunningAfter(1000)) << program.Status() << "\n" << program.Errors();
  compositor.CloseLayerSurfaces(1);
  EXPECT_TRUE(EndsWithZero()) << program.Status() << "\n" << program.Errors();
  ExpectSaved();
  ExpectNoConnectionErrors();
}

// A lock screen runs one host copy per output, side by side; the saver
// itself runs once.
TEST_F(WaylandFake, HostCopiesRunSideBySideAndTheSaverRunsOnce) {
  TFakeOptions options;
  options.Seat = false;
  TFakeCompositor& compositor =
      Serve(options, {TFakeOutputMode{"FAKE-1"}, TFakeOutputMode{"FAKE-2"}});
  TProgram& first = Start({"--layer"}, {{"SWAYLOCK_PLUGIN_OUTPUT_NAME", "FAKE-1"}});
  TProgram second(compositor, FDir, {"--layer"}, {{"SWAYLOCK_PLUGIN_OUTPUT_NAME", "FAKE-2"}}, -1,
                  "stderr-2.txt");
  ASSERT_TRUE(Draws(0) && Draws(1)) << first.Errors() << second.Errors();
  std::set<int> outputs;
  for (const TLayerRecord& layer : compositor.Layers()) outputs.insert(layer.Output);
  EXPECT_EQ(outputs, (std::set<int>{0, 1}));
  first.Signal(SIGTERM);
  second.Signal(SIGTERM);
  EXPECT_TRUE(EndsWithZero()) << first.Status() << "\n" << first.Errors();
  EXPECT_TRUE(Within(5000, [&] { return !second.Running(); }) && second.ExitedWithZero())
      << second.Status() << "\n"
      << second.Errors();
  ExpectSaved();

  TProgram& saver = Start({"/s"});
  ASSERT_TRUE(Within(10000, [&] { return compositor.Layers().size() >= 4; })) << saver.Errors();
  TProgram again(compositor, FDir, {"/s"}, {}, -1, "stderr-2.txt");
  EXPECT_TRUE(Within(5000, [&] { return !again.Running(); }));
  EXPECT_EQ(again.Status(), "exit 255") << again.Errors();
  EXPECT_EQ(compositor.Layers().size(), 4u);
  EXPECT_TRUE(saver.Running());
}

TEST_F(WaylandFake, WithheldFrameCallbacksStopTheCommits) {
  TFakeCompositor& compositor = Serve();
  TProgram& program = Start({"/s"});
  ASSERT_TRUE(Within(10000, [&] { return compositor.BufferCommits() > 20; })) << program.Errors();
  compositor.WithholdFrameCallbacks(true);
  // A frame already answered may still come.
  compositor.Dispatch(300);
  const int64_t parked = compositor.BufferCommits();
  compositor.Dispatch(2000);
  EXPECT_EQ(compositor.BufferCommits(), parked);
  EXPECT_TRUE(program.Running());
  // Seen again, it draws again.
  compositor.WithholdFrameCallbacks(false);
  EXPECT_TRUE(Within(3000, [&] { return compositor.BufferCommits() > parked + 10; }));
  ASSERT_TRUE(compositor.SendKey(0));
  EXPECT_TRUE(EndsWithZero()) << program.Status() << "\n" << program.Errors();
  ExpectWellFormedCommits();
  ExpectNoConnectionErrors();
}

TEST_F(WaylandFake, OutputsComeAndGoEachWithItsShow) {
  TFakeCompositor& compositor = Serve({}, {TFakeOutputMode{"FAKE-1"}, TFakeOutputMode{"FAKE-2"}});
  TProgram& program = Start({"/s"});
  ASSERT_TRUE(Draws(0) && Draws(1)) << program.Errors();
  // An output added while it runs gets a surface and a show.
  const int third = compositor.AddOutput(TFakeOutputMode{"FAKE-3", 800, 600, 1});
  ASSERT_TRUE(Draws(2)) << program.Errors();
  ASSERT_EQ(compositor.Layers()[2].Output, third);

  const auto on = [&](int output) -> const TLayerRecord& {
    for (const TLayerRecord& layer : compositor.Layers())
      if (layer.Output == output) return layer;
    throw std::runtime_error("no layer surface on output " + std::to_string(output));
  };
  // The first output goes without a word to its surface; the second stays
  // but its surface is closed. Both shows end; the third goes on.
  compositor.RemoveOutput(0, false);
  compositor.CloseLayerSurfaces(1);
  EXPECT_TRUE(Within(3000, [&] { return on(0).Destroyed && on(1).Destroyed; })) << program.Errors();
  const int64_t gone = on(0).BufferCommits + on(1).BufferCommits;
  const int64_t third0 = on(third).BufferCommits;
  compositor.Dispatch(1000);
  EXPECT_EQ(on(0).BufferCommits + on(1).BufferCommits, gone);
  EXPECT_GT(on(third).BufferCommits, third0);
  EXPECT_TRUE(program.Running());
  // A closed surface means its output is gone for the saver: no new one.
  EXPECT_EQ(compositor.Layers().size(), 3u);

  compositor.RemoveOutput(third, true);
  EXPECT_TRUE(EndsWithZero()) << program.Status() << "\n" << program.Errors();
  ExpectSaved();
  ExpectWellFormedCommits();
  ExpectNoConnectionErrors();
}

TEST_F(WaylandFake, CompositorGoneEndsTheRunInOrder) {
  for (const char* mode : {"/s", "--layer"}) {
    SCOPED_TRACE(mode);
    TFakeCompositor& compositor = Serve();
    TProgram& program = Start({mode});
    ASSERT_TRUE(Draws(0)) << program.Errors();
    compositor.DisconnectClients();
    EXPECT_TRUE(EndsWithZero()) << program.Status() << "\n" << program.Errors();
    ExpectSaved();
    fs::remove(FDir / "ZELMoonGlow3xx.ini");
  }
}

TEST_F(WaylandFake, DamageFitsTheConnectionWhenTheCompositorIsSlowToRead) {
  // A full-HD output, a client socket with a small kernel send buffer, and a
  // compositor that stops reading after each configure: the first frame at
  // a size changes every row, and piles up unread.
  TFakeCompositor& compositor = Serve({}, {TFakeOutputMode{"FAKE-1", 1920, 1080, 1}});
  compositor.StallOnNextConfigure(1500);
  TProgram& program = Start({"/s"}, {}, compositor.ClientSocket(4096));
  ASSERT_TRUE(Draws(0, 15000)) << program.Status() << "\n" << program.Errors();
  // It draws over the socket it was given, not over one of its own.
  EXPECT_EQ(compositor.Clients(), 1);
  compositor.Dispatch(2000);
  ASSERT_TRUE(program.Running()) << program.Status() << "\n" << program.Errors();

  compositor.StallOnNextConfigure(1500);
  compositor.Reconfigure(0, 1600, 900);
  EXPECT_TRUE(Within(8000, [&] { return compositor.Layers()[0].BufferWidth == 1600; }))
      << program.Status() << "\n"
      << program.Errors();
  compositor.Dispatch(2000);
  EXPECT_TRUE(program.Running()) << program.Status() << "\n" << program.Errors();
  const TLayerRecord& layer = compositor.Layers()[0];
  RecordProperty("MaxDamagePerCommit", layer.MaxDamagePerCommit);
  RecordProperty("DamagePerCommit",
                 std::to_string(double(layer.DamageRequests) / std::max(1, layer.BufferCommits)));
  ASSERT_TRUE(compositor.SendKey(0));
  EXPECT_TRUE(EndsWithZero()) << program.Status() << "\n" << program.Errors();
  ExpectSaved();
  ExpectWellFormedCommits();
  ExpectNoConnectionErrors();
}

}  // namespace
