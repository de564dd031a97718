#pragma once

#include <memory>
#include <string>

#include "app/Entry.h"

class QApplication;
class QWidget;

namespace moonglow {

class TSaverWindow;

// The Qt application object, its windows and its message loop, for the entry
// sequence.
class TQtToolkit final : public IToolkit {
 public:
  // `programName` is argument 0. Qt sees no other argument: the switches are
  // ours, and some ("-display", "-platform") would mean something to Qt.
  TQtToolkit(const char* programName, IPlatform& platform);
  ~TQtToolkit() override;
  TQtToolkit(const TQtToolkit&) = delete;
  TQtToolkit& operator=(const TQtToolkit&) = delete;

  bool Initialize(TRunMode mode) override;
  void SetTitle(const std::string& title) override;
  void ShowPreviewParent(TWindowHandle parent) override;
  void CreateSaverWindow(TRunMode mode, TWindowHandle parent) override;
  void CreateOptionsDialog() override;
  void RunMessageLoop() override;
  void DestroyWindows() override;
  void ShowException(const std::string& message) override;

  TSaverWindow* SaverWindow() const { return FSaver.get(); }

 private:
  std::string FProgramName;
  int FArgc = 1;
  char* FArgv[2];
  IPlatform& FPlatform;
  std::unique_ptr<QApplication> FApplication;
  std::unique_ptr<TSaverWindow> FSaver;
  std::unique_ptr<QWidget> FDialog;
  bool FHasMainWindow = false;
};

}  // namespace moonglow
