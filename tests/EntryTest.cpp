#include "app/Entry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/FileText.h"

namespace moonglow {
namespace {

// Both fakes write into one log, so the order of the whole run can be checked.
using TLog = std::vector<std::string>;

class TFakePlatform final : public IPlatform {
 public:
  explicit TFakePlatform(TLog& log) : Log(log) {}
  TLockResult AcquireInstanceLock() override {
    Log.push_back("lock");
    return Lock;
  }
  void ReleaseInstanceLock() override { Log.push_back("release"); }
  bool IsNT() override { return true; }
  bool ScreenSaveUsePassword() override { return false; }
  std::unique_ptr<IPasswordCheck> OpenPasswordCheck() override { return nullptr; }
  void SetScreenSaverRunning(bool) override {}
  void CloseImeStatusWindow(TWindowHandle) override {}
  void ChangePassword(TWindowHandle owner) override {
    Log.push_back("change-password " + std::to_string(owner));
  }
  TWindowHandle ForegroundWindow() override { return 4242; }

  TLog& Log;
  TLockResult Lock = TLockResult::Acquired;
};

class TFakeToolkit final : public IToolkit {
 public:
  explicit TFakeToolkit(TLog& log) : Log(log) {}
  bool Initialize(TRunMode mode) override {
    Log.push_back(std::string("init ") + RunModeName(mode));
    return CanStart;
  }
  void SetTitle(const std::string& title) override { Log.push_back("title " + title); }
  void ShowPreviewParent(TWindowHandle parent) override {
    Log.push_back("show-parent " + std::to_string(parent));
  }
  void CreateSaverWindow(TRunMode mode, TWindowHandle parent) override {
    if (FailCreate) throw std::runtime_error("no window");
    Log.push_back(std::string("saver ") + RunModeName(mode) + " " + std::to_string(parent));
  }
  bool CreateHostedWindow(const THostWindow& window) override {
    Log.push_back(window.RootWindow ? "hosted root" : "hosted " + std::to_string(window.Window));
    return HostWindowExists;
  }
  bool HostsSavers() const override { return LinuxHosts; }
  void UsePixelRate(std::uint64_t rate) override { Log.push_back("rate " + std::to_string(rate)); }
  void CreateOptionsDialog() override { Log.push_back("dialog"); }
  void RunMessageLoop() override { Log.push_back("loop"); }
  void DestroyWindows() override {
    Log.push_back("destroy");
    if (FailDestroy) throw std::runtime_error("cannot write");
  }
  void ShowException(const std::string& message) override { Log.push_back("error " + message); }
  bool EndRequested() override { return EndAsked; }

