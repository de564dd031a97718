#include "win32/OptDlg.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "win32/Resource.h"
#include "win32/Text.h"

namespace moonglow::win32 {

namespace {

// Command identifiers of the buttons, in the order of ButtonTable(). Cancel
// is IDCANCEL, so that Escape and the close box reach it through the dialog
// manager.
constexpr std::array<int, 3> ButtonIds{1001, IDCANCEL, 1002};
constexpr int IdFirstControl = 1100;

int CALLBACK CountFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

HFONT MakeFont(TFontRole role, int dpi) {
  HDC dc = GetDC(nullptr);
  const std::wstring face = Widen(ChooseFace(role, [dc](const std::string& name) {
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    const std::wstring wide = Widen(name);
    if (!dc || wide.size() >= LF_FACESIZE) return false;
    wide.copy(query.lfFaceName, wide.size());
    bool found = false;
    EnumFontFamiliesExW(dc, &query, &CountFace, reinterpret_cast<LPARAM>(&found), 0);
    return found;
  }));
  if (dc) ReleaseDC(nullptr, dc);
  const TFontDef& font = FontOf(role);
  // The dialog face is a Japanese one; the header faces are Latin.
  const BYTE charset = role == TFontRole::Dialog ? SHIFTJIS_CHARSET : DEFAULT_CHARSET;
  return CreateFontW(-MulDiv(font.PixelHeight, dpi, 96), 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL,
                     FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

// The control table's index of the control with identifier `id`: an
// up-down's comes after all the others'.
std::size_t IndexOf(int id) {
  const int offset = id - IdFirstControl;
  if (offset < 0 || offset >= 2 * static_cast<int>(ControlCount)) return ControlCount;
  return static_cast<std::size_t>(offset) % ControlCount;
}

template <class F>
int Measure(HWND window, HFONT font, F measure) {
  int result = 0;
  if (HDC dc = GetDC(window)) {
    HGDIOBJ old = SelectObject(dc, font);
    result = measure(dc);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
  }
  return result;
}

// Device pixels: a line of text in `font` (with `average`, its average
// character width), and `text` set in it.
int LineHeight(HWND window, HFONT font, bool average = false) {
  return Measure(window, font, [average](HDC dc) {
    TEXTMETRICW metrics{};
    if (!GetTextMetricsW(dc, &metrics)) return 0;
    return static_cast<int>(average ? metrics.tmAveCharWidth : metrics.tmHeight);
  });
}

int TextWidth(HWND window, HFONT font, const std::wstring& text) {
  return Measure(window, font, [&text](HDC dc) {
    SIZE size{};
    return GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size) ? size.cx
                                                                                         : 0;
  });
}

// Narrows the font of `control` until its text fits `room` device pixels;
// the narrowed font goes to `fonts`, which owns it.
void FitText(HWND window, HWND control, int room, std::vector<HFONT>& fonts) {
  const std::wstring text = WindowText(control);
  auto* font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW shape{};
  if (text.empty() || !font || room <= 0 || !GetObjectW(font, sizeof shape, &shape)) return;
  const int average = LineHeight(window, font, true);
  if (average <= 0) return;
  // A narrower cut of the font: a static control would wrap its last word
  // out of sight rather than cut it.
  const auto cut = [&](int stretch) {
    shape.lfWidth = std::max<LONG>(1, average * stretch / 100);
    return CreateFontIndirectW(&shape);
  };
  const int stretch = FitStretch(TextWidth(window, font, text), room, [&](int tried) {
    HFONT narrow = cut(tried);
    const int wide = narrow ? TextWidth(window, narrow, text) : 0;
    if (narrow) DeleteObject(narrow);
    return wide;
  });
  if (stretch == 100) return;
  if (HFONT narrow = cut(stretch)) {
    fonts.push_back(narrow);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(narrow), FALSE);
  }
}

HICON AppIcon(HINSTANCE instance, int size) {
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_MOONGLOW), IMAGE_ICON, size, size, 0));
}

