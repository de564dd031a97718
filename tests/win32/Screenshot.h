#pragma once

#include <windows.h>

#include <fstream>
#include <string>

namespace moonglow::win32 {

// Asks gui-run for a picture of the whole screen, NAME.png in its screenshot
// directory, and waits until it is taken; `pump` keeps this thread's windows
// answering meanwhile. Nothing happens when no one serves the requests.
template <typename TPump>
void Screenshot(const wchar_t* name, TPump pump) {
  wchar_t dir[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"MOONGLOW_SHOT_DIR", dir, MAX_PATH)) return;
  const std::wstring base = std::wstring(dir) + L"\\" + name;
  std::ofstream((base + L".request").c_str()).put('\n');
  const DWORD start = GetTickCount();
  while (GetFileAttributesW((base + L".done").c_str()) == INVALID_FILE_ATTRIBUTES &&
         GetTickCount() - start < 20000) {
    pump();
  }
}

}  // namespace moonglow::win32
