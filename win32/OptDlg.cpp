#include "win32/OptDlg.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

#include "win32/Resource.h"
#include "win32/Text.h"

namespace moonglow::win32 {

namespace {

// Command identifiers of the buttons, in the order of ButtonTable(). Cancel
// is IDCANCEL, so that Escape and the close box reach it through the dialog
// manager.
constexpr std::array<int, 3> ButtonIds{1001, IDCANCEL, 1002};
constexpr int IdFirstControl = 1100;

// The per-monitor scaling functions of user32, where the system has them:
// older systems and wine may lack any of them. GetProcAddress hands back a
// generic pointer; going through void (*)() keeps the cast well defined.
template <class TFunction>
TFunction UserFunction(const char* name) {
  HMODULE user = GetModuleHandleW(L"user32.dll");
  return user
             ? reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(GetProcAddress(user, name)))
             : nullptr;
}

// The resolution of the monitor `window` is on; without per-monitor
// scaling, the system's.
int WindowDpi(HWND window) {
  using TGetDpi = UINT(WINAPI*)(HWND);
  if (const auto getDpi = UserFunction<TGetDpi>("GetDpiForWindow"))
    if (const UINT dpi = getDpi(window); dpi > 0) return static_cast<int>(dpi);
  HDC screen = GetDC(window);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(window, screen);
  return dpi > 0 ? dpi : 96;
}

// A system measure at resolution `dpi`; without per-monitor scaling, the
// system's, which is at its own.
int Metric(int index, int dpi) {
  using TMetric = int(WINAPI*)(int, UINT);
  const auto metric = UserFunction<TMetric>("GetSystemMetricsForDpi");
  return metric ? metric(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

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
// only when they are all there. The frame opens at the resolution of the
// monitor it is made on, the primary one, where it stays.
void TOptDialogView::Create() {
  FWindow = MakeDialog(IDD_OPTDIALOG, nullptr);
  FDpi = WindowDpi(FWindow);
  MakeFonts();
  SetWindowTextW(FWindow, Widen(DialogCaption).c_str());
  // The client area is the table's, at this screen's resolution, centred on
  // the work area.
  const SIZE frame = FrameSize(FDpi);
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const TBounds at = CentreIn({work.left, work.top, work.right - work.left, work.bottom - work.top},
                              frame.cx, frame.cy);
  SetWindowPos(FWindow, nullptr, at.Left, at.Top, at.Width, at.Height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  SetFrameIcons();
  FTooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FWindow,
                             nullptr, FInstance, nullptr);
  for (std::size_t i = 0; i < Widgets().size(); ++i) MakeWidget(i);
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
// goes to the dialog manager's defaults. The dialog manager would rescale
// the frames' template font and hand it to every control when the resolution
// changes; the view lays its controls out itself, so it is kept out of that.
HWND TOptDialogView::MakeDialog(int resource, HWND parent) {
  HWND window = CreateDialogParamW(FInstance, MAKEINTRESOURCEW(resource), parent, &DialogProc, 0);
  if (!window) throw std::runtime_error("CreateDialogParam: " + std::to_string(GetLastError()));
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  using TSetBehavior = BOOL(WINAPI*)(HWND, int, int);
  constexpr int DisableAll = 1;  // DDC_DISABLE_ALL
  if (const auto setBehavior = UserFunction<TSetBehavior>("SetDialogDpiChangeBehavior"))
    setBehavior(window, DisableAll, DisableAll);
  return window;
}

// By TFontRole, at the current resolution.
void TOptDialogView::MakeFonts() {
  for (TFontRole role : {TFontRole::Dialog, TFontRole::Title, TFontRole::Version})
    FFonts.push_back(MakeFont(role, FDpi));
}

// The frame's big and small icons, at the sizes of the current resolution.
void TOptDialogView::SetFrameIcons() {
  const auto set = [this](std::size_t slot, WPARAM kind, int metric) {
    HICON icon = AppIcon(FInstance, Metric(metric, FDpi));
    if (!icon) return;
    SendMessageW(FWindow, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
    DestroyIcon(std::exchange(FIcons[slot], icon));
  };
  set(1, ICON_BIG, SM_CXICON);
  set(2, ICON_SMALL, SM_CXSMICON);
}

// The outer size of a frame whose client area is the table's at `dpi`.
SIZE TOptDialogView::FrameSize(int dpi) const {
  RECT frame{0, 0, MulDiv(ClientWidth, dpi, 96), MulDiv(ClientHeight, dpi, 96)};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(FWindow, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(FWindow, GWL_EXSTYLE));
  using TAdjust = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  const auto adjust = UserFunction<TAdjust>("AdjustWindowRectExForDpi");
  if (!adjust || !adjust(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi)))
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

// The system moved the frame to a monitor of another resolution: everything
// is laid out again at that resolution, in the same place as at creation,
// and the frame takes the rectangle the system asks for. What the controls
// hold and where the focus is stay as they are.
void TOptDialogView::ChangeDpi(int dpi, const RECT& frame) {
  if (dpi <= 0) return;
  FDpi = dpi;
  std::vector<HFONT> old = std::exchange(FFonts, {});
  MakeFonts();
  for (std::size_t i = 0; i < FWindows.size(); ++i) Arrange(i);
  // The controls hold the new fonts now.
  for (HFONT font : old) DeleteObject(font);
  SetFrameIcons();
  SetWindowPos(FWindow, nullptr, frame.left, frame.top, frame.right - frame.left,
               frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
  RedrawWindow(FWindow, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
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
    case WM_DPICHANGED:
      ChangeDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return true;
    case WM_GETDPISCALEDSIZE:
      // The frame at the new resolution holds the table's client area
      // exactly, which scaling the whole frame would not give.
      *reinterpret_cast<SIZE*>(lParam) = FrameSize(static_cast<int>(wParam));
      SetWindowLongPtrW(FWindow, DWLP_MSGRESULT, TRUE);
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

// Where a window of widget `w` with `bounds` in the table goes at the current
// resolution, in its parent's pixels.
TBounds TOptDialogView::Placed(const TWidgetDef& w, const TBounds& bounds) const {
  const TBounds flat = FlatBounds(w, bounds);
  const TBounds at{Px(flat.Left), Px(flat.Top), Px(flat.Width), Px(flat.Height)};
  if (w.Kind != TWidgetKind::Label || w.Caption.empty()) return at;
  return CaptionToLine(at, LineHeight(FWindow, FFonts[static_cast<std::size_t>(w.Font)]));
}

HWND TOptDialogView::MakeControl(const TWidgetDef& w, const wchar_t* windowClass,
                                 const std::string& text, DWORD style, const TBounds& bounds,
                                 int id, DWORD exStyle) {
  style |= (w.Visible ? WS_VISIBLE : 0) | (w.Enabled ? 0 : WS_DISABLED);
  HWND parent = w.Place == TPlace::Tab ? FPages.at(static_cast<std::size_t>(w.Tab)) : FWindow;
  const TBounds at = Placed(w, bounds);
  HWND control = CreateWindowExW(
      exStyle, windowClass, Widen(text).c_str(), WS_CHILD | style, at.Left, at.Top, at.Width,
      at.Height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), FInstance, nullptr);
  if (!control) {
    throw std::runtime_error("CreateWindowEx " + Narrow(windowClass) + ": " +
                             std::to_string(GetLastError()));
  }
  SendMessageW(control, WM_SETFONT,
               reinterpret_cast<WPARAM>(FFonts[static_cast<std::size_t>(w.Font)]), FALSE);
  return control;
}

void TOptDialogView::MakeWidget(std::size_t index) {
  const TWidgetDef& w = Widgets()[index];
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
  HWND made = MakeControl(w, kind.Class, hasText ? w.Caption : std::string(), style, w.Bounds, id,
                          w.Kind == TWidgetKind::SpinBox ? WS_EX_CLIENTEDGE : 0);
  FWindows.push_back(made);
  FControls.emplace(w.Kind == TWidgetKind::SpinBox ? ControlTable()[i].EditName : w.Name, made);
  FFocus.emplace(w.Name, made);
  AddTooltip(FTooltip, FWindow, made, w.Hint);
  if (w.Kind == TWidgetKind::Tabs) {
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
    for (const TTabDef& tab : TabTable()) {
      HWND page = MakeDialog(IDD_OPTPAGE, FWindow);
      // On themed systems the page takes the tab body's texture.
      EnableThemeDialogTexture(page, ETDT_ENABLETAB);
      SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      FPages.push_back(page);
      FControls.emplace(tab.Name, page);
    }
    SetWindowPos(FTabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  } else if (w.Kind == TWidgetKind::SpinBox) {
    const TControlDef& def = ControlTable()[i];
    FControls.emplace(w.Name, MakeControl(w, UPDOWN_CLASSW, std::string(),
                                          UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS |
                                              (def.Thousands ? 0 : UDS_NOTHOUSANDS),
                                          def.SpinBounds, id + static_cast<int>(ControlCount)));
  }
  Arrange(index);
  if (isDefault) {
    // Cancel is the default, so Enter in an edit field cancels.
    SendMessageW(FWindow, DM_SETDEFID, static_cast<WPARAM>(id), 0);
  } else if (w.Kind == TWidgetKind::SpinBox) {
    const TControlDef& def = ControlTable()[i];
    HWND upDown = Control(w.Name);
    SendMessageW(upDown, UDM_SETRANGE32, static_cast<WPARAM>(def.Min), def.Max);
    UDACCEL step{0, static_cast<UINT>(def.Step)};
    SendMessageW(upDown, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&step));
  } else if (w.Kind == TWidgetKind::Slider) {
    const TControlDef& def = ControlTable()[i];
    SendMessageW(made, TBM_SETRANGEMIN, FALSE, def.Min);
    SendMessageW(made, TBM_SETRANGEMAX, FALSE, def.Max);
    SendMessageW(made, TBM_SETTICFREQ, static_cast<WPARAM>(def.TickEvery), 0);
    SendMessageW(made, TBM_SETLINESIZE, 0, def.Step);
    SendMessageW(made, TBM_SETPAGESIZE, 0, def.PageStep);
  }
}

// The one layout rule, at creation and at every change of resolution: the
// widget's windows are placed, and its caption set in its font and fitted to
// its room, at the current resolution.
void TOptDialogView::Arrange(std::size_t index) {
  const TWidgetDef& w = Widgets()[index];
  HWND made = FWindows[index];
  const auto move = [](HWND window, const TBounds& at) {
    SetWindowPos(window, nullptr, at.Left, at.Top, at.Width, at.Height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  };
  SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(FFonts[static_cast<std::size_t>(w.Font)]),
               FALSE);
  TBounds at = Placed(w, w.Bounds);
  if (w.Kind == TWidgetKind::Rule) {
    // A sunken line, once made, has the layout's width inside its edges and
    // no height but theirs.
    RECT line{}, inside{};
    GetWindowRect(made, &line);
    GetClientRect(made, &inside);
    at.Width += line.right - line.left - inside.right;
    at.Height = line.bottom - line.top - inside.bottom;
  }
  move(made, at);
  const int indicator = Metric(SM_CXMENUCHECK, FDpi) + Px(4);
  FitText(FWindow, made, CaptionRoom(w.Kind, Px(w.Bounds.Width), indicator), FFonts);
  if (w.Kind == TWidgetKind::Icon) {
    if (HICON icon = AppIcon(FInstance, Px(32))) {
      SendMessageW(made, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
      DestroyIcon(std::exchange(FIcons[0], icon));
    }
  } else if (w.Kind == TWidgetKind::Tabs) {
    RECT display{0, 0, Px(w.Bounds.Width), Px(w.Bounds.Height)};
    SendMessageW(FTabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    MapWindowPoints(FTabs, FWindow, reinterpret_cast<POINT*>(&display), 2);
    for (HWND page : FPages) {
      move(page,
           {display.left, display.top, display.right - display.left, display.bottom - display.top});
    }
  } else if (w.Kind == TWidgetKind::SpinBox) {
    HWND upDown = Control(w.Name);
    // It draws no text, but is not left holding a font that is freed.
    SendMessageW(upDown, WM_SETFONT,
                 reinterpret_cast<WPARAM>(FFonts[static_cast<std::size_t>(w.Font)]), FALSE);
    // The up-down takes its width from the right of its buddy: placed as
    // wide as both, the field ends where the table puts the up-down.
    move(upDown, Placed(w, ControlTable()[w.Control].SpinBounds));
    SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(made), 0);
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
  // Enter follows the dialog's own rule, not the dialog manager's record of
  // which button was last the default.
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && GetKeyState(VK_CONTROL) >= 0 &&
      GetKeyState(VK_MENU) >= 0) {
    FDialog.EnterPressed(FocusedName());
    return true;
  }
  return IsDialogMessageW(FWindow, &msg) != FALSE;
}

std::string TOptDialogView::FocusedName() const {
  for (const auto& [name, window] : FFocus)
    if (window == GetFocus()) return name;
  return {};
}

void TOptDialogView::MoveFocus(bool backward) {
  const std::string next = FDialog.NextFocus(FocusedName(), backward, [&](const std::string& name) {
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