void AddTooltip(HWND tooltip, HWND owner, HWND control, const std::string& hint) {
  if (hint.empty() || !tooltip) return;
  std::wstring text = Widen(hint);
  TTTOOLINFOW tool{};
  // The size every version of the common controls accepts.
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = text.data();
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// The window class and styles of each kind of widget, by TWidgetKind. A spin
// box's are its edit field's.
struct TWindowKind {
  const wchar_t* Class;
  DWORD Style;
};
const std::array<TWindowKind, 11> WindowKinds{{
    {WC_STATICW, SS_ICON | SS_REALSIZECONTROL},
    {WC_STATICW, SS_LEFT | SS_NOPREFIX},
    {WC_STATICW, SS_ETCHEDHORZ},
    {WC_BUTTONW, BS_GROUPBOX | WS_GROUP},
    {WC_TABCONTROLW, WS_CLIPSIBLINGS | WS_TABSTOP | WS_GROUP},
    {WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP},
    {TRACKBAR_CLASSW, TBS_HORZ | TBS_AUTOTICKS | TBS_BOTTOM | WS_TABSTOP | WS_GROUP},
    {WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP},
    {WC_BUTTONW, BS_GROUPBOX | WS_GROUP},
    // The first item opens the group; the arrow keys move between the items.
    {WC_BUTTONW, BS_AUTORADIOBUTTON},
    {WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP},
}};

}  // namespace

TOptDialogView::TOptDialogView(HINSTANCE instance, std::string settingsPath, TErrorBox showError,
                               std::function<void()> onClose, IFileServices& files)
    : FInstance(instance),
      FShowError(std::move(showError)),
      FOnClose(std::move(onClose)),
      FDialog(*this, std::move(settingsPath), files) {
  for (std::size_t i = 0; i < ControlCount; ++i) FSpins[i] = TSpinField(i);
}

TOptDialogView::~TOptDialogView() {
  if (FWindow) DestroyWindow(FWindow);
  // Null handles, of what could not be made, are refused harmlessly.
  for (HFONT font : FFonts) DeleteObject(font);
  for (HICON icon : FIcons) DestroyIcon(icon);
}

// The controls are made once the empty frame exists, outside the system's
// frames, so a failure is thrown straight to the caller; the frame is shown
// only when they are all there.
void TOptDialogView::Create() {
  FWindow = MakeDialog(IDD_OPTDIALOG, nullptr);
  HDC screen = GetDC(FWindow);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(FWindow, screen);
  FDpi = dpi > 0 ? dpi : 96;
  for (TFontRole role : {TFontRole::Dialog, TFontRole::Title, TFontRole::Version})
    FFonts.push_back(MakeFont(role, FDpi));
  SetWindowTextW(FWindow, Widen(DialogCaption).c_str());
  // The client area is the table's, at this screen's resolution, centred on
  // the work area.
  RECT frame{0, 0, Px(ClientWidth), Px(ClientHeight)};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(FWindow, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(FWindow, GWL_EXSTYLE)));
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const TBounds at = CentreIn({work.left, work.top, work.right - work.left, work.bottom - work.top},
                              frame.right - frame.left, frame.bottom - frame.top);
  SetWindowPos(FWindow, nullptr, at.Left, at.Top, at.Width, at.Height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  FIcons[1] = AppIcon(FInstance, GetSystemMetrics(SM_CXICON));
  FIcons[2] = AppIcon(FInstance, GetSystemMetrics(SM_CXSMICON));
  if (FIcons[1]) SendMessageW(FWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(FIcons[1]));
  if (FIcons[2]) SendMessageW(FWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(FIcons[2]));
  FTooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FWindow,
                             nullptr, FInstance, nullptr);
  for (const TWidgetDef& w : Widgets()) MakeWidget(w);
  ShowPage(0);
  FDialog.FormCreate();
  if (HWND first = Control(InitialFocus()))
    SendMessageW(FWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
  ShowWindow(FWindow, SW_SHOW);
  SetForegroundWindow(FWindow);
}

void TOptDialogView::Destroy() {
  FDialog.FormDestroy();
  if (FWindow) DestroyWindow(FWindow);
}

// The dialog and its pages are told their view once made; what comes before
// goes to the dialog manager's defaults.
HWND TOptDialogView::MakeDialog(int resource, HWND parent) {
  HWND window = CreateDialogParamW(FInstance, MAKEINTRESOURCEW(resource), parent, &DialogProc, 0);
  if (!window) throw std::runtime_error("CreateDialogParam: " + std::to_string(GetLastError()));
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return window;
}

