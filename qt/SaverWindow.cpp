#include "qt/SaverWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "app/Entry.h"
#include "app/Present.h"
#include "qt/X11.h"

namespace moonglow {

namespace {

// The window as it was laid out before it is sized at run time.
constexpr int DesignWidth = 483, DesignHeight = 540;

QScreen* PrimaryScreen() { return QGuiApplication::primaryScreen(); }

Qt::WindowFlags FlagsFor(TRunMode runMode, TWindowOwner owner, TWindowHandle parentWindow) {
  if (owner == TWindowOwner::SaverHost) {
    // Input belongs to the host: it goes through this window to the host's.
    const Qt::WindowFlags flags =
        Qt::FramelessWindowHint | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus;
    // Over the root window there is no host window to sit in: an unmanaged
    // window covers the root window instead, as its child.
    if (parentWindow == X11RootWindow()) {
      return flags | Qt::Window | Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint;
    }
    return flags;
  }
  if (runMode == Preview) return Qt::FramelessWindowHint;
  return Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
}

}  // namespace

TSaverWindow::TSaverWindow(TRunMode runMode, TWindowHandle parentWindow, IPlatform& platform,
                           std::string settingsPath, TShowThreadFactory newShowThread,
                           TErrorBox showError, TWindowOwner owner)
    : QWidget(nullptr, FlagsFor(runMode, owner, parentWindow)),
      FShowError(std::move(showError)),
      FForm(runMode, parentWindow, platform, *this, std::move(settingsPath),
            std::move(newShowThread), owner) {
  setWindowTitle(QString::fromUtf8(ApplicationTitle));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(false);
  const bool takesInput = runMode != Preview && owner == TWindowOwner::RunMode;
  setMouseTracking(takesInput);
  // A preview sits inside someone else's dialog and must not take its keys,
  // and a host's window gets none.
  setFocusPolicy(takesInput ? Qt::StrongFocus : Qt::NoFocus);
  if (!takesInput) setAttribute(Qt::WA_ShowWithoutActivating);
  resize(DesignWidth, DesignHeight);

  FPresentTimer.setTimerType(Qt::PreciseTimer);
  connect(&FPresentTimer, &QTimer::timeout, this, [this] { FForm.Guard([this] { Present(); }); });
  connect(&FParentTimer, &QTimer::timeout, this,
          [this] { FForm.Guard([this] { FForm.CheckParent(); }); });
}

TSaverWindow::~TSaverWindow() {
  if (QCoreApplication* application = QCoreApplication::instance()) {
    application->removeNativeEventFilter(this);
  }
  if (FWatched) FWatched->removeEventFilter(this);
  FPresentTimer.stop();
  FParentTimer.stop();
  // Our native window is a child of the foreign one: it goes first.
  destroy();
  delete FForeignParent;
}

bool TSaverWindow::OverRootWindow() const {
  return FForm.Hosted() && FForm.ParentWindow() == X11RootWindow();
}

bool TSaverWindow::Start() {
  if (!FForm.FormCreate()) return false;
  // Decided before the window is first shown, so that Qt never makes a
  // backing store image for it.
  FX11 = TX11Presenter::Create(Handle());
  if (FX11) setAttribute(Qt::WA_PaintOnScreen);
  if (FForm.Hosted()) {
    if (!OverRootWindow()) EmbedInParent();
    show();
    if (OverRootWindow()) raise();
    FParentTimer.start(FForm.ParentCheckInterval());
    WatchVisibility();
    return true;
  }
  switch (FForm.RunMode()) {
    case Preview:
      EmbedInParent();
      show();
      break;
    case Debug:
      // Without a window manager nothing would maximise the window: take the
      // screen's working area ourselves as well.
      if (QScreen* screen = PrimaryScreen()) setGeometry(screen->availableGeometry());
      showMaximized();
      break;
    case Saver:
      // Already the screen's size at (0, 0); asking for the full-screen state
      // as well makes a window manager lift it above its panels and docks.
      showFullScreen();
      break;
    default:
      show();
      break;
  }
  if (FForm.RunMode() != Preview) {
    raise();
    activateWindow();
    setFocus();
  }
  if (const int interval = FForm.ParentCheckInterval()) FParentTimer.start(interval);
  WatchVisibility();
  return true;
}

void TSaverWindow::WatchVisibility() {
  FWatched = windowHandle();
  if (FWatched) FWatched->installEventFilter(this);
  // Being covered is told only to those who ask; a preview or a host's
  // window is covered along with its parent, which CheckParent watches.
  if (!FForm.Hosted() && FForm.RunMode() != Preview) {
    X11WatchCovering(Handle());
    QCoreApplication::instance()->installNativeEventFilter(this);
  }
}

bool TSaverWindow::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t") return false;
  const auto covering = X11CoveringEvent(message);
  if (covering && covering->first == Handle() && covering->second != FCovered) {
    FCovered = covering->second;
    ReportVisibility();
  }
  return false;  // Qt goes on with the event as ever
}

