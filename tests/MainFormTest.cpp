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

#include "app/SaverGroup.h"
#include "settings/IniFile.h"
#include "show/FireThread.h"
#include "tests/FileText.h"
#include "tests/MainFormFakes.h"

namespace moonglow {
namespace {

namespace fs = std::filesystem;
using namespace testing;

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

TEST_F(MainForm, SaverCoversTheScreenHidesTheCursorAndTellsTheSystem) {
  Platform.NT = false;
  TMainForm& form = Make(Saver);
  EXPECT_TRUE(form.FormCreate());
  EXPECT_EQ(Host.Position, (TPoint{0, 0}));
  EXPECT_EQ(Host.Width, 1024);
  EXPECT_EQ(Host.Height, 768);
  EXPECT_EQ(form.CursorStart(), (TPoint{500, 400}));
  EXPECT_EQ(Host.CursorCount, -1);
  EXPECT_EQ(Log, (TLog{"cursor-hide", "notice-on"}));
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

TEST_F(MainForm, RefusedCloseLetsTheShowGoOnAndALaterOneEndsIt) {
  Platform.AskForPassword({false, true});
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

TEST_F(MainForm, CloseBeforeTheFirstPaintFindsNoThread) {
  Platform.AskForPassword({false});
  TMainForm& form = Make(Saver);
  form.FormCreate();
  Log.clear();
  EXPECT_FALSE(form.FormCloseQuery());
  EXPECT_EQ(Log, (TLog{"cursor-show", "verify 77", "cursor-hide", "close-ime", "unload-password"}));
}

TEST_F(MainForm, PreviewClosesWithoutTouchingTheShow) {
  Platform.AskForPassword({false});
  TMainForm& form = Running(Preview, 3000);
  EXPECT_TRUE(form.FormCloseQuery());
  EXPECT_TRUE(Log.empty());
}

TEST_F(MainForm, CloseAskedForDuringThePasswordPromptIsRefused) {
  Platform.AskForPassword({false, true});
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
  Platform.AskForPassword({false});
  TMainForm& form = Running(Saver);
  form.Guard([] { throw std::runtime_error("lost"); });
  EXPECT_TRUE(Host.Closed);
  EXPECT_EQ(Log, (TLog{"error: lost", "suspend", "terminate", "cursor-show"}));
}

TEST_F(MainForm, FailingPasswordCheckEndsTheRun) {
  Platform.AskForPassword();
  Platform.WhilePromptOpen = [] { throw std::runtime_error("no password service"); };
  TMainForm& form = Running(Saver);
  form.Guard([&] { form.FormKeyDown(); });
  EXPECT_TRUE(Host.Closed);
  // Asked once; the close after the failure asks no more, and the show held
  // for the prompt is not suspended twice.
  EXPECT_EQ(Log, (TLog{"suspend", "cursor-show", "verify 77", "unload-password",
                       "error: no password service", "terminate", "cursor-show"}));
}

TEST_F(MainForm, HandlerFailingWhileThePromptIsOpenEndsTheRunWhenItCloses) {
  Platform.AskForPassword({false});
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
  Platform.AskForPassword({false});
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
  Platform.AskForPassword();  // the host locks the screen, not the saver
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
                                            FireThreadFactory(DefaultPixelRate({})));
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
                                  FireThreadFactory(DefaultPixelRate({})), TWindowOwner::SaverHost);
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

// ---- Idle when unseen

TEST_F(MainForm, UnseenOrDarkShowParksAndGoesOnOnlyWhenSeenWithTheDisplayOn) {
  TMainForm& form = Running(Saver);
  EXPECT_FALSE(form.Parked());
  form.FormVisibility(false);
  form.FormVisibility(false);  // told twice, parked once
  EXPECT_TRUE(form.Parked());
  EXPECT_FALSE(Host.Presenting);
  form.DisplayPower(false);
  form.FormVisibility(true);  // seen again, but the display is off
  EXPECT_TRUE(form.Parked());
  form.DisplayPower(true);
  EXPECT_FALSE(form.Parked());
  EXPECT_TRUE(Host.Presenting);
  EXPECT_EQ(Log, (TLog{"suspend", "resume"}));
  // Parked again, the close does not wait for a show that is parked already.
  form.DisplayPower(false);
  Log.clear();
  form.FormKeyDown();
  EXPECT_TRUE(Host.Closed);
  EXPECT_EQ(Log, (TLog{"terminate", "cursor-show"}));
  // Seen after the close: the ended show stays ended.
  form.DisplayPower(true);
  form.FormDestroy();
  EXPECT_EQ(Log, (TLog{"terminate", "cursor-show", "join"}));
}

TEST_F(MainForm, ShowStartedWhileUnseenWaitsAndARefusedCloseKeepsItParked) {
  Platform.AskForPassword({false});
  TMainForm& form = Make(Saver);
  form.FormCreate();
  form.FormVisibility(false);
  Log.clear();
  form.FormPaint();
  EXPECT_EQ(Log, (TLog{"thread"}));  // made, not resumed
  Log.clear();
  form.FormKeyDown();
  EXPECT_FALSE(Host.Closed);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "resume"), 0);
  EXPECT_TRUE(form.Parked());
  form.FormVisibility(true);
  EXPECT_FALSE(form.Parked());
}

TEST_F(MainForm, HiddenPreviewParentOrHostWindowParksTheShow) {
  for (const TWindowOwner owner : {TWindowOwner::RunMode, TWindowOwner::SaverHost}) {
    Host.ParentShown = true;
    TMainForm& form = Running(owner == TWindowOwner::RunMode ? Preview : Saver, 3000, owner);
    Host.ParentShown = false;
    form.CheckParent();
    form.CheckParent();
    EXPECT_TRUE(form.Parked());
    Host.ParentShown = true;
    form.CheckParent();
    EXPECT_FALSE(form.Parked());
    EXPECT_EQ(Log, (TLog{"suspend", "resume"}));
  }
}

TEST_F(MainForm, HostWindowResizedWhileHiddenStartsTheNewShowParked) {
  TMainForm& form = Running(Saver, 3000, TWindowOwner::SaverHost);
  Host.ParentShown = false;
  Host.ParentRect = {0, 0, 640, 480};
  form.CheckParent();
  EXPECT_EQ(Log, (TLog{"suspend", "terminate", "join", "thread"}));
  EXPECT_TRUE(form.Parked());
}

// ---- HiDPI

TEST_F(MainForm, CanvasHasDevicePixelsAndThePreviewRuleGoesByTheWindowsOwnSize) {
  Host.Scale = 2;
  Host.ParentRect = {0, 0, 320, 240};  // a thumbnail, 640x480 device pixels
  Running(Saver, 3000, TWindowOwner::SaverHost);
  ASSERT_NE(Env, nullptr);
  EXPECT_EQ(Env->Canvas.Width(), 640);
  EXPECT_EQ(Env->Canvas.Height(), 480);
  EXPECT_TRUE(Env->IsPreview);
}

// ---- Every monitor

struct SaverGroup : MainForm {
  struct TMonitor {
    explicit TMonitor(TLog& log) : Host(log) {}
    TFakeHost Host;
    std::unique_ptr<TMainForm> Form;
    TShowEnv* Env = nullptr;
  };

