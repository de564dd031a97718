#include "app/Main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "settings/IniFile.h"
#include "show/FireThread.h"
#include "tests/FileText.h"

namespace moonglow {
namespace {

namespace fs = std::filesystem;
using TLog = std::vector<std::string>;

class TFakePasswordCheck final : public IPasswordCheck {
 public:
  TFakePasswordCheck(TLog& log, bool answer, std::function<void()> whileOpen)
      : Log(log), Answer(answer), WhileOpen(std::move(whileOpen)) {}
  ~TFakePasswordCheck() override { Log.push_back("unload-password"); }
  bool Verify(TWindowHandle owner) override {
    Log.push_back("verify " + std::to_string(owner));
    // What the prompt's own message loop delivers meanwhile.
    if (WhileOpen) WhileOpen();
    return Answer;
  }
  TLog& Log;
  bool Answer;
  std::function<void()> WhileOpen;
};

class TFakePlatform final : public IPlatform {
 public:
  explicit TFakePlatform(TLog& log) : Log(log) {}
  TLockResult AcquireInstanceLock() override { return TLockResult::Acquired; }
  void ReleaseInstanceLock() override {}
  bool IsNT() override { return NT; }
  bool ScreenSaveUsePassword() override { return UsePassword; }
  std::unique_ptr<IPasswordCheck> OpenPasswordCheck() override {
    if (!HasPasswordService) return nullptr;
    const bool answer = Answers.empty() ? true : Answers.front();
    if (!Answers.empty()) Answers.erase(Answers.begin());
    return std::make_unique<TFakePasswordCheck>(Log, answer, WhilePromptOpen);
  }
  void SetScreenSaverRunning(bool running) override {
    Log.push_back(running ? "notice-on" : "notice-off");
  }
  void CloseImeStatusWindow(TWindowHandle) override { Log.push_back("close-ime"); }
  void ChangePassword(TWindowHandle) override {}
  TWindowHandle ForegroundWindow() override { return 0; }

  TLog& Log;
  bool NT = true;
  bool UsePassword = false;
  bool HasPasswordService = true;
  std::vector<bool> Answers;  // the password check's answers, in turn
  std::function<void()> WhilePromptOpen;
};

class TFakeHost final : public IMainFormHost {
 public:
  explicit TFakeHost(TLog& log) : Log(log) {}
  TWindowHandle Handle() override { return 77; }
  void SetPosition(std::int32_t left, std::int32_t top) override { Position = {left, top}; }
  void SetSize(std::int32_t width, std::int32_t height) override {
    Width = width;
    Height = height;
  }
  std::int32_t ClientWidth() override { return Width; }
  std::int32_t ClientHeight() override { return Height; }
  std::int32_t ScreenWidth() override { return 1024; }
  std::int32_t ScreenHeight() override { return 768; }
  std::optional<TRect> WindowRect(TWindowHandle window) override {
    if (window != ParentId || !ParentExists) return std::nullopt;
    return ParentRect;
  }
  TPoint CursorPos() override { return Cursor; }
  void ShowCursor(bool show) override {
    Log.push_back(show ? "cursor-show" : "cursor-hide");
    CursorCount += show ? 1 : -1;
  }
  // As the toolkit does: ask the form, then close when it agrees.
  void Close() override {
    ++CloseRequests;
    if (Form && Form->FormCloseQuery()) Closed = true;
  }
  void ShowError(const std::string& message) override {
    Log.push_back("error: " + message);
    if (WhileErrorShown) WhileErrorShown();
  }

  TLog& Log;
  TMainForm* Form = nullptr;
  TPoint Position{-1, -1};
  std::int32_t Width = 483, Height = 540;
  TPoint Cursor{500, 400};
  int CursorCount = 0;  // shown minus hidden, as the system counts
  TWindowHandle ParentId = 3000;
  TRect ParentRect{100, 50, 252, 162};
  bool ParentExists = true;
  int CloseRequests = 0;
  bool Closed = false;
  std::function<void()> WhileErrorShown;  // what the box's own loop delivers
};

class TFakeShowThread final : public IShowThread {
 public:
  explicit TFakeShowThread(TLog& log) : Log(log) {}
  void Resume() override { Log.push_back("resume"); }
  void Suspend() override { Log.push_back("suspend"); }
  void Terminate() override { Log.push_back("terminate"); }
  void WaitFor() override { Log.push_back("join"); }
  TLog& Log;
};

struct MainForm : ::testing::Test {
  // The form goes before its folder.
  void TearDown() override { Form.reset(); }

