#include "app/Main.h"

#include <ctime>
#include <exception>
#include <utility>

#include "app/SaverGroup.h"
#include "settings/IniFile.h"
#include "show/Clock.h"
#include "show/FireThread.h"
#include "show/ShowEnv.h"

namespace moonglow {

namespace {

// The show engine's thread with the wall clock it paces itself by.
class TFireThreadAdapter final : public IShowThread {
 public:
  TFireThreadAdapter(TShowEnv& env, std::uint64_t pixelRate) : FThread(env, FClock, pixelRate) {}
  void Resume() override { FThread.Resume(); }
  void Suspend() override { FThread.Suspend(); }
  void Terminate() override { FThread.Terminate(); }
  void WaitFor() override { FThread.WaitFor(); }

 private:
  TSteadyClock FClock;  // before the thread, which uses it until it is joined
  TFireThread FThread;
};

std::int64_t Distance(std::int64_t a, std::int64_t b) {
  const std::int64_t d = a - b;
  return d < 0 ? -d : d;
}

std::int32_t Extent(std::int32_t from, std::int32_t to) {
  const std::int64_t d = static_cast<std::int64_t>(to) - from;
  return d < 0 ? 0 : d > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(d);
}

// Holds a flag set for one scope, however the scope is left; scopes nest (the
// error box may open while the password prompt is open).
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : FFlag(flag), FBefore(std::exchange(flag, true)) {}
  ~TFlagScope() { FFlag = FBefore; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& FFlag;
  const bool FBefore;
};

}  // namespace

bool DropsSystemCommand(std::uint32_t message, std::uint64_t wParam) {
  constexpr std::uint32_t WmSysCommand = 0x0112;
  constexpr std::uint64_t ScClose = 0xF060, ScScreenSave = 0xF140;
  return message == WmSysCommand && (wParam == ScClose || wParam == ScScreenSave);
}

TShowThreadFactory FireThreadFactory(std::uint64_t pixelRate) {
  return [pixelRate](TShowEnv& env) -> std::unique_ptr<IShowThread> {
    return std::make_unique<TFireThreadAdapter>(env, pixelRate);
  };
}

TMainForm::TMainForm(TRunMode runMode, TWindowHandle parentWindow, IPlatform& platform,
                     IMainFormHost& host, std::string settingsPath,
                     TShowThreadFactory newShowThread, TWindowOwner owner)
    : FRunMode(runMode),
      FParentWindow(parentWindow),
      FPlatform(platform),
      FHost(host),
      FSettingsPath(std::move(settingsPath)),
      FNewShowThread(std::move(newShowThread)),
      FOwner(owner),
      // Whole seconds of calendar time; only the low 32 bits matter.
      FSeedCounter(static_cast<std::uint32_t>(std::time(nullptr))) {}

TMainForm::~TMainForm() {
  StopShow();
  if (FGroup) FGroup->Leave(*this);
}

void TMainForm::JoinGroup(TSaverGroup& group, std::size_t monitor) {
  group.Join(*this, monitor);
  FGroup = &group;
  FMonitor = monitor;
  FSeedCounter = group.SeedCounter(monitor);
}

bool TMainForm::Primary() const { return !FGroup || FGroup->Primary() == FMonitor; }

bool TMainForm::TakeParentSize() {
  const std::optional<TRect> parent = FHost.WindowRect(FParentWindow);
  if (!parent) return false;
  FHost.SetSize(Extent(parent->Left, parent->Right), Extent(parent->Top, parent->Bottom));
  return true;
}

bool TMainForm::FormCreate() {
  FPasswords.FindFamily();
  FHost.SetPosition(0, 0);
  // A host's window is the host's business: its cursor stays as the host set
  // it, and the host tells the system whatever it tells.
  if (Hosted()) return TakeParentSize();
  switch (FRunMode) {
    case Saver:
      if (FGroup) {
        const TRect& monitor = FGroup->Monitor(FMonitor);
        FOrigin = {monitor.Left, monitor.Top};
        FHost.SetPosition(monitor.Left, monitor.Top);
        FHost.SetSize(Extent(monitor.Left, monitor.Right), Extent(monitor.Top, monitor.Bottom));
      } else {
        FHost.SetSize(FHost.ScreenWidth(), FHost.ScreenHeight());
      }
      FCursorStart = FHost.CursorPos();
      FHost.ShowCursor(false);
      // The system hears of one saver, however many monitors it covers.
      if (Primary()) FPasswords.SaverRunning(true);
      break;
    case Preview:
      return TakeParentSize();
    default:
      break;
  }
  return true;
}

void TMainForm::FormActivate() {
  if (FRunMode != Preview && !Hosted()) FPlatform.CloseImeStatusWindow(FHost.Handle());
}

void TMainForm::FormPaint() {
  // After a failure nothing starts: the box's own repaints included.
  if (FShowStarted || FDestroyed || FFailed) return;
  auto settings = std::make_unique<TMyIniFile>(FSettingsPath, FPlatform.FileServices());
  settings->ReadSettings();
  // The record is kept only once its show runs: a show that cannot start
  // leaves nothing to write.
  StartShow(*settings, FSeedCounter);
  FSettings = std::move(settings);
  FShowStarted = true;
}

bool TMainForm::ShowsAsPreview(std::int32_t width, std::int32_t height) const {
  // A settings page's preview gives a host window of thumbnail size: the full
  // show's bursts would not fit in it.
  return FRunMode == Preview ||
         (Hosted() && (width < HostPreviewBelowWidth || height < HostPreviewBelowHeight));
}

void TMainForm::StartShow(TMyIniFile& settings, std::uint32_t seedCounter) {
  // The preview rule goes by the window's own size; the canvas has its
  // device pixels.
  const bool asPreview = ShowsAsPreview(FHost.ClientWidth(), FHost.ClientHeight());
  const std::int32_t width = FHost.CanvasWidth(), height = FHost.CanvasHeight();
  auto canvas = std::make_unique<TCanvas>(width, height, FHost.NewPixelMemory(width, height));
  std::unique_ptr<TShowEnv> env(new TShowEnv{.Canvas = *canvas,
                                             .Settings = settings,
                                             .IsPreview = asPreview,
                                             .SeedCounter = seedCounter,
                                             .Random = {},
                                             .Palette = {},
                                             .Trace = nullptr,
                                             .VisitingSlot = 0,
                                             .Frames = FHost.FrameSink()});
  auto thread = FNewShowThread(*env);
  FCanvas = std::move(canvas);
  FEnv = std::move(env);
  FShowThread = std::move(thread);
  FTerminateRequested = false;
  FRunning = false;  // made suspended
  UpdateRunning();
  // Started unseen: nothing to present until it is seen.
  if (!FRunning) FHost.SetPresenting(false);
}

void TMainForm::UpdateRunning() {
  const bool run = FShowThread && !FTerminateRequested && FSeen && FParentShown && FDisplayOn &&
                   !FHeld && !FDestroyed;
  if (!FShowThread || run == FRunning) return;
  FRunning = run;
  if (run) {
    FShowThread->Resume();
  } else {
    FShowThread->Suspend();
  }
  FHost.SetPresenting(run);
}

void TMainForm::FormVisibility(bool seen) {
  FSeen = seen;
  UpdateRunning();
}

void TMainForm::DisplayPower(bool on) {
  FDisplayOn = on;
  UpdateRunning();
}

void TMainForm::Hold(bool hold) {
  FHeld = hold;
  // Refused: the user moved the mouse to type, on whichever monitor.
  if (!hold) FCursorStart = FHost.CursorPos();
  UpdateRunning();
}

void TMainForm::EndForGroup() {
  if (FCloseAllowed || FDestroyed) return;
  if (FShowThread && !FTerminateRequested) {
    if (FRunning) FShowThread->Suspend();
    FShowThread->Terminate();
    FTerminateRequested = true;
    FRunning = false;
  }
  FHost.ShowCursor(true);
  FCloseAllowed = true;
}

void TMainForm::RequestClose() {
  if (FGroup) {
    FGroup->RequestClose(FFailed);
  } else {
    FHost.Close();
  }
}

bool TMainForm::ReactsToInput() const {
  return FShowStarted && !FFailed && !Hosted() && (FRunMode == Saver || FRunMode == Debug);
}

void TMainForm::FormMouseMove(std::int32_t x, std::int32_t y) {
  if (!ReactsToInput()) return;
  // 64-bit sums: client coordinates on a monitor far from the origin.
  const std::int64_t sx = static_cast<std::int64_t>(x) + FOrigin.X;
  const std::int64_t sy = static_cast<std::int64_t>(y) + FOrigin.Y;
  if (Distance(sx, FCursorStart.X) > MoveThreshold ||
      Distance(sy, FCursorStart.Y) > MoveThreshold) {
    RequestClose();
  }
}

void TMainForm::FormMouseDown() {
  if (ReactsToInput()) RequestClose();
}

void TMainForm::FormKeyDown() {
  if (ReactsToInput()) RequestClose();
}

bool TMainForm::FormCloseQuery() {
  if (FPrompting) return false;
  if (FCloseAllowed || FDestroyed) return true;
  if (!Primary()) return FollowPrimaryClose();
  // Only the saver's own full-screen windows stop the show and show the
  // cursor here; the others stop it as they go.
  if ((FRunMode != Saver && FRunMode != Debug) || Hosted()) {
    FCloseAllowed = true;
    return true;
  }
  // A show already told to end is not touched again: it may be gone.
  IShowThread* const thread = FTerminateRequested ? nullptr : FShowThread.get();

  // Stop the shows before anything else happens, so nothing draws under the
  // password dialog and the settings are not read while the window goes.
  HoldShows(true);
  bool permission = true;
  // A failed saver ends without asking: the check may be what failed.
  if (!RunFailed()) {
    const TFlagScope prompting(FPrompting);
    permission = FPasswords.MayClose(FHost, FCursorStart);
  }
  // A handler that failed while the prompt was open has ended the run: its
  // own close was refused only because this one was still undecided.
  if (RunFailed()) permission = true;

  if (permission) {
    AllowClose(thread);
  } else {
    HoldShows(false);
  }
  return permission;
}

bool TMainForm::FollowPrimaryClose() {
  // Another monitor's window closes when the primary's does, never alone.
  if (!FGroup->Closing()) FGroup->RequestClose(FFailed);
  if (!FGroup->Closing()) return false;
  EndForGroup();
  return true;
}

void TMainForm::HoldShows(bool hold) {
  FHeld = hold;
  UpdateRunning();
  if (FGroup) FGroup->HoldOthers(hold);
}

bool TMainForm::RunFailed() const { return FFailed || (FGroup && FGroup->Failed()); }

void TMainForm::AllowClose(IShowThread* thread) {
  if (thread) {
    thread->Terminate();
    FTerminateRequested = true;
    FRunning = false;
  }
  FHost.ShowCursor(true);
  FCloseAllowed = true;
  if (FGroup) FGroup->EndOthers();
}

std::uint32_t TMainForm::StopShow() {
  if (!FShowThread) return FSeedCounter;
  if (!FTerminateRequested) {
    // A parked show is stopped already.
    if (FRunning) FShowThread->Suspend();
    FShowThread->Terminate();
    FTerminateRequested = true;
  }
  FRunning = false;
  FShowThread->WaitFor();
  FShowThread.reset();
  // The thread has ended: its counter can be read.
  const std::uint32_t seedCounter = FEnv->SeedCounter;
  FEnv.reset();
  return seedCounter;
}

void TMainForm::FormDestroy() {
  if (FDestroyed) return;
  FDestroyed = true;
  // In every mode the show ends before its settings and its window go; a
  // preview is closed without a close query, so this is its only stop.
  StopShow();

  std::exception_ptr writeError;
  // Only the primary monitor's window writes: the others read the same
  // settings and would write them again.
  if (FSettings && Primary()) {
    try {
      FSettings->WriteSettings(EndsFirstRun(FRunMode));
    } catch (...) {
      writeError = std::current_exception();
    }
    FSettings.reset();
  }
  if (FRunMode == Saver && !Hosted() && Primary()) FPasswords.SaverRunning(false);
  if (writeError) std::rethrow_exception(writeError);
}

void TMainForm::CheckParent() {
  if ((FRunMode != Preview && !Hosted()) || FDestroyed) return;
  const std::optional<TRect> parent = FHost.WindowRect(FParentWindow);
  if (!parent) {
    FHost.Close();
    return;
  }
  // A hidden dialog's preview, or a host's unmapped window, is not seen.
  FParentShown = FHost.WindowShown(FParentWindow);
  UpdateRunning();
  if (!Hosted()) return;
  const std::int32_t width = Extent(parent->Left, parent->Right);
  const std::int32_t height = Extent(parent->Top, parent->Bottom);
  if (width == FHost.ClientWidth() && height == FHost.ClientHeight()) return;
  FHost.SetSize(width, height);
  Resized();
}

void TMainForm::Resized() {
  // Before the first paint there is no show yet, and the first paint starts
  // it at the new size; once the window is closing, none starts again.
  if (!FShowThread || FTerminateRequested || FCloseAllowed || FFailed || FDestroyed) return;
  // The shells keep the positions and speeds of the size they were launched
  // in, so the show starts again at the new size rather than carrying them
  // over; the settings stay as read, and the seeds go on where they were.
  const std::uint32_t seedCounter = StopShow();
  FCanvas.reset();
  StartShow(*FSettings, seedCounter);
}

void TMainForm::EndOnRequest() {
  if (FDestroyed) return;
  if (FGroup) {
    FGroup->RequestClose(false);
  } else {
    FHost.Close();
  }
}

void TMainForm::HandlerFailed(const std::string& message) noexcept {
  if (FFailed) return;
  FFailed = true;
  // Neither step may throw back into the toolkit's loop; a box that cannot be
  // shown has nobody left to tell, and the close is asked for all the same.
  try {
    const TFlagScope prompting(FPrompting);
    FHost.ShowError(message);
  } catch (...) {
  }
  try {
    FHost.Close();
  } catch (...) {
  }
}

}  // namespace moonglow