void TSaverWindow::ReportVisibility() {
  // Unmapped, minimised (iconified, so unmapped on X11) or wholly covered
  // where the system says so: Qt reports each as a window no longer exposed.
  const bool seen = FWatched && FWatched->isExposed() && !isMinimized() && !FCovered;
  FForm.Guard([this, seen] { FForm.FormVisibility(seen); });
}

bool TSaverWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FWatched &&
      (event->type() == QEvent::Expose || event->type() == QEvent::WindowStateChange)) {
    // After the window has handled it, so its exposure is up to date.
    QMetaObject::invokeMethod(
        this, [this] { ReportVisibility(); }, Qt::QueuedConnection);
  }
  return QWidget::eventFilter(watched, event);
}

std::int32_t TSaverWindow::CanvasWidth() {
  return static_cast<std::int32_t>(std::lround(width() * devicePixelRatioF()));
}

std::int32_t TSaverWindow::CanvasHeight() {
  return static_cast<std::int32_t>(std::lround(height() * devicePixelRatioF()));
}

std::unique_ptr<IPixelMemory> TSaverWindow::NewPixelMemory(std::int32_t width,
                                                           std::int32_t height) {
  return FX11 ? FX11->NewPixelMemory(width, height) : nullptr;
}

QRect TSaverWindow::DeviceRect(const QRect& logical) const {
  const qreal ratio = FFrame.isNull() ? devicePixelRatioF() : FFrame.devicePixelRatio();
  const auto left = static_cast<int>(std::floor(logical.left() * ratio));
  const auto top = static_cast<int>(std::floor(logical.top() * ratio));
  const auto right = static_cast<int>(std::ceil((logical.left() + logical.width()) * ratio));
  const auto bottom = static_cast<int>(std::ceil((logical.top() + logical.height()) * ratio));
  return QRect(left, top, right - left, bottom - top);
}

QRect TSaverWindow::LogicalRect(const QRect& device) const {
  const qreal ratio = FFrame.isNull() ? devicePixelRatioF() : FFrame.devicePixelRatio();
  const auto left = static_cast<int>(std::floor(device.left() / ratio));
  const auto top = static_cast<int>(std::floor(device.top() / ratio));
  const auto right = static_cast<int>(std::ceil((device.left() + device.width()) / ratio));
  const auto bottom = static_cast<int>(std::ceil((device.top() + device.height()) / ratio));
  return QRect(left, top, right - left, bottom - top);
}

bool TSaverWindow::WindowShown(TWindowHandle window) { return X11WindowShown(window); }

void TSaverWindow::SetPresenting(bool on) {
  // Before the first frame there is nothing to present; StartShow decides.
  if (on && !FFrame.isNull()) {
    // The show thread presents on X11: the timer is for Qt's painting.
    if (!FX11) FPresentTimer.start();  // at the interval the presenting started with
    update();
  } else {
    FPresentTimer.stop();
  }
}

IFrameSink* TSaverWindow::FrameSink() { return FX11.get(); }

void TSaverWindow::EmbedInParent() {
  setAttribute(Qt::WA_NativeWindow);
  winId();  // the native window must exist before it can be given a parent
  FForeignParent = QWindow::fromWinId(static_cast<WId>(FForm.ParentWindow()));
  if (FForeignParent && windowHandle()) windowHandle()->setParent(FForeignParent);
  move(0, 0);
}

void TSaverWindow::Finish() {
  FPresentTimer.stop();
  FParentTimer.stop();
  FForm.FormDestroy();
}

TWindowHandle TSaverWindow::Handle() { return static_cast<TWindowHandle>(winId()); }

void TSaverWindow::SetPosition(std::int32_t left, std::int32_t top) { move(left, top); }

void TSaverWindow::SetSize(std::int32_t width, std::int32_t height) {
  resize(std::max(width, 0), std::max(height, 0));
}

std::int32_t TSaverWindow::ScreenWidth() {
  QScreen* screen = PrimaryScreen();
  return screen ? screen->geometry().width() : DesignWidth;
}

std::int32_t TSaverWindow::ScreenHeight() {
  QScreen* screen = PrimaryScreen();
  return screen ? screen->geometry().height() : DesignHeight;
}

std::optional<TRect> TSaverWindow::WindowRect(TWindowHandle window) {
  return X11WindowRect(window);
}

void TSaverWindow::ShowError(const std::string& message) {
  if (FShowError) FShowError(message);
}

TPoint TSaverWindow::CursorPos() {
  const QPoint p = QCursor::pos();
  return {p.x(), p.y()};
}

void TSaverWindow::ShowCursor(bool show) {
  if (show) {
    unsetCursor();
  } else {
    setCursor(Qt::BlankCursor);
  }
}

bool TSaverWindow::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
      // Every key ends the saver, Tab and the modifiers included, so none of
      // them may go to focus handling first.
      FForm.Guard([this] { FForm.FormKeyDown(); });
      return true;
    case QEvent::WindowActivate:
      FForm.Guard([this] { FForm.FormActivate(); });
      break;
    default:
      break;
  }
  return QWidget::event(event);
}

QPaintEngine* TSaverWindow::paintEngine() const { return FX11 ? nullptr : QWidget::paintEngine(); }

