#include "win32/MessageLoop.h"

#include "app/Main.h"

namespace moonglow::win32 {

void RunMessageLoop(bool filterSystemCommands, IDialogKeys* dialog) {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (filterSystemCommands && DropsSystemCommand(msg.message, msg.wParam)) continue;
    if (dialog && dialog->TranslateDialogKey(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace moonglow::win32
