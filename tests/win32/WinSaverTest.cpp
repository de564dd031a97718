// The real moonglow.scr, started beside this program as the system's
// screen-saver machinery starts it, and driven from outside through its
// windows: run modes, refusals, the single copy, the closing rules, the
// preview child and the settings file it leaves in the Windows directory.
// Screenshots of the show and of the dialog are asked of gui-run when it
// serves them (MOONGLOW_SHOT_DIR).
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/SaverGroup.h"
#include "settings/Version.h"
#include "show/FireThread.h"
#include "tests/win32/Screenshot.h"
#include "win32/SaverWindow.h"
#include "win32/Text.h"
#include "win32/Toolkit.h"
#include "win32/WinPlatform.h"

namespace {

constexpr DWORD Refused = 0xFFFFFFFF;  // the exit code -1
constexpr const wchar_t* SaverTitle = L"The Real Moonglow Screen Saver";
constexpr const wchar_t* DialogTitle = L"Moonglow Setup";

std::wstring ProgramDirectory() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  return dir.substr(0, dir.find_last_of(L'\\'));
}

std::wstring SettingsPath() {
  wchar_t dir[MAX_PATH] = {};
  GetWindowsDirectoryW(dir, MAX_PATH);
  return std::wstring(dir) + L"\\ZELMoonGlow3xx.ini";
}

std::string ReadSettings() {
  std::ifstream in(SettingsPath().c_str(), std::ios::binary);
  if (!in) return "(no file)";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Handles this thread's messages while it waits: a preview's parent lives
// here, and the child's creation waits on it.
void Pump(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  } while (GetTickCount() - start < milliseconds);
}

class TSaverProcess {
 public:
  explicit TSaverProcess(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + ProgramDirectory() + L"\\moonglow.scr\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    Started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &FInfo) != FALSE;
  }
  ~TSaverProcess() {
    if (!Started) return;
    if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(FInfo.hProcess, 99);
    CloseHandle(FInfo.hThread);
    CloseHandle(FInfo.hProcess);
  }
  TSaverProcess(const TSaverProcess&) = delete;
  TSaverProcess& operator=(const TSaverProcess&) = delete;

  // The exit code, or nothing when it still runs after `milliseconds`.
  std::optional<DWORD> ExitCode(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) {
      if (GetTickCount() - start >= milliseconds) return std::nullopt;
      Pump(20);
    }
    DWORD code = 0;
    GetExitCodeProcess(FInfo.hProcess, &code);
    return code;
  }

  // A shown top-level window of this process with this title.
  HWND FindWindowTitled(const wchar_t* title, DWORD milliseconds = 20000) {
    const DWORD start = GetTickCount();
    do {
      struct TSearch {
        DWORD Process;
        const wchar_t* Title;
        HWND Found;
      } search{FInfo.dwProcessId, title, nullptr};
      EnumWindows(
          [](HWND window, LPARAM data) WINAPI -> BOOL {
            auto* s = reinterpret_cast<TSearch*>(data);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            wchar_t text[128] = {};
            GetWindowTextW(window, text, 128);
            // Only once shown: until then it is still being made.
            if (process == s->Process && std::wstring(text) == s->Title &&
                IsWindowVisible(window)) {
              s->Found = window;
              return FALSE;
            }
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&search));
      if (search.Found) return search.Found;
      if (WaitForSingleObject(FInfo.hProcess, 0) != WAIT_TIMEOUT) return nullptr;
      Pump(50);
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
  }

  bool Started = false;

 private:
  PROCESS_INFORMATION FInfo{};
};

void Screenshot(const wchar_t* name) {
  moonglow::win32::Screenshot(name, [] { Pump(100); });
}

// Pixels inside `window` that are not black, read back from the screen.
int LitPixels(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return 0;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  int lit = 0;
  const auto* pixels = static_cast<const DWORD*>(bits);
  for (int i = 0; i < width * height; ++i) lit += (pixels[i] & 0xFFFFFF) != 0;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return lit;
}

// Waits up to 30 s (a loaded machine may need that long) for the show to draw
// in `window`: it ignores input until its first paint has started it.
bool WaitForShow(HWND window) {
  const DWORD start = GetTickCount();
  while (LitPixels(window) == 0) {
    if (GetTickCount() - start >= 30000) return false;
    Pump(250);
  }
  return true;
}

