#pragma once

#include <filesystem>

#include "app/Platform.h"

namespace moonglow {

// The operating-system services on Linux. The single-instance lock is an
// advisory lock on a file, which the kernel drops when the process ends however
// it ends, so a crashed copy never blocks the next start. Linux behaves as the
// NT family: the saver checks no password itself and sends no running notice,
// and there is no change-password service.
class TLinuxPlatform final : public IPlatform {
 public:
  TLinuxPlatform() = default;
  ~TLinuxPlatform() override;
  TLinuxPlatform(const TLinuxPlatform&) = delete;
  TLinuxPlatform& operator=(const TLinuxPlatform&) = delete;

  // "Version 3.01" in $XDG_RUNTIME_DIR, else in the temporary directory.
  static std::filesystem::path LockPath();

  TLockResult AcquireInstanceLock() override;
  void ReleaseInstanceLock() override;
  bool IsNT() override { return true; }
  bool ScreenSaveUsePassword() override { return false; }
  std::unique_ptr<IPasswordCheck> OpenPasswordCheck() override { return nullptr; }
  void SetScreenSaverRunning(bool) override {}
  void CloseImeStatusWindow(TWindowHandle) override {}
  void ChangePassword(TWindowHandle) override {}
  TWindowHandle ForegroundWindow() override { return 0; }

 private:
  int FLockFd = -1;
};

}  // namespace moonglow
