#include "qt/OptionsDialog.h"

#include "qt/OptDlg.h"

namespace moonglow {

std::unique_ptr<QWidget> NewOptionsDialog(const std::string& settingsPath) {
  return std::make_unique<TOptDialogView>(settingsPath);
}

}  // namespace moonglow
