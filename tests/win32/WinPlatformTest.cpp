// The Win32 platform services (the settings file's among them), the saver's
// message filter and the text conversions. The test program lives beside stand-ins for PASSWORD.CPL
// and MPR.DLL, which the platform loads by name from the program's directory.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "settings/Version.h"
#include "win32/MessageLoop.h"
#include "win32/Text.h"
#include "win32/WinPlatform.h"

namespace moonglow::win32 {
namespace {

// A plain window that records the WM_SYSCOMMANDs dispatched to it and acts
// on none of them.
struct TRecordingWindow {
  static inline std::vector<WPARAM> Commands;

  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND) {
      Commands.push_back(wParam);
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  TRecordingWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &Proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"MoonglowRecordingWindow";
    RegisterClassW(&windowClass);
    Window = CreateWindowExW(0, L"MoonglowRecordingWindow", L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    Commands.clear();
  }
  ~TRecordingWindow() { DestroyWindow(Window); }

  HWND Window;
};

std::string Environment(const char* name) {
  char value[256] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

TEST(MessageFilter, TheSaverLoopAppliesItToEveryQueuedMessage) {
  TRecordingWindow recorder;
  for (WPARAM command : {WPARAM{SC_CLOSE}, WPARAM{SC_SCREENSAVE}, WPARAM{SC_CLOSE | 1},
                         WPARAM{SC_SCREENSAVE | 2}, WPARAM{SC_CLOSE}}) {
    PostMessageW(recorder.Window, WM_SYSCOMMAND, command, 0);
  }
  PostQuitMessage(0);
  RunMessageLoop(true, nullptr);
  EXPECT_EQ(TRecordingWindow::Commands, (std::vector<WPARAM>{SC_CLOSE | 1, SC_SCREENSAVE | 2}));

  // Without the filter (the options dialog's loop) everything is dispatched.
  TRecordingWindow::Commands.clear();
  PostMessageW(recorder.Window, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageW(recorder.Window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
  PostQuitMessage(0);
  RunMessageLoop(false, nullptr);
  EXPECT_EQ(TRecordingWindow::Commands, (std::vector<WPARAM>{SC_CLOSE, SC_SCREENSAVE}));
}

TEST(InstanceLock, OneOwnerUntilTheProcessEnds) {
  TWinPlatform first;
  ASSERT_EQ(first.AcquireInstanceLock(), IPlatform::TLockResult::Acquired);

  // Any other copy finds the name taken.
  TWinPlatform second;
  EXPECT_EQ(second.AcquireInstanceLock(), IPlatform::TLockResult::HeldElsewhere);

  HANDLE byName = OpenMutexA(SYNCHRONIZE, FALSE, VersionName);
  ASSERT_NE(byName, nullptr);
  // Owned by the thread that took it: another thread cannot get it...
  DWORD waited = 0;
  HANDLE waiter = CreateThread(
      nullptr, 0,
      [](void* mutex)
          WINAPI -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(mutex), 0); },
      byName, 0, nullptr);
  WaitForSingleObject(waiter, INFINITE);
  GetExitCodeThread(waiter, &waited);
  CloseHandle(waiter);
  EXPECT_EQ(waited, static_cast<DWORD>(WAIT_TIMEOUT));

  // ...until it is released at the end of the run.
  first.ReleaseInstanceLock();
  waiter = CreateThread(
      nullptr, 0,
      [](void* mutex) WINAPI -> DWORD {
        const DWORD result = WaitForSingleObject(static_cast<HANDLE>(mutex), 0);
        if (result == WAIT_OBJECT_0) ReleaseMutex(static_cast<HANDLE>(mutex));
        return result;
      },
      byName, 0, nullptr);
  WaitForSingleObject(waiter, INFINITE);
  GetExitCodeThread(waiter, &waited);
  CloseHandle(waiter);
  EXPECT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(byName);

  // The handle stays open until the process ends, so the name stays taken.
  TWinPlatform third;
  EXPECT_EQ(third.AcquireInstanceLock(), IPlatform::TLockResult::HeldElsewhere);
}

class ScreenSavePassword : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExA(HKEY_USERS, ".Default\\Control Panel\\Desktop", 0, nullptr, 0,
                              KEY_READ | KEY_WRITE, nullptr, &FKey, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegDeleteValueA(FKey, "ScreenSaveUsePassword");
    RegCloseKey(FKey);
  }
  void Store(DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetValueExA(FKey, "ScreenSaveUsePassword", 0, type, static_cast<const BYTE*>(data),
                             size),
              ERROR_SUCCESS);
  }

