#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "settings/FileServices.h"

namespace moonglow {

// The options dialog on the settings file at `settingsPath`, written through
// `files`; not yet shown.
std::unique_ptr<QWidget> NewOptionsDialog(const std::string& settingsPath, IFileServices& files);

}  // namespace moonglow
