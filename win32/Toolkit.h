#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Entry.h"
#include "app/Main.h"
#include "app/SaverGroup.h"
#include "win32/MainWindow.h"

namespace moonglow::win32 {

// The application object on Win32: it makes the one main window of the run
// (the saver window or the options dialog), runs the message loop until that
// window closes, destroys it afterwards and shows failures in the standard
// error box: the exception's text, the application title as caption and the
// error icon.
class TWinToolkit final : public IToolkit {
 public:
  // The monitors' rectangles, as MonitorRects gives them.
  using TMonitorList = std::function<std::vector<TRect>()>;

  // `monitors` lists the monitors /s covers: the system's unless a test
  // gives its own.
  TWinToolkit(HINSTANCE instance, IPlatform& platform, std::string settingsPath,
              TShowThreadFactory newShowThread, TMonitorList monitors = {});
  ~TWinToolkit() override;
  TWinToolkit(const TWinToolkit&) = delete;
  TWinToolkit& operator=(const TWinToolkit&) = delete;

  bool Initialize(TRunMode mode) override;
  void SetTitle(const std::string& title) override;
  void ShowPreviewParent(TWindowHandle parent) override;
  void CreateSaverWindow(TRunMode mode, TWindowHandle parent) override;
  // Host mode and --add-to-xscreensaver are Linux saver hosts' business: the
  // default answers refuse them here as malformed switches.
  void UsePixelRate(std::uint64_t pixelRate) override {
    FNewShowThread = FireThreadFactory(pixelRate);
  }
  void CreateOptionsDialog() override;
  void RunMessageLoop() override;
  void DestroyWindows() override;
  void ShowException(const std::string& message) override;

  const std::string& Title() const { return FTitle; }
  // The main window (the primary monitor's saver window in /s), then the
  // other monitors' ones.
  IMainWindow* MainWindow() const { return FMainWindow.get(); }
  const std::vector<std::unique_ptr<IMainWindow>>& OtherWindows() const { return FOtherWindows; }

 private:
  TErrorBox ErrorBox();

  HINSTANCE FInstance;
  IPlatform& FPlatform;
  std::string FSettingsPath;
  TShowThreadFactory FNewShowThread;
  std::string FTitle;
  TMonitorList FMonitors;
  // The monitors' group goes after its windows.
  std::unique_ptr<TSaverGroup> FGroup;
  std::unique_ptr<IMainWindow> FMainWindow;
  std::vector<std::unique_ptr<IMainWindow>> FOtherWindows;
};

}  // namespace moonglow::win32
