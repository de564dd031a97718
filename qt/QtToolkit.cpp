#include "qt/QtToolkit.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>

#include "qt/EndSignals.h"
#include "qt/OptionsDialog.h"
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

TQtToolkit::TQtToolkit(const char* programName, IPlatform& platform, const TEndSignals* endSignals)
    : FProgramName(programName ? programName : "moonglow"),
      FPlatform(platform),
      FEndSignals(endSignals) {
  FArgv[0] = FProgramName.data();
  FArgv[1] = nullptr;
}

TQtToolkit::~TQtToolkit() {
  FSaver.reset();
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

void TQtToolkit::CreateSaverWindow(TRunMode mode, TWindowHandle parent) {
  FSaver = std::make_unique<TSaverWindow>(
      mode, parent, FPlatform, DefaultSettingsPath(),
      FireThreadFactory(FPixelRate.value_or(DefaultPixelRate())),
      [this](const std::string& message) { ShowException(message); });
  FHasMainWindow = FSaver->Start();
}

bool TQtToolkit::CreateHostedWindow(const THostWindow& window) {
  FHosted = true;
  const TWindowHandle parent = window.RootWindow ? X11RootWindow() : window.Window;
  FSaver = std::make_unique<TSaverWindow>(
      Saver, parent, FPlatform, DefaultSettingsPath(),
      FireThreadFactory(FPixelRate.value_or(DefaultPixelRate())),
      [this](const std::string& message) { ShowException(message); }, TWindowOwner::SaverHost);
  FHasMainWindow = FSaver->Start();
  return FHasMainWindow;
}

void TQtToolkit::CreateOptionsDialog() {
  FDialog = NewOptionsDialog(DefaultSettingsPath(), FPlatform.FileServices());
  FDialog->show();
  FHasMainWindow = true;
}

void TQtToolkit::RunMessageLoop() {
  if (!FApplication || !FHasMainWindow) return;
  // The end signals are watched only while the loop runs. One that came
  // earlier is still unread in the pipe and is reported as soon as the loop
  // starts; one after the loop changes nothing, so it can neither cut the
  // save short nor close an error box shown after it.
  if (FEndSignals && FEndSignals->Descriptor() >= 0) {
    FEndNotifier =
        std::make_unique<QSocketNotifier>(FEndSignals->Descriptor(), QSocketNotifier::Read);
    QObject::connect(FEndNotifier.get(), &QSocketNotifier::activated, FEndNotifier.get(), [this] {
      FEndSignals->Drain();
      EndOnRequest();
    });
  }
  QApplication::exec();
  FEndNotifier.reset();
}

void TQtToolkit::DestroyWindows() {
  FDialog.reset();
  if (FSaver) {
    // The window goes whatever its settings' fate; a refused write is shown
    // after that.
    std::unique_ptr<TSaverWindow> saver = std::move(FSaver);
    saver->Finish();
  }
}

void TQtToolkit::ShowException(const std::string& message) {
  std::fprintf(stderr, "moonglow: %s\n", message.c_str());
  // Under a saver host the box would wait, unseen behind the host's windows,
  // for a click the host never lets through.
  if (!FApplication || FHosted) return;
  const QString caption = QGuiApplication::applicationDisplayName();
  QMessageBox::critical(nullptr, caption, QString::fromStdString(message));
}

}  // namespace moonglow
