#include "win32/WinPlatform.h"

#include <imm.h>

#include <cstring>
#include <vector>

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

class TWinTempFile final : public ITempFile {
 public:
  explicit TWinTempFile(HANDLE file) : FFile(file) {}
  ~TWinTempFile() override {
    if (!FRenamed) {
      FILE_DISPOSITION_INFO dispose{};
      dispose.DeleteFile = TRUE;
      SetFileInformationByHandle(FFile, FileDispositionInfo, &dispose, sizeof dispose);
    }
    CloseHandle(FFile);
  }
  TWinTempFile(const TWinTempFile&) = delete;
  TWinTempFile& operator=(const TWinTempFile&) = delete;

  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
      DWORD written = 0;
      if (!WriteFile(FFile, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
      bytes.remove_prefix(written);
    }
    return true;
  }
  bool Flush() override { return FlushFileBuffers(FFile) != FALSE; }
  bool RenameTo(const std::filesystem::path& target) override {
    // The rename goes through the open handle: the file is never let go
    // under its temporary name.
    const std::wstring name = target.wstring();
    const DWORD nameBytes = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = nameBytes;
    std::memcpy(info->FileName, name.data(), nameBytes);
    FRenamed = SetFileInformationByHandle(FFile, FileRenameInfo, info,
                                          static_cast<DWORD>(buffer.size())) != FALSE;
    return FRenamed;
  }

 private:
  HANDLE FFile;
  bool FRenamed = false;
};

}  // namespace

bool TWinFileServices::MayWrite(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // A folder's read-only attribute does not stop new files in it: only the
  // creation itself can tell.
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
  if (attributes & FILE_ATTRIBUTE_READONLY) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

std::unique_ptr<ITempFile> TWinFileServices::CreateTemp(const std::filesystem::path& path,
                                                        std::optional<std::filesystem::perms>) {
  // No sharing at all: while the writer holds the file, nobody else opens
  // or deletes it. Windows keeps no permission bits to copy.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<TWinTempFile>(file);
}

void TWinFileServices::FlushDirectory(const std::filesystem::path& dir) {
  HANDLE handle = CreateFileW(dir.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  FlushFileBuffers(handle);
  CloseHandle(handle);
}

bool TWinFileServices::RemoveIfUnused(const std::filesystem::path& path) {
  // A live writer's file is open without sharing, so the delete fails.
  return DeleteFileW(path.c_str()) != FALSE;
}

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