class Saver : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFileAttributesW(SettingsPath().c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(SettingsPath().c_str());
    // Debug measures movements from the window's corner: start there.
    SetCursorPos(0, 0);
  }
};

TEST_F(Saver, MalformedSwitchesEndWithMinusOneAndNoWindow) {
  for (const wchar_t* arguments : {L"/x", L"/", L"-", L"/p", L"/p 1 2", L"/p:1234"}) {
    SCOPED_TRACE(testing::Message() << "arguments: " << arguments);
    TSaverProcess saver(arguments);
    ASSERT_TRUE(saver.Started);
    EXPECT_EQ(saver.ExitCode(20000), std::optional<DWORD>(Refused));
  }
  EXPECT_EQ(ReadSettings(), "(no file)");
}

TEST_F(Saver, ChangePasswordOpensNoWindowOfItsOwn) {
  for (const wchar_t* arguments : {L"/a", L"/a 5678"}) {
    SCOPED_TRACE(testing::Message() << "arguments: " << arguments);
    TSaverProcess saver(arguments);
    ASSERT_TRUE(saver.Started);
    EXPECT_EQ(saver.ExitCode(20000), std::optional<DWORD>(0));
  }
}

TEST_F(Saver, DebugDrawsTheShowAndClosesOnAKey) {
  TSaverProcess saver(L"/d");
  HWND window = saver.FindWindowTitled(SaverTitle);
  ASSERT_NE(window, nullptr);
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & WS_CAPTION);
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(IsZoomed(window));

  EXPECT_TRUE(WaitForShow(window));
  Pump(2000);
  Screenshot(L"debug");

  PostMessageW(window, WM_KEYDOWN, VK_SPACE, 0x00390001);
  EXPECT_EQ(saver.ExitCode(20000), std::optional<DWORD>(0));
  // Debug saves the settings but leaves the first run unfinished.
  const std::string settings = ReadSettings();
  EXPECT_NE(settings.find("FireCount=5"), std::string::npos) << settings;
  EXPECT_EQ(settings.find("FirstRun"), std::string::npos) << settings;
}

TEST_F(Saver, DebugClosesOnAButtonAndOnALargeMove) {
  {
    TSaverProcess saver(L"/d");
    HWND window = saver.FindWindowTitled(SaverTitle);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitForShow(window));
    PostMessageW(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
    EXPECT_EQ(saver.ExitCode(20000), std::optional<DWORD>(0));
  }
  {
    TSaverProcess saver(L"/d");
    HWND window = saver.FindWindowTitled(SaverTitle);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitForShow(window));
    // 200 pixels from the start (the corner) in each direction is no reason.
    PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(200, 200));
    EXPECT_EQ(saver.ExitCode(1500), std::nullopt);
    PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(201, 0));
    EXPECT_EQ(saver.ExitCode(20000), std::optional<DWORD>(0));
  }
}

TEST_F(Saver, TheSystemsCloseCommandsAreDropped) {
  TSaverProcess saver(L"/d");
  HWND window = saver.FindWindowTitled(SaverTitle);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(WaitForShow(window));
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageW(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
  EXPECT_EQ(saver.ExitCode(2000), std::nullopt);
  // With a low bit set the command passes, and the window closes.
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE | 1, 0);
  EXPECT_EQ(saver.ExitCode(20000), std::optional<DWORD>(0));
}

TEST_F(Saver, SecondCopyIsRefusedWhateverItsMode) {
  TSaverProcess first(L"/d");
  HWND window = first.FindWindowTitled(SaverTitle);
  ASSERT_NE(window, nullptr);
  for (const wchar_t* arguments : {L"/s", L"/c", L"/d"}) {
    SCOPED_TRACE(testing::Message() << "arguments: " << arguments);
    TSaverProcess second(arguments);
    EXPECT_EQ(second.ExitCode(20000), std::optional<DWORD>(Refused));
  }
  ASSERT_TRUE(WaitForShow(window));
  PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  EXPECT_EQ(first.ExitCode(20000), std::optional<DWORD>(0));
}