  HKEY FKey = nullptr;
};

TEST_F(ScreenSavePassword, OnlyTheDwordOneCounts) {
  TWinPlatform platform;
  RegDeleteValueA(FKey, "ScreenSaveUsePassword");
  EXPECT_FALSE(platform.ScreenSaveUsePassword());

  const DWORD one = 1, zero = 0, two = 2;
  Store(REG_DWORD, &one, sizeof one);
  EXPECT_TRUE(platform.ScreenSaveUsePassword());
  Store(REG_DWORD, &zero, sizeof zero);
  EXPECT_FALSE(platform.ScreenSaveUsePassword());
  Store(REG_DWORD, &two, sizeof two);
  EXPECT_FALSE(platform.ScreenSaveUsePassword());

  // Not a 32-bit integer, whatever it says.
  Store(REG_SZ, "1", 2);
  EXPECT_FALSE(platform.ScreenSaveUsePassword());
  const unsigned long long wide = 1;
  Store(REG_QWORD, &wide, sizeof wide);
  EXPECT_FALSE(platform.ScreenSaveUsePassword());
  const BYTE bytes[4] = {1, 0, 0, 0};
  Store(REG_BINARY, bytes, sizeof bytes);
  EXPECT_FALSE(platform.ScreenSaveUsePassword());
}

TEST(OptionalServices, PasswordCheckAsksTheSaverPasswordEntry) {
  TWinPlatform platform;
  const HWND owner = GetDesktopWindow();
  {
    std::unique_ptr<IPasswordCheck> check = platform.OpenPasswordCheck();
    ASSERT_NE(check, nullptr) << "PASSWORD.CPL stand-in not found beside the test";
    SetEnvironmentVariableA("FAKE_VERIFY_RESULT", "0");
    EXPECT_FALSE(check->Verify(FromHwnd(owner)));
    EXPECT_EQ(Environment("FAKE_VERIFY_OWNER"), std::to_string(HandleToLong(owner)));
    SetEnvironmentVariableA("FAKE_VERIFY_RESULT", "1");
    EXPECT_TRUE(check->Verify(FromHwnd(owner)));
    EXPECT_NE(GetModuleHandleA("PASSWORD.CPL"), nullptr);
  }
  // Released with the check.
  EXPECT_EQ(GetModuleHandleA("PASSWORD.CPL"), nullptr);
}

TEST(OptionalServices, ChangePasswordCallsTheProviderForScreenSavers) {
  TWinPlatform platform;
  SetEnvironmentVariableA("FAKE_PWD_CHANGE", nullptr);
  const HWND owner = GetDesktopWindow();
  platform.ChangePassword(FromHwnd(owner));
  EXPECT_EQ(Environment("FAKE_PWD_CHANGE"),
            "SCRSAVE|" + std::to_string(HandleToLong(owner)) + "|0|0");
  EXPECT_EQ(GetModuleHandleA("MPR.DLL"), nullptr);
}

TEST(Text, JapaneseSurvivesTheRoundTrip) {
  // "ｷｬﾝｾﾙ" and "花火の数" spelled out in UTF-16.
  const std::wstring cancel = L"\xFF77\xFF6C\xFF9D\xFF7E\xFF99";
  const std::wstring shells = L"\x82B1\x706B\x306E\x6570";
  EXPECT_EQ(Widen("ｷｬﾝｾﾙ"), cancel);
  EXPECT_EQ(Widen("花火の数"), shells);
  EXPECT_EQ(Narrow(cancel), "ｷｬﾝｾﾙ");
  EXPECT_EQ(Narrow(L""), "");
  EXPECT_EQ(Widen(""), L"");
}

TEST(Text, HandlesSurviveTheCommandLine) {
  // A handle as /p passes it: 32 bits, sign-extended into a 64-bit HWND.
  const HWND window = GetDesktopWindow();
  EXPECT_EQ(ToHwnd(FromHwnd(window)), window);
  EXPECT_EQ(ToHwnd(0xFFFFFFFEu), reinterpret_cast<HWND>(static_cast<LONG_PTR>(-2)));
}

namespace fs = std::filesystem;

// A fresh folder for one file-services test, removed afterwards.
class WinFileServices : public ::testing::Test {
 protected:
  WinFileServices() {
    Dir = fs::temp_directory_path() /
          ("moonglow-files-" + std::to_string(GetCurrentProcessId()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  ~WinFileServices() override {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(Dir, ec))
      SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(Dir, ec);
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void Make(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
  }

  TWinFileServices Files;
  fs::path Dir;
};

TEST_F(WinFileServices, ATempFileIsHeldUntilRenamedOverTheTarget) {
  const fs::path target = Dir / "a.ini";
  const fs::path temp = Dir / ".a.ini.0123456789abcdef.tmp";
  Make(target, "old");
  auto file = Files.CreateTemp(temp, std::nullopt);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(Files.CreateTemp(temp, std::nullopt), nullptr);  // the name is taken
  ASSERT_TRUE(file->Write("new contents"));
  ASSERT_TRUE(file->Flush());
  // A live writer's file survives another writer's clean-up.
  EXPECT_FALSE(Files.RemoveIfUnused(temp));
  ASSERT_TRUE(file->RenameTo(target));
  file.reset();
  Files.FlushDirectory(Dir);
  EXPECT_EQ(Read(target), "new contents");
  EXPECT_FALSE(fs::exists(temp));
}

TEST_F(WinFileServices, AnAbandonedTempFileGoesAndALeftoverIsRemoved) {
  const fs::path temp = Dir / ".a.ini.0123456789abcdef.tmp";
  Files.CreateTemp(temp, std::nullopt)->Write("half");
  EXPECT_FALSE(fs::exists(temp));
  Make(temp, "left by a killed writer");
  EXPECT_TRUE(Files.RemoveIfUnused(temp));
  EXPECT_FALSE(fs::exists(temp));
}

TEST_F(WinFileServices, ReadOnlyOrOpenElsewhereMayNotBeWritten) {
  const fs::path file = Dir / "a.ini";
  Make(file, "x");
  EXPECT_TRUE(Files.MayWrite(file));
  EXPECT_TRUE(Files.MayWrite(Dir));
  EXPECT_FALSE(Files.MayWrite(Dir / "absent.ini"));
  {
    // Another program holds it without sharing.
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(Files.MayWrite(file));
    CloseHandle(held);
  }
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(Files.MayWrite(file));
}

}  // namespace
}  // namespace moonglow::win32
