#pragma once

#include <QWidget>
#include <memory>
#include <string>

namespace moonglow {

// The options dialog on the settings file at `settingsPath`, not yet shown.
std::unique_ptr<QWidget> NewOptionsDialog(const std::string& settingsPath);

}  // namespace moonglow