TEST_F(Saver, FullScreenRunEndsTheFirstRun) {
  SetCursorPos(100, 100);
  TSaverProcess saver(L"/s");
  HWND window = saver.FindWindowTitled(SaverTitle);
  ASSERT_NE(window, nullptr);
  RECT rect{};
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(rect.bottom, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  ASSERT_TRUE(WaitForShow(window));
  // Measured from where the cursor was: 150 pixels is no reason to stop.
  PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(250, 250));
  EXPECT_EQ(saver.ExitCode(1500), std::nullopt);
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(250, 250));
  EXPECT_EQ(saver.ExitCode(20000), std::optional<DWORD>(0));
  const std::string settings = ReadSettings();
  EXPECT_NE(settings.find("FirstRun=0"), std::string::npos) << settings;
}

TEST_F(Saver, PreviewIsAChildOfTheGivenWindow) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  windowClass.lpszClassName = L"MoonglowPreviewParent";
  RegisterClassW(&windowClass);
  HWND parent =
      CreateWindowExW(0, L"MoonglowPreviewParent", L"preview", WS_POPUP | WS_VISIBLE, 600, 100, 320,
                      240, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(parent, nullptr);
  const std::wstring handle =
      std::to_wstring(static_cast<unsigned long>(static_cast<std::uint32_t>(HandleToLong(parent))));
  TSaverProcess saver(L"/p " + handle);

  HWND child = nullptr;
  for (int tries = 0; tries < 200 && !child; ++tries) {
    Pump(100);
    child = FindWindowExW(parent, nullptr, L"TMainForm", nullptr);
  }
  ASSERT_NE(child, nullptr);
  // Found while still being made: its creation ends by showing it.
  for (int tries = 0; tries < 100 && !IsWindowVisible(child); ++tries) Pump(50);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)), 0x56000000u);
  RECT parentRect{}, childRect{};
  GetWindowRect(parent, &parentRect);
  GetWindowRect(child, &childRect);
  EXPECT_EQ(childRect.right - childRect.left, parentRect.right - parentRect.left);
  EXPECT_EQ(childRect.bottom - childRect.top, parentRect.bottom - parentRect.top);
  EXPECT_EQ(childRect.left, parentRect.left);
  EXPECT_EQ(childRect.top, parentRect.top);

  // Input does not stop a preview; its parent going does.
  PostMessageW(child, WM_KEYDOWN, VK_SPACE, 0x00390001);
  PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  EXPECT_EQ(saver.ExitCode(1500), std::nullopt);
  DestroyWindow(parent);
  EXPECT_EQ(saver.ExitCode(20000), std::optional<DWORD>(0));
  // The show ran (its settings were read on the first paint and are saved
  // at the end), and a preview leaves the first run unfinished.
  const std::string settings = ReadSettings();
  EXPECT_NE(settings.find("FireCount=5"), std::string::npos) << settings;
  EXPECT_EQ(settings.find("FirstRun"), std::string::npos) << settings;
}

TEST_F(Saver, ConfigureOpensTheDialogAndCancelLeavesTheFile) {
  {
    std::ofstream out(SettingsPath().c_str(), std::ios::binary);
    out << "[Environment]\r\nFireCount=3\r\n";
  }
  const std::string before = ReadSettings();
  // No switch at all means the dialog too.
  for (const wchar_t* arguments : {L"/c", L""}) {
    SCOPED_TRACE(testing::Message() << "arguments: [" << arguments << "]");
    TSaverProcess saver(arguments);
    HWND dialog = saver.FindWindowTitled(DialogTitle);
    ASSERT_NE(dialog, nullptr);
    Pump(1500);
    if (*arguments) Screenshot(L"configure");
    HWND cancel = FindWindowExW(dialog, nullptr, L"Button", L"\xFF77\xFF6C\xFF9D\xFF7E\xFF99");
    ASSERT_NE(cancel, nullptr);
    PostMessageW(cancel, BM_CLICK, 0, 0);
    EXPECT_EQ(saver.ExitCode(20000), std::optional<DWORD>(0));
    EXPECT_EQ(ReadSettings(), before);
  }
}

