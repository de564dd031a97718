#pragma once

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Platform.h"
#include "app/RunMode.h"

namespace moonglow {

// The application title in Saver and Debug, and the saver window's caption.
inline constexpr const char* ApplicationTitle = "The Real Moonglow Screen Saver";

// Exit code when the toolkit cannot start at all (no display to draw on).
inline constexpr int ExitNoDisplay = 1;
// Exit code of a refused start: another copy runs, or the switch is malformed.
inline constexpr int ExitRefused = -1;

// What the entry sequence needs of the GUI toolkit: the application object, its
// windows, its message loop and its standard error box.
class IToolkit {
 public:
  virtual ~IToolkit() = default;

  // Initialises the application object for `mode`. False when the toolkit
  // cannot run here at all; it has already told the user why.
  virtual bool Initialize(TRunMode mode) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // Before a preview window is made: the preview parent is brought up.
  virtual void ShowPreviewParent(TWindowHandle parent) = 0;
  // The saver window for Saver, Debug or Preview (then a child of `parent`).
  virtual void CreateSaverWindow(TRunMode mode, TWindowHandle parent) = 0;
  virtual void CreateOptionsDialog() = 0;
  // Returns when the main window has closed, or at once when there is none.
  virtual void RunMessageLoop() = 0;
  // Destroys the application's windows; the saver window saves its settings
  // here, so this may throw.
  virtual void DestroyWindows() = 0;
  // The application's standard error box.
  virtual void ShowException(const std::string& message) = 0;
  // True once the system has asked the program to end (on Linux, a signal).
  // While the loop runs the toolkit acts on such a request itself: the saver
  // window ends by TMainForm::EndOnRequest, the dialog as Cancel ends it. A
  // platform that sends no such request keeps this answer.
  virtual bool EndRequested() { return false; }
};

// The whole run of the program from its argument list (program name first) to
// its exit code: guard, parse, set up by mode, message loop, release.
int RunEntry(const std::vector<std::string>& args, IPlatform& platform, IToolkit& toolkit);

}  // namespace moonglow
