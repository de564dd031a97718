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

}  // namespace

TSaverWindow::TSaverWindow(TRunMode runMode, TWindowHandle parentWindow, IPlatform& platform,
                           std::string settingsPath, TShowThreadFactory newShowThread,
                           TErrorBox showError)
    : QWidget(nullptr, runMode == Preview
                           ? Qt::WindowFlags(Qt::FramelessWindowHint)
                           : Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      FShowError(std::move(showError)),
      FForm(runMode, parentWindow, platform, *this, std::move(settingsPath),
            std::move(newShowThread)) {
  setWindowTitle(QString::fromUtf8(ApplicationTitle));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(false);
  setMouseTracking(true);
  // A preview sits inside someone else's dialog and must not take its keys.
  setFocusPolicy(runMode == Preview ? Qt::NoFocus : Qt::StrongFocus);
  resize(DesignWidth, DesignHeight);

  FPresentTimer.setTimerType(Qt::PreciseTimer);
  connect(&FPresentTimer, &QTimer::timeout, this, [this] { FForm.Guard([this] { Present(); }); });
  connect(&FParentTimer, &QTimer::timeout, this,
          [this] { FForm.Guard([this] { FForm.CheckParent(); }); });
}

TSaverWindow::~TSaverWindow() {
  FPresentTimer.stop();
  FParentTimer.stop();
  // Our native window is a child of the foreign one: it goes first.
  destroy();
  delete FForeignParent;
}

bool TSaverWindow::Start() {
  if (!FForm.FormCreate()) return false;
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
  return true;
}

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

void TSaverWindow::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    QRegion background = event->region();
    if (TCanvas* canvas = FForm.Canvas(); canvas && !FFrame.isNull()) {
      // FFrame reads the canvas's own pixels: hold the show off while copying
      // them into the backing store, a few rectangles a frame.
      std::lock_guard<std::mutex> lock(canvas->Mutex());
      for (const QRect& r : event->region()) painter.drawImage(r.topLeft(), FFrame, r);
      background -= FFrame.rect();
    }
    for (const QRect& r : background) painter.fillRect(r, Qt::black);
  }
  // The first paint starts the show, from the loop just after this paint
  // rather than inside it: a failure opens the error box, whose own loop
  // must not run within a paint of this window. Later paints start nothing.
  if (!FForm.ShowStarted()) {
    QMetaObject::invokeMethod(
        this, [this] { FForm.Guard([this] { StartShow(); }); }, Qt::QueuedConnection);
  }
}

void TSaverWindow::StartShow() {
  FForm.FormPaint();
  if (FFrame.isNull() && FForm.Canvas()) StartPresenting();
}

void TSaverWindow::StartPresenting() {
  const TCanvas& canvas = *FForm.Canvas();
  if (canvas.Width() <= 0 || canvas.Height() <= 0) return;
  // No image of our own: the canvas already holds the window's pixels in the
  // layout of RGB32, and a read-only image over them is never copied.
  FFrame = QImage(reinterpret_cast<const uchar*>(canvas.Pixels()), canvas.Width(), canvas.Height(),
                  static_cast<qsizetype>(canvas.Width()) * 4, QImage::Format_RGB32);
  const QScreen* screen = this->screen();
  FPresentTimer.start(PresentInterval(screen ? screen->refreshRate() : 0.0));
}

void TSaverWindow::Present() {
  TCanvas* canvas = FForm.Canvas();
  if (!canvas || FFrame.isNull()) return;
  const std::vector<TRect> rects = TakeChanges(*canvas);
  if (rects.empty()) return;
  QRegion changed;
  for (const TRect& r : rects) changed += QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
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
