#pragma once

#include <QAbstractNativeEventFilter>
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/Main.h"
#include "qt/X11Present.h"

class QWindow;

namespace moonglow {

// The saver window on Qt: a black, borderless, stay-on-top widget that hands
// its events to the saver window's rules (TMainForm), each through the rules'
// Guard, and presents what the show thread draws into the rules' canvas: the
// rectangles that changed (TakeChanges), frame by frame. On X11 the show thread hands
// each frame to the X server, which copies the changes from the canvas itself
// (TX11Presenter), and Qt paints nothing; on other platforms a timer at the
// display's refresh rate has Qt paint them from the canvas under its mutex.
class TSaverWindow final : public QWidget, public IMainFormHost, public QAbstractNativeEventFilter {
  Q_OBJECT

 public:
  // The application's standard error box.
  using TErrorBox = std::function<void(const std::string& message)>;

  // With `owner` SaverHost, `parentWindow` is the host's window: the window
  // is made inside it, or for the root window as an unmanaged window over it,
  // and lets all input through to what lies below.
  TSaverWindow(TRunMode runMode, TWindowHandle parentWindow, IPlatform& platform,
               std::string settingsPath, TShowThreadFactory newShowThread, TErrorBox showError,
               TWindowOwner owner = TWindowOwner::RunMode);
  ~TSaverWindow() override;

  // Sizes the window for its run mode and shows it. False when it must not
  // run: a preview's parent window or the host's window does not exist.
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
  // The canvas has the window's device pixels: Qt's sizes are logical, and
  // a star pixel is to be one pixel of the screen.
  std::int32_t CanvasWidth() override;
  std::int32_t CanvasHeight() override;
  std::unique_ptr<IPixelMemory> NewPixelMemory(std::int32_t width, std::int32_t height) override;
  IFrameSink* FrameSink() override;
  bool WindowShown(TWindowHandle window) override;
  void SetPresenting(bool on) override;
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
  // None while the X server presents: Qt must not paint this window at all.
  QPaintEngine* paintEngine() const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Watches the native window's exposure: mapped and exposed is seen.
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The X server's word that the window is wholly covered, or no longer.
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  void EmbedInParent();
  void WatchVisibility();
  void ReportVisibility();
  // Between the frame's device pixels and the widget's logical ones.
  QRect DeviceRect(const QRect& logical) const;
  QRect LogicalRect(const QRect& device) const;
  bool OverRootWindow() const;
  void StartShow();
  // Paints `region` (logical) from the canvas, black where it has none.
  void PaintWithQt(const QRegion& region);
  void PaintWithX11(const QRegion& region);
  // Points FFrame at the current canvas; false when it has no pixels.
  bool FollowCanvas(const TCanvas& canvas);
  void StartPresenting();
  // The timer's frame for Qt's painting; never runs when the X server presents.
  void Present();

  TErrorBox FShowError;
  QImage FFrame;  // a read-only view of the canvas's pixels, read under its mutex
  std::unique_ptr<TX11Presenter> FX11;  // null: Qt paints
  QTimer FPresentTimer;
  QTimer FParentTimer;
  QPointer<QWindow> FForeignParent;
  QPointer<QWindow> FWatched;
  bool FCovered = false;  // wholly covered by other windows, as X11 says
  TMainForm FForm;
};

}  // namespace moonglow