void TSaverWindow::paintEvent(QPaintEvent* event) {
  if (FX11) {
    PaintWithX11(event->region());
  } else {
    PaintWithQt(event->region());
  }
  // The first paint starts the show, from the loop just after this paint
  // rather than inside it: a failure opens the error box, whose own loop
  // must not run within a paint of this window. Later paints start nothing.
  if (!FForm.ShowStarted()) {
    QMetaObject::invokeMethod(
        this, [this] { FForm.Guard([this] { StartShow(); }); }, Qt::QueuedConnection);
  }
}

void TSaverWindow::PaintWithQt(const QRegion& region) {
  QPainter painter(this);
  QRegion background = region;
  if (TCanvas* canvas = FForm.Canvas(); canvas && FollowCanvas(*canvas)) {
    // FFrame reads the canvas's own pixels: hold the show off while copying
    // them into the backing store, a few rectangles a frame.
    std::lock_guard<std::mutex> lock(canvas->Mutex());
    for (const QRect& r : region) {
      const QRect source = DeviceRect(r) & FFrame.rect();
      painter.drawImage(QPointF(source.topLeft()) / FFrame.devicePixelRatio(), FFrame, source);
    }
    background -= LogicalRect(FFrame.rect());
  }
  for (const QRect& r : background) painter.fillRect(r, Qt::black);
}

void TSaverWindow::PaintWithX11(const QRegion& region) {
  // The X window has device pixels, as the canvas does.
  QRegion device;
  for (const QRect& r : region) device += DeviceRect(r);
  QRegion shown;
  std::vector<TRect> fromCanvas, black;
  const auto toRect = [](const QRect& r) {
    return TRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  };
  TCanvas* canvas = FForm.Canvas();
  if (canvas && FollowCanvas(*canvas)) {
    shown = device & FFrame.rect();
    for (const QRect& r : shown) fromCanvas.push_back(toRect(r));
  }
  for (const QRect& r : device - shown) black.push_back(toRect(r));
  FX11->FillBlack(black);
  if (!fromCanvas.empty()) FX11->Present(*canvas, fromCanvas);
}

void TSaverWindow::StartShow() {
  FForm.FormPaint();
  if (FFrame.isNull() && FForm.Canvas()) StartPresenting();
  // A show started unseen waits to be seen before anything is presented.
  if (FForm.Parked()) FPresentTimer.stop();
}

bool TSaverWindow::FollowCanvas(const TCanvas& canvas) {
  const auto* pixels = reinterpret_cast<const uchar*>(canvas.Pixels());
  if (!FFrame.isNull() && FFrame.constBits() == pixels && FFrame.width() == canvas.Width() &&
      FFrame.height() == canvas.Height()) {
    return true;
  }
  if (canvas.Width() <= 0 || canvas.Height() <= 0) return false;
  // No image of our own: the canvas already holds the window's pixels in the
  // layout of RGB32, and a read-only image over them is never copied. A show
  // started again at a new window size has a new canvas, which the image must
  // follow before it reads a pixel, and which is painted whole.
  FFrame = QImage(pixels, canvas.Width(), canvas.Height(),
                  static_cast<qsizetype>(canvas.Width()) * 4, QImage::Format_RGB32);
  FFrame.setDevicePixelRatio(devicePixelRatioF());
  update();
  return true;
}

void TSaverWindow::StartPresenting() {
  if (!FollowCanvas(*FForm.Canvas()) || FX11) return;
  const QScreen* screen = this->screen();
  FPresentTimer.start(PresentInterval(screen ? screen->refreshRate() : 0.0));
}

void TSaverWindow::Present() {
  TCanvas* canvas = FForm.Canvas();
  if (!canvas || FFrame.isNull() || !FollowCanvas(*canvas)) return;
  const std::vector<TRect> rects = TakeChanges(*canvas);
  if (rects.empty()) return;
  QRegion changed;
  for (const TRect& r : rects) {
    changed += LogicalRect(QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top));
  }
  update(changed);
}

void TSaverWindow::mousePressEvent(QMouseEvent*) {
  FForm.Guard([this] { FForm.FormMouseDown(); });
}

void TSaverWindow::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  FForm.Guard([this, p] { FForm.FormMouseMove(p.x(), p.y()); });
}

void TSaverWindow::closeEvent(QCloseEvent* event) {
  bool allowed = false;
  FForm.Guard([this, &allowed] { allowed = FForm.FormCloseQuery(); });
  // A query that failed has ended the run, but the close it asked for came
  // while this one was under way, and Qt lets no close into its own: this
  // one is that close.
  if (!allowed && FForm.Failed()) {
    FForm.Guard([this, &allowed] { allowed = FForm.FormCloseQuery(); });
  }
  event->setAccepted(allowed);
  // This is the application's main window: its close ends the run. A preview
  // is no top-level window to Qt, so Qt would not end the loop by itself.
  if (allowed) QCoreApplication::quit();
}

}  // namespace moonglow

// Compiled here rather than with the other generated files, so this window's
// headers never share a translation unit with the dialog's.
#include "moc_SaverWindow.cpp"
