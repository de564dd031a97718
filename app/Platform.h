#pragma once

#include <memory>

#include "app/CommandLine.h"
#include "settings/FileServices.h"

namespace moonglow {

// The saver password check of the operating system, loaded for one use.
// Destroying it unloads the service again.
class IPasswordCheck {
 public:
  virtual ~IPasswordCheck() = default;
  // Asks the user for the saver password; true when it was verified.
  virtual bool Verify(TWindowHandle owner) = 0;
};

// The operating-system services the saver uses, behind one small interface so
// the entry sequence and the saver window's rules are written once for every
// platform. Services a platform does not have answer as "missing": the step
// that needs them does nothing.
class IPlatform {
 public:
  enum class TLockResult {
    Acquired,       // this copy is the only one running
    HeldElsewhere,  // another copy runs: this one must end at once
    Unavailable,    // the lock cannot be made: run on without the guard
  };

  virtual ~IPlatform() = default;

  // The single-instance lock, named after the version (VersionName), whatever
  // the run mode.
  virtual TLockResult AcquireInstanceLock() = 0;
  virtual void ReleaseInstanceLock() = 0;

  // True on the NT family, where the saver itself checks no password and sends
  // no screen-saver-running notice.
  virtual bool IsNT() = 0;
  // The user's "ScreenSaveUsePassword" setting reads as the 32-bit integer 1.
  virtual bool ScreenSaveUsePassword() = 0;
  // The password check, or nullptr when the platform has none.
  virtual std::unique_ptr<IPasswordCheck> OpenPasswordCheck() = 0;
  // Tells the system that a full-screen saver starts or stops running.
  virtual void SetScreenSaverRunning(bool running) = 0;
  // Closes the input-method status window that belongs to `window`.
  virtual void CloseImeStatusWindow(TWindowHandle window) = 0;
  // The system's change-password dialog owned by `owner`; nothing when the
  // platform has none.
  virtual void ChangePassword(TWindowHandle owner) = 0;
  virtual TWindowHandle ForegroundWindow() = 0;
  // What the settings file is written through: the platform's own checks of
  // who may write, and its flushes to the disk. A platform without its own
  // gets the portable ones.
  virtual IFileServices& FileServices() { return PortableFileServices(); }
};

}  // namespace moonglow
