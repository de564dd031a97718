#include "app/PasswordGate.h"

#include <memory>

#include "app/Main.h"

namespace moonglow {

void TPasswordGate::SaverRunning(bool running) {
  if (!FIsNT) FPlatform.SetScreenSaverRunning(running);
}

bool TPasswordGate::MayClose(IMainFormHost& window, TPoint& cursorStart) {
  if (FIsNT || !FPlatform.ScreenSaveUsePassword()) return true;
  // The check stays loaded until the refusal has been dealt with.
  const std::unique_ptr<IPasswordCheck> check = FPlatform.OpenPasswordCheck();
  if (!check) return true;
  window.ShowCursor(true);
  if (check->Verify(window.Handle())) return true;
  cursorStart = window.CursorPos();
  window.ShowCursor(false);
  FPlatform.CloseImeStatusWindow(window.Handle());
  return false;
}

}  // namespace moonglow
