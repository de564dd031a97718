#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace moonglow::win32 {

// The core and the dialog tables speak UTF-8; the Windows side draws through
// the wide-character calls so Japanese text never depends on the ANSI code page.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
// Text in the ANSI code page (what the ...A calls hand back) as UTF-8.
std::string AnsiToUtf8(std::string_view ansi);

std::wstring WindowText(HWND window);

// Window handles travel as 32-bit values on the command line. HWNDs are
// sign-extended 32-bit values on 64-bit Windows, so the round trip is exact.
inline HWND ToHwnd(std::uint32_t handle) {
  return static_cast<HWND>(LongToHandle(static_cast<LONG>(handle)));
}
inline std::uint32_t FromHwnd(HWND window) {
  return static_cast<std::uint32_t>(HandleToLong(window));
}

}  // namespace moonglow::win32
