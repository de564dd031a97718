#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "app/PasswordGate.h"
#include "app/Platform.h"
#include "app/RunMode.h"
#include "show/Canvas.h"

namespace moonglow {

class TMyIniFile;
class TSaverGroup;
struct TShowEnv;

struct TPoint {
  std::int32_t X = 0, Y = 0;
  bool operator==(const TPoint&) const = default;
};

// What the saver window's rules need of the toolkit's window. Coordinates are
// screen pixels; sizes are client sizes.
class IMainFormHost {
 public:
  virtual ~IMainFormHost() = default;
  virtual TWindowHandle Handle() = 0;
  virtual void SetPosition(std::int32_t left, std::int32_t top) = 0;
  virtual void SetSize(std::int32_t width, std::int32_t height) = 0;
  virtual std::int32_t ClientWidth() = 0;
  virtual std::int32_t ClientHeight() = 0;
  // The size of the canvas the show draws on, in device pixels, so that one
  // star pixel is one pixel of the screen however the toolkit scales its own
  // units. Where those units are device pixels, the client size.
  virtual std::int32_t CanvasWidth() { return ClientWidth(); }
  virtual std::int32_t CanvasHeight() { return ClientHeight(); }
  // Memory for a canvas of that size that the window presents from without
  // a copy of its own; null for the canvas's own memory.
  virtual std::unique_ptr<IPixelMemory> NewPixelMemory(std::int32_t /*width*/,
                                                       std::int32_t /*height*/) {
    return nullptr;
  }
  // Where the show thread hands each frame it has drawn, for a window that
  // presents from the show thread; null for one that presents on a timer.
  virtual IFrameSink* FrameSink() { return nullptr; }
  virtual std::int32_t ScreenWidth() = 0;
  virtual std::int32_t ScreenHeight() = 0;
  // The rectangle of another window; nothing when that window does not exist.
  virtual std::optional<TRect> WindowRect(TWindowHandle window) = 0;
  // Whether another window can be seen: it and every window it sits in are
  // shown. A toolkit that cannot tell answers true.
  virtual bool WindowShown(TWindowHandle) { return true; }
  virtual TPoint CursorPos() = 0;
  virtual void ShowCursor(bool show) = 0;
  // The toolkit's close operation: it asks FormCloseQuery and, when that
  // allows it, closes the window and so ends the message loop.
  virtual void Close() = 0;
  // The application's standard error box; returns when the user has
  // dismissed it.
  virtual void ShowError(const std::string& message) = 0;
  // The show runs (true) or is parked (false): the toolkit copies frames to
  // the screen only while it runs, so an unseen saver costs nothing.
  virtual void SetPresenting(bool) {}
};

// What the saver window needs of its show thread.
class IShowThread {
 public:
  virtual ~IShowThread() = default;
  virtual void Resume() = 0;
  // Returns once the show has stopped between two steps: from then on it
  // draws nothing and reads no setting until resumed.
  virtual void Suspend() = 0;
  // Asks the show to end; a suspended show ends without drawing again.
  virtual void Terminate() = 0;
  // Waits until the show thread has ended.
  virtual void WaitFor() = 0;
};

// Makes the show thread, suspended, over `env`.
using TShowThreadFactory = std::function<std::unique_ptr<IShowThread>(TShowEnv& env)>;

// The show engine's thread at `pixelRate` pixel writes per second.
TShowThreadFactory FireThreadFactory(std::uint64_t pixelRate);

// The application-wide message filter of the saver window: a system command
// to close the window or to start the screen saver (again) is dropped, so
// nothing but the saver's own rules ends it. Only the exact commands count:
// one with any of the low four bits set passes.
bool DropsSystemCommand(std::uint32_t message, std::uint64_t wParam);

// Whose window the show is drawn in: the saver's own, by its run mode's rules,
// or a saver host's (host mode), as a child of the host's window.
enum class TWindowOwner {
  RunMode,
  SaverHost,
};

// The saver window's rules, the same for every toolkit: sizing by run mode,
// when input closes it, the first-paint start of the show, the close query
// with the password check, what a failed handler does, and the orderly end.
// The toolkit's window owns one and calls every handler through Guard.
class TMainForm {
 public:
  // Movement beyond this many pixels from the start position, in either
  // direction, ends the saver.
  static constexpr std::int32_t MoveThreshold = 200;
  // How often a preview looks whether its parent window still exists: often
  // enough that it never lingers visibly after its dialog has gone.
  static constexpr int ParentCheckMilliseconds = 250;
  // A saver host's window smaller than this in either direction (a settings
  // page's preview) gets the preview's quartered speeds and lifetimes.
  static constexpr std::int32_t HostPreviewBelowWidth = 400;
  static constexpr std::int32_t HostPreviewBelowHeight = 300;

