#pragma once

#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "app/Main.h"

class QWindow;

namespace moonglow {

// The saver window on Qt: a black, borderless, stay-on-top widget that hands
// its events to the saver window's rules (TMainForm), each through the rules'
// Guard, and presents what the show thread draws. The show draws into the
// rules' canvas; a timer at the display's refresh rate takes the rectangles
// that changed (TakeChanges) and asks for them to be painted, and painting
// copies them from the canvas under its mutex.
class TSaverWindow final : public QWidget, public IMainFormHost {
  Q_OBJECT

 public:
  // The application's standard error box.
  using TErrorBox = std::function<void(const std::string& message)>;

  TSaverWindow(TRunMode runMode, TWindowHandle parentWindow, IPlatform& platform,
               std::string settingsPath, TShowThreadFactory newShowThread, TErrorBox showError);
  ~TSaverWindow() override;

  // Sizes the window for its run mode and shows it. False when it must not
  // run: a preview whose parent window does not exist.
  bool Start();
  // Stops the show for good and saves the settings; a refused write throws.
  void Finish();

  TMainForm& Form() { return FForm; }

  // IMainFormHost
  TWindowHandle Handle() override;
  void SetPosition(std::int32_t left, std::int32_t top) override;
  void SetSize(std::int32_t width, std::int32_t height) override;
  std::int32_t ClientWidth() override { return width(); }
  std::int32_t ClientHeight() override { return height(); }
  std::int32_t ScreenWidth() override;
  std::int32_t ScreenHeight() override;
  std::optional<TRect> WindowRect(TWindowHandle window) override;
  TPoint CursorPos() override;
  void ShowCursor(bool show) override;
  void Close() override { close(); }
  void ShowError(const std::string& message) override;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void EmbedInParent();
  void StartShow();
  void StartPresenting();
  void Present();

  TErrorBox FShowError;
  QImage FFrame;  // a read-only view of the canvas's pixels, read under its mutex
  QTimer FPresentTimer;
  QTimer FParentTimer;
  QPointer<QWindow> FForeignParent;
  TMainForm FForm;
};

}  // namespace moonglow
