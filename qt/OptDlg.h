#pragma once

#include <QDialog>
#include <string>

#include "settings/OptDlg.h"

namespace moonglow {

// The options dialog's window on Qt: widgets built from the tables of
// settings/OptDlgModel.h, their events handed to the dialog's handlers.
class TOptDialogView : public QDialog, public IOptDialogView {
  Q_OBJECT
 public:
  // The settings file is written through `files`, which outlives the dialog.
  explicit TOptDialogView(const std::string& settingsPath, QWidget* parent = nullptr,
                          IFileServices& files = PortableFileServices());

  void SetPosition(std::size_t index, std::int32_t position) override;
  std::int32_t Position(std::size_t index) override;
  void SetChecked(std::size_t index, int item, bool on) override;
  bool Checked(std::size_t index, int item) override;
  void ShowError(const std::string& message) override;
  void Close(bool saved) override;

 public slots:
  // Escape and the close box cancel, like the cancel button.
  void reject() override;

 protected:
  // Enter presses the focused button, and cancel anywhere else.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void MakeWidget(const TWidgetDef& widget);
  // Made once the widgets exist, which its handlers reach through this view.
  TOptDialog FDialog;
};

}  // namespace moonglow
