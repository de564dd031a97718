#include "qt/OptionsDialog.h"

#include "qt/OptDlg.h"

namespace moonglow {

std::unique_ptr<QWidget> NewOptionsDialog(const std::string& settingsPath, IFileServices& files) {
  return std::make_unique<TOptDialogView>(settingsPath, nullptr, files);
}

}  // namespace moonglow
