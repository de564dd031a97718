#include "app/Entry.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

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
};

struct EntryRun : ::testing::Test {
  int Run(std::vector<std::string> rest) {
    rest.insert(rest.begin(), "moonglow");
    return RunEntry(rest, Platform, Toolkit);
  }
  TLog Log;
  TFakePlatform Platform{Log};
  TFakeToolkit Toolkit{Log};
};

const std::string Title = std::string("title ") + ApplicationTitle;

TEST_F(EntryRun, SaverAndDebugSetTheTitleThenReleaseBeforeTheWindowsGo) {
  EXPECT_EQ(Run({"/s"}), 0);
  EXPECT_EQ(Log,
            (TLog{"lock", "init Saver", Title, "saver Saver 0", "loop", "release", "destroy"}));
  Log.clear();
  EXPECT_EQ(Run({"-d"}), 0);
  EXPECT_EQ(Log,
            (TLog{"lock", "init Debug", Title, "saver Debug 0", "loop", "release", "destroy"}));
}

TEST_F(EntryRun, PreviewShowsItsParentAndKeepsTheDefaultTitle) {
  EXPECT_EQ(Run({"/p", "1234"}), 0);
  EXPECT_EQ(Log, (TLog{"lock", "init Preview", "show-parent 1234", "saver Preview 1234", "loop",
                       "release", "destroy"}));
}

TEST_F(EntryRun, ConfigureOpensTheDialog) {
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(Log, (TLog{"lock", "init Configure", "dialog", "loop", "release", "destroy"}));
}

TEST_F(EntryRun, ChangePasswordIsOwnedByTheGivenOrTheForegroundWindow) {
  EXPECT_EQ(Run({"/a"}), 0);
  EXPECT_EQ(Log, (TLog{"lock", "init ChangePassword", "change-password 4242", "loop", "release",
                       "destroy"}));
  Log.clear();
  EXPECT_EQ(Run({"/a", "5678"}), 0);
  EXPECT_EQ(Log[2], "change-password 5678");
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

}  // namespace
}  // namespace moonglow
