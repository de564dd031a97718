// Stands in for the Windows 95 family's PASSWORD.CPL in the platform tests:
// the verdict comes from FAKE_VERIFY_RESULT ("1" verifies) and the owner
// window it was asked with goes to FAKE_VERIFY_OWNER.
#include <windows.h>

#include <string>

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND owner) {
  const std::wstring handle = std::to_wstring(HandleToLong(owner));
  SetEnvironmentVariableW(L"FAKE_VERIFY_OWNER", handle.c_str());
  wchar_t verdict[8] = {};
  return GetEnvironmentVariableW(L"FAKE_VERIFY_RESULT", verdict, 8) > 0 && verdict[0] == L'1';
}