INT_PTR CALLBACK TOptDialogView::DialogProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  auto* self = reinterpret_cast<TOptDialogView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return FALSE;
  if (message == WM_NCDESTROY && window == self->FWindow) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->FWindow = nullptr;
    return FALSE;
  }
  try {
    return self->ControlMessage(message, wParam, lParam) ? TRUE : FALSE;
  } catch (const std::exception& e) {
    self->FShowError(e.what());
    return TRUE;
  }
}

bool TOptDialogView::ControlMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const auto from = [lParam] { return IndexOf(GetDlgCtrlID(reinterpret_cast<HWND>(lParam))); };
  const auto isSpin = [](std::size_t index) {
    return index < ControlCount && ControlTable()[index].Kind == TControlKind::SpinBox;
  };
  switch (message) {
    case WM_CLOSE:
      FDialog.ButtonCancelClick();
      return true;
    case WM_COMMAND: {
      const int code = HIWORD(wParam);
      const auto button = std::find(ButtonIds.begin(), ButtonIds.end(), LOWORD(wParam));
      const std::size_t index = lParam ? IndexOf(LOWORD(wParam)) : ControlCount;
      if (code == BN_CLICKED && button != ButtonIds.end()) {
        FDialog.ButtonClick(static_cast<std::size_t>(button - ButtonIds.begin()));
      } else if (isSpin(index) && code == EN_CHANGE) {
        SpinTextChanged(index);
      } else if (isSpin(index) && code == EN_KILLFOCUS) {
        SetSpin(index, FSpins[index].Position());
      } else {
        return isSpin(index);
      }
      return true;
    }
    case WM_HSCROLL: {
      const std::size_t index = from();
      if (index == ControlCount) return false;
      FDialog.TrackBarChange(index, static_cast<std::int32_t>(SendMessageW(
                                        reinterpret_cast<HWND>(lParam), TBM_GETPOS, 0, 0)));
      return true;
    }
    case WM_VSCROLL: {
      // The up-down has written its new position into the field in the
      // user's number format; show it as the dialog writes numbers elsewhere.
      const std::size_t index = from();
      if (isSpin(index) && LOWORD(wParam) == SB_THUMBPOSITION)
        SetSpin(index, static_cast<std::int32_t>(
                           SendMessageW(reinterpret_cast<HWND>(lParam), UDM_GETPOS32, 0, 0)));
      return isSpin(index);
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->hwndFrom != FTabs || header->code != TCN_SELCHANGE) return false;
      ShowPage(static_cast<int>(SendMessageW(FTabs, TCM_GETCURSEL, 0, 0)));
      return true;
    }
    default:
      return false;
  }
}

HWND TOptDialogView::MakeControl(const TWidgetDef& w, const wchar_t* windowClass,
                                 const std::string& text, DWORD style, const TBounds& bounds,
                                 int id, DWORD exStyle) {
  style |= (w.Visible ? WS_VISIBLE : 0) | (w.Enabled ? 0 : WS_DISABLED);
  HWND parent = w.Place == TPlace::Tab ? FPages.at(static_cast<std::size_t>(w.Tab)) : FWindow;
  const HFONT font = FFonts[static_cast<std::size_t>(w.Font)];
  const TBounds flat = FlatBounds(w, bounds);
  TBounds at{Px(flat.Left), Px(flat.Top), Px(flat.Width), Px(flat.Height)};
  if (w.Kind == TWidgetKind::Label && !text.empty())
    at = CaptionToLine(at, LineHeight(FWindow, font));
  HWND control = CreateWindowExW(
      exStyle, windowClass, Widen(text).c_str(), WS_CHILD | style, at.Left, at.Top, at.Width,
      at.Height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), FInstance, nullptr);
  if (!control) {
    throw std::runtime_error("CreateWindowEx " + Narrow(windowClass) + ": " +
                             std::to_string(GetLastError()));
  }
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