  fs::path IniPath() const { return Dir / SettingsFileName; }

  TMainForm& Make(TRunMode mode, TWindowHandle parent = 0,
                  TWindowOwner owner = TWindowOwner::RunMode) {
    Form = std::make_unique<TMainForm>(
        mode, parent, Platform, Host, IniPath().string(),
        [this](TShowEnv& env) -> std::unique_ptr<IShowThread> {
          ++ThreadsMade;
          if (ThreadFails) throw std::runtime_error("no thread");
          Env = &env;
          Log.push_back("thread");
          return std::make_unique<TFakeShowThread>(Log);
        },
        owner);
    Host.Form = Form.get();
    return *Form;
  }

  // Created, painted once and with the log cleared: a running saver.
  TMainForm& Running(TRunMode mode, TWindowHandle parent = 0,
                     TWindowOwner owner = TWindowOwner::RunMode) {
    TMainForm& form = Make(mode, parent, owner);
    form.FormCreate();
    form.FormPaint();
    Log.clear();
    return form;
  }

  TScratchDir Scratch{"moonglow-mainform-"};
  fs::path Dir = Scratch.Path();
  TLog Log;
  TFakePlatform Platform{Log};
  TFakeHost Host{Log};
  std::unique_ptr<TMainForm> Form;
  int ThreadsMade = 0;
  bool ThreadFails = false;
  TShowEnv* Env = nullptr;
};

// ---- Sizing by run mode

TEST_F(MainForm, SaverCoversTheScreenAndHidesTheCursor) {
  TMainForm& form = Make(Saver);
  EXPECT_TRUE(form.FormCreate());
  EXPECT_EQ(Host.Position, (TPoint{0, 0}));
  EXPECT_EQ(Host.Width, 1024);
  EXPECT_EQ(Host.Height, 768);
  EXPECT_EQ(form.CursorStart(), (TPoint{500, 400}));
  EXPECT_EQ(Host.CursorCount, -1);
  EXPECT_EQ(Log, (TLog{"cursor-hide"}));  // the NT family gets no notice
}

TEST_F(MainForm, SaverOnThe95PlatformSendsTheRunningNoticeAndWithdrawsIt) {
  Platform.NT = false;
  TMainForm& form = Make(Saver);
  form.FormCreate();
  EXPECT_EQ(Log, (TLog{"cursor-hide", "notice-on"}));
  Log.clear();
  form.FormDestroy();
  EXPECT_EQ(Log, (TLog{"notice-off"}));
}

TEST_F(MainForm, DebugKeepsItsSizeAndCursor) {
  TMainForm& form = Make(Debug);
  EXPECT_TRUE(form.FormCreate());
  EXPECT_EQ(Host.Position, (TPoint{0, 0}));
  EXPECT_EQ(Host.Width, 483);
  EXPECT_EQ(Host.Height, 540);
  EXPECT_EQ(form.CursorStart(), (TPoint{0, 0}));
  EXPECT_TRUE(Log.empty());
}

TEST_F(MainForm, PreviewTakesItsParentsSizeOrEndsWithoutIt) {
  TMainForm& form = Make(Preview, 3000);
  EXPECT_TRUE(form.FormCreate());
  EXPECT_EQ(Host.Width, 152);
  EXPECT_EQ(Host.Height, 112);
  EXPECT_EQ(Host.CursorCount, 0);

  Host.ParentExists = false;
  EXPECT_FALSE(Make(Preview, 3000).FormCreate());
}

// ---- When input closes the window

TEST_F(MainForm, MovementBeyond200PixelsCloses) {
  TMainForm& form = Running(Saver);  // started at (500, 400)
  for (TPoint p : {TPoint{700, 400}, TPoint{300, 400}, TPoint{500, 600}, TPoint{500, 200},
                   TPoint{700, 600}, TPoint{300, 200}}) {
    form.FormMouseMove(p.X, p.Y);
  }
  EXPECT_EQ(Host.CloseRequests, 0);
  form.FormMouseMove(701, 400);
  EXPECT_EQ(Host.CloseRequests, 1);
  for (TPoint p : {TPoint{299, 400}, TPoint{500, 601}, TPoint{500, 199}}) {
    TMainForm& again = Running(Saver);
    Host.CloseRequests = 0;
    again.FormMouseMove(p.X, p.Y);
    EXPECT_EQ(Host.CloseRequests, 1) << p.X << "," << p.Y;
  }
}

TEST_F(MainForm, DebugMeasuresFromTheTopLeftCorner) {
  TMainForm& form = Running(Debug);
  form.FormMouseMove(200, 200);
  EXPECT_EQ(Host.CloseRequests, 0);
  form.FormMouseMove(0, 201);
  EXPECT_EQ(Host.CloseRequests, 1);
}

TEST_F(MainForm, KeysAndButtonsCloseSaverAndDebugOnly) {
  for (TRunMode mode : {Saver, Debug}) {
    Host.CloseRequests = 0;
    Running(mode).FormKeyDown();
    Running(mode).FormMouseDown();
    EXPECT_EQ(Host.CloseRequests, 2) << RunModeName(mode);
  }
  Host.CloseRequests = 0;
  TMainForm& preview = Running(Preview, 3000);
  preview.FormKeyDown();
  preview.FormMouseDown();
  preview.FormMouseMove(10000, 10000);
  EXPECT_EQ(Host.CloseRequests, 0);
}

TEST_F(MainForm, InputBeforeTheFirstPaintIsIgnored) {
  TMainForm& form = Make(Saver);
  form.FormCreate();
  form.FormKeyDown();
  form.FormMouseDown();
  form.FormMouseMove(-5000, 5000);
  EXPECT_EQ(Host.CloseRequests, 0);
}

// ---- The first paint

TEST_F(MainForm, FirstPaintStartsTheShowOnce) {
  const auto before = static_cast<std::uint32_t>(std::time(nullptr));
  TMainForm& form = Make(Debug);
  const auto after = static_cast<std::uint32_t>(std::time(nullptr));
  form.FormCreate();
  EXPECT_FALSE(form.ShowStarted());
  EXPECT_EQ(form.Settings(), nullptr);

  form.FormPaint();
  EXPECT_TRUE(form.ShowStarted());
  EXPECT_EQ(Log, (TLog{"thread", "resume"}));
  ASSERT_NE(form.Settings(), nullptr);
  EXPECT_EQ(form.Settings()->FireCount, 5);  // read from the (missing) file: its default
  ASSERT_NE(form.Canvas(), nullptr);
  EXPECT_EQ(form.Canvas()->Width(), 483);
  EXPECT_EQ(form.Canvas()->Height(), 540);
  ASSERT_NE(Env, nullptr);
  EXPECT_EQ(&Env->Canvas, form.Canvas());
  EXPECT_EQ(&Env->Settings, form.Settings());
  EXPECT_FALSE(Env->IsPreview);  // Debug draws at full size
  EXPECT_GE(Env->SeedCounter, before);
  EXPECT_LE(Env->SeedCounter, after);

  TMyIniFile* settings = form.Settings();
  form.FormPaint();
  form.FormPaint();
  EXPECT_EQ(ThreadsMade, 1);
  EXPECT_EQ(form.Settings(), settings);
  EXPECT_EQ(Log.size(), 2u);
}

// ---- The close query

TEST_F(MainForm, NTClosesWithoutAPasswordCheck) {
  Platform.UsePassword = true;
  TMainForm& form = Running(Saver);
  EXPECT_TRUE(form.FormCloseQuery());
  EXPECT_EQ(Log, (TLog{"suspend", "terminate", "cursor-show"}));
  EXPECT_EQ(Host.CursorCount, 0);
}

TEST_F(MainForm, The95PlatformAsksForThePasswordUntilItIsRight) {
  Platform.NT = false;
  Platform.UsePassword = true;
  Platform.Answers = {false, true};
  TMainForm& form = Running(Saver);
  Host.Cursor = {900, 10};

  form.FormKeyDown();
  EXPECT_FALSE(Host.Closed);
  EXPECT_EQ(Log, (TLog{"suspend", "cursor-show", "verify 77", "cursor-hide", "close-ime",
                       "unload-password", "resume"}));
  EXPECT_EQ(form.CursorStart(), (TPoint{900, 10}));
  EXPECT_EQ(Host.CursorCount, -1);

  // The threshold now counts from where the refusal left the cursor.
  form.FormMouseMove(700, 210);
  EXPECT_EQ(Host.CloseRequests, 1);
  Log.clear();
  form.FormMouseMove(699, 10);
  EXPECT_TRUE(Host.Closed);
  EXPECT_EQ(Log, (TLog{"suspend", "cursor-show", "verify 77", "unload-password", "terminate",
                       "cursor-show"}));
  EXPECT_EQ(Host.CursorCount, 1);
}

TEST_F(MainForm, NoPasswordSettingOrServiceMeansNoCheck) {
  Platform.NT = false;
  Platform.Answers = {false};
  TMainForm& unset = Running(Saver);
  EXPECT_TRUE(unset.FormCloseQuery());
  EXPECT_EQ(Log, (TLog{"suspend", "terminate", "cursor-show"}));

  Platform.UsePassword = true;
  Platform.HasPasswordService = false;
  TMainForm& missing = Running(Debug);
  EXPECT_TRUE(missing.FormCloseQuery());
  EXPECT_EQ(Log, (TLog{"suspend", "terminate", "cursor-show"}));
}

TEST_F(MainForm, CloseBeforeTheFirstPaintFindsNoThread) {
  Platform.NT = false;
  Platform.UsePassword = true;
  Platform.Answers = {false};
  TMainForm& form = Make(Saver);
  form.FormCreate();
  Log.clear();
  EXPECT_FALSE(form.FormCloseQuery());
  EXPECT_EQ(Log, (TLog{"cursor-show", "verify 77", "cursor-hide", "close-ime", "unload-password"}));
}

TEST_F(MainForm, PreviewClosesWithoutTouchingTheShow) {
  Platform.NT = false;
  Platform.UsePassword = true;
  Platform.Answers = {false};
  TMainForm& form = Running(Preview, 3000);
  EXPECT_TRUE(form.FormCloseQuery());
  EXPECT_TRUE(Log.empty());
}

TEST_F(MainForm, CloseAskedForDuringThePasswordPromptIsRefused) {
  Platform.NT = false;
  Platform.UsePassword = true;
  Platform.Answers = {false, true};
  TMainForm& form = Running(Saver);
  // Typing the password reaches the window too, and so does a close from
  // outside: neither may start a second query under the first.
  Platform.WhilePromptOpen = [&] {
    form.FormKeyDown();
    EXPECT_FALSE(form.FormCloseQuery());
  };
  form.FormKeyDown();
  EXPECT_FALSE(Host.Closed);
  EXPECT_EQ(Host.CloseRequests, 2);
  EXPECT_EQ(Log, (TLog{"suspend", "cursor-show", "verify 77", "cursor-hide", "close-ime",
                       "unload-password", "resume"}));

  // The refusal did not stick: the next close asks again and is allowed.
  Platform.WhilePromptOpen = nullptr;
  Log.clear();
  form.FormKeyDown();
  EXPECT_TRUE(Host.Closed);
  EXPECT_EQ(Log, (TLog{"suspend", "cursor-show", "verify 77", "unload-password", "terminate",
                       "cursor-show"}));
}

TEST_F(MainForm, AllowedCloseIsAllowedAgainWithoutDoingAnythingTwice) {
  TMainForm& form = Running(Saver);
  EXPECT_TRUE(form.FormCloseQuery());
  Log.clear();
  EXPECT_TRUE(form.FormCloseQuery());
  form.FormKeyDown();
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(Host.CursorCount, 0);
}

// ---- A failed handler

TEST_F(MainForm, FailedHandlerIsShownOnceAndEndsTheRunInOrder) {
  TMainForm& form = Running(Saver);
  form.Guard([] { throw std::runtime_error("disk on fire"); });
  EXPECT_TRUE(Host.Closed);
  EXPECT_TRUE(form.Failed());
  EXPECT_EQ(Log, (TLog{"error: disk on fire", "suspend", "terminate", "cursor-show"}));

  // Whatever fails afterwards is not shown again, and input does nothing.
  Log.clear();
  form.Guard([] { throw 42; });
  form.Guard([&] { form.FormKeyDown(); });
  form.Guard([&] { form.FormMouseMove(-5000, -5000); });
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(Host.CloseRequests, 1);

  form.FormDestroy();
  EXPECT_EQ(Log, (TLog{"join"}));
  EXPECT_NE(Slurp(IniPath()).find("FirstRun=0"), std::string::npos);
}

TEST_F(MainForm, FailedHandlerEndsWithoutAskingForThePassword) {
  Platform.NT = false;
  Platform.UsePassword = true;
  Platform.Answers = {false};
  TMainForm& form = Running(Saver);
  form.Guard([] { throw std::runtime_error("lost"); });
  EXPECT_TRUE(Host.Closed);
  EXPECT_EQ(Log, (TLog{"error: lost", "suspend", "terminate", "cursor-show"}));
}

TEST_F(MainForm, FailingPasswordCheckEndsTheRun) {
  Platform.NT = false;
  Platform.UsePassword = true;
  Platform.WhilePromptOpen = [] { throw std::runtime_error("no password service"); };
  TMainForm& form = Running(Saver);
  form.Guard([&] { form.FormKeyDown(); });
  EXPECT_TRUE(Host.Closed);
  // Asked once; the close after the failure asks no more.
  EXPECT_EQ(Log, (TLog{"suspend", "cursor-show", "verify 77", "unload-password",
                       "error: no password service", "suspend", "terminate", "cursor-show"}));
}

TEST_F(MainForm, HandlerFailingWhileThePromptIsOpenEndsTheRunWhenItCloses) {
  Platform.NT = false;
  Platform.UsePassword = true;
  Platform.Answers = {false};
  TMainForm& form = Running(Saver);
  Platform.WhilePromptOpen = [&] { form.Guard([] { throw std::runtime_error("paint"); }); };
  form.FormKeyDown();
  // The failure's own close came while the prompt was open and was refused;
  // the prompt's refusal then counts for nothing.
  EXPECT_TRUE(Host.Closed);
  EXPECT_EQ(Host.CloseRequests, 2);
  EXPECT_EQ(Log, (TLog{"suspend", "cursor-show", "verify 77", "error: paint", "cursor-hide",
                       "close-ime", "unload-password", "terminate", "cursor-show"}));
}

TEST_F(MainForm, CloseWhileTheErrorIsShownWaitsForTheBox) {
  TMainForm& form = Running(Debug);
  Host.WhileErrorShown = [&] {
    form.Guard([&] { form.FormKeyDown(); });
    EXPECT_FALSE(form.FormCloseQuery());
    EXPECT_FALSE(Host.Closed);
  };
  form.Guard([] { throw std::runtime_error("x"); });
  EXPECT_TRUE(Host.Closed);
  EXPECT_EQ(Log, (TLog{"error: x", "suspend", "terminate", "cursor-show"}));
}

TEST_F(MainForm, FailedFirstPaintIsShownOnceAndEndsTheRun) {
  ThreadFails = true;
  TMainForm& form = Make(Saver);
  form.FormCreate();
  Log.clear();
  // Showing the box paints the window again: that must not try once more.
  Host.WhileErrorShown = [&] { form.Guard([&] { form.FormPaint(); }); };
  form.Guard([&] { form.FormPaint(); });
  form.Guard([&] { form.FormPaint(); });
  EXPECT_EQ(ThreadsMade, 1);
  EXPECT_EQ(Log, (TLog{"error: no thread", "cursor-show"}));
  EXPECT_TRUE(Host.Closed);
  EXPECT_FALSE(form.ShowStarted());
  EXPECT_EQ(form.Canvas(), nullptr);
  // Nothing of the show was kept, so nothing is written.
  form.FormDestroy();
  EXPECT_FALSE(fs::exists(IniPath()));
}

TEST_F(MainForm, FailedPreviewClosesAndStopsTheShowOnlyAtTheEnd) {
  TMainForm& form = Running(Preview, 3000);
  form.Guard([] { throw std::runtime_error("gone"); });
  EXPECT_TRUE(Host.Closed);
  EXPECT_EQ(Log, (TLog{"error: gone"}));
  Log.clear();
  form.FormDestroy();
  EXPECT_EQ(Log, (TLog{"suspend", "terminate", "join"}));
}

// ---- The end of the run

TEST_F(MainForm, EveryModeStopsTheShowBeforeSavingTheSettings) {
  for (TRunMode mode : {Preview, Debug, Saver}) {
    TMainForm& form = Running(mode, 3000);
    form.FormDestroy();
    EXPECT_EQ(Log, (TLog{"suspend", "terminate", "join"})) << RunModeName(mode);
    EXPECT_EQ(form.Settings(), nullptr);
    EXPECT_TRUE(fs::exists(IniPath()));
    Log.clear();
    form.FormDestroy();  // a second destroy does nothing
    EXPECT_TRUE(Log.empty());
  }
}

TEST_F(MainForm, AfterAnAllowedCloseTheShowIsOnlyJoined) {
  TMainForm& form = Running(Saver);
  form.FormKeyDown();
  ASSERT_TRUE(Host.Closed);
  Log.clear();
  form.FormDestroy();
  EXPECT_EQ(Log, (TLog{"join"}));
}

TEST_F(MainForm, OnlyTheFullScreenShowEndsTheFirstRun) {
  Running(Debug).FormDestroy();
  EXPECT_EQ(Slurp(IniPath()).find("FirstRun"), std::string::npos);
  Running(Preview, 3000).FormDestroy();
  EXPECT_EQ(Slurp(IniPath()).find("FirstRun"), std::string::npos);
  Running(Saver).FormDestroy();
  EXPECT_NE(Slurp(IniPath()).find("FirstRun=0"), std::string::npos);
}

TEST_F(MainForm, RefusedWriteIsReportedAfterTheShowHasStopped) {
  Platform.NT = false;
  TMainForm& form = Running(Saver);
  fs::permissions(Dir, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_THROW(form.FormDestroy(), EIniFileError);
  EXPECT_EQ(Log, (TLog{"suspend", "terminate", "join", "notice-off"}));
  EXPECT_EQ(form.Settings(), nullptr);
}

TEST_F(MainForm, PreviewWhoseParentWentClosesItself) {
  TMainForm& form = Running(Preview, 3000);
  form.CheckParent();
  EXPECT_EQ(Host.CloseRequests, 0);
  Host.ParentExists = false;
  form.CheckParent();
  EXPECT_TRUE(Host.Closed);

  Host.CloseRequests = 0;
  Running(Debug).CheckParent();
  EXPECT_EQ(Host.CloseRequests, 0);
}

// ---- An end request from outside

TEST_F(MainForm, EndRequestClosesWhereInputWouldNotAndSavesByMode) {
  // Before the first paint there is nothing to stop and nothing to save.
  TMainForm& early = Make(Saver);
  early.FormCreate();
  early.EndOnRequest();
  EXPECT_TRUE(Host.Closed);
  early.FormDestroy();
  EXPECT_FALSE(fs::exists(IniPath()));

  // A preview, which no input closes, closes without touching the show.
  Host.Closed = false;
  TMainForm& preview = Running(Preview, 3000);
  preview.EndOnRequest();
  EXPECT_TRUE(Host.Closed);
  EXPECT_TRUE(Log.empty());
  preview.FormDestroy();
  EXPECT_EQ(Slurp(IniPath()).find("FirstRun"), std::string::npos);
  Host.CloseRequests = 0;
  preview.EndOnRequest();  // destroyed: asks nothing more
  EXPECT_EQ(Host.CloseRequests, 0);

  // The full-screen saver ends as a key ends it, first run included.
  Host.Closed = false;
  TMainForm& saver = Running(Saver);
  saver.EndOnRequest();
  EXPECT_TRUE(Host.Closed);
  EXPECT_EQ(Log, (TLog{"suspend", "terminate", "cursor-show"}));
  saver.FormDestroy();
  EXPECT_NE(Slurp(IniPath()).find("FirstRun=0"), std::string::npos);
}

TEST_F(MainForm, EndRequestStillAsksForThePasswordWhereThePlatformDoes) {
  Platform.NT = false;
  Platform.UsePassword = true;
  Platform.Answers = {false};
  TMainForm& form = Running(Saver);
  form.EndOnRequest();
  EXPECT_FALSE(Host.Closed);
  EXPECT_EQ(Log.back(), "resume");
}

// ---- In a saver host's window

struct HostedForm : MainForm {
  TMainForm& Hosted() { return Running(Saver, 3000, TWindowOwner::SaverHost); }
};

TEST_F(HostedForm, TakesTheHostWindowsSizeAndLeavesCursorAndSystemAlone) {
  Platform.NT = false;  // no running notice either: the host tells the system
  TMainForm& form = Make(Saver, 3000, TWindowOwner::SaverHost);
  EXPECT_TRUE(form.FormCreate());
  EXPECT_EQ(Host.Position, (TPoint{0, 0}));
  EXPECT_EQ(Host.Width, 152);
  EXPECT_EQ(Host.Height, 112);
  form.FormActivate();
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(form.ParentCheckInterval(), TMainForm::ParentCheckMilliseconds);

  Host.ParentExists = false;
  EXPECT_FALSE(Make(Saver, 3000, TWindowOwner::SaverHost).FormCreate());
}

TEST_F(HostedForm, TakesNoInputAndEndsOnlyWhenAskedSavingAsTheFullScreenShow) {
  Platform.NT = false;
  Platform.UsePassword = true;  // the host locks the screen, not the saver
  TMainForm& form = Hosted();
  form.FormKeyDown();
  form.FormMouseDown();
  form.FormMouseMove(5000, 5000);
  EXPECT_EQ(Host.CloseRequests, 0);
  form.EndOnRequest();
  EXPECT_TRUE(Host.Closed);
  EXPECT_TRUE(Log.empty());  // no prompt, no cursor; the show stops as the window goes
  form.FormDestroy();
  EXPECT_EQ(Log, (TLog{"suspend", "terminate", "join"}));
  EXPECT_NE(Slurp(IniPath()).find("FirstRun=0"), std::string::npos);
}

TEST_F(HostedForm, SmallWindowGetsThePreviewsScalingLargeOneTheFullShow) {
  Hosted();  // 152 x 112: a settings page's preview
  EXPECT_TRUE(Env->IsPreview);
  for (const TRect r : {TRect{0, 0, 399, 768}, TRect{0, 0, 1024, 299}}) {
    Host.ParentRect = r;
    Hosted();
    EXPECT_TRUE(Env->IsPreview);
  }
  Host.ParentRect = {0, 0, 400, 300};
  Hosted();
  EXPECT_FALSE(Env->IsPreview);
}

TEST_F(HostedForm, FollowsTheHostWindowsSizeByStartingTheShowAgain) {
  TMainForm& form = Hosted();
  form.CheckParent();  // same size: nothing happens
  EXPECT_TRUE(Log.empty());
  const TMyIniFile* settings = form.Settings();
  Env->SeedCounter = 1234;

  Host.ParentRect = {0, 0, 1280, 1024};
  form.CheckParent();
  EXPECT_EQ(Log, (TLog{"suspend", "terminate", "join", "thread", "resume"}));
  EXPECT_EQ(Host.Width, 1280);
  ASSERT_NE(form.Canvas(), nullptr);
  EXPECT_EQ(form.Canvas()->Width(), 1280);
  EXPECT_EQ(form.Canvas()->Height(), 1024);
  EXPECT_FALSE(Env->IsPreview);  // grown past the preview's size
  EXPECT_EQ(Env->SeedCounter, 1234u);
  EXPECT_EQ(form.Settings(), settings);  // read once, written once

  // Once the window closes no show starts again; the host window's going
  // closes it as well.
  Log.clear();
  form.EndOnRequest();
  Host.ParentRect = {0, 0, 800, 600};
  form.CheckParent();
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "thread"), 0);
  Host.Closed = false;
  Host.ParentExists = false;
  TMainForm& other = Hosted();
  other.CheckParent();
  EXPECT_TRUE(Host.Closed);
}

TEST_F(HostedForm, ResizeBeforeTheFirstPaintOnlySizesTheWindow) {
  TMainForm& form = Make(Saver, 3000, TWindowOwner::SaverHost);
  form.FormCreate();
  Host.ParentRect = {0, 0, 640, 480};
  form.CheckParent();
  EXPECT_TRUE(Log.empty());
  form.FormPaint();
  EXPECT_EQ(form.Canvas()->Width(), 640);
  EXPECT_FALSE(Env->IsPreview);
}

TEST_F(HostedForm, CopiesEndingTogetherLeaveOneWholeFile) {
  // One copy per monitor, all stopped by the host at the same moment.
  for (int round = 0; round < 20; ++round) {
    constexpr int Copies = 4;
    std::vector<TLog> logs(Copies);  // each copy logs alone: no shared log between threads
    std::vector<std::unique_ptr<TFakeHost>> hosts;
    std::vector<std::unique_ptr<TMainForm>> copies;
    for (TLog& log : logs) {
      hosts.push_back(std::make_unique<TFakeHost>(log));
      copies.push_back(std::make_unique<TMainForm>(
          Saver, 3000, Platform, *hosts.back(), IniPath().string(),
          [&log](TShowEnv&) -> std::unique_ptr<IShowThread> {
            return std::make_unique<TFakeShowThread>(log);
          },
          TWindowOwner::SaverHost));
      copies.back()->FormCreate();
      copies.back()->FormPaint();
    }
    std::vector<std::thread> ends;
    for (auto& copy : copies) ends.emplace_back([&copy] { copy->FormDestroy(); });
    for (std::thread& end : ends) end.join();
    const std::string text = Slurp(IniPath());
    EXPECT_NE(text.find("FirstRun=0"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '='), 46) << text;
    std::size_t leftovers = 0;
    for (const auto& entry : fs::directory_iterator(Dir)) leftovers += entry.path() != IniPath();
    EXPECT_EQ(leftovers, 0u);
  }
}

// ---- The message filter

TEST(MainFormFilter, DropsOnlyTheExactCloseAndScreenSaveCommands) {
  EXPECT_TRUE(DropsSystemCommand(274, 61536));  // WM_SYSCOMMAND, SC_CLOSE
  EXPECT_TRUE(DropsSystemCommand(274, 61760));  // WM_SYSCOMMAND, SC_SCREENSAVE
  EXPECT_FALSE(DropsSystemCommand(274, 61537));
  EXPECT_FALSE(DropsSystemCommand(274, 61775));
  EXPECT_FALSE(DropsSystemCommand(274, 61728));  // SC_MINIMIZE
  EXPECT_FALSE(DropsSystemCommand(273, 61536));
}

// ---- With the real show thread

TEST_F(MainForm, RealShowStopsPromptlyInEveryMode) {
  for (TRunMode mode : {Preview, Saver}) {
    Host.SetSize(320, 200);
    auto form = std::make_unique<TMainForm>(mode, 3000, Platform, Host, IniPath().string(),
                                            FireThreadFactory(DefaultPixelRate()));
    Host.Form = form.get();
    form->FormCreate();
    Host.SetSize(320, 200);
    form->FormPaint();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto start = std::chrono::steady_clock::now();
    if (mode == Saver) {
      EXPECT_TRUE(form->FormCloseQuery());
    }
    form->FormDestroy();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    Host.Form = nullptr;
  }
  EXPECT_NE(Slurp(IniPath()).find("FirstRun=0"), std::string::npos);
}

TEST_F(MainForm, RealShowStartsAgainAtANewHostWindowSize) {
  Host.ParentRect = {0, 0, 320, 240};
  auto form =
      std::make_unique<TMainForm>(Saver, 3000, Platform, Host, IniPath().string(),
                                  FireThreadFactory(DefaultPixelRate()), TWindowOwner::SaverHost);
  Host.Form = form.get();
  ASSERT_TRUE(form->FormCreate());
  form->FormPaint();
  for (const TRect r : {TRect{0, 0, 640, 480}, TRect{0, 0, 200, 100}}) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Host.ParentRect = r;
    form->CheckParent();
    ASSERT_NE(form->Canvas(), nullptr);
    EXPECT_EQ(form->Canvas()->Width(), r.Right);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // The show at the last size draws: the restarted thread runs.
  const std::uint64_t writes = [&] {
    const std::lock_guard lock(form->Canvas()->Mutex());
    return form->Canvas()->Writes();
  }();
  EXPECT_GT(writes, 0u);
  form->EndOnRequest();
  form->FormDestroy();
  Host.Form = nullptr;
  EXPECT_NE(Slurp(IniPath()).find("FirstRun=0"), std::string::npos);
}

}  // namespace
}  // namespace moonglow
