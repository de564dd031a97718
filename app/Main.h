#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "app/Platform.h"
#include "app/RunMode.h"
#include "show/Canvas.h"

namespace moonglow {

class TMyIniFile;
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
  virtual std::int32_t ScreenWidth() = 0;
  virtual std::int32_t ScreenHeight() = 0;
  // The rectangle of another window; nothing when that window does not exist.
  virtual std::optional<TRect> WindowRect(TWindowHandle window) = 0;
  virtual TPoint CursorPos() = 0;
  virtual void ShowCursor(bool show) = 0;
  // The toolkit's close operation: it asks FormCloseQuery and, when that
  // allows it, closes the window and so ends the message loop.
  virtual void Close() = 0;
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

// The saver window's rules, the same for every toolkit: sizing by run mode,
// when input closes it, the first-paint start of the show, the close query
// with the password check, and the orderly end. The toolkit's window owns one
// and calls its handlers from its own events.
class TMainForm {
 public:
  // Movement beyond this many pixels from the start position, in either
  // direction, ends the saver.
  static constexpr std::int32_t MoveThreshold = 200;

  TMainForm(TRunMode runMode, TWindowHandle parentWindow, IPlatform& platform, IMainFormHost& host,
            std::string settingsPath, TShowThreadFactory newShowThread);
  // Stops the show if FormDestroy has not; never writes settings.
  ~TMainForm();
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // Sizes the window for its run mode. False when a preview's parent window
  // does not exist: the window must not be shown and the run ends.
  bool FormCreate();
  void FormActivate();
  // The first paint starts the show; later ones start nothing.
  void FormPaint();
  void FormMouseMove(std::int32_t x, std::int32_t y);
  void FormMouseDown();
  void FormKeyDown();
  // The close permission.
  bool FormCloseQuery();
  // Stops the show thread for good, then saves and frees the settings. A
  // refused write is thrown after everything else has been done.
  void FormDestroy();
  // A preview whose parent window has gone closes itself: it never keeps
  // running invisibly. The toolkit calls this now and then.
  void CheckParent();
  // The system asks the saver to end (on Linux, the signal a saver host stops
  // its saver with). The window closes by its mode's close rule, the close
  // query included, but without the input checks: before the first paint and
  // in Preview as well, so the run ends the way a close by input ends it and
  // the settings are saved as that mode saves them.
  void EndOnRequest();

  TRunMode RunMode() const { return FRunMode; }
  TWindowHandle ParentWindow() const { return FParentWindow; }
  bool ShowStarted() const { return FShowStarted; }
  bool IsNT() const { return FIsNT; }
  TPoint CursorStart() const { return FCursorStart; }
  std::uint32_t SeedCounter() const { return FSeedCounter; }
  TMyIniFile* Settings() const { return FSettings.get(); }
  // The framebuffer the show draws on: absent until the first paint.
  TCanvas* Canvas() const { return FCanvas.get(); }

 private:
  bool ReactsToInput() const;
  void StopShow();

  const TRunMode FRunMode;
  const TWindowHandle FParentWindow;
  IPlatform& FPlatform;
  IMainFormHost& FHost;
  const std::string FSettingsPath;
  TShowThreadFactory FNewShowThread;

  TPoint FCursorStart;
  bool FIsNT = true;
  bool FShowStarted = false;
  bool FTerminateRequested = false;
  bool FDestroyed = false;
  // The seed counter's start, the calendar time in seconds at construction.
  std::uint32_t FSeedCounter;

  // Declared so that the thread goes first, then what it works on.
  std::unique_ptr<TCanvas> FCanvas;
  std::unique_ptr<TMyIniFile> FSettings;
  std::unique_ptr<TShowEnv> FEnv;
  std::unique_ptr<IShowThread> FShowThread;
};

}  // namespace moonglow
