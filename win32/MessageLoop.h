#pragma once

#include <windows.h>

namespace moonglow::win32 {

// The saver's application-wide message filter: the system's requests to close
// the saver or to start a screen saver (WM_SYSCOMMAND with wParam exactly
// SC_CLOSE or SC_SCREENSAVE) are dropped before dispatch. The low four bits
// of wParam are not masked off, so a command with any of them set passes.
bool IsDroppedSystemCommand(const MSG& msg);

// Lets a modeless dialog take its keyboard messages before they are dispatched.
class IDialogKeys {
 public:
  virtual ~IDialogKeys() = default;
  // True when the message has been handled and must not be dispatched.
  virtual bool TranslateDialogKey(MSG& msg) = 0;
};

// The application's message loop: takes every message of this thread's queue
// until WM_QUIT. With `filterSystemCommands` set, the saver's filter is
// applied to every message taken.
void RunMessageLoop(bool filterSystemCommands, IDialogKeys* dialog);

}  // namespace moonglow::win32
