#pragma once

#include <windows.h>

namespace moonglow::win32 {

// Lets a modeless dialog take its keyboard messages before they are dispatched.
class IDialogKeys {
 public:
  virtual ~IDialogKeys() = default;
  // True when the message has been handled and must not be dispatched.
  virtual bool TranslateDialogKey(MSG& msg) = 0;
};

// The application's message loop: takes every message of this thread's queue
// until WM_QUIT. With `filterSystemCommands` set, the saver window's filter
// (DropsSystemCommand) is applied to every message taken.
void RunMessageLoop(bool filterSystemCommands, IDialogKeys* dialog);

}  // namespace moonglow::win32
