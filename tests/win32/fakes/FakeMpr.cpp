// Stands in for MPR.DLL in the platform tests: PwdChangePasswordA records its
// arguments in FAKE_PWD_CHANGE as "provider|owner|reserved1|reserved2".
#include <windows.h>

#include <string>

extern "C" __declspec(dllexport) DWORD WINAPI
    PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD reserved1, DWORD reserved2) {
  const std::string call = std::string(provider ? provider : "(null)") + "|" +
                           std::to_string(HandleToLong(owner)) + "|" + std::to_string(reserved1) +
                           "|" + std::to_string(reserved2);
  SetEnvironmentVariableA("FAKE_PWD_CHANGE", call.c_str());
  return 0;
}
