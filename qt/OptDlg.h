#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace moonglow {

class TMyIniFile;

// The options dialog: edits the settings file at `settingsPath`.
class TOptDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TOptDialog(const std::string& settingsPath, QWidget* parent = nullptr);
  ~TOptDialog() override;

 private:
  std::unique_ptr<TMyIniFile> Settings;
};

}  // namespace moonglow