void TOptDialogView::MakeWidget(const TWidgetDef& w) {
  const std::size_t i = w.Control;
  const bool value = w.Kind == TWidgetKind::SpinBox || w.Kind == TWidgetKind::Slider ||
                     w.Kind == TWidgetKind::CheckBox;
  const bool hasText = w.Kind != TWidgetKind::SpinBox && w.Kind != TWidgetKind::Slider;
  const bool isDefault = w.Button >= 0 && ButtonTable()[static_cast<std::size_t>(w.Button)].Default;
  const int id = w.Button >= 0 ? ButtonIds[static_cast<std::size_t>(w.Button)]
                 : value       ? IdFirstControl + static_cast<int>(i)
                               : 0;
  const TWindowKind& kind = WindowKinds[static_cast<std::size_t>(w.Kind)];
  DWORD style = kind.Style | (w.Centred ? SS_CENTER : 0) | (isDefault ? BS_DEFPUSHBUTTON : 0) |
                (w.Item == 0 ? WS_GROUP | WS_TABSTOP : 0);
  // The up-down takes its width from the right of its buddy: made as wide as
  // both, the field ends where the table puts the up-down.
  HWND made = MakeControl(w, kind.Class, hasText ? w.Caption : std::string(), style, w.Bounds, id,
                          w.Kind == TWidgetKind::SpinBox ? WS_EX_CLIENTEDGE : 0);
  FControls.emplace(w.Kind == TWidgetKind::SpinBox ? ControlTable()[i].EditName : w.Name, made);
  FFocus.emplace(w.Name, made);
  AddTooltip(FTooltip, FWindow, made, w.Hint);
  const int indicator = GetSystemMetrics(SM_CXMENUCHECK) + Px(4);
  FitText(FWindow, made, CaptionRoom(w.Kind, Px(w.Bounds.Width), indicator), FFonts);
  if (w.Kind == TWidgetKind::Icon) {
    FIcons[0] = AppIcon(FInstance, Px(32));
    if (FIcons[0]) SendMessageW(made, STM_SETICON, reinterpret_cast<WPARAM>(FIcons[0]), 0);
  } else if (isDefault) {
    // Cancel is the default, so Enter in an edit field cancels.
    SendMessageW(FWindow, DM_SETDEFID, static_cast<WPARAM>(id), 0);
  } else if (w.Kind == TWidgetKind::Tabs) {
    FTabs = made;
    // One page per tab over the tabbed control's display area. The tabbed
    // control lies under its pages, and clips them out of its painting.
    for (std::size_t t = 0; t < TabTable().size(); ++t) {
      std::wstring caption = Widen(TabTable()[t].Caption);
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = caption.data();
      SendMessageW(FTabs, TCM_INSERTITEMW, t, reinterpret_cast<LPARAM>(&item));
    }
    RECT display{0, 0, Px(w.Bounds.Width), Px(w.Bounds.Height)};
    SendMessageW(FTabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    MapWindowPoints(FTabs, FWindow, reinterpret_cast<POINT*>(&display), 2);
    for (const TTabDef& tab : TabTable()) {
      HWND page = MakeDialog(IDD_OPTPAGE, FWindow);
      // On themed systems the page takes the tab body's texture.
      EnableThemeDialogTexture(page, ETDT_ENABLETAB);
      SetWindowPos(page, HWND_TOP, display.left, display.top, display.right - display.left,
                   display.bottom - display.top, SWP_NOACTIVATE);
      FPages.push_back(page);
      FControls.emplace(tab.Name, page);
    }
    SetWindowPos(FTabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  } else if (w.Kind == TWidgetKind::SpinBox) {
    const TControlDef& def = ControlTable()[i];
    HWND upDown = MakeControl(
        w, UPDOWN_CLASSW, std::string(),
        UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | (def.Thousands ? 0 : UDS_NOTHOUSANDS),
        def.SpinBounds, id + static_cast<int>(ControlCount));
    SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(made), 0);
    SendMessageW(upDown, UDM_SETRANGE32, static_cast<WPARAM>(def.Min), def.Max);
    UDACCEL step{0, static_cast<UINT>(def.Step)};
    SendMessageW(upDown, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&step));
    FControls.emplace(w.Name, upDown);
  } else if (w.Kind == TWidgetKind::Slider) {
    const TControlDef& def = ControlTable()[i];
    SendMessageW(made, TBM_SETRANGEMIN, FALSE, def.Min);
    SendMessageW(made, TBM_SETRANGEMAX, FALSE, def.Max);
    SendMessageW(made, TBM_SETTICFREQ, static_cast<WPARAM>(def.TickEvery), 0);
    SendMessageW(made, TBM_SETLINESIZE, 0, def.Step);
    SendMessageW(made, TBM_SETPAGESIZE, 0, def.PageStep);
  }
}

