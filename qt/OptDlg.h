#pragma once

#include <QDialog>
#include <array>
#include <memory>
#include <string>

#include "settings/OptDlgModel.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QGroupBox;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace moonglow {

class TMyIniFile;

// The options dialog: edits the settings file at `settingsPath`. Every widget
// is built from the control tables of settings/OptDlgModel.h, and values pass
// between the widgets and the record only through that module's transfers.
class TOptDialog : public QDialog {
  Q_OBJECT
 public:
  // The settings file is written through `files`, which outlives the dialog.
  explicit TOptDialog(const std::string& settingsPath, QWidget* parent = nullptr,
                      IFileServices& files = PortableFileServices());
  ~TOptDialog() override;

  // The form's handlers, named as the controls and events they are bound to.
  void ButtonOkClick();
  void ButtonCancelClick();
  void ButtonInitialClick();
  void TrackBarChange(QSlider* sender);

 public slots:
  // Escape and the close box cancel, like the cancel button.
  void reject() override;

 private:
  void FormCreate();
  void FormDestroy();

  void CreateHeader();
  void CreateThemeGroup();
  void CreatePages();
  void CreateControls();
  void CreateButtons();
  void SetTabOrder();
  QWidget* ParentFor(TPlace place, int tab) const;

  // Widgets ⇄ values in the transfer order.
  TControlValues ReadControls() const;
  void ShowControls(const TControlValues& values);
  void ShowWriteError(const char* message);

  struct TBoundControl {
    QSpinBox* Spin = nullptr;
    QSlider* Slider = nullptr;
    QCheckBox* Check = nullptr;
    QButtonGroup* Radio = nullptr;
    QLabel* Caption = nullptr;
  };

  std::string FSettingsPath;
  IFileServices& FFiles;
  std::unique_ptr<TMyIniFile> Settings;
  std::array<TBoundControl, ControlCount> FControls{};
  QLabel* LabelVersion = nullptr;
  QGroupBox* FThemeGroup = nullptr;
  QTabWidget* FPageControl = nullptr;
  std::array<QWidget*, 5> FPages{};
  std::array<QPushButton*, 3> FButtons{};
};

}  // namespace moonglow
