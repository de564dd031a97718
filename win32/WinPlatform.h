#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/Platform.h"

namespace moonglow::win32 {

// The name of the single-instance mutex: every copy of the saver, whatever
// its run mode, looks for it.
inline constexpr const char* InstanceMutexName = "Version 3.01";

// The operating-system services on Windows. The saver password services live
// in libraries that only the Windows 95 family ships; they are loaded by name
// when needed, and a missing library or entry makes its step a no-op.
class TWinPlatform final : public IPlatform {
 public:
  TWinPlatform() = default;
  TWinPlatform(const TWinPlatform&) = delete;
  TWinPlatform& operator=(const TWinPlatform&) = delete;

  TLockResult AcquireInstanceLock() override;
  void ReleaseInstanceLock() override;
  bool IsNT() override;
  bool ScreenSaveUsePassword() override;
  std::unique_ptr<IPasswordCheck> OpenPasswordCheck() override;
  void SetScreenSaverRunning(bool running) override;
  void CloseImeStatusWindow(TWindowHandle window) override;
  void ChangePassword(TWindowHandle owner) override;
  TWindowHandle ForegroundWindow() override;

 private:
  // Held until the process ends: the handle is never closed, so the name
  // stays taken until then even after the release.
  HANDLE FInstanceMutex = nullptr;
};

// "<Windows directory>\ZELMoonGlow3xx.ini", as UTF-8 for the settings reader.
std::string SettingsPath();

}  // namespace moonglow::win32
