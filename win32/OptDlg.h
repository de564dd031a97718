#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "settings/IniFile.h"
#include "settings/OptDlgModel.h"
#include "win32/MainWindow.h"
#include "win32/MessageLoop.h"

namespace moonglow::win32 {

// The options dialog on Win32. Its frame is the DIALOGEX resource
// IDD_OPTDIALOG; every control inside it is made at WM_INITDIALOG from the
// toolkit-independent dialog table, in 96-dpi client pixels scaled to the
// screen's resolution, so the table is the one place that says what the
// dialog shows. Values move between the controls and the settings record only
// through the table's transfer functions.
class TOptDialog final : public IDialogKeys, public IMainWindow {
 public:
  // `onClose` runs when the dialog closes (OK, initial values, cancel,
  // Escape, the close box); the program then ends.
  // The settings file is written through `files`, which outlives the dialog.
  TOptDialog(HINSTANCE instance, std::string settingsPath, TErrorBox showError,
             std::function<void()> onClose, IFileServices& files = PortableFileServices());
  ~TOptDialog() override;
  TOptDialog(const TOptDialog&) = delete;
  TOptDialog& operator=(const TOptDialog&) = delete;

  // Makes and shows the dialog; FormCreate runs while it is made.
  void Create();
  // FormDestroy, then the window goes.
  void Destroy() override;
  HWND Window() const override { return FWindow; }
  bool Closed() const override { return FClosed; }
  bool FiltersSystemCommands() const override { return false; }
  IDialogKeys* DialogKeys() override { return this; }

  // Tab and Shift+Tab follow the dialog's own tab order (which the window
  // stacking cannot give: the tabbed control must lie under its pages but
  // come before them), Ctrl+Tab turns the pages; everything else goes to the
  // dialog manager.
  bool TranslateDialogKey(MSG& msg) override;

  // The handlers, as the form binds them.
  void FormCreate();
  void FormDestroy();
  void ButtonOkClick();
  void ButtonCancelClick();
  void ButtonInitialClick();
  void TrackBarChange(std::size_t index);

  TMyIniFile* Settings() const { return FSettings.get(); }
  // A control by its name in the dialog table: a spin box's name gives its
  // up-down, its EditName the edit field and its CaptionName the label.
  HWND Control(std::string_view name) const;
  HWND RadioItem(std::size_t index, int item) const;
  HWND Tooltip() const { return FTooltip; }
  // What the controls hold, one value per entry of the table.
  TControlValues Values() const;
  void SetValues(const TControlValues& values);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // Commands and notifications of the controls, from the dialog or a page.
  bool ControlMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void BuildControls();
  void PlaceFrame();
  HWND MakeControl(const wchar_t* windowClass, std::string_view text, DWORD style, DWORD exStyle,
                   TPlace place, int tab, const TBounds& bounds, HFONT font, int id = 0);
  void AddTooltip(HWND control, const std::string& hint);
  void ShowPage(int tab);
  void Close();
  int Px(int pixels) const;
  // Height of a line of text in `font`, in device pixels.
  int LineHeight(HFONT font) const;
  int TextWidth(HFONT font, const std::wstring& text) const;
  // Narrows the font of `control` until its text fits `room` device pixels.
  void FitText(HWND control, int room);
  // What a check box or radio button keeps for its indicator and the gap
  // before its text, in device pixels.
  int IndicatorRoom() const { return GetSystemMetrics(SM_CXMENUCHECK) + Px(4); }

  void SetSpin(std::size_t index, std::int32_t position);
  std::int32_t SpinValue(std::size_t index) const;
  void SpinTextChanged(std::size_t index);
  void SpinEditDone(std::size_t index);
  void SpinStepped(std::size_t index);
  std::size_t IndexOf(HWND control) const;
  void MoveFocus(bool backward);

  HINSTANCE FInstance;
  std::string FSettingsPath;
  IFileServices& FFiles;
  TErrorBox FShowError;
  std::function<void()> FOnClose;
  std::unique_ptr<TMyIniFile> FSettings;

  HWND FWindow = nullptr;
  HWND FTooltip = nullptr;
  HWND FTabs = nullptr;
  HWND FThemeGroup = nullptr;
  std::vector<HWND> FPages;
  int FDpi = 96;
  HFONT FDialogFont = nullptr;
  HFONT FTitleFont = nullptr;
  HFONT FVersionFont = nullptr;
  // Narrowed cuts of the fonts above, for captions that would not fit.
  std::vector<HFONT> FNarrowFonts;
  HICON FHeaderIcon = nullptr;
  HICON FBigIcon = nullptr;
  HICON FSmallIcon = nullptr;

  std::map<std::string, HWND, std::less<>> FControls;
  // Per table entry: the control carrying the value (the up-down of a spin
  // box), the edit field of a spin box, the three items of a radio group.
  std::array<HWND, ControlCount> FValueControls{};
  std::array<HWND, ControlCount> FEdits{};
  std::array<std::array<HWND, 3>, ControlCount> FRadioItems{};
  // Spin boxes: the last position the field's text gave, and the last text
  // that was not refused.
  std::array<std::int32_t, ControlCount> FSpinPos{};
  std::array<std::wstring, ControlCount> FSpinText{};
  bool FSettingText = false;
  bool FClosed = false;
};

}  // namespace moonglow::win32
