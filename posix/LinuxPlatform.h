#pragma once

#include <filesystem>

#include "app/Platform.h"

namespace moonglow {

// Replacing a file on Linux. A writer holds an advisory lock on its temporary
// file from creating it until it has been renamed; the kernel drops the lock
// when the writer dies however it dies, so a leftover is exactly a temporary
// file that can be locked. "May write" asks the kernel with the effective ids.
class TLinuxFileServices final : public IFileServices {
 public:
  bool MayWrite(const std::filesystem::path& path) override;
  std::unique_ptr<ITempFile> CreateTemp(const std::filesystem::path& path,
                                        std::optional<std::filesystem::perms> perms) override;
  void FlushDirectory(const std::filesystem::path& dir) override;
  bool RemoveIfUnused(const std::filesystem::path& path) override;
};

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

  // A file named after the version (VersionName) in $XDG_RUNTIME_DIR, else in
  // the temporary directory.
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
  IFileServices& FileServices() override { return FFiles; }

 private:
  int FLockFd = -1;
  TLinuxFileServices FFiles;
};

}  // namespace moonglow
