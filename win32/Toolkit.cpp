#include "win32/Toolkit.h"

#include <commctrl.h>

#include <ctime>

#include "win32/MessageLoop.h"
#include "win32/SaverWindow.h"
#include "win32/Text.h"

namespace moonglow::win32 {

namespace {

// Until a mode sets its own, the application is called after its program
// file, without the extension.
std::string ProgramName(HINSTANCE instance) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
  std::wstring name(path, length < MAX_PATH ? length : 0);
  const std::size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  const std::size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) name.erase(dot);
  return Narrow(name);
}

}  // namespace

TWinToolkit::TWinToolkit(HINSTANCE instance, IPlatform& platform, std::string settingsPath,
                         TShowThreadFactory newShowThread, TMonitorList monitors)
    : FInstance(instance),
      FPlatform(platform),
      FSettingsPath(std::move(settingsPath)),
      FNewShowThread(std::move(newShowThread)),
      FTitle(ProgramName(instance)),
      FMonitors(monitors ? std::move(monitors) : TMonitorList(&MonitorRects)) {}

TWinToolkit::~TWinToolkit() {
  FOtherWindows.clear();
  FMainWindow.reset();
  FGroup.reset();
}

TErrorBox TWinToolkit::ErrorBox() {
  return [this](const std::string& message) { ShowException(message); };
}

bool TWinToolkit::Initialize(TRunMode) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS;
  InitCommonControlsEx(&controls);
  return true;
}

void TWinToolkit::SetTitle(const std::string& title) { FTitle = title; }

void TWinToolkit::ShowPreviewParent(TWindowHandle parent) { ShowWindow(ToHwnd(parent), SW_SHOW); }

void TWinToolkit::CreateSaverWindow(TRunMode mode, TWindowHandle parent) {
  const std::vector<TRect> monitors = mode == Saver ? FMonitors() : std::vector<TRect>{};
  if (monitors.size() < 2) {
    FMainWindow = NewSaverWindow(FInstance, mode, parent, FPlatform, FSettingsPath, FNewShowThread,
                                 ErrorBox());
    return;
  }
  // The full-screen saver covers every monitor, one window on each; the
  // primary's goes last, so it is the foreground window that takes the keys.
  const std::size_t primary = PrimaryMonitor(monitors);
  FGroup = std::make_unique<TSaverGroup>(monitors, primary,
                                         static_cast<std::uint32_t>(std::time(nullptr)));
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    if (i == primary) continue;
    FOtherWindows.push_back(NewSaverWindow(FInstance, Saver, 0, FPlatform, FSettingsPath,
                                           FNewShowThread, ErrorBox(), FGroup.get(), i));
  }
  FMainWindow = NewSaverWindow(FInstance, Saver, 0, FPlatform, FSettingsPath, FNewShowThread,
                               ErrorBox(), FGroup.get(), primary);
}

void TWinToolkit::CreateOptionsDialog() {
  // The dialog is per-monitor aware, as the whole program is: it lays itself
  // out at the scale of the monitor it is on and again when that changes.
  FMainWindow = NewOptDialog(
      FInstance, FSettingsPath, ErrorBox(), [] { PostQuitMessage(0); }, FPlatform.FileServices());
}

void TWinToolkit::RunMessageLoop() {
  // No window, or one already closed: nothing to wait for.
  if (!FMainWindow || !FMainWindow->Window() || FMainWindow->Closed()) return;
  moonglow::win32::RunMessageLoop(FMainWindow->FiltersSystemCommands(), FMainWindow->DialogKeys());
}

void TWinToolkit::DestroyWindows() {
  // The other monitors' windows first: they write nothing.
  std::vector<std::unique_ptr<IMainWindow>> others = std::move(FOtherWindows);
  for (auto& other : others) other->Destroy();
  if (!FMainWindow) return;
  // Whatever Destroy throws, the window is gone afterwards.
  std::unique_ptr<IMainWindow> window = std::move(FMainWindow);
  window->Destroy();
}

void TWinToolkit::ShowException(const std::string& message) {
  HWND owner = FMainWindow ? FMainWindow->Window() : nullptr;
  if (owner && !IsWindowVisible(owner)) owner = nullptr;
  const std::wstring text = Widen(message);
  const std::wstring caption = Widen(FTitle);
  MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace moonglow::win32
