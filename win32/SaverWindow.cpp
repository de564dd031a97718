#include "win32/SaverWindow.h"

#include <windowsx.h>

#include <cstring>
#include <exception>
#include <stdexcept>
#include <vector>

#include "app/Entry.h"
#include "app/Present.h"
#include "win32/Resource.h"
#include "win32/Text.h"

namespace moonglow::win32 {

namespace {

constexpr const wchar_t* SaverClassName = L"TMainForm";
constexpr UINT_PTR ParentTimer = 2;
// Posted by the show thread when it has drawn a frame.
constexpr UINT FrameMessage = WM_APP + 1;
// The preview's parent (/p) gives this exact style: WS_CHILD, WS_VISIBLE,
// WS_CLIPSIBLINGS and WS_CLIPCHILDREN, nothing else.
constexpr DWORD PreviewStyle = 0x56000000;
// GUID_CONSOLE_DISPLAY_STATE: the console display's power, off, on or dimmed.
constexpr GUID ConsoleDisplayState = {
    0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};

std::string LastErrorText(const char* call) {
  const DWORD code = GetLastError();
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length && buffer ? std::wstring(buffer, length) : std::to_wstring(code);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  return std::string(call) + ": " + Narrow(text);
}

void RegisterSaverClass(HINSTANCE instance, WNDPROC windowProc) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  if (GetClassInfoExW(instance, SaverClassName, &windowClass)) return;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MOONGLOW));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = SaverClassName;
  if (!RegisterClassExW(&windowClass)) throw std::runtime_error(LastErrorText("RegisterClassEx"));
}

}  // namespace

TSaverWindow::TSaverWindow(HINSTANCE instance, TRunMode mode, TWindowHandle parentWindow,
                           IPlatform& platform, std::string settingsPath,
                           TShowThreadFactory newShowThread, TErrorBox showError,
                           TSaverGroup* group, std::size_t monitor)
    : FInstance(instance),
      FForm(mode, parentWindow, platform, *this, std::move(settingsPath), std::move(newShowThread)),
      FShowError(std::move(showError)) {
  if (group) FForm.JoinGroup(*group, monitor);
}

TSaverWindow::~TSaverWindow() {
  FClosed = true;
  if (FWindow) DestroyWindow(FWindow);
  ReleaseDib();
}

bool TSaverWindow::Create() {
  if (!FForm.FormCreate()) return false;

  RegisterSaverClass(FInstance, &WindowProc);
  const bool preview = FForm.RunMode() == Preview;
  const DWORD style = preview ? PreviewStyle : WS_POPUP;
  const DWORD exStyle = preview ? 0 : WS_EX_TOPMOST;
  HWND parent = preview ? ToHwnd(FForm.ParentWindow()) : nullptr;
  const std::wstring caption = Widen(ApplicationTitle);
  if (!CreateWindowExW(exStyle, SaverClassName, caption.c_str(), style, FLeft, FTop, FWidth,
                       FHeight, parent, nullptr, FInstance, this)) {
    throw std::runtime_error(LastErrorText("CreateWindowEx"));
  }
  FFrameWindow.store(FWindow);
  WatchDisplayPower();
  if (const int interval = FForm.ParentCheckInterval()) {
    SetTimer(FWindow, ParentTimer, static_cast<UINT>(interval), nullptr);
  }

  switch (FForm.RunMode()) {
    case Saver:
      ShowWindow(FWindow, SW_SHOW);
      SetForegroundWindow(FWindow);
      break;
    case Debug:
      // The first ShowWindow of a process may take its show command from
      // the starter's STARTUPINFO instead: ask twice, so the window ends
      // maximised however the saver was started.
      ShowWindow(FWindow, SW_SHOWMAXIMIZED);
      ShowWindow(FWindow, SW_SHOWMAXIMIZED);
      SetForegroundWindow(FWindow);
      break;
    default:
      break;
  }
  return true;
}

void TSaverWindow::Destroy() {
  std::exception_ptr error;
  try {
    FForm.FormDestroy();
  } catch (...) {
    error = std::current_exception();
  }
  // The loop has ended already; the window's end must not end another.
  FClosed = true;
  if (FWindow) DestroyWindow(FWindow);
  ReleaseDib();
  if (error) std::rethrow_exception(error);
}

LRESULT CALLBACK TSaverWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<TSaverWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->FWindow = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TSaverWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  // No exception may cross the system's frames: a failure is the form's.
  LRESULT result = 0;
  self->FForm.Guard([&] { result = self->Handle(message, wParam, lParam); });
  return result;
}