  // Left, primary (the origin), right and higher: negative coordinates too.
  const std::vector<TRect> Monitors{
      {-1280, -200, 0, 824}, {0, 0, 1920, 1080}, {1920, 0, 2560, 480}};

  void MakeAll(std::uint32_t seedCounter) {
    Group = std::make_unique<TSaverGroup>(Monitors, PrimaryMonitor(Monitors), seedCounter);
    for (std::size_t i = 0; i < Monitors.size(); ++i) {
      auto& m = *Screens.emplace_back(std::make_unique<TMonitor>(Log));
      m.Host.Cursor = StartCursor;
      m.Form =
          std::make_unique<TMainForm>(Saver, 0, Platform, m.Host, IniPath().string(),
                                      [this, &m, i](TShowEnv& env) -> std::unique_ptr<IShowThread> {
                                        m.Env = &env;
                                        Log.push_back("thread " + std::to_string(i));
                                        return std::make_unique<TFakeShowThread>(Log);
                                      });
      m.Host.Form = m.Form.get();
      m.Form->JoinGroup(*Group, i);
      ASSERT_TRUE(m.Form->FormCreate());
    }
    for (auto& m : Screens) m->Form->FormPaint();
    Log.clear();
  }
  void TearDown() override {
    Screens.clear();
    MainForm::TearDown();
  }

