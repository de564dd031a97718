#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "settings/OptDlg.h"
#include "win32/MainWindow.h"
#include "win32/MessageLoop.h"

namespace moonglow::win32 {

// The options dialog's window on Win32: the empty DIALOGEX frame IDD_OPTDIALOG
// filled from the dialog tables, in 96-dpi client pixels scaled to the
// resolution of the monitor it is on, and laid out again when it moves to a
// monitor of another; its events go to the dialog's handlers.
class TOptDialogView final : public IDialogKeys, public IMainWindow, public IOptDialogView {
 public:
  // `onClose` runs when the dialog closes; the program then ends. The
  // settings file is written through `files`, which outlives the dialog.
  TOptDialogView(HINSTANCE instance, std::string settingsPath, TErrorBox showError,
                 std::function<void()> onClose, IFileServices& files = PortableFileServices());
  ~TOptDialogView() override;
  TOptDialogView(const TOptDialogView&) = delete;
  TOptDialogView& operator=(const TOptDialogView&) = delete;

  void Create();
  void Destroy() override;
  HWND Window() const override { return FWindow; }
  bool Closed() const override { return FDialog.Closed(); }
  bool FiltersSystemCommands() const override { return false; }
  IDialogKeys* DialogKeys() override { return this; }
  // Tab and Shift+Tab follow the dialog's own tab order (which the window
  // stacking cannot give: the tabbed control must lie under its pages but
  // come before them), Ctrl+Tab turns the pages; everything else goes to the
  // dialog manager.
  bool TranslateDialogKey(MSG& msg) override;

  void SetPosition(std::size_t index, std::int32_t position) override;
  std::int32_t Position(std::size_t index) override;
  void SetChecked(std::size_t index, int item, bool on) override;
  bool Checked(std::size_t index, int item) override;
  void ShowError(const std::string& message) override { FShowError(message); }
  void Close(bool saved) override;

  TOptDialog& Dialog() { return FDialog; }
  // A control by its name in the dialog table: a spin box's name gives its
  // up-down, its EditName the edit field and its CaptionName the label.
  HWND Control(std::string_view name) const;
  HWND Tooltip() const { return FTooltip; }

 private:
  HWND MakeDialog(int resource, HWND parent);
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool ControlMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void MakeFonts();
  void SetFrameIcons();
  SIZE FrameSize(int dpi) const;
  void ChangeDpi(int dpi, const RECT& frame);
  // Widget `index` of Widgets().
  void MakeWidget(std::size_t index);
  void Arrange(std::size_t index);
  TBounds Placed(const TWidgetDef& widget, const TBounds& bounds) const;
  HWND MakeControl(const TWidgetDef& widget, const wchar_t* windowClass, const std::string& text,
                   DWORD style, const TBounds& bounds, int id, DWORD exStyle = 0);
  void ShowPage(int tab);
  int Px(int pixels) const { return MulDiv(pixels, FDpi, 96); }
  void SetSpin(std::size_t index, std::int32_t position);
  void SpinTextChanged(std::size_t index);
  void MoveFocus(bool backward);
  // The name in Widgets() of the window with the focus; empty for none.
  std::string FocusedName() const;

  HINSTANCE FInstance;
  TErrorBox FShowError;
  std::function<void()> FOnClose;
  TOptDialog FDialog;

  HWND FWindow = nullptr;
  HWND FTooltip = nullptr;
  HWND FTabs = nullptr;
  std::vector<HWND> FPages;
  // The window made for each widget of Widgets(): a spin box's edit field.
  std::vector<HWND> FWindows;
  // The resolution of the monitor the dialog is on.
  int FDpi = 96;
  // By TFontRole, then narrowed cuts of them for captions that would not fit.
  std::vector<HFONT> FFonts;
  std::array<HICON, 3> FIcons{};  // the header's, the frame's big and small
  std::map<std::string, HWND, std::less<>> FControls;
  // The window that takes the focus for a widget: a spin box's edit field.
  std::map<std::string, HWND> FFocus;
  std::array<TSpinField, ControlCount> FSpins{};
  bool FSettingText = false;
};

}  // namespace moonglow::win32