LRESULT TSaverWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      // WM_PAINT covers every pixel, black where the show has not drawn.
      return 1;
    case FrameMessage:
      // Cleared first: a frame drawn while this one is copied posts again.
      FFramePosted.store(false);
      Present();
      return 0;
    case WM_TIMER:
      if (wParam == ParentTimer) FForm.CheckParent();
      return 0;
    case WM_SHOWWINDOW:
      FForm.FormVisibility(wParam != FALSE);
      break;
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED) FForm.FormVisibility(false);
      if (wParam == SIZE_RESTORED || wParam == SIZE_MAXIMIZED) FForm.FormVisibility(true);
      break;
    case WM_POWERBROADCAST:
      if (wParam == PBT_POWERSETTINGCHANGE && lParam) {
        const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(lParam);
        if (IsEqualGUID(setting->PowerSetting, ConsoleDisplayState) &&
            setting->DataLength >= sizeof(DWORD)) {
          DWORD state = 0;
          std::memcpy(&state, setting->Data, sizeof state);
          // 0 off, 1 on, 2 dimmed: a dimmed display still shows the show.
          FForm.DisplayPower(state != 0);
        }
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) FForm.FormActivate();
      break;
    case WM_MOUSEMOVE:
      FForm.FormMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
      FForm.FormMouseDown();
      return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      FForm.FormKeyDown();
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DESTROY:
      FFrameWindow.store(nullptr);
      KillTimers();
      StopWatchingDisplayPower();
      // Gone with its preview parent rather than by Destroy: the run ends.
      if (!FClosed) {
        FClosed = true;
        PostQuitMessage(0);
      }
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
      FWindow = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(FWindow, message, wParam, lParam);
}

void TSaverWindow::Paint() {
  // Guarded on its own: the paint below must happen whatever became of the
  // start, or the system would ask for it again and again.
  FForm.Guard([this] { StartShow(); });

  PAINTSTRUCT paint;
  HDC dc = BeginPaint(FWindow, &paint);
  RECT area = paint.rcPaint;
  if (FDibDC) {
    const RECT dibArea{0, 0, FDibWidth, FDibHeight};
    RECT shown;
    if (IntersectRect(&shown, &area, &dibArea)) {
      BitBlt(dc, shown.left, shown.top, shown.right - shown.left, shown.bottom - shown.top, FDibDC,
             shown.left, shown.top, SRCCOPY);
      ExcludeClipRect(dc, shown.left, shown.top, shown.right, shown.bottom);
    }
  }
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EndPaint(FWindow, &paint);
}

void TSaverWindow::StartShow() {
  FForm.FormPaint();
  const TCanvas* canvas = FForm.Canvas();
  if (!canvas || FDibDC || canvas->Width() <= 0 || canvas->Height() <= 0) return;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = canvas->Width();
  info.bmiHeader.biHeight = -canvas->Height();  // top-down, rows as the canvas holds them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(FWindow);
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dibDC = dib ? CreateCompatibleDC(screen) : nullptr;
  ReleaseDC(FWindow, screen);
  if (!dib || !dibDC || !bits) {
    if (dibDC) DeleteDC(dibDC);
    if (dib) DeleteObject(dib);
    throw std::runtime_error(LastErrorText("CreateDIBSection"));
  }
  FDib = dib;
  FDibDC = dibDC;
  FOldBitmap = SelectObject(FDibDC, FDib);
  FDibBits = static_cast<std::uint32_t*>(bits);
  FDibWidth = canvas->Width();
  FDibHeight = canvas->Height();
}

void TSaverWindow::Present() {
  TCanvas* canvas = FForm.Canvas();
  if (!canvas || !FDibBits) return;
  // GDI may still be reading the DIB for an earlier blit.
  GdiFlush();
  // The canvas holds 0xFFRRGGBB, which is what a 32-bit DIB holds too, and
  // a 32-bit DIB's rows need no padding.
  const std::vector<moonglow::TRect> changed =
      TakeFrame(*canvas, FDibBits, static_cast<std::size_t>(FDibWidth));
  for (const moonglow::TRect& r : changed) {
    const RECT area{r.Left, r.Top, r.Right, r.Bottom};
    InvalidateRect(FWindow, &area, FALSE);
  }
}

void TSaverWindow::KillTimers() { KillTimer(FWindow, ParentTimer); }

IFrameSink* TSaverWindow::FrameSink() { return this; }

void TSaverWindow::FrameDrawn(TCanvas&) {
  // On the show thread. One message waiting is enough: the main thread takes
  // every change there is when it gets to it.
  HWND window = FFrameWindow.load();
  if (!window || FFramePosted.exchange(true)) return;
  if (!PostMessageW(window, FrameMessage, 0, 0)) FFramePosted.store(false);
}