  // With `owner` SaverHost the run mode is Saver and `parentWindow` is the
  // host's window: the show runs in it as in Saver and ends the first run the
  // same way, but the window takes no input, leaves the cursor alone, follows
  // the host window's size and closes when that window goes; only the host
  // ends it otherwise (EndOnRequest).
  TMainForm(TRunMode runMode, TWindowHandle parentWindow, IPlatform& platform, IMainFormHost& host,
            std::string settingsPath, TShowThreadFactory newShowThread,
            TWindowOwner owner = TWindowOwner::RunMode);
  // Stops the show if FormDestroy has not; never writes settings.
  ~TMainForm();
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // Sizes the window for its run mode. False when a preview's parent window
  // or the host's window does not exist: the window must not be shown and the
  // run ends.
  bool FormCreate();
  void FormActivate();
  // The first paint starts the show; later ones start nothing.
  void FormPaint();
  void FormMouseMove(std::int32_t x, std::int32_t y);
  void FormMouseDown();
  void FormKeyDown();
  // The close permission. A close asked for while one of this window's
  // prompts is open (the password check or the error box, each with its own
  // message loop) is refused, so the first close decides alone; once a close
  // has been allowed, later ones are allowed again and do nothing more.
  bool FormCloseQuery();
  // Stops the show thread for good, then saves and frees the settings. A
  // refused write is thrown after everything else has been done.
  void FormDestroy();
  // A preview whose parent window has gone closes itself: it never keeps
  // running invisibly. So does a hosted window whose host window has gone;
  // when the host window has a new size, the window takes it and the show
  // starts again at that size (the settings as read, the seeds going on).
  // The toolkit calls this every ParentCheckInterval().
  void CheckParent();
  // The window has a new size or the screen new device pixels (the output's
  // scale changed): the show starts again at the canvas size the host now
  // gives, as CheckParent restarts a host's window. Nothing before the first
  // paint or once the window is closing.
  void Resized();
  // Whether the window can be seen, as the toolkit learns it: mapped, not
  // minimised and not wholly covered. An unseen window's show parks where it
  // is and nothing is presented; seen again, it goes on from there.
  void FormVisibility(bool seen);
  // The display is on (true) or off (power saving): off, the show parks as
  // for an unseen window.
  void DisplayPower(bool on);
  // Whether the show is parked now for any reason (unseen, display off, a
  // close being decided); false before it starts and after it ends.
  bool Parked() const { return FShowThread && !FTerminateRequested && !FRunning; }

  // Before FormCreate: this window is the saver on `monitor` of `group`. It
  // covers that monitor, its show takes the monitor's seed counter, close-
  // worthy input closes the whole group, and only the primary writes the
  // settings. Debug and Preview never join one, nor does a host's window;
  // a host run that covers several outputs itself (Wayland's --layer) joins
  // one for the seeds and the single write, and is ended by the host alone.
  void JoinGroup(TSaverGroup& group, std::size_t monitor);
  // The window whose rules decide the close and write the settings: true
  // outside a group.
  bool Primary() const;

  // The system asks the saver to end (on Linux, the signal a saver host stops
  // its saver with). The window closes by its mode's close rule, the close
  // query included, but without the input checks: before the first paint and
  // in Preview as well, so the run ends the way a close by input ends it and
  // the settings are saved as that mode saves them.
  void EndOnRequest();

  // Milliseconds between two CheckParent calls; 0 when the mode has no parent
  // window to watch.
  int ParentCheckInterval() const {
    return FRunMode == Preview || Hosted() ? ParentCheckMilliseconds : 0;
  }