// What Windows reads from the file itself: the name in its list of screen
// savers, the icon, the version, and a manifest that asks for the version 6
// common controls and DPI awareness but for no execution level, so the
// 32-bit saver keeps the per-user redirection of its settings file.
TEST(SaverFile, CarriesItsNameIconVersionAndManifest) {
  const std::wstring path = ProgramDirectory() + L"\\moonglow.scr";
  HMODULE file = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(file, nullptr);
  wchar_t name[64] = {};
  LoadStringW(file, 1, name, 64);
  EXPECT_STREQ(name, L"Moonglow");
  EXPECT_NE(FindResourceW(file, MAKEINTRESOURCEW(100), MAKEINTRESOURCEW(14)),
            nullptr);  // RT_GROUP_ICON

  HRSRC found = FindResourceW(file, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr);
  const char* data = static_cast<const char*>(LockResource(LoadResource(file, found)));
  const std::string manifest(data, SizeofResource(file, found));
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
  EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
  EXPECT_EQ(manifest.find("<requestedExecutionLevel"), std::string::npos);
  EXPECT_EQ(manifest.find("trustInfo"), std::string::npos);

  HRSRC version = FindResourceW(file, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));  // RT_VERSION
  ASSERT_NE(version, nullptr);
  const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(file, version)));
  const std::wstring text(reinterpret_cast<const wchar_t*>(bytes),
                          SizeofResource(file, version) / sizeof(wchar_t));
  // The value follows its key after the key's terminator and padding.
  const std::size_t key = text.find(L"FileVersion");
  ASSERT_NE(key, std::wstring::npos);
  EXPECT_LE(text.find(moonglow::win32::Widen(moonglow::VersionText), key), key + 16);
  FreeLibrary(file);
}

// The full-screen saver in this process over a monitor list of our own, one
// monitor left of and above the primary: each window covers its monitor in
// virtual-screen coordinates, a key on the other monitor ends both, and the
// settings are written once, by the primary's window.
TEST(SaverMonitors, OneWindowPerMonitorNegativeCoordinatesAndOneWrite) {
  const std::vector<moonglow::TRect> monitors{{-640, -100, 0, 380}, {0, 0, 800, 600}};
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring path = std::wstring(temp) + L"moonglow-monitors.ini";
  DeleteFileW(path.c_str());
  std::string narrowPath;
  for (wchar_t c : path) narrowPath += static_cast<char>(c);  // the temp path is ASCII here

  moonglow::win32::TWinPlatform platform;
  moonglow::win32::TWinToolkit toolkit(GetModuleHandleW(nullptr), platform, narrowPath,
                                       moonglow::FireThreadFactory(1000000),
                                       [&] { return monitors; });
  ASSERT_TRUE(toolkit.Initialize(moonglow::Saver));
  toolkit.CreateSaverWindow(moonglow::Saver, 0);
  ASSERT_NE(toolkit.MainWindow(), nullptr);
  ASSERT_EQ(toolkit.OtherWindows().size(), 1u);
  HWND primary = toolkit.MainWindow()->Window();
  HWND other = toolkit.OtherWindows()[0]->Window();
  RECT r{};
  GetWindowRect(primary, &r);
  EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}),
            (std::vector<LONG>{0, 0, 800, 600}));
  GetWindowRect(other, &r);
  EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}),
            (std::vector<LONG>{-640, -100, 0, 380}));

  // The other monitor lies off the test display, which exposes nothing
  // there: ask both windows for their first paint, which starts the shows.
  for (HWND window : {primary, other}) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  Pump(300);
  for (const auto* window : {toolkit.MainWindow(), toolkit.OtherWindows()[0].get()}) {
    const auto* saver = dynamic_cast<const moonglow::win32::TSaverWindow*>(window);
    ASSERT_NE(saver, nullptr);
    ASSERT_TRUE(const_cast<moonglow::win32::TSaverWindow*>(saver)->Form().ShowStarted());
  }
  PostMessageW(other, WM_KEYDOWN, 'A', 0);
  toolkit.RunMessageLoop();  // ends with the primary's close
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
  toolkit.DestroyWindows();
  EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(IsWindow(primary));
  EXPECT_FALSE(IsWindow(other));
  DeleteFileW(path.c_str());
}

}  // namespace
