#include "win32/MessageLoop.h"

namespace moonglow::win32 {

bool IsDroppedSystemCommand(const MSG& msg) {
  return msg.message == WM_SYSCOMMAND && (msg.wParam == SC_CLOSE || msg.wParam == SC_SCREENSAVE);
}

void RunMessageLoop(bool filterSystemCommands, IDialogKeys* dialog) {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (filterSystemCommands && IsDroppedSystemCommand(msg)) continue;
    if (dialog && dialog->TranslateDialogKey(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace moonglow::win32