  // Runs one of the toolkit's handlers for this window. No exception leaves
  // it: a failure goes to HandlerFailed, so none crosses the toolkit's loop.
  template <class Handler>
  void Guard(Handler&& handler) noexcept;
  // A handler failed. After that the saver cannot be trusted to keep drawing
  // or to close properly, and an unattended saver must give the desktop back:
  // the message is shown in the error box, then the window closes by its
  // mode's rule, without a password check, and the run ends as any other
  // does (the show stops and the settings are written once, in FormDestroy).
  // Only the first failure is shown; input and paints do nothing more.
  void HandlerFailed(const std::string& message) noexcept;
  bool Failed() const { return FFailed; }

  TRunMode RunMode() const { return FRunMode; }
  bool Hosted() const { return FOwner == TWindowOwner::SaverHost; }
  TWindowHandle ParentWindow() const { return FParentWindow; }
  bool ShowStarted() const { return FShowStarted; }
  TPoint CursorStart() const { return FCursorStart; }
  std::uint32_t SeedCounter() const { return FSeedCounter; }
  TMyIniFile* Settings() const { return FSettings.get(); }
  // The framebuffer the show draws on: absent until the first paint.
  TCanvas* Canvas() const { return FCanvas.get(); }

 private:
  bool ReactsToInput() const;
  bool TakeParentSize();
  // Whether the show in a window this large gets the preview's scaling.
  bool ShowsAsPreview(std::int32_t width, std::int32_t height) const;
  void StartShow(TMyIniFile& settings, std::uint32_t seedCounter);
  // Runs the show when everything lets it (seen, display on, not held by a
  // close query) and parks it otherwise.
  void UpdateRunning();
  // Holds every show of the run while a close is being decided, or lets
  // them go again.
  void HoldShows(bool hold);
  // This window or another monitor's has failed.
  bool RunFailed() const;
  // The close goes ahead: `thread`, when given, is told to end.
  void AllowClose(IShowThread* thread);
  // The close query of a window that is not the group's primary.
  bool FollowPrimaryClose();
  // Close-worthy input: the group's close, or this window's own.
  void RequestClose();
  // The group's primary asks whether to close: this show waits meanwhile.
  void Hold(bool hold);
  // The group's primary has closed: this show ends, its cursor comes back.
  void EndForGroup();
  friend class TSaverGroup;
  // Returns the seed counter the show had reached (the start value when no
  // show ran), for a show that goes on after it.
  std::uint32_t StopShow();

  const TRunMode FRunMode;
  const TWindowHandle FParentWindow;
  IPlatform& FPlatform;
  IMainFormHost& FHost;
  const std::string FSettingsPath;
  TShowThreadFactory FNewShowThread;
  const TWindowOwner FOwner;

  TPoint FCursorStart;
  TPasswordGate FPasswords{FPlatform};
  bool FShowStarted = false;
  bool FTerminateRequested = false;
  bool FDestroyed = false;
  bool FPrompting = false;  // a prompt of this window is open
  bool FCloseAllowed = false;
  bool FFailed = false;
  bool FSeen = true;         // the toolkit's report of this window
  bool FParentShown = true;  // the preview's or the host's window
  bool FDisplayOn = true;
  bool FHeld = false;     // a close query is being decided
  bool FRunning = false;  // the show thread has been resumed and not suspended
  TSaverGroup* FGroup = nullptr;
  std::size_t FMonitor = 0;
  // Where this window's client area starts on the screen: input comes in
  // client coordinates, the cursor's start in screen coordinates.
  TPoint FOrigin;
  // The seed counter's start, the calendar time in seconds at construction.
  std::uint32_t FSeedCounter;

  // Declared so that the thread goes first, then what it works on.
  std::unique_ptr<TCanvas> FCanvas;
  std::unique_ptr<TMyIniFile> FSettings;
  std::unique_ptr<TShowEnv> FEnv;
  std::unique_ptr<IShowThread> FShowThread;
};

template <class Handler>
void TMainForm::Guard(Handler&& handler) noexcept {
  try {
    handler();
  } catch (const std::exception& e) {
    HandlerFailed(e.what());
  } catch (...) {
    HandlerFailed("Unknown exception");
  }
}

}  // namespace moonglow
