#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "settings/OptDlg.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QGroupBox;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace moonglow {

// The options dialog's window on Qt: widgets built from the tables of
// settings/OptDlgModel.h, their events handed to the dialog's handlers.
class TOptDialogView : public QDialog, public IOptDialogView {
  Q_OBJECT
 public:
  // The settings file is written through `files`, which outlives the dialog.
  explicit TOptDialogView(const std::string& settingsPath, QWidget* parent = nullptr,
                          IFileServices& files = PortableFileServices());
  ~TOptDialogView() override;

  TOptDialog& Dialog() { return FDialog; }

  void ShowValues(const TControlValues& values) override;
  TControlValues ReadValues() override;
  void ShowError(const std::string& message) override;
  void Close(bool saved) override;

 public slots:
  // Escape and the close box cancel, like the cancel button.
  void reject() override;

 private:
  void MakeWidget(const TWidgetDef& widget);
  void SetTabOrder();
  QWidget* ParentFor(const TWidgetDef& widget) const;

  struct TBoundControl {
    QSpinBox* Spin = nullptr;
    QSlider* Slider = nullptr;
    QCheckBox* Check = nullptr;
    QButtonGroup* Radio = nullptr;
    QLabel* Caption = nullptr;
  };

  std::array<TBoundControl, ControlCount> FControls{};
  QGroupBox* FThemeGroup = nullptr;
  QTabWidget* FPageControl = nullptr;
  std::array<QWidget*, 5> FPages{};
  // Made once the widgets exist, which its handlers reach through this view.
  TOptDialog FDialog;
};

}  // namespace moonglow