void TSaverWindow::WatchDisplayPower() {
  // Looked up at run time: systems before Vista have no such notification,
  // and there the show simply keeps running while the display is off.
  using TRegister = HPOWERNOTIFY(WINAPI*)(HANDLE, LPCGUID, DWORD);
  HMODULE user = GetModuleHandleW(L"user32.dll");
  const auto registerNotification =
      user ? reinterpret_cast<TRegister>(
                 reinterpret_cast<void*>(GetProcAddress(user, "RegisterPowerSettingNotification")))
           : nullptr;
  if (registerNotification && FWindow) {
    FPowerNotify = registerNotification(FWindow, &ConsoleDisplayState, DEVICE_NOTIFY_WINDOW_HANDLE);
  }
}

void TSaverWindow::StopWatchingDisplayPower() {
  if (!FPowerNotify) return;
  using TUnregister = BOOL(WINAPI*)(HPOWERNOTIFY);
  HMODULE user = GetModuleHandleW(L"user32.dll");
  const auto unregisterNotification =
      user ? reinterpret_cast<TUnregister>(reinterpret_cast<void*>(
                 GetProcAddress(user, "UnregisterPowerSettingNotification")))
           : nullptr;
  if (unregisterNotification) unregisterNotification(FPowerNotify);
  FPowerNotify = nullptr;
}

bool TSaverWindow::WindowShown(TWindowHandle window) {
  // The window and every window it sits in have the visible style.
  HWND other = ToHwnd(window);
  return !other || !IsWindow(other) || IsWindowVisible(other);
}

void TSaverWindow::SetPresenting(bool on) {
  if (!FWindow || FClosed) return;
  // Frames come from the show thread, which is parked while nothing is seen;
  // seen again, the whole window is painted afresh.
  if (on) InvalidateRect(FWindow, nullptr, FALSE);
}

void TSaverWindow::ReleaseDib() {
  if (FDibDC) {
    SelectObject(FDibDC, FOldBitmap);
    DeleteDC(FDibDC);
  }
  if (FDib) DeleteObject(FDib);
  FDibDC = nullptr;
  FDib = nullptr;
  FOldBitmap = nullptr;
  FDibBits = nullptr;
}

TWindowHandle TSaverWindow::Handle() { return FromHwnd(FWindow); }

void TSaverWindow::SetPosition(std::int32_t left, std::int32_t top) {
  FLeft = left;
  FTop = top;
  if (FWindow) {
    SetWindowPos(FWindow, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TSaverWindow::SetSize(std::int32_t width, std::int32_t height) {
  FWidth = width;
  FHeight = height;
  if (FWindow) {
    SetWindowPos(FWindow, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

std::int32_t TSaverWindow::ClientWidth() {
  RECT client{};
  if (!FWindow || !GetClientRect(FWindow, &client)) return FWidth;
  return client.right - client.left;
}

std::int32_t TSaverWindow::ClientHeight() {
  RECT client{};
  if (!FWindow || !GetClientRect(FWindow, &client)) return FHeight;
  return client.bottom - client.top;
}

std::int32_t TSaverWindow::ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }

std::int32_t TSaverWindow::ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

std::optional<moonglow::TRect> TSaverWindow::WindowRect(TWindowHandle window) {
  HWND other = ToHwnd(window);
  RECT rect{};
  if (!other || !IsWindow(other) || !GetWindowRect(other, &rect)) return std::nullopt;
  return moonglow::TRect{rect.left, rect.top, rect.right, rect.bottom};
}

TPoint TSaverWindow::CursorPos() {
  POINT point{};
  GetCursorPos(&point);
  return {point.x, point.y};
}

void TSaverWindow::ShowCursor(bool show) { ::ShowCursor(show ? TRUE : FALSE); }

void TSaverWindow::Close() {
  // Once the loop is to end, or the window has gone with its parent, there is
  // nothing left to close.
  if (FClosed || !FForm.FormCloseQuery()) return;
  FClosed = true;
  if (FWindow) KillTimers();
  // The window itself goes after the loop, when the entry point destroys it.
  PostQuitMessage(0);
}

void TSaverWindow::ShowError(const std::string& message) { FShowError(message); }

std::unique_ptr<IMainWindow> NewSaverWindow(HINSTANCE instance, TRunMode mode,
                                            TWindowHandle parentWindow, IPlatform& platform,
                                            std::string settingsPath,
                                            TShowThreadFactory newShowThread, TErrorBox showError,
                                            TSaverGroup* group, std::size_t monitor) {
  auto window = std::make_unique<TSaverWindow>(instance, mode, parentWindow, platform,
                                               std::move(settingsPath), std::move(newShowThread),
                                               std::move(showError), group, monitor);
  window->Create();
  return window;
}

namespace {

BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT rect, LPARAM list) {
  reinterpret_cast<std::vector<moonglow::TRect>*>(list)->push_back(
      {rect->left, rect->top, rect->right, rect->bottom});
  return TRUE;
}

}  // namespace

std::vector<moonglow::TRect> MonitorRects() {
  std::vector<moonglow::TRect> monitors;
  EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  return monitors;
}

}  // namespace moonglow::win32
