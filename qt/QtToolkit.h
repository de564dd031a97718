#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/Entry.h"

class QApplication;
class QSocketNotifier;
class QWidget;

namespace moonglow {

class TEndSignals;
class TSaverWindow;

// The Qt application object, its windows and its message loop, for the entry
// sequence.
class TQtToolkit final : public IToolkit {
 public:
  // `programName` is argument 0. Qt sees no other argument: the switches are
  // ours, and some ("-display", "-platform") would mean something to Qt.
  // `endSignals`, when given, are the signals that end the run in order.
  TQtToolkit(const char* programName, IPlatform& platform, const TEndSignals* endSignals = nullptr);
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

  TSaverWindow* SaverWindow() const { return FSaver.get(); }

 private:
  void EndOnRequest();

  std::string FProgramName;
  int FArgc = 1;
  char* FArgv[2];
  IPlatform& FPlatform;
  const TEndSignals* FEndSignals;
  std::unique_ptr<QApplication> FApplication;
  // Watches the end signals while the loop runs.
  std::unique_ptr<QSocketNotifier> FEndNotifier;
  std::unique_ptr<TSaverWindow> FSaver;
  std::unique_ptr<QWidget> FDialog;
  bool FHasMainWindow = false;
  // A saver host's run: nobody is there to dismiss an error box.
  bool FHosted = false;
  std::optional<std::uint64_t> FPixelRate;
};

}  // namespace moonglow
