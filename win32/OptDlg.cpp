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

// Command identifiers of the buttons. Cancel is IDCANCEL, so that Escape and
// the close box reach it through the dialog manager.
// In the order of ButtonTable().
constexpr std::array<int, 3> ButtonIds{1001, IDCANCEL, 1002};
constexpr int IdFirstControl = 1100;

struct TCreateParams {
  TOptDialogView* Dialog;
  std::exception_ptr* Error;
};

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
  for (HFONT font : FFonts)
    if (font) DeleteObject(font);
  for (HFONT font : FNarrowFonts) DeleteObject(font);
  for (HICON icon : FIcons)
    if (icon) DestroyIcon(icon);
}

void TOptDialogView::Create() {
  std::exception_ptr error;
  // WM_INITDIALOG runs inside CreateDialogParam; a failure there is carried
  // out of the system's frames and thrown from here.
  TCreateParams params{this, &error};
  HWND window = CreateDialogParamW(FInstance, MAKEINTRESOURCEW(IDD_OPTDIALOG), nullptr, &DialogProc,
                                   reinterpret_cast<LPARAM>(&params));
  if (error) {
    if (window) DestroyWindow(window);
    FWindow = nullptr;
    std::rethrow_exception(error);
  }
  if (!window) throw std::runtime_error("CreateDialogParam: " + std::to_string(GetLastError()));
  ShowWindow(FWindow, SW_SHOW);
  SetForegroundWindow(FWindow);
}

void TOptDialogView::Destroy() {
  FDialog.FormDestroy();
  if (FWindow) DestroyWindow(FWindow);
}

INT_PTR CALLBACK TOptDialogView::DialogProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* params = reinterpret_cast<const TCreateParams*>(lParam);
    TOptDialogView* self = params->Dialog;
    self->FWindow = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    try {
      self->BuildControls();
      self->FDialog.FormCreate();
      if (HWND first = self->Control(InitialFocus()))
        SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    } catch (...) {
      *params->Error = std::current_exception();
    }
    // The focus was placed on the first control of the tab order.
    return FALSE;
  }
  auto* self = reinterpret_cast<TOptDialogView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return FALSE;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->FWindow = nullptr;
    return FALSE;
  }
  return PageProc(window, message, wParam, lParam);
}

INT_PTR CALLBACK TOptDialogView::PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    return FALSE;
  }
  auto* self = reinterpret_cast<TOptDialogView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return FALSE;
  try {
    return self->ControlMessage(message, wParam, lParam) ? TRUE : FALSE;
  } catch (const std::exception& e) {
    self->FShowError(e.what());
    return TRUE;
  }
}

bool TOptDialogView::ControlMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const std::size_t index = IndexOf(reinterpret_cast<HWND>(lParam));
  const bool spin = index < ControlCount && FEdits[index];
  switch (message) {
    case WM_CLOSE:
      FDialog.ButtonCancelClick();
      return true;
    case WM_COMMAND: {
      const int code = HIWORD(wParam);
      const auto button = std::find(ButtonIds.begin(), ButtonIds.end(), LOWORD(wParam));
      if (code == BN_CLICKED && button != ButtonIds.end()) {
        FDialog.ButtonClick(static_cast<std::size_t>(button - ButtonIds.begin()));
      } else if (spin && code == EN_CHANGE) {
        SpinTextChanged(index);
      } else if (spin && code == EN_KILLFOCUS) {
        SetSpin(index, FSpins[index].Position());
      } else {
        return spin;
      }
      return true;
    }
    case WM_HSCROLL:
      if (index == ControlCount) return false;
      FDialog.TrackBarChange(
          index, static_cast<std::int32_t>(SendMessageW(FValueControls[index], TBM_GETPOS, 0, 0)));
      return true;
    case WM_VSCROLL:
      // The up-down has written its new position into the field in the
      // user's number format; show it as the dialog writes numbers elsewhere.
      if (spin && LOWORD(wParam) == SB_THUMBPOSITION)
        SetSpin(index,
                static_cast<std::int32_t>(SendMessageW(FValueControls[index], UDM_GETPOS32, 0, 0)));
      return spin;
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

template <class F>
int TOptDialogView::Measure(HFONT font, F measure) const {
  int result = 0;
  if (HDC dc = GetDC(FWindow)) {
    HGDIOBJ old = SelectObject(dc, font);
    result = measure(dc);
    SelectObject(dc, old);
    ReleaseDC(FWindow, dc);
  }
  return result;
}

int TOptDialogView::LineHeight(HFONT font, bool average) const {
  return Measure(font, [average](HDC dc) {
    TEXTMETRICW metrics{};
    if (!GetTextMetricsW(dc, &metrics)) return 0;
    return static_cast<int>(average ? metrics.tmAveCharWidth : metrics.tmHeight);
  });
}

int TOptDialogView::TextWidth(HFONT font, const std::wstring& text) const {
  return Measure(font, [&text](HDC dc) {
    SIZE size{};
    return GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size) ? size.cx
                                                                                         : 0;
  });
}

