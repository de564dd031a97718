#include "qt/OptDlg.h"

#include "settings/IniFile.h"

namespace moonglow {

TOptDialog::TOptDialog(const std::string& settingsPath, QWidget* parent)
    : QDialog(parent), Settings(std::make_unique<TMyIniFile>(settingsPath)) {
  setWindowTitle(QStringLiteral("Moonglow Setup"));
}

TOptDialog::~TOptDialog() = default;

}  // namespace moonglow
