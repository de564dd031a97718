#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/Entry.h"
#include "app/Main.h"
#include "win32/MainWindow.h"

namespace moonglow::win32 {

// The application object on Win32: it makes the one main window of the run
// (the saver window or the options dialog), runs the message loop until that
// window closes, destroys it afterwards and shows failures in the standard
// error box: the exception's text, the application title as caption and the
// error icon.
class TWinToolkit final : public IToolkit {
 public:
  TWinToolkit(HINSTANCE instance, IPlatform& platform, std::string settingsPath,
              TShowThreadFactory newShowThread);
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

 private:
  TErrorBox ErrorBox();

  HINSTANCE FInstance;
  IPlatform& FPlatform;
  std::string FSettingsPath;
  TShowThreadFactory FNewShowThread;
  std::string FTitle;
  std::unique_ptr<IMainWindow> FMainWindow;
};

}  // namespace moonglow::win32
