#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Main.h"
#include "app/SaverGroup.h"
#include "win32/MainWindow.h"

namespace moonglow::win32 {

// The saver window on Win32: a black, borderless, stay-on-top window that
// forwards its events to the shared saver-window rules (TMainForm), each
// through the rules' Guard, and shows the show's framebuffer. The show thread
// draws into the core's canvas and posts a message after each frame; the
// window then copies the changed tiles into its own DIB section (TakeFrame)
// and invalidates them, and WM_PAINT blits from that DIB, so the main thread
// never reads pixels the show thread is writing and no pixel goes through GDI
// alone.
class TSaverWindow final : public IMainFormHost, public IMainWindow, public IFrameSink {
 public:
  // With `group`, the window is the full-screen saver on `monitor` of it.
  TSaverWindow(HINSTANCE instance, TRunMode mode, TWindowHandle parentWindow, IPlatform& platform,
               std::string settingsPath, TShowThreadFactory newShowThread, TErrorBox showError,
               TSaverGroup* group = nullptr, std::size_t monitor = 0);
  ~TSaverWindow() override;
  TSaverWindow(const TSaverWindow&) = delete;
  TSaverWindow& operator=(const TSaverWindow&) = delete;

  // Sizes the window for its run mode, makes it and shows it. False when a
  // preview's parent window does not exist: then no window is made.
  bool Create();
  // The close has been allowed, or the window has gone with its parent: the
  // message loop is to end.
  bool Closed() const override { return FClosed; }
  // Stops the show and saves the settings (TMainForm::FormDestroy), then
  // destroys the window. A refused settings write is thrown after the window
  // has gone.
  void Destroy() override;
  HWND Window() const override { return FWindow; }
  bool FiltersSystemCommands() const override { return true; }
  IDialogKeys* DialogKeys() override { return nullptr; }

  TMainForm& Form() { return FForm; }

  // IMainFormHost
  TWindowHandle Handle() override;
  void SetPosition(std::int32_t left, std::int32_t top) override;
  void SetSize(std::int32_t width, std::int32_t height) override;
  std::int32_t ClientWidth() override;
  std::int32_t ClientHeight() override;
  std::int32_t ScreenWidth() override;
  std::int32_t ScreenHeight() override;
  std::optional<TRect> WindowRect(TWindowHandle window) override;
  TPoint CursorPos() override;
  void ShowCursor(bool show) override;
  void Close() override;
  void ShowError(const std::string& message) override;
  bool WindowShown(TWindowHandle window) override;
  void SetPresenting(bool on) override;
  IFrameSink* FrameSink() override;

  // IFrameSink, on the show thread: asks the window to present the frame.
  void FrameDrawn(TCanvas& canvas) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();
  // Starts the show on the first paint and makes the DIB the show is copied into.
  void StartShow();
  // Copies the tiles the show changed and invalidates them.
  void Present();
  void KillTimers();
  // Asks the system to say when the display goes off and on again.
  void WatchDisplayPower();
  void StopWatchingDisplayPower();
  void ReleaseDib();

  HINSTANCE FInstance;
  TMainForm FForm;
  TErrorBox FShowError;
  HWND FWindow = nullptr;
  // Geometry asked for before the window exists.
  std::int32_t FLeft = 0, FTop = 0, FWidth = 483, FHeight = 540;

  HDC FDibDC = nullptr;
  HBITMAP FDib = nullptr;
  HGDIOBJ FOldBitmap = nullptr;
  std::uint32_t* FDibBits = nullptr;
  std::int32_t FDibWidth = 0, FDibHeight = 0;

  bool FClosed = false;
  // The window the show thread posts its frames to; none once it is going.
  std::atomic<HWND> FFrameWindow{nullptr};
  std::atomic<bool> FFramePosted{false};
  HPOWERNOTIFY FPowerNotify = nullptr;
};

// The saver window for Saver, Debug or Preview (then a child of
// `parentWindow`), sized and shown; without a window when a preview's parent
// does not exist.
std::unique_ptr<IMainWindow> NewSaverWindow(HINSTANCE instance, TRunMode mode,
                                            TWindowHandle parentWindow, IPlatform& platform,
                                            std::string settingsPath,
                                            TShowThreadFactory newShowThread, TErrorBox showError,
                                            TSaverGroup* group = nullptr, std::size_t monitor = 0);

// The monitors' rectangles in virtual-screen pixels, which may be negative
// left of or above the primary monitor; the primary is the one at the origin.
std::vector<moonglow::TRect> MonitorRects();

}  // namespace moonglow::win32