  TLog& Log;
  bool CanStart = true;
  bool EndAsked = false;
  bool FailCreate = false;
  bool FailDestroy = false;
  bool HostWindowExists = true;
  bool LinuxHosts = true;
};

struct EntryRun : ::testing::Test {
  int Run(std::vector<std::string> rest) {
    rest.insert(rest.begin(), "moonglow");
    Out.str("");
    Err.str("");
    TProcessIo io;
    io.Environment = [this](std::string_view name) -> std::optional<std::string> {
      const auto it = Environment.find(std::string(name));
      if (it == Environment.end()) return std::nullopt;
      return it->second;
    };
    io.Out = &Out;
    io.Err = &Err;
    return RunEntry(rest, Platform, Toolkit, io);
  }
  std::map<std::string, std::string> Environment;
  std::ostringstream Out, Err;
  TLog Log;
  TFakePlatform Platform{Log};
  TFakeToolkit Toolkit{Log};
};

const std::string Title = std::string("title ") + ApplicationTitle;

// Each run mode's window, the saver's and debug's under the title; the lock
// is released before the windows go.
TEST_F(EntryRun, EachModeOpensItsWindowThenReleasesBeforeTheWindowsGo) {
  const std::vector<std::pair<std::vector<std::string>, TLog>> runs{
      {{"/s"}, {"init Saver", Title, "saver Saver 0"}},
      {{"-d"}, {"init Debug", Title, "saver Debug 0"}},
      {{"/p", "1234"}, {"init Preview", "show-parent 1234", "saver Preview 1234"}},
      {{}, {"init Configure", "dialog"}},
      // The change-password dialog's owner: the given window, or the foreground one.
      {{"/a"}, {"init ChangePassword", "change-password 4242"}},
      {{"/a", "5678"}, {"init ChangePassword", "change-password 5678"}},
  };
  for (const auto& [args, steps] : runs) {
    SCOPED_TRACE(::testing::PrintToString(args));
    Log.clear();
    EXPECT_EQ(Run(args), 0);
    TLog expected{"lock"};
    expected.insert(expected.end(), steps.begin(), steps.end());
    expected.insert(expected.end(), {"loop", "release", "destroy"});
    EXPECT_EQ(Log, expected);
  }
}

TEST_F(EntryRun, SecondCopyEndsAtOnceWithoutParsing) {
  Platform.Lock = IPlatform::TLockResult::HeldElsewhere;
  EXPECT_EQ(Run({"/s"}), -1);
  EXPECT_EQ(Log, (TLog{"lock"}));
  Log.clear();
  EXPECT_EQ(Run({"/x"}), -1);
  EXPECT_EQ(Log, (TLog{"lock"}));
}

TEST_F(EntryRun, MalformedSwitchEndsWithoutAnyWindow) {
  for (auto args : {std::vector<std::string>{"/x"}, {"/"}, {"-"}, {"/p"}, {"/p", "1", "2"}}) {
    Log.clear();
    EXPECT_EQ(Run(args), -1);
    EXPECT_EQ(Log, (TLog{"lock"}));
  }
}

TEST_F(EntryRun, MissingLockRunsWithoutTheGuard) {
  Platform.Lock = IPlatform::TLockResult::Unavailable;
  EXPECT_EQ(Run({"/s"}), 0);
  EXPECT_EQ(Log.back(), "destroy");
}

TEST_F(EntryRun, FailuresAreShownAndTheRunStillEndsWithZero) {
  Toolkit.FailCreate = true;
  EXPECT_EQ(Run({"/s"}), 0);
  EXPECT_EQ(Log, (TLog{"lock", "init Saver", Title, "error no window", "release", "destroy"}));

  Log.clear();
  Toolkit.FailCreate = false;
  Toolkit.FailDestroy = true;
  EXPECT_EQ(Run({"/d"}), 0);
  EXPECT_EQ(Log.back(), "error cannot write");
}

TEST_F(EntryRun, NoDisplayEndsWithItsOwnCodeAfterTheLock) {
  Toolkit.CanStart = false;
  EXPECT_EQ(Run({"/s"}), ExitNoDisplay);
  EXPECT_NE(ExitNoDisplay, 0);
  EXPECT_EQ(Log, (TLog{"lock", "init Saver", "release", "destroy"}));
}

TEST_F(EntryRun, EndRequestBeforeAnyWindowEndsInOrderWithNothingShown) {
  Toolkit.EndAsked = true;
  for (const char* mode : {"/s", "/p", "/c"}) {
    Log.clear();
    std::vector<std::string> args{mode};
    if (args[0] == "/p") args.push_back("1234");
    EXPECT_EQ(Run(args), 0) << mode;
    ASSERT_EQ(Log.size(), 4u) << mode;
    EXPECT_EQ(Log[0], "lock");
    EXPECT_EQ(Log[2], "release");
    EXPECT_EQ(Log[3], "destroy");
  }
}

// ---- The Linux saver hosts' additions

TEST_F(EntryRun, UnusableOptionIsToldInOneLineBeforeAnythingElse) {
  Platform.Lock = IPlatform::TLockResult::HeldElsewhere;
  for (auto args : {std::vector<std::string>{"--window-id", "0x"},
                    {"--pixel-rate", "0"},
                    {"--root", "/s"},
                    {"--add-to-xscreensaver", "/s"}}) {
    Log.clear();
    EXPECT_EQ(Run(args), ExitInvalidOption) << args[0];
    EXPECT_TRUE(Log.empty()) << args[0];
    const std::string err = Err.str();
    EXPECT_TRUE(err.starts_with("moonglow: ")) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
  Environment["XSCREENSAVER_WINDOW"] = "nonsense";
  EXPECT_EQ(Run({"-root"}), ExitInvalidOption);
  EXPECT_NE(Err.str().find("XSCREENSAVER_WINDOW"), std::string::npos);
}

TEST_F(EntryRun, HostRunTakesNoLockSoEveryMonitorGetsItsCopy) {
  Platform.Lock = IPlatform::TLockResult::HeldElsewhere;
  Environment["XSCREENSAVER_WINDOW"] = "0x400007";
  EXPECT_EQ(Run({"--root"}), 0);
  EXPECT_EQ(Log, (TLog{"init Saver", "hosted 4194311", "loop", "destroy"}));

  Log.clear();
  Environment["XSCREENSAVER_WINDOW"] = "4194312";  // as xsecurelock writes it
  EXPECT_EQ(Run({"-root"}), 0);
  EXPECT_EQ(Log[1], "hosted 4194312");

  Log.clear();
  EXPECT_EQ(Run({"--root", "--window-id", "77"}), 0);  // a settings page's preview
  EXPECT_EQ(Log[1], "hosted 77");

  Log.clear();
  Environment.clear();
  EXPECT_EQ(Run({"--root"}), 0);
  EXPECT_EQ(Log[1], "hosted root");
  EXPECT_TRUE(Err.str().empty());
}

TEST_F(EntryRun, HostWindowThatDoesNotExistEndsWithOneLineAndOne) {
  Toolkit.HostWindowExists = false;
  EXPECT_EQ(Run({"--window-id", "0x1234"}), ExitInvalidOption);
  EXPECT_EQ(Err.str(), "moonglow: window 0x1234 (4660) does not exist\n");
  EXPECT_EQ(Log, (TLog{"init Saver", "hosted 4660", "destroy"}));
}

TEST_F(EntryRun, HostRunEndsInOrderWithoutDisplayOrOnRequest) {
  Toolkit.CanStart = false;
  EXPECT_EQ(Run({"--root"}), ExitNoDisplay);
  EXPECT_EQ(Log, (TLog{"init Saver", "destroy"}));
  Log.clear();
  Toolkit.CanStart = true;
  Toolkit.EndAsked = true;
  EXPECT_EQ(Run({"--root"}), 0);
  EXPECT_EQ(Log, (TLog{"init Saver", "destroy"}));
}

TEST_F(EntryRun, PixelRateReachesTheShowInEveryModeBeforeItsWindow) {
  EXPECT_EQ(Run({"--pixel-rate", "5000", "/s"}), 0);
  EXPECT_EQ(Log, (TLog{"lock", "init Saver", "rate 5000", Title, "saver Saver 0", "loop", "release",
                       "destroy"}));
  Log.clear();
  EXPECT_EQ(Run({"/p", "12", "--pixel-rate", "7"}), 0);
  EXPECT_EQ(Log[2], "rate 7");
  Log.clear();
  EXPECT_EQ(Run({"-root", "--pixel-rate", "9"}), 0);
  EXPECT_EQ(Log, (TLog{"init Saver", "rate 9", "hosted root", "loop", "destroy"}));
  Log.clear();
  EXPECT_EQ(Run({"/s"}), 0);  // none given: the toolkit keeps its own rate
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "rate 5000"), 0);
}

TEST_F(EntryRun, AddToXscreensaverEditsTheListAndNothingElse) {
  TScratchDir home("moonglow-entry-");
  Spit(home.Path() / ".xscreensaver", "mode: one\nprograms: maze --root \\n\n");
  Environment["HOME"] = home.Path().string();
  Platform.Lock = IPlatform::TLockResult::HeldElsewhere;
  EXPECT_EQ(Run({"--add-to-xscreensaver"}), 0);
  EXPECT_TRUE(Log.empty());
  EXPECT_NE(Slurp(home.Path() / ".xscreensaver").find("moonglow --root"), std::string::npos);
  EXPECT_FALSE(Out.str().empty());
}

TEST_F(EntryRun, WindowsRefusesTheLinuxAdditionsAsMalformedSwitches) {
  Toolkit.LinuxHosts = false;
  for (auto args : {std::vector<std::string>{"--root"},
                    {"-root"},
                    {"--window-id", "0x10"},
                    {"--add-to-xscreensaver"}}) {
    Log.clear();
    EXPECT_EQ(Run(args), ExitRefused) << args[0];
    EXPECT_TRUE(Log.empty()) << args[0];
  }
  EXPECT_EQ(Run({"/s", "--pixel-rate", "100"}), 0);
  EXPECT_EQ(Log[2], "rate 100");
}

}  // namespace
}  // namespace moonglow
