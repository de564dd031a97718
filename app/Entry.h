#pragma once

#include <cstdint>
#include <iosfwd>
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
  // The saver window inside a saver host's window (host mode). False when
  // that window does not exist: nothing is shown and the run ends.
  virtual bool CreateHostedWindow(const THostWindow&) { return false; }
  // True where the program runs under Linux saver hosts: host mode and
  // --add-to-xscreensaver. Elsewhere they are malformed switches.
  virtual bool HostsSavers() const { return false; }
  // --pixel-rate: the show thread of this run keeps to `pixelRate` pixel
  // writes per second. Called before any window is made.
  virtual void UsePixelRate(std::uint64_t pixelRate) = 0;
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

// What the process gives the run besides its argument list.
struct TProcessIo {
  TEnvironment Environment;     // none: as if no variable were set
  std::ostream* Out = nullptr;  // none: the lines go nowhere
  std::ostream* Err = nullptr;
};

// The whole run of the program from its argument list (program name first) to
// its exit code: parse, guard, set up by mode, message loop, release.
//
// An option the program cannot use prints one line and ends with
// ExitInvalidOption before anything else happens. Host mode takes no
// single-instance lock: a host starts one copy per monitor.
int RunEntry(const std::vector<std::string>& args, IPlatform& platform, IToolkit& toolkit,
             const TProcessIo& io = {});

}  // namespace moonglow
