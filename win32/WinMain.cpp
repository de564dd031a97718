#include <windows.h>

#include <string>
#include <vector>

#include "app/Entry.h"
#include "app/Main.h"
#include "show/FireThread.h"
#include "win32/Toolkit.h"
#include "win32/WinPlatform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace moonglow;
  // The runtime's standard split of the command line: quotes group words and
  // the program's own name comes first.
  const std::vector<std::string> args(__argv, __argv + __argc);
  win32::TWinPlatform platform;
  // The settings file is in the Windows directory; only the pace of the
  // show comes from the environment.
  win32::TWinToolkit toolkit(instance, platform, win32::SettingsPath(),
                             FireThreadFactory(DefaultPixelRate(ProcessEnvironment())));
  return RunEntry(args, platform, toolkit);
}
