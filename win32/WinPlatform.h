#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/Platform.h"
#include "settings/Version.h"

namespace moonglow::win32 {

// The name of the single-instance mutex: every copy of the saver, whatever
// its run mode, looks for it. Named after the version, so that two versions
// keep each other out too.
inline constexpr const char* InstanceMutexName = VersionName;

// Replacing a file on Windows. A writer opens its temporary file without
// sharing it and keeps it open until it has renamed it through that handle,
// so no other writer's clean-up can delete it meanwhile; a leftover is a
// temporary file that can be deleted. "May write" takes the file's read-only
// attribute and whether it opens for writing; the writes' own results say
// the rest.
class TWinFileServices final : public IFileServices {
 public:
  bool MayWrite(const std::filesystem::path& path) override;
  std::unique_ptr<ITempFile> CreateTemp(const std::filesystem::path& path,
                                        std::optional<std::filesystem::perms> perms) override;
  void FlushDirectory(const std::filesystem::path& dir) override;
  bool RemoveIfUnused(const std::filesystem::path& path) override;
};

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
  IFileServices& FileServices() override { return FFiles; }

 private:
  TWinFileServices FFiles;
  // Held until the process ends: the handle is never closed, so the name
  // stays taken until then even after the release.
  HANDLE FInstanceMutex = nullptr;
};

// "<Windows directory>\ZELMoonGlow3xx.ini", as UTF-8 for the settings reader.
std::string SettingsPath();

}  // namespace moonglow::win32
