#include "app/Entry.h"

#include <exception>

namespace moonglow {

namespace {

// Set-up by mode and the message loop. Returns the exit code.
int SetUpAndRun(const TCommandLine& command, IPlatform& platform, IToolkit& toolkit) {
  if (!toolkit.Initialize(command.RunMode)) return ExitNoDisplay;
  // Asked to end before any window exists: an orderly end with nothing shown
  // and nothing written, as no settings have been read yet.
  if (toolkit.EndRequested()) return 0;
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
      platform.ChangePassword(command.HasParentWindow ? command.ParentWindow
                                                      : platform.ForegroundWindow());
      break;
  }
  toolkit.RunMessageLoop();
  return 0;
}

}  // namespace

int RunEntry(const std::vector<std::string>& args, IPlatform& platform, IToolkit& toolkit) {
  if (platform.AcquireInstanceLock() == IPlatform::TLockResult::HeldElsewhere) return ExitRefused;

  const TCommandLine command = ParseCommandLine(args);
  if (command.Refused) return ExitRefused;

  int exitCode = 0;
  try {
    exitCode = SetUpAndRun(command, platform, toolkit);
  } catch (const std::exception& e) {
    toolkit.ShowException(e.what());
  }

  platform.ReleaseInstanceLock();

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