  TPoint StartCursor{500, 400};
  std::unique_ptr<TSaverGroup> Group;
  std::vector<std::unique_ptr<TMonitor>> Screens;
};

TEST_F(SaverGroup, EachMonitorGetsItsRectangleAndSeedThePrimaryTheSingleMonitorShow) {
  // The single-monitor run on the primary monitor's size, for comparison.
  Host.Width = 1920, Host.Height = 1080;
  TMainForm& single = Make(Saver);
  single.FormPaint();
  const std::uint32_t seed = single.SeedCounter();
  MakeAll(seed);
  ASSERT_EQ(Group->Primary(), 1u);
  for (std::size_t i = 0; i < Monitors.size(); ++i) {
    const TRect& r = Monitors[i];
    EXPECT_EQ(Screens[i]->Host.Position, (TPoint{r.Left, r.Top}));
    EXPECT_EQ(Screens[i]->Host.Width, r.Right - r.Left);
    EXPECT_EQ(Screens[i]->Host.Height, r.Bottom - r.Top);
    EXPECT_EQ(Screens[i]->Form->Primary(), i == 1);
  }
  // What the show's trace follows from: size, preview rule, seed counter.
  const TShowEnv& primary = *Screens[1]->Env;
  EXPECT_EQ(primary.SeedCounter, Env->SeedCounter);
  EXPECT_EQ(primary.Canvas.Width(), Env->Canvas.Width());
  EXPECT_EQ(primary.Canvas.Height(), Env->Canvas.Height());
  EXPECT_EQ(primary.IsPreview, Env->IsPreview);
  EXPECT_EQ(Screens[2]->Env->SeedCounter, seed + TSaverGroup::SeedStep);
  EXPECT_EQ(Screens[0]->Env->SeedCounter, seed + 2 * TSaverGroup::SeedStep);
}

TEST_F(SaverGroup, PrimaryIsTheMonitorAtTheOriginElseTheFirst) {
  EXPECT_EQ(PrimaryMonitor({{-1920, 0, 0, 1080}, {0, 0, 1024, 768}}), 1u);
  EXPECT_EQ(PrimaryMonitor({{10, 10, 20, 20}, {30, 0, 40, 10}}), 0u);
  EXPECT_EQ(PrimaryMonitor({}), 0u);
  EXPECT_THROW(TSaverGroup({}, 0, 1), std::out_of_range);
}

TEST_F(SaverGroup, InputOnAnyMonitorClosesAllAndOnlyThePrimaryWrites) {
  for (std::size_t on = 0; on < 3; ++on) {
    SCOPED_TRACE(on);
    fs::remove(IniPath());
    Screens.clear();
    MakeAll(7);
    Screens[on]->Form->FormKeyDown();
    // The primary's window decides: it alone is asked to close.
    EXPECT_EQ(Screens[1]->Host.CloseRequests, 1);
    EXPECT_TRUE(Screens[1]->Host.Closed);
    for (auto& m : Screens) EXPECT_EQ(m->Host.CursorCount, 0);
    EXPECT_EQ(std::count(Log.begin(), Log.end(), "terminate"), 3);
    // A later close of another window is allowed at once.
    EXPECT_TRUE(Screens[(on + 1) % 3]->Form->FormCloseQuery());
    Screens[0]->Form->FormDestroy();
    Screens[2]->Form->FormDestroy();
    EXPECT_FALSE(fs::exists(IniPath()));
    Screens[1]->Form->FormDestroy();
    EXPECT_TRUE(fs::exists(IniPath()));
  }
}

TEST_F(SaverGroup, MoveRuleMeasuresInScreenCoordinatesOnEveryMonitor) {
  StartCursor = {-100, 300};
  MakeAll(7);
  // On the left monitor, client (1180, 500) is the screen's (-100, 300): the
  // cursor has not moved at all.
  Screens[0]->Form->FormMouseMove(1180, 500);
  Screens[0]->Form->FormMouseMove(1380, 700);
  EXPECT_FALSE(Screens[1]->Host.Closed);
  // On the primary, (101, 300) is 201 pixels to the right of the start.
  Screens[1]->Form->FormMouseMove(101, 300);
  EXPECT_TRUE(Screens[1]->Host.Closed);
}

// A display plugged in while the saver runs (Wayland's outputs come and go):
// its window joins the group with a seed no other monitor has, even one whose
// window has gone, and closes with the rest.
TEST_F(SaverGroup, MonitorAddedWhileRunningGetsItsOwnSeedAndClosesWithTheRest) {
  MakeAll(7);
  std::vector<std::uint32_t> seeds;
  for (auto& m : Screens) seeds.push_back(m->Env->SeedCounter);
  for (int added = 0; added < 2; ++added) {
    const std::size_t index = Group->AddMonitor({2560, 0, 3360, 600});
    EXPECT_EQ(index, Monitors.size() + static_cast<std::size_t>(added));
    auto& m = *Screens.emplace_back(std::make_unique<TMonitor>(Log));
    m.Form = std::make_unique<TMainForm>(Saver, 0, Platform, m.Host, IniPath().string(),
                                         [&m](TShowEnv& env) -> std::unique_ptr<IShowThread> {
                                           m.Env = &env;
                                           return std::make_unique<TFakeShowThread>(m.Host.Log);
                                         });
    m.Host.Form = m.Form.get();
    m.Form->JoinGroup(*Group, index);
    ASSERT_TRUE(m.Form->FormCreate());
    m.Form->FormPaint();
    EXPECT_EQ(m.Host.Width, 800);
    EXPECT_FALSE(m.Form->Primary());
    ASSERT_NE(m.Env, nullptr);
    EXPECT_EQ(std::count(seeds.begin(), seeds.end(), m.Env->SeedCounter), 0);
    seeds.push_back(m.Env->SeedCounter);
    // The first added one goes again before the second comes.
    if (added == 0) {
      m.Form->FormDestroy();
      Screens.pop_back();
    }
  }
  Log.clear();
  Screens.back()->Form->FormKeyDown();
  EXPECT_TRUE(Screens[1]->Host.Closed);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "terminate"), 4);
  for (std::size_t i = 0; i < Screens.size(); ++i) {
    if (i != 1) Screens[i]->Form->FormDestroy();
  }
  EXPECT_FALSE(fs::exists(IniPath()));
  Screens[1]->Form->FormDestroy();
  EXPECT_TRUE(fs::exists(IniPath()));
}

