#include "app/Main.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/Present.h"
#include "settings/IniFile.h"
#include "show/FireThread.h"
#include "tests/FileText.h"

namespace moonglow {
namespace {

namespace fs = std::filesystem;
using TLog = std::vector<std::string>;

class TFakePasswordCheck final : public IPasswordCheck {
 public:
  TFakePasswordCheck(TLog& log, bool answer) : Log(log), Answer(answer) {}
  ~TFakePasswordCheck() override { Log.push_back("unload-password"); }
  bool Verify(TWindowHandle owner) override {
    Log.push_back("verify " + std::to_string(owner));
    return Answer;
  }
  TLog& Log;
  bool Answer;
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
    return std::make_unique<TFakePasswordCheck>(Log, answer);
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
    return TRect{100, 50, 252, 162};
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

  TLog& Log;
  TMainForm* Form = nullptr;
  TPoint Position{-1, -1};
  std::int32_t Width = 483, Height = 540;
  TPoint Cursor{500, 400};
  int CursorCount = 0;  // shown minus hidden, as the system counts
  TWindowHandle ParentId = 3000;
  bool ParentExists = true;
  int CloseRequests = 0;
  bool Closed = false;
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

  TMainForm& Make(TRunMode mode, TWindowHandle parent = 0) {
    Form = std::make_unique<TMainForm>(mode, parent, Platform, Host, IniPath().string(),
                                       [this](TShowEnv& env) -> std::unique_ptr<IShowThread> {
                                         ++ThreadsMade;
                                         Env = &env;
                                         Log.push_back("thread");
                                         return std::make_unique<TFakeShowThread>(Log);
                                       });
    Host.Form = Form.get();
    return *Form;
  }

  // Created, painted once and with the log cleared: a running saver.
  TMainForm& Running(TRunMode mode, TWindowHandle parent = 0) {
    TMainForm& form = Make(mode, parent);
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

// ---- The message filter and presenting

TEST(MainFormFilter, DropsOnlyTheExactCloseAndScreenSaveCommands) {
  EXPECT_TRUE(DropsSystemCommand(274, 61536));  // WM_SYSCOMMAND, SC_CLOSE
  EXPECT_TRUE(DropsSystemCommand(274, 61760));  // WM_SYSCOMMAND, SC_SCREENSAVE
  EXPECT_FALSE(DropsSystemCommand(274, 61537));
  EXPECT_FALSE(DropsSystemCommand(274, 61775));
  EXPECT_FALSE(DropsSystemCommand(274, 61728));  // SC_MINIMIZE
  EXPECT_FALSE(DropsSystemCommand(273, 61536));
}

TEST(MainFormPresent, CopiesOnlyWhatChangedSinceTheLastFrame) {
  TCanvas canvas(130, 70);  // tiles of 64: three across, two down
  std::vector<std::uint32_t> frame(130 * 70, 0x12345678u);
  EXPECT_TRUE(TakeFrame(canvas, frame.data(), 130).empty());
  EXPECT_EQ(frame[0], 0x12345678u);

  canvas.SetPixel(129, 69, 0x0000FF);  // red, in the last tile
  canvas.SetPixel(1, 1, 0xFF0000);     // blue, in the first
  const std::vector<TRect> changed = TakeFrame(canvas, frame.data(), 130);
  ASSERT_EQ(changed.size(), 2u);
  EXPECT_EQ(frame[69 * 130 + 129], 0xFFFF0000u);
  EXPECT_EQ(frame[1 * 130 + 1], 0xFF0000FFu);
  EXPECT_EQ(frame[0], 0xFF000000u);             // the rest of the first tile: black
  EXPECT_EQ(frame[0 * 130 + 64], 0x12345678u);  // an untouched tile stays as it was
  EXPECT_EQ(frame[69 * 130 + 63], 0x12345678u);
  EXPECT_TRUE(TakeFrame(canvas, frame.data(), 130).empty());
}

TEST(MainFormPresent, WritesRowsAtTheImageStride) {
  TCanvas canvas(3, 2);
  canvas.SetPixel(2, 1, 0x00FF00);
  std::vector<std::uint32_t> frame(5 * 2, 7u);  // five pixels per row, two of them padding
  TakeFrame(canvas, frame.data(), 5);
  EXPECT_EQ(frame[5 + 2], 0xFF00FF00u);
  EXPECT_EQ(frame[3], 7u);
  EXPECT_EQ(frame[4], 7u);
  EXPECT_EQ(frame[8], 7u);
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

}  // namespace
}  // namespace moonglow
