#include "win32/WinPlatform.h"

#include <imm.h>

#include "settings/IniFile.h"
#include "win32/Text.h"

namespace moonglow::win32 {

namespace {

// GetProcAddress hands back a generic pointer; going through void (*)() keeps
// the compiler from objecting to the cast to the entry's real type.
template <typename TFunction>
TFunction EntryPoint(HMODULE library, const char* name) {
  return reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// The Windows 95 family's saver password prompt, in PASSWORD.CPL.
using TVerifyScreenSavePwd = BOOL(WINAPI*)(HWND);
// The change-password dialog of the system's password providers, in MPR.DLL.
using TPwdChangePasswordA = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, DWORD);

class TPasswordCheck final : public IPasswordCheck {
 public:
  TPasswordCheck(HMODULE library, TVerifyScreenSavePwd verify)
      : FLibrary(library), FVerify(verify) {}
  ~TPasswordCheck() override { FreeLibrary(FLibrary); }
  TPasswordCheck(const TPasswordCheck&) = delete;
  TPasswordCheck& operator=(const TPasswordCheck&) = delete;

  bool Verify(TWindowHandle owner) override { return FVerify(ToHwnd(owner)) != FALSE; }

 private:
  HMODULE FLibrary;
  TVerifyScreenSavePwd FVerify;
};

}  // namespace

IPlatform::TLockResult TWinPlatform::AcquireInstanceLock() {
  if (HANDLE other = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, InstanceMutexName)) {
    CloseHandle(other);
    return TLockResult::HeldElsewhere;
  }
  // An inheritable handle with the default security; nLength is 12 on the
  // 32-bit build, as the structure is there.
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = nullptr;
  attributes.bInheritHandle = TRUE;
  HANDLE mutex = CreateMutexA(&attributes, TRUE, InstanceMutexName);
  if (!mutex) return TLockResult::Unavailable;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    // Another copy made the mutex between the look-up and now; this handle
    // does not own it, and two copies must never run together.
    CloseHandle(mutex);
    return TLockResult::HeldElsewhere;
  }
  FInstanceMutex = mutex;
  return TLockResult::Acquired;
}

void TWinPlatform::ReleaseInstanceLock() {
  if (FInstanceMutex) ReleaseMutex(FInstanceMutex);
}

bool TWinPlatform::IsNT() { return (GetVersion() & 0x80000000u) == 0; }

bool TWinPlatform::ScreenSaveUsePassword() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_USERS, ".Default\\Control Panel\\Desktop", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  const LONG result = RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && value == 1;
}

std::unique_ptr<IPasswordCheck> TWinPlatform::OpenPasswordCheck() {
  HMODULE library = LoadLibraryA("PASSWORD.CPL");
  if (!library) return nullptr;
  const auto verify = EntryPoint<TVerifyScreenSavePwd>(library, "VerifyScreenSavePwd");
  if (!verify) {
    FreeLibrary(library);
    return nullptr;
  }
  return std::make_unique<TPasswordCheck>(library, verify);
}

void TWinPlatform::SetScreenSaverRunning(bool running) {
  // SPI_SETSCREENSAVERRUNNING: the Windows 95 family then blocks the task
  // switching keys while the saver runs.
  UINT previous = 0;
  SystemParametersInfoA(97, running ? 1 : 0, &previous, 0);
}

void TWinPlatform::CloseImeStatusWindow(TWindowHandle window) {
  if (HWND ime = ImmGetDefaultIMEWnd(ToHwnd(window))) {
    SendMessageA(ime, WM_IME_CONTROL, IMC_CLOSESTATUSWINDOW, 0);
  }
}

void TWinPlatform::ChangePassword(TWindowHandle owner) {
  HMODULE library = LoadLibraryA("MPR.DLL");
  if (!library) return;
  if (const auto change = EntryPoint<TPwdChangePasswordA>(library, "PwdChangePasswordA")) {
    change("SCRSAVE", ToHwnd(owner), 0, 0);
  }
  FreeLibrary(library);
}

TWindowHandle TWinPlatform::ForegroundWindow() { return FromHwnd(GetForegroundWindow()); }

std::string SettingsPath() {
  char directory[MAX_PATH + 1] = {};
  const UINT length = GetWindowsDirectoryA(directory, MAX_PATH);
  std::string path =
      length > 0 && length <= MAX_PATH ? std::string(directory, length) : "C:\\WINDOWS";
  if (path.back() != '\\') path += '\\';
  return AnsiToUtf8(path + SettingsFileName);
}

}  // namespace moonglow::win32