void TOptDialogView::FitText(HWND control, int room) {
  const std::wstring text = WindowText(control);
  auto* font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW shape{};
  if (text.empty() || !font || room <= 0 || !GetObjectW(font, sizeof shape, &shape)) return;
  const int average = LineHeight(font, true);
  if (average <= 0) return;
  // A narrower cut of the font: a static control would wrap its last word
  // out of sight rather than cut it.
  const auto cut = [&](int stretch) {
    shape.lfWidth = std::max<LONG>(1, average * stretch / 100);
    return CreateFontIndirectW(&shape);
  };
  const int stretch = FitStretch(TextWidth(font, text), room, [&](int tried) {
    HFONT narrow = cut(tried);
    const int wide = narrow ? TextWidth(narrow, text) : 0;
    if (narrow) DeleteObject(narrow);
    return wide;
  });
  if (stretch == 100) return;
  if (HFONT narrow = cut(stretch)) {
    FNarrowFonts.push_back(narrow);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(narrow), FALSE);
  }
}

HICON TOptDialogView::AppIcon(int size) const {
  return static_cast<HICON>(
      LoadImageW(FInstance, MAKEINTRESOURCEW(IDI_MOONGLOW), IMAGE_ICON, size, size, 0));
}

void TOptDialogView::PlaceFrame() {
  SetWindowTextW(FWindow, Widen(DialogCaption).c_str());
  // The client area is the table's, at this screen's resolution, centred on
  // the work area.
  RECT frame{0, 0, Px(ClientWidth), Px(ClientHeight)};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(FWindow, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(FWindow, GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int left = work.left + (work.right - work.left - width) / 2;
  const int top = work.top + (work.bottom - work.top - height) / 2;
  SetWindowPos(FWindow, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

  FIcons[1] = AppIcon(GetSystemMetrics(SM_CXICON));
  FIcons[2] = AppIcon(GetSystemMetrics(SM_CXSMICON));
  if (FIcons[1]) SendMessageW(FWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(FIcons[1]));
  if (FIcons[2]) SendMessageW(FWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(FIcons[2]));
}

HWND TOptDialogView::MakeControl(const TWidgetDef& w, const wchar_t* windowClass,
                                 std::string_view text, DWORD style, const TBounds& bounds, int id,
                                 DWORD exStyle) {
  style |= (w.Visible ? WS_VISIBLE : 0) | (w.Enabled ? 0 : WS_DISABLED);
  HWND parent = w.Place == TPlace::Tab ? FPages.at(static_cast<std::size_t>(w.Tab)) : FWindow;
  const HFONT font = FFonts[static_cast<std::size_t>(w.Font)];
  const TBounds flat = FlatBounds(w, bounds);
  TBounds at{Px(flat.Left), Px(flat.Top), Px(flat.Width), Px(flat.Height)};
  if (std::wstring_view(windowClass) == WC_STATICW && !text.empty())
    at = CaptionToLine(at, LineHeight(font));
  const std::wstring caption = Widen(text);
  HWND control = CreateWindowExW(
      exStyle, windowClass, caption.c_str(), WS_CHILD | style, at.Left, at.Top, at.Width, at.Height,
      parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), FInstance, nullptr);
  if (!control) {
    throw std::runtime_error("CreateWindowEx " + Narrow(windowClass) + ": " +
                             std::to_string(GetLastError()));
  }
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  // Captions must show whole in their room: a label's is its width, a check
  // box's or radio button's what its indicator leaves.
  const DWORD kind = style & BS_TYPEMASK;
  if (std::wstring_view(windowClass) == WC_STATICW) {
    FitText(control, Px(bounds.Width));
  } else if (std::wstring_view(windowClass) == WC_BUTTONW &&
             (kind == BS_AUTOCHECKBOX || kind == BS_AUTORADIOBUTTON)) {
    // What a check box or radio button keeps for its indicator and the gap
    // before its text.
    FitText(control, Px(bounds.Width) - GetSystemMetrics(SM_CXMENUCHECK) - Px(4));
  }
  return control;
}

void TOptDialogView::AddTooltip(HWND control, const std::string& hint) {
  if (hint.empty() || !FTooltip) return;
  std::wstring text = Widen(hint);
  TTTOOLINFOW tool{};
  // The size every version of the common controls accepts.
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = FWindow;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = text.data();
  SendMessageW(FTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TOptDialogView::BuildControls() {
  {
    HDC screen = GetDC(FWindow);
    FDpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(FWindow, screen);
    if (FDpi <= 0) FDpi = 96;
  }
  for (TFontRole role : {TFontRole::Dialog, TFontRole::Title, TFontRole::Version})
    FFonts[static_cast<std::size_t>(role)] = MakeFont(role, FDpi);
  PlaceFrame();
  FTooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FWindow,
                             nullptr, FInstance, nullptr);
  for (const TWidgetDef& w : Widgets()) MakeWidget(w);
  ShowPage(0);
}

void TOptDialogView::MakeWidget(const TWidgetDef& w) {
  const std::size_t i = w.Control;
  const int id = IdFirstControl + static_cast<int>(i);
  const auto make = [&](auto&&... args) { return MakeControl(w, args...); };
  HWND made = nullptr;
  switch (w.Kind) {
    case TWidgetKind::Icon:
      made = make(WC_STATICW, "", SS_ICON | SS_REALSIZECONTROL, w.Bounds);
      FIcons[0] = AppIcon(Px(32));
      if (FIcons[0]) SendMessageW(made, STM_SETICON, reinterpret_cast<WPARAM>(FIcons[0]), 0);
      break;
    case TWidgetKind::Rule:
      made = make(WC_STATICW, "", SS_ETCHEDHORZ, w.Bounds);
      break;
    case TWidgetKind::Button: {
      // Cancel is the default, so Enter in an edit field cancels.
      const bool isDefault = ButtonTable()[static_cast<std::size_t>(w.Button)].Default;
      const int buttonId = ButtonIds[static_cast<std::size_t>(w.Button)];
      made = make(WC_BUTTONW, w.Caption,
                  (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP | WS_GROUP, w.Bounds,
                  buttonId);
      if (isDefault) SendMessageW(FWindow, DM_SETDEFID, static_cast<WPARAM>(buttonId), 0);
      break;
    }
    case TWidgetKind::GroupBox:
    case TWidgetKind::RadioGroup:
      made = make(WC_BUTTONW, w.Caption, BS_GROUPBOX | WS_GROUP, w.Bounds);
      break;
    case TWidgetKind::Tabs:
      made = FTabs = make(WC_TABCONTROLW, "", WS_CLIPSIBLINGS | WS_TABSTOP | WS_GROUP, w.Bounds);
      MakePages(w.Bounds);
      break;
    case TWidgetKind::Label:
      made = make(WC_STATICW, w.Caption, (w.Centred ? SS_CENTER : SS_LEFT) | SS_NOPREFIX, w.Bounds);
      break;
    case TWidgetKind::SpinBox: {
      const TControlDef& def = ControlTable()[i];
      // The up-down takes its width from the right of its buddy: made as
      // wide as both, the field ends where the table puts the up-down.
      FEdits[i] = make(WC_EDITW, "", ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, w.Bounds, id,
                       WS_EX_CLIENTEDGE);
      FControls.emplace(def.EditName, FEdits[i]);
      AddTooltip(FEdits[i], w.Hint);
      made = make(
          UPDOWN_CLASSW, "",
          UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | (def.Thousands ? 0 : UDS_NOTHOUSANDS),
          def.SpinBounds, id + static_cast<int>(ControlCount));
      SendMessageW(made, UDM_SETBUDDY, reinterpret_cast<WPARAM>(FEdits[i]), 0);
      SendMessageW(made, UDM_SETRANGE32, static_cast<WPARAM>(def.Min), def.Max);
      UDACCEL step{0, static_cast<UINT>(def.Step)};
      SendMessageW(made, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&step));
      break;
    }
    case TWidgetKind::Slider: {
      const TControlDef& def = ControlTable()[i];
      made = make(TRACKBAR_CLASSW, "",
                  TBS_HORZ | TBS_AUTOTICKS | TBS_BOTTOM | WS_TABSTOP | WS_GROUP, w.Bounds, id);
      SendMessageW(made, TBM_SETRANGEMIN, FALSE, def.Min);
      SendMessageW(made, TBM_SETRANGEMAX, FALSE, def.Max);
      SendMessageW(made, TBM_SETTICFREQ, static_cast<WPARAM>(def.TickEvery), 0);
      SendMessageW(made, TBM_SETLINESIZE, 0, def.Step);
      SendMessageW(made, TBM_SETPAGESIZE, 0, def.PageStep);
      AddTooltip(made, w.Hint);
      break;
    }
    case TWidgetKind::CheckBox:
      made = FItems[i][0] =
          make(WC_BUTTONW, w.Caption, BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, w.Bounds, id);
      AddTooltip(made, w.Hint);
      break;
    case TWidgetKind::RadioItem:
      // The first item opens the group; the arrow keys move between the
      // items.
      made = FItems[i][static_cast<std::size_t>(w.Item)] =
          make(WC_BUTTONW, w.Caption,
               BS_AUTORADIOBUTTON | (w.Item == 0 ? WS_GROUP | WS_TABSTOP : 0), w.Bounds);
      break;
  }
  if (i < ControlCount && w.Kind != TWidgetKind::Label && w.Kind != TWidgetKind::RadioItem)
    FValueControls[i] = made;
  FControls.emplace(w.Name, made);
}

void TOptDialogView::MakePages(const TBounds& bounds) {
  // One page per tab over the tabbed control's display area. The tabbed
  // control lies under its pages, and clips them out of its painting.
  const auto& tabs = TabTable();
  for (std::size_t t = 0; t < tabs.size(); ++t) {
    std::wstring caption = Widen(tabs[t].Caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(FTabs, TCM_INSERTITEMW, t, reinterpret_cast<LPARAM>(&item));
  }
  RECT display{0, 0, Px(bounds.Width), Px(bounds.Height)};
  SendMessageW(FTabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  MapWindowPoints(FTabs, FWindow, reinterpret_cast<POINT*>(&display), 2);
  for (std::size_t t = 0; t < tabs.size(); ++t) {
    HWND page = CreateDialogParamW(FInstance, MAKEINTRESOURCEW(IDD_OPTPAGE), FWindow, &PageProc,
                                   reinterpret_cast<LPARAM>(this));
    if (!page) throw std::runtime_error("CreateDialogParam: " + std::to_string(GetLastError()));
    // On themed systems the page takes the tab body's texture.
    EnableThemeDialogTexture(page, ETDT_ENABLETAB);
    SetWindowPos(page, HWND_TOP, display.left, display.top, display.right - display.left,
                 display.bottom - display.top, SWP_NOACTIVATE);
    FPages.push_back(page);
    FControls.emplace(tabs[t].Name, page);
  }
  SetWindowPos(FTabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
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

HWND TOptDialogView::RadioItem(std::size_t index, int item) const {
  if (index >= ControlCount || item < 0 || item >= 3) return nullptr;
  return FItems[index][static_cast<std::size_t>(item)];
}

std::size_t TOptDialogView::IndexOf(HWND control) const {
  if (!control) return ControlCount;
  for (std::size_t i = 0; i < ControlCount; ++i)
    if (FValueControls[i] == control || FEdits[i] == control) return i;
  return ControlCount;
}

// What the dialog itself writes into a field is not typed text.
void TOptDialogView::SetSpin(std::size_t index, std::int32_t position) {
  FSettingText = true;
  SendMessageW(FValueControls[index], UDM_SETPOS32, 0, position);
  SetWindowTextW(FEdits[index], Widen(FSpins[index].Show(position)).c_str());
  FSettingText = false;
}

void TOptDialogView::SpinTextChanged(std::size_t index) {
  const auto refused =
      FSettingText ? std::nullopt : FSpins[index].Typed(Narrow(WindowText(FEdits[index])));
  if (!refused) return;
  const std::wstring back = Widen(*refused);
  FSettingText = true;
  SetWindowTextW(FEdits[index], back.c_str());
  FSettingText = false;
  SendMessageW(FEdits[index], EM_SETSEL, back.size(), static_cast<LPARAM>(back.size()));
}

void TOptDialogView::SetPosition(std::size_t index, std::int32_t position) {
  if (FEdits[index])
    SetSpin(index, position);
  else
    SendMessageW(FValueControls[index], TBM_SETPOS, TRUE, position);
}

std::int32_t TOptDialogView::Position(std::size_t index) {
  if (FEdits[index]) return FSpins[index].Position();
  return static_cast<std::int32_t>(SendMessageW(FValueControls[index], TBM_GETPOS, 0, 0));
}

void TOptDialogView::SetChecked(std::size_t index, int item, bool on) {
  SendMessageW(FItems.at(index).at(static_cast<std::size_t>(item)), BM_SETCHECK,
               on ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TOptDialogView::Checked(std::size_t index, int item) {
  return SendMessageW(FItems.at(index).at(static_cast<std::size_t>(item)), BM_GETCHECK, 0, 0) ==
         BST_CHECKED;
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
      // Ctrl+Tab turns the pages of the tabbed control.
      const auto count = static_cast<int>(FPages.size());
      const auto current = static_cast<int>(SendMessageW(FTabs, TCM_GETCURSEL, 0, 0));
      ShowPage((current + (backward ? count - 1 : 1)) % count);
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

HWND TOptDialogView::FocusWindow(const std::string& name) const {
  const std::size_t index = FindControl(name);
  return index < ControlCount && FEdits[index] ? FEdits[index] : Control(name);
}

void TOptDialogView::MoveFocus(bool backward) {
  HWND focus = GetFocus();
  std::string focused;
  for (const TWidgetDef& w : Widgets())
    if (focus && FocusWindow(w.Name) == focus) focused = w.Name;
  const std::string next = FDialog.NextFocus(focused, backward, [&](const std::string& name) {
    HWND window = FocusWindow(name);
    return window && IsWindowVisible(window) && IsWindowEnabled(window);
  });
  if (!next.empty())
    SendMessageW(FWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(FocusWindow(next)), TRUE);
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
