// Stores the settings file the way the saver does at the end of a run, for
// the scripts that check the file's safety from outside: reads the record,
// then writes it back. With --loop it keeps writing, changing the values
// each time, until it is killed.
#include <cstdio>
#include <cstring>
#include <string>

#include "posix/LinuxPlatform.h"
#include "settings/IniFile.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: moonglow-settings-writer FILE [--loop]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace moonglow;
  if (argc < 2 || argc > 3) return Usage();
  const bool loop = argc == 3;
  if (loop && std::strcmp(argv[2], "--loop") != 0) return Usage();
  const std::string file = argv[1];
  TLinuxFileServices files;
  try {
    for (std::int32_t round = 0;; ++round) {
      TMyIniFile settings(file, files);
      settings.ReadSettings();
      if (loop) settings.FireCount = 1 + round % 10;
      settings.WriteSettings(/*clearFirstRun=*/true);  // as the saver ends a run
      if (!loop) return 0;
    }
  } catch (const EIniFileError& e) {
    std::fprintf(stderr, "moonglow-settings-writer: %s\n", e.what());
    return 1;
  }
}
