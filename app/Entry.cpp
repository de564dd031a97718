#include "app/Entry.h"

#include <cstdio>
#include <exception>
#include <sstream>

#include "app/PasswordGate.h"
#include "app/XscreensaverList.h"

namespace moonglow {

namespace {

std::string WindowName(TWindowHandle window) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(window));
  return std::string(hex) + " (" + std::to_string(window) + ")";
}

// Set-up by mode and the message loop. Returns the exit code.
int SetUpAndRun(const TCommandLine& command, IPlatform& platform, IToolkit& toolkit,
                std::ostream& err) {
  if (!toolkit.Initialize(command.RunMode)) return ExitNoDisplay;
  // Asked to end before any window exists: an orderly end with nothing shown
  // and nothing written, as no settings have been read yet.
  if (toolkit.EndRequested()) return 0;
  if (command.PixelRate) toolkit.UsePixelRate(*command.PixelRate);
  if (command.Kind == TCommandKind::Host) {
    if (!toolkit.CreateHostedWindow(command.HostWindow)) {
      err << "moonglow: window " << WindowName(command.HostWindow.Window) << " does not exist\n";
      return ExitInvalidOption;
    }
    toolkit.RunMessageLoop();
    return 0;
  }
  switch (command.RunMode) {
    case Saver:
    case Debug:
      toolkit.SetTitle(ApplicationTitle);
      toolkit.CreateSaverWindow(command.RunMode, 0);
      break;
    case Preview:
      toolkit.ShowPreviewParent(command.ParentWindow);
      toolkit.CreateSaverWindow(Preview, command.ParentWindow);
      break;
    case Configure:
      toolkit.CreateOptionsDialog();
      break;
    case ChangePassword:
      TPasswordGate(platform).ChangePassword(command.HasParentWindow ? command.ParentWindow
                                                                     : platform.ForegroundWindow());
      break;
  }
  toolkit.RunMessageLoop();
  return 0;
}

}  // namespace

int RunEntry(const std::vector<std::string>& args, IPlatform& platform, IToolkit& toolkit,
             const TProcessIo& io) {
  std::ostringstream unseen;  // where a front end without a console sends its lines
  std::ostream& out = io.Out ? *io.Out : unseen;
  std::ostream& err = io.Err ? *io.Err : unseen;

  // The parse touches nothing, so a mistake on the command line is told
  // before any lock or display is taken.
  const TCommandLine command = ParseCommandLine(args, io.Environment);
  const bool linuxAddition =
      command.Kind == TCommandKind::Host || command.Kind == TCommandKind::AddToXscreensaver;
  if (command.Kind == TCommandKind::Invalid) {
    err << "moonglow: " << command.Error << '\n';
    return ExitInvalidOption;
  }
  if (linuxAddition && !toolkit.HostsSavers()) return ExitRefused;
  if (command.Kind == TCommandKind::AddToXscreensaver) {
    return AddToXscreensaver(io.Environment, platform.FileServices(), out, err);
  }

  // A saver host starts a copy for every monitor at once: only the saver's
  // own run modes keep each other out.
  const bool guarded = command.Kind == TCommandKind::RunMode;
  if (guarded && platform.AcquireInstanceLock() == IPlatform::TLockResult::HeldElsewhere) {
    return ExitRefused;
  }
  if (command.Refused) return ExitRefused;

  int exitCode = 0;
  try {
    exitCode = SetUpAndRun(command, platform, toolkit, err);
  } catch (const std::exception& e) {
    toolkit.ShowException(e.what());
  }

  if (guarded) platform.ReleaseInstanceLock();

  // The windows go only now, after the lock: the saver window's settings are
  // written here, and a refused write is shown like any other failure.
  try {
    toolkit.DestroyWindows();
  } catch (const std::exception& e) {
    toolkit.ShowException(e.what());
  }
  return exitCode;
}

}  // namespace moonglow
