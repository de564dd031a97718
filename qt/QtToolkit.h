#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QTimer>

#include "app/Entry.h"
#include "app/Main.h"

class QApplication;
class QSocketNotifier;
class QWidget;

namespace moonglow {

class TEndSignals;
class TSaverGroup;
class TSaverWindow;

// The Qt application object, its windows and its message loop, for the entry
// sequence.
class TQtToolkit final : public IToolkit {
 public:
  // `programName` is argument 0. Qt sees no other argument: the switches are
  // ours, and some ("-display", "-platform") would mean something to Qt.
  // `environment` says where the settings file is and how fast the show
  // draws. `endSignals`, when given, are the signals that end the run in order.
  TQtToolkit(const char* programName, IPlatform& platform, TEnvironment environment,
             const TEndSignals* endSignals = nullptr);
  ~TQtToolkit() override;
  TQtToolkit(const TQtToolkit&) = delete;
  TQtToolkit& operator=(const TQtToolkit&) = delete;

  bool Initialize(TRunMode mode) override;
  void SetTitle(const std::string& title) override;
  void ShowPreviewParent(TWindowHandle parent) override;
  void CreateSaverWindow(TRunMode mode, TWindowHandle parent) override;
  bool CreateHostedWindow(const THostWindow& window) override;
  bool HostsSavers() const override { return true; }
  void UsePixelRate(std::uint64_t pixelRate) override { FPixelRate = pixelRate; }
  void CreateOptionsDialog() override;
  void RunMessageLoop() override;
  void DestroyWindows() override;
  void ShowException(const std::string& message) override;
  bool EndRequested() override;

  // The saver window whose rules decide (the primary monitor's in /s).
  TSaverWindow* SaverWindow() const { return FSaver; }
  // Every saver window of the run, one per monitor in /s.
  const std::vector<std::unique_ptr<TSaverWindow>>& SaverWindows() const { return FSavers; }

 private:
  void EndOnRequest();
  // Starts the watch on the end signals, once the application object exists.
  void WatchEndSignals();
  std::unique_ptr<TSaverWindow> NewSaverWindow(TRunMode mode, TWindowHandle parent,
                                               TWindowOwner owner);
  // Starts the watch on the display's power state.
  void WatchDisplayPower();
  void CheckDisplayPower();

  std::string FProgramName;
  int FArgc = 1;
  char* FArgv[2];
  IPlatform& FPlatform;
  const TEnvironment FEnvironment;
  const TEndSignals* FEndSignals;
  std::unique_ptr<QApplication> FApplication;
  // Watches the end signals from the loop's start to the program's end.
  std::unique_ptr<QSocketNotifier> FEndNotifier;
  // The monitors' group goes after its windows.
  std::unique_ptr<TSaverGroup> FGroup;
  std::vector<std::unique_ptr<TSaverWindow>> FSavers;
  TSaverWindow* FSaver = nullptr;
  QTimer FDisplayTimer;
  std::optional<bool> FDisplayOn;
  std::unique_ptr<QWidget> FDialog;
  bool FHasMainWindow = false;
  // A saver host's run: nobody is there to dismiss an error box.
  bool FHosted = false;
  std::optional<std::uint64_t> FPixelRate;
};

}  // namespace moonglow
