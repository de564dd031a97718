#pragma once

#include "app/CommandLine.h"
#include "app/Platform.h"

namespace moonglow {

class IMainFormHost;
struct TPoint;

// The saver password as the Windows 95 family keeps it, and every use of the
// platform's password services. On that family the saver itself asks for the
// password before it closes, and tells the system while it runs; the NT
// family, and every other platform, does both itself, and the gate stands
// open.
class TPasswordGate {
 public:
  explicit TPasswordGate(IPlatform& platform) : FPlatform(platform) {}

  // Asks the platform which family it is. Until then the gate stands open.
  void FindFamily() { FIsNT = FPlatform.IsNT(); }

  // The system hears that the full-screen saver starts (true) or has stopped:
  // the 95 family only.
  void SaverRunning(bool running);

  // Whether the saver window may close. Where the family, the user's password
  // setting and the platform's check all ask for it, the user is asked, with
  // the cursor shown. A refusal hides the cursor again, closes the
  // input-method status window and moves `cursorStart` to where the cursor is
  // now: the user moved the mouse to type.
  bool MayClose(IMainFormHost& window, TPoint& cursorStart);

  // The change-password mode: the system's own dialog, owned by `owner`.
  void ChangePassword(TWindowHandle owner) { FPlatform.ChangePassword(owner); }

 private:
  IPlatform& FPlatform;
  bool FIsNT = true;
};

}  // namespace moonglow