void TOptDialogView::ShowPage(int tab) {
  if (tab < 0 || static_cast<std::size_t>(tab) >= FPages.size()) return;
  SendMessageW(FTabs, TCM_SETCURSEL, static_cast<WPARAM>(tab), 0);
  for (std::size_t t = 0; t < FPages.size(); ++t)
    ShowWindow(FPages[t], static_cast<int>(t) == tab ? SW_SHOW : SW_HIDE);
}

HWND TOptDialogView::Control(std::string_view name) const {
  const auto found = FControls.find(name);
  return found == FControls.end() ? nullptr : found->second;
}

// What the dialog itself writes into a field is not typed text.
void TOptDialogView::SetSpin(std::size_t index, std::int32_t position) {
  FSettingText = true;
  SendMessageW(Control(ControlTable()[index].Name), UDM_SETPOS32, 0, position);
  SetWindowTextW(Control(ControlTable()[index].EditName),
                 Widen(FSpins[index].Show(position)).c_str());
  FSettingText = false;
}

void TOptDialogView::SpinTextChanged(std::size_t index) {
  HWND edit = Control(ControlTable()[index].EditName);
  const auto refused = FSettingText ? std::nullopt : FSpins[index].Typed(Narrow(WindowText(edit)));
  if (!refused) return;
  const std::wstring back = Widen(*refused);
  FSettingText = true;
  SetWindowTextW(edit, back.c_str());
  FSettingText = false;
  SendMessageW(edit, EM_SETSEL, back.size(), static_cast<LPARAM>(back.size()));
}

void TOptDialogView::SetPosition(std::size_t index, std::int32_t position) {
  if (ControlTable().at(index).Kind == TControlKind::SpinBox)
    SetSpin(index, position);
  else
    SendMessageW(Control(ControlTable()[index].Name), TBM_SETPOS, TRUE, position);
}

std::int32_t TOptDialogView::Position(std::size_t index) {
  if (ControlTable().at(index).Kind == TControlKind::SpinBox) return FSpins[index].Position();
  return static_cast<std::int32_t>(
      SendMessageW(Control(ControlTable()[index].Name), TBM_GETPOS, 0, 0));
}

void TOptDialogView::SetChecked(std::size_t index, int item, bool on) {
  SendMessageW(Control(ItemName(index, item)), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TOptDialogView::Checked(std::size_t index, int item) {
  return SendMessageW(Control(ItemName(index, item)), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TOptDialogView::Close(bool) {
  if (FOnClose) FOnClose();
}

bool TOptDialogView::TranslateDialogKey(MSG& msg) {
  if (!FWindow || FDialog.Closed()) return false;
  if (msg.hwnd != FWindow && !IsChild(FWindow, msg.hwnd)) return false;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB) {
    const bool backward = GetKeyState(VK_SHIFT) < 0;
    if (GetKeyState(VK_CONTROL) < 0) {
      ShowPage(TurnPage(static_cast<int>(SendMessageW(FTabs, TCM_GETCURSEL, 0, 0)), backward));
      HWND focus = GetFocus();
      if (!focus || !IsWindowVisible(focus))
        SendMessageW(FWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(FTabs), TRUE);
    } else {
      MoveFocus(backward);
    }
    return true;
  }
  return IsDialogMessageW(FWindow, &msg) != FALSE;
}

void TOptDialogView::MoveFocus(bool backward) {
  std::string focused;
  for (const auto& [name, window] : FFocus)
    if (window == GetFocus()) focused = name;
  const std::string next = FDialog.NextFocus(focused, backward, [&](const std::string& name) {
    HWND window = FFocus.contains(name) ? FFocus.at(name) : nullptr;
    return window && IsWindowVisible(window) && IsWindowEnabled(window);
  });
  if (!next.empty())
    SendMessageW(FWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(FFocus.at(next)), TRUE);
}

std::unique_ptr<IMainWindow> NewOptDialog(HINSTANCE instance, std::string settingsPath,
                                          TErrorBox showError, std::function<void()> onClose,
                                          IFileServices& files) {
  auto dialog = std::make_unique<TOptDialogView>(instance, std::move(settingsPath),
                                                 std::move(showError), std::move(onClose), files);
  dialog->Create();
  return dialog;
}

}  // namespace moonglow::win32