// The screen's device pixels change under a running saver (an output's
// scale): the show starts again at the new canvas size, seeds going on.
TEST_F(MainForm, ResizedStartsTheShowAgainAtTheNewCanvasSize) {
  Host.Width = 640, Host.Height = 480;
  TMainForm& form = Make(Saver);
  form.Resized();  // before the first paint: nothing to restart
  EXPECT_EQ(form.Canvas(), nullptr);
  form.FormPaint();
  Env->SeedCounter = 99;
  Log.clear();
  Host.Scale = 2;
  form.Resized();
  EXPECT_EQ(Log, (TLog{"suspend", "terminate", "join", "thread", "resume"}));
  ASSERT_NE(form.Canvas(), nullptr);
  EXPECT_EQ(form.Canvas()->Width(), 1280);
  EXPECT_EQ(form.Canvas()->Height(), 960);
  EXPECT_EQ(Env->SeedCounter, 99u);
  // Closing: none starts again.
  form.FormKeyDown();
  Log.clear();
  form.Resized();
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "thread"), 0);
}

TEST_F(SaverGroup, PasswordPromptHoldsEveryShowAndARefusalLetsThemGo) {
  Platform.AskForPassword({false});
  MakeAll(7);
  Screens[2]->Form->FormMouseDown();
  EXPECT_FALSE(Screens[1]->Host.Closed);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "verify 77"), 1);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "suspend"), 3);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "resume"), 3);
  for (auto& m : Screens) EXPECT_FALSE(m->Form->Parked());
}

TEST_F(SaverGroup, FailureOnAnotherMonitorEndsAllWithoutAPasswordCheck) {
  Platform.AskForPassword();
  MakeAll(7);
  TMainForm& left = *Screens[0]->Form;
  left.Guard([] { throw std::runtime_error("boom"); });
  EXPECT_TRUE(Screens[1]->Host.Closed);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "verify 77"), 0);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "error: boom"), 1);
  for (auto& m : Screens) m->Form->FormDestroy();
  // The notice was sent and withdrawn once, by the primary.
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "notice-off"), 1);
}

}  // namespace
}  // namespace moonglow
