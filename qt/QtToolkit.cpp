#include "qt/QtToolkit.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "app/SaverGroup.h"
#include "posix/EndSignals.h"
#include "qt/OptDlg.h"
#include "qt/SaverWindow.h"
#include "qt/X11.h"
#include "settings/IniFile.h"
#include "show/FireThread.h"

namespace moonglow {

namespace {

void ReportNoDisplay(const std::string& why) {
  std::fprintf(stderr,
               "moonglow: no display: %s\n"
               "moonglow: to draw the show without a display, use moonglow-render "
               "(it writes a PNG)\n",
               why.c_str());
}

// While the application object is being made, a fatal message from Qt means
// its platform could not start: say so plainly and end, instead of aborting.
QtMessageHandler PreviousHandler = nullptr;

void StartupMessageHandler(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
  if (type == QtFatalMsg) {
    ReportNoDisplay(message.toStdString());
    std::_Exit(ExitNoDisplay);
  }
  if (PreviousHandler) PreviousHandler(type, context, message);
}

}  // namespace

TQtToolkit::TQtToolkit(const char* programName, IPlatform& platform, TEnvironment environment,
                       const TEndSignals* endSignals)
    : FProgramName(programName ? programName : "moonglow"),
      FPlatform(platform),
      FEnvironment(std::move(environment)),
      FEndSignals(endSignals) {
  FArgv[0] = FProgramName.data();
  FArgv[1] = nullptr;
}

TQtToolkit::~TQtToolkit() {
  FEndNotifier.reset();
  FDisplayTimer.stop();
  FSaver = nullptr;
  FSavers.clear();
  FGroup.reset();
  FDialog.reset();
  FApplication.reset();
}

bool TQtToolkit::Initialize(TRunMode mode) {
  // Changing the password needs no window here: Linux has no such service.
  if (mode == ChangePassword) return true;
  if (std::optional<std::string> problem = DisplayProblem()) {
    ReportNoDisplay(*problem);
    return false;
  }
  PreviousHandler = qInstallMessageHandler(StartupMessageHandler);
  FApplication = std::make_unique<QApplication>(FArgc, FArgv);
  qInstallMessageHandler(PreviousHandler);
  return true;
}

bool TQtToolkit::EndRequested() { return FEndSignals && FEndSignals->Requested(); }

void TQtToolkit::EndOnRequest() {
  if (FSaver) {
    TMainForm& form = FSaver->Form();
    form.Guard([&form] { form.EndOnRequest(); });
  } else if (FDialog) {
    FDialog->close();  // the close box, which cancels
  }
}

void TQtToolkit::SetTitle(const std::string& title) {
  QGuiApplication::setApplicationDisplayName(QString::fromStdString(title));
}

void TQtToolkit::ShowPreviewParent(TWindowHandle) {
  // The preview parent belongs to whoever asked for the preview, which has it
  // on screen already; Qt keeps no hidden application window to put away.
}

std::unique_ptr<TSaverWindow> TQtToolkit::NewSaverWindow(TRunMode mode, TWindowHandle parent,
                                                         TWindowOwner owner) {
  return std::make_unique<TSaverWindow>(
      mode, parent, FPlatform, DefaultSettingsPath(FEnvironment),
      FireThreadFactory(FPixelRate.value_or(DefaultPixelRate(FEnvironment))),
      [this](const std::string& message) { ShowException(message); }, owner);
}

void TQtToolkit::CreateSaverWindow(TRunMode mode, TWindowHandle parent) {
  const QList<QScreen*> screens = QGuiApplication::screens();
  if (mode != Saver || screens.size() < 2) {
    // One window: the debug window, the preview, or the saver on one monitor.
    FSavers.push_back(NewSaverWindow(mode, parent, TWindowOwner::RunMode));
    FSaver = FSavers.back().get();
    FHasMainWindow = FSaver->Start();
    WatchDisplayPower();
    return;
  }
  // The full-screen saver covers every monitor, one window on each.
  std::vector<TRect> monitors;
  std::size_t primary = 0;
  for (QScreen* screen : screens) {
    const QRect g = screen->geometry();
    if (screen == QGuiApplication::primaryScreen()) primary = monitors.size();
    monitors.push_back({g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
  }
  FGroup = std::make_unique<TSaverGroup>(monitors, primary,
                                         static_cast<std::uint32_t>(std::time(nullptr)));
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    auto window = NewSaverWindow(Saver, 0, TWindowOwner::RunMode);
    window->setScreen(screens[static_cast<qsizetype>(i)]);
    window->Form().JoinGroup(*FGroup, i);
    FSavers.push_back(std::move(window));
  }
  FSaver = FSavers[primary].get();
  // The primary goes last, so that it has the focus and takes the keys.
  for (std::size_t i = 0; i < FSavers.size(); ++i) {
    if (i != primary) FSavers[i]->Start();
  }
  FHasMainWindow = FSaver->Start();
  WatchDisplayPower();
}

bool TQtToolkit::CreateHostedWindow(const THostWindow& window) {
  FHosted = true;
  const TWindowHandle parent = window.RootWindow ? X11RootWindow() : window.Window;
  FSavers.push_back(NewSaverWindow(Saver, parent, TWindowOwner::SaverHost));
  FSaver = FSavers.back().get();
  FHasMainWindow = FSaver->Start();
  if (FHasMainWindow) WatchDisplayPower();
  return FHasMainWindow;
}

// How often the display's power state is asked for: one round trip to the
// server a second costs nothing, and a show parks within a second of the
// display going dark.
constexpr int DisplayPowerMilliseconds = 1000;

void TQtToolkit::WatchDisplayPower() {
  if (!X11DisplayOn()) return;  // no power state to follow
  FDisplayTimer.setTimerType(Qt::VeryCoarseTimer);
  QObject::connect(&FDisplayTimer, &QTimer::timeout, &FDisplayTimer,
                   [this] { CheckDisplayPower(); });
  FDisplayTimer.start(DisplayPowerMilliseconds);
  CheckDisplayPower();
}

void TQtToolkit::CheckDisplayPower() {
  const std::optional<bool> on = X11DisplayOn();
  if (!on || on == FDisplayOn) return;
  FDisplayOn = on;
  for (const auto& window : FSavers) {
    TMainForm& form = window->Form();
    form.Guard([&form, on] { form.DisplayPower(*on); });
  }
}

void TQtToolkit::CreateOptionsDialog() {
  FDialog = std::make_unique<TOptDialogView>(DefaultSettingsPath(FEnvironment), nullptr,
                                             FPlatform.FileServices());
  FDialog->show();
  FHasMainWindow = true;
}

void TQtToolkit::WatchEndSignals() {
  if (FEndNotifier || !FApplication || !FEndSignals || FEndSignals->Descriptor() < 0) return;
  FEndNotifier =
      std::make_unique<QSocketNotifier>(FEndSignals->Descriptor(), QSocketNotifier::Read);
  QObject::connect(FEndNotifier.get(), &QSocketNotifier::activated, FEndNotifier.get(), [this] {
    FEndSignals->Drain();
    // An error box waits for a click that whoever sent the signal will not
    // give: it is answered, and the run goes on to its end.
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) box->reject();
    }
    EndOnRequest();
  });
}

void TQtToolkit::RunMessageLoop() {
  if (!FApplication || !FHasMainWindow) return;
  // The end signals are watched from here to the program's end, by whatever
  // loop runs: this one, or an error box's. One that came earlier is still
  // unread in the pipe and is reported as soon as the loop starts. The save
  // runs no loop, so a signal during it waits and cannot cut it short.
  WatchEndSignals();
  QApplication::exec();
}

void TQtToolkit::DestroyWindows() {
  FDialog.reset();
  FDisplayTimer.stop();
  // The other monitors' windows first: they write nothing. The windows go
  // whatever the settings' fate; a refused write is shown after that.
  std::vector<std::unique_ptr<TSaverWindow>> savers = std::move(FSavers);
  TSaverWindow* primary = std::exchange(FSaver, nullptr);
  for (auto& saver : savers) {
    if (saver.get() != primary) saver->Finish();
  }
  if (primary) primary->Finish();
}

void TQtToolkit::ShowException(const std::string& message) {
  std::fprintf(stderr, "moonglow: %s\n", message.c_str());
  // Under a saver host the box would wait, unseen behind the host's windows,
  // for a click the host never lets through; after an end signal, whoever
  // sent it waits for the program's exit, not for a click.
  if (!FApplication || FHosted || EndRequested()) return;
  WatchEndSignals();
  const QString caption = QGuiApplication::applicationDisplayName();
  QMessageBox::critical(nullptr, caption, QString::fromStdString(message));
}

}  // namespace moonglow
